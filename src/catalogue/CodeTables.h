#pragma once

#include <QString>
#include <vector>

// The three one-letter code fields and their tables. Letters are compared
// exactly: a lower-case letter is no code.
struct CodeEntry {
    QChar letter;
    QString label;   // the text the export writes
    int position;    // index of the option button and of the filter check box
    QString caption; // the option button's caption
};

class CodeTable {
public:
    CodeTable(QString fieldName, QString frameCaption, std::vector<CodeEntry> entries);

    const QString &fieldName() const { return m_fieldName; }
    const QString &frameCaption() const { return m_frameCaption; }
    const std::vector<CodeEntry> &entries() const { return m_entries; }

    // The entry of exactly this one-letter text, or nullptr.
    const CodeEntry *entryForText(const QString &text) const;
    // The entry at this option position, or nullptr.
    const CodeEntry *entryAt(int position) const;

private:
    QString m_fieldName;
    QString m_frameCaption;
    std::vector<CodeEntry> m_entries;
};

namespace CodeTables {
const CodeTable &prefixe(); // table A, item type
const CodeTable &langue();  // table B, language
const CodeTable &domaine(); // table C, subject domain
} // namespace CodeTables

// Labels for the export. PrefixIs trims blanks first; the other two do not.
QString PrefixIs(const QString &text);
QString LangueIs(const QString &text);
QString DomaineIs(const QString &text);
