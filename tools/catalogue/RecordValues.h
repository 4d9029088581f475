#pragma once

#include "catalogue/CatalogueRecord.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <array>
#include <functional>

// The eight fields of one catalogue row as the tool writes it, PREFIXE first.
// A null QVariant is stored as NULL; NUMERO holds a qint64 or is null (a
// double only when a catalogue's own value comes back). The row key is null
// unless the source gives one; the new file then numbers the row itself.
class RecordValues {
public:
    RecordValues() = default;

    QVariant &operator[](Catalogue::Field field) { return m_values[std::size_t(field - Catalogue::PREFIXE)]; }
    const QVariant &operator[](Catalogue::Field field) const
    {
        return m_values[std::size_t(field - Catalogue::PREFIXE)];
    }

    // A text field: an empty text is stored as NULL, as a freshly added
    // record holds it.
    void setText(Catalogue::Field field, const QString &text)
    {
        (*this)[field] = text.isEmpty() ? QVariant() : QVariant(text);
    }

    QVariant &key() { return m_key; }
    const QVariant &key() const { return m_key; }

private:
    std::array<QVariant, 8> m_values;
    QVariant m_key;
};

// One line per row that could not be taken as it is: where, and why. Lines
// go to the sink as they come (a large import may report many), or are kept
// when there is no sink.
class ImportReport {
public:
    using Sink = std::function<void(const QString &)>;

    // unit names the row numbers: "row" for a table, "line" for a text file.
    explicit ImportReport(QString unit = QStringLiteral("row"), Sink sink = {})
        : m_unit(std::move(unit)), m_sink(std::move(sink))
    {
    }

    void setUnit(const QString &unit) { m_unit = unit; }

    void addRow(qint64 number, const QString &reason)
    {
        add(QStringLiteral("%1 %2: %3").arg(m_unit).arg(number).arg(reason));
    }
    // A remark about the whole source rather than one of its rows.
    void addNote(const QString &text) { add(text); }

    const QStringList &lines() const { return m_lines; }
    qint64 count() const { return m_count; }
    bool isEmpty() const { return m_count == 0; }

private:
    void add(const QString &line)
    {
        ++m_count;
        if (m_sink)
            m_sink(line);
        else
            m_lines.append(line);
    }

    QString m_unit;
    Sink m_sink;
    QStringList m_lines;
    qint64 m_count = 0;
};
