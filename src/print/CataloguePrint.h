#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <QVector>

class ProgressObserver;
class QPagedPaintDevice;

// The rows to print, in their order, one at a time: nothing asks for a row
// twice, so a source may stream them from the engine.
class PrintRows {
public:
    virtual ~PrintRows() = default;
    // How many rows next() gives; the page total is reckoned from it.
    virtual qint64 count() const = 0;
    // Fields 1 to 8 of the next row, as stored. False at the end, or on a
    // failure that errorString() then names.
    virtual bool next(QVector<QVariant> &fields) = 0;
    virtual QString errorString() const { return QString(); }
};

// The catalogue as a table, page after page: the field names as header, the
// code letters spelled out, on every page the title, what narrows the list,
// the date and the page number. Each row is painted as it is read and then
// dropped, so the size of the catalogue costs time, not memory.
class CataloguePrint {
public:
    CataloguePrint(PrintRows &rows, QString title, QString subtitle, QDateTime printedAt);

    // Paints every page onto a printer or a PDF writer whose page layout is
    // set. False when the rows failed or progress asked to stop; the pages
    // painted so far stay.
    bool paint(QPagedPaintDevice &device, ProgressObserver *progress = nullptr);

    int pageCount() const { return m_pages; }
    QString errorString() const { return m_error; }

    // The text a code field prints: its caption, or the letter as stored
    // when it stands for none.
    static QString fieldText(int field, const QVariant &value);

private:
    PrintRows &m_rows;
    QString m_title;
    QString m_subtitle;
    QDateTime m_printedAt;
    int m_pages = 0;
    QString m_error;
};
