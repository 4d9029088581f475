// The count line: how many records the set holds and what narrows it, in the
// tool strip right of "Fin", where it is seen in both views.

#include "frmFerulan.h"

#include "TwipsLayout.h"

#include "catalogue/QueryInForce.h"

#include <QFontMetrics>
#include <QLabel>

#include <algorithm>

namespace {

// Right of "Fin" (8160 + 975), two lines beside the buttons.
constexpr int CountLeft = 9300;
constexpr int CountTop = 60;
constexpr int CountHeight = 492;
constexpr int CountRightMargin = 120;

} // namespace

void frmFerulan::buildCountLine()
{
    lblCount = new QLabel(Picture1);
    lblCount->setObjectName(QStringLiteral("lblCount"));
    lblCount->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lblCount->setTextFormat(Qt::PlainText);
    lblCount->setAccessibleDescription(QStringLiteral("Nombre de fiches affichées, et la recherche et le filtre en vigueur"));

    // The set's size is known without reading it, so following every query,
    // add and delete costs nothing.
    connect(&Data1, &DataControl::refreshed, this, [this] {
        m_conditions = QueryInForce::conditionsText(m_module1.SearchClause, m_module1.FilterClause);
        m_orderInForce = m_module1.OrderClause.startsWith(QLatin1String("ORDER BY ")) ? m_module1.OrderClause.mid(9)
                                                                                      : QString();
        updateCountLine();
    });
    connect(&Data1, &DataControl::recordAppended, this, &frmFerulan::updateCountLine);
    connect(&Data1, &DataControl::recordRemoved, this, &frmFerulan::updateCountLine);
    updateCountLine();
}

void frmFerulan::updateCountLine()
{
    const QString count = QueryInForce::countText(Data1.Recordset().recordCount());
    const QString whole = m_conditions.isEmpty() ? count : count + QStringLiteral(" — ") + m_conditions;
    lblCount->setToolTip(whole);
    lblCount->setAccessibleName(whole);
    placeCountLine();
}

void frmFerulan::placeCountLine()
{
    if (!lblCount)
        return;
    const QRect place = twipsRect(CountLeft, CountTop, 0, CountHeight);
    const int width = std::max(0, Picture1->width() - place.left() - Twips::toPixels(CountRightMargin));
    lblCount->setGeometry(place.left(), place.top(), width, place.height());
    // The count over what narrows the set; a narrow window shortens them,
    // the tooltip keeps them whole.
    const int count = Data1.Recordset().recordCount();
    QString second = m_conditions;
    if (second.isEmpty())
        second = count > 0 ? QStringLiteral("tout le catalogue") : QStringLiteral("le catalogue est vide");
    const QFontMetrics metrics(lblCount->font());
    lblCount->setText(metrics.elidedText(QueryInForce::countText(count), Qt::ElideRight, width) + QLatin1Char('\n')
                      + metrics.elidedText(second, Qt::ElideRight, width));
}
