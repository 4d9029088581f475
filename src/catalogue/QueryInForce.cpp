#include "QueryInForce.h"

#include "CodeTables.h"
#include "JetSql.h"

#include <QLocale>
#include <QRegularExpression>
#include <QStringList>

namespace QueryInForce {

namespace {

// The pattern between the wildcards, with the doubled apostrophes undone.
QString patternText(const QString &quoted)
{
    QString text = quoted;
    text.replace(QLatin1String("''"), QLatin1String("'"));
    return text;
}

QString searchText(const QString &clause)
{
    static const QRegularExpression plain(QStringLiteral("^(\\w+) LIKE '\\*(.*)\\*'$"),
                                          QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression folded(QStringLiteral("^%1\\('\\*(.*)\\*', (\\w+)\\)$")
                                               .arg(QLatin1String(JetSql::LikeFoldedFunction)),
                                           QRegularExpression::DotMatchesEverythingOption);
    if (const QRegularExpressionMatch match = plain.match(clause); match.hasMatch())
        return QStringLiteral("recherche %1 « %2 »").arg(match.captured(1), patternText(match.captured(2)));
    if (const QRegularExpressionMatch match = folded.match(clause); match.hasMatch())
        return QStringLiteral("recherche %1 « %2 », sans accents").arg(match.captured(2), patternText(match.captured(1)));
    // A condition written by hand: shown as it stands rather than guessed at.
    return QStringLiteral("recherche : ") + clause;
}

QString filterText(const QString &clause)
{
    static const QRegularExpression term(QStringLiteral("\\b(PREFIXE|LANGUE|DOMAINE) = '(.)'"));
    QStringList captions;
    for (const QRegularExpressionMatch &match : term.globalMatch(clause)) {
        const QString field = match.captured(1);
        const CodeTable &table = field == QLatin1String("PREFIXE") ? CodeTables::prefixe()
            : field == QLatin1String("LANGUE")                     ? CodeTables::langue()
                                                                   : CodeTables::domaine();
        const CodeEntry *entry = table.entryForText(match.captured(2));
        captions << (entry ? entry->caption : field + QStringLiteral(" = ") + match.captured(2));
    }
    if (captions.isEmpty())
        return QStringLiteral("filtre : ") + clause;
    return QStringLiteral("filtre : ") + captions.join(QStringLiteral(", "));
}

} // namespace

QString countText(qint64 count)
{
    if (count <= 0)
        return QStringLiteral("Aucune fiche");
    const QString number = QLocale(QLocale::French).toString(count);
    return number + (count == 1 ? QStringLiteral(" fiche") : QStringLiteral(" fiches"));
}

QString conditionsText(const QString &searchClause, const QString &filterClause)
{
    QStringList parts;
    if (!searchClause.isEmpty())
        parts << searchText(searchClause);
    if (!filterClause.isEmpty())
        parts << filterText(filterClause);
    return parts.join(QStringLiteral(", "));
}

QString summary(qint64 count, const QString &searchClause, const QString &filterClause)
{
    const QString conditions = conditionsText(searchClause, filterClause);
    return conditions.isEmpty() ? countText(count) : countText(count) + QStringLiteral(" — ") + conditions;
}

} // namespace QueryInForce
