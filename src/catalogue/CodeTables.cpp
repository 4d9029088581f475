#include "CodeTables.h"

#include "util/Library.h"

#include <utility>

CodeTable::CodeTable(QString fieldName, QString frameCaption, std::vector<CodeEntry> entries)
    : m_fieldName(std::move(fieldName))
    , m_frameCaption(std::move(frameCaption))
    , m_entries(std::move(entries))
{
}

const CodeEntry *CodeTable::entryForText(const QString &text) const
{
    if (text.size() != 1)
        return nullptr;
    for (const CodeEntry &entry : m_entries) {
        if (entry.letter == text.at(0))
            return &entry;
    }
    return nullptr;
}

const CodeEntry *CodeTable::entryAt(int position) const
{
    for (const CodeEntry &entry : m_entries) {
        if (entry.position == position)
            return &entry;
    }
    return nullptr;
}

namespace CodeTables {

const CodeTable &prefixe()
{
    static const CodeTable table(QStringLiteral("PREFIXE"), QStringLiteral("préfixe"), {
        {QLatin1Char('B'), QStringLiteral("Livre"), 1, QStringLiteral("livre")},
        {QLatin1Char('L'), QStringLiteral("Logiciel"), 2, QStringLiteral("logiciel")},
        {QLatin1Char('V'), QStringLiteral("Video"), 3, QStringLiteral("vidéo")},
        {QLatin1Char('Z'), QStringLiteral("Périodique ou journal"), 4, QStringLiteral("périodique ou journal")},
        {QLatin1Char('T'), QStringLiteral("Transparent"), 5, QStringLiteral("transparent")},
    });
    return table;
}

const CodeTable &langue()
{
    static const CodeTable table(QStringLiteral("LANGUE"), QStringLiteral("langue"), {
        {QLatin1Char('D'), QStringLiteral("allemande"), 1, QStringLiteral("deutsch")},
        {QLatin1Char('F'), QStringLiteral("française"), 2, QStringLiteral("français")},
        {QLatin1Char('E'), QStringLiteral("anglaise"), 3, QStringLiteral("english")},
    });
    return table;
}

const CodeTable &domaine()
{
    static const CodeTable table(QStringLiteral("DOMAINE"), QStringLiteral("domaine"), {
        {QLatin1Char('A'), QStringLiteral("Chimie générale et chimie-physique"), 1,
         QStringLiteral("Chimie générale et chimie-physique")},
        {QLatin1Char('B'), QStringLiteral("Chimie minérale"), 2, QStringLiteral("Chimie minérale")},
        {QLatin1Char('C'), QStringLiteral("Chimie organique"), 3, QStringLiteral("Chimie organique")},
        // The export label keeps its trailing blank; the caption has none.
        {QLatin1Char('D'), QStringLiteral("Exercices de chimie "), 4, QStringLiteral("Exercices de chimie")},
        {QLatin1Char('E'), QStringLiteral("Travaux pratiques"), 5, QStringLiteral("Travaux pratiques")},
        {QLatin1Char('F'), QStringLiteral("Divers"), 6, QStringLiteral("Divers")},
        {QLatin1Char('G'), QStringLiteral("Pédagogie"), 7, QStringLiteral("Pédagogie")},
    });
    return table;
}

} // namespace CodeTables

namespace {

QString labelOf(const CodeTable &table, const QString &text)
{
    const CodeEntry *entry = table.entryForText(text);
    return entry ? entry->label : QString();
}

} // namespace

QString PrefixIs(const QString &text)
{
    return labelOf(CodeTables::prefixe(), Library::TrimBlanks(text));
}

QString LangueIs(const QString &text)
{
    return labelOf(CodeTables::langue(), text);
}

QString DomaineIs(const QString &text)
{
    return labelOf(CodeTables::domaine(), text);
}
