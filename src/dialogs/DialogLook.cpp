#include "DialogLook.h"

#include "settings/Twips.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPalette>
#include <QTranslator>
#include <QWidget>

// Q_INIT_RESOURCE must not stand inside a namespace.
static void registerPictures()
{
    Q_INIT_RESOURCE(resources);
}

namespace DialogLook {

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(Twips::toPixels(left), Twips::toPixels(top), Twips::toPixels(width),
                 Twips::toPixels(height));
}

QSize twipsSize(int width, int height)
{
    return QSize(Twips::toPixels(width), Twips::toPixels(height));
}

QFont classicFont(double points, bool bold)
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Nimbus Sans"), QStringLiteral("Arial"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

void paintLightGrey(QWidget *widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, LightGrey);
    palette.setColor(QPalette::Button, LightGrey);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

bool useFrenchToolkitTexts()
{
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QStringLiteral("qtbase_fr"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        && QCoreApplication::installTranslator(translator))
        return true;
    delete translator;
    return false;
}

void loadPictures()
{
    static const bool loaded = (registerPictures(), true);
    Q_UNUSED(loaded);
}

} // namespace DialogLook
