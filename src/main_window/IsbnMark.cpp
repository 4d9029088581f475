#include "IsbnMark.h"

#include "catalogue/Isbn.h"

#include <QLineEdit>
#include <QPalette>

namespace {

// The box's own tooltip, palette and style sheet, kept while the mark covers them.
constexpr char OwnToolTip[] = "isbnOwnToolTip";
constexpr char OwnPalette[] = "isbnOwnPalette";
constexpr char OwnStyleSheet[] = "isbnOwnStyleSheet";

} // namespace

namespace IsbnMark {

QString warning(const QString &text)
{
    const Isbn::Check check = Isbn::check(text);
    if (!check.wrong())
        return {};
    return QStringLiteral("Chiffre de contrôle attendu : %1").arg(check.expected);
}

QColor background()
{
    return QColor(0xff, 0xd6, 0xd6);
}

QColor foreground()
{
    return QColor(0x8b, 0x00, 0x00);
}

void apply(QLineEdit *box)
{
    if (!box)
        return;
    const QString text = warning(box->text());
    const bool marked = box->property(OwnPalette).isValid();
    if (!text.isEmpty()) {
        if (!marked) {
            box->setProperty(OwnToolTip, box->toolTip());
            // A palette of its own is kept; an inherited one comes back by
            // setting an empty one.
            box->setProperty(OwnPalette, box->testAttribute(Qt::WA_SetPalette) ? box->palette() : QPalette());
            QPalette palette = box->palette();
            palette.setColor(QPalette::Base, background());
            palette.setColor(QPalette::Text, foreground());
            box->setPalette(palette);
            // The grid's cell editor has no frame and lives under the grid's
            // style sheet, which paints its ground: the colours go there.
            if (!box->hasFrame()) {
                box->setProperty(OwnStyleSheet, box->styleSheet());
                box->setStyleSheet(QStringLiteral("QLineEdit { background-color: %1; color: %2; }")
                                       .arg(background().name(), foreground().name()));
            }
        }
        box->setToolTip(text);
    } else if (marked) {
        box->setToolTip(box->property(OwnToolTip).toString());
        box->setPalette(box->property(OwnPalette).value<QPalette>());
        if (!box->hasFrame())
            box->setStyleSheet(box->property(OwnStyleSheet).toString());
        box->setProperty(OwnToolTip, QVariant());
        box->setProperty(OwnPalette, QVariant());
    }
}

} // namespace IsbnMark
