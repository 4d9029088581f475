#pragma once

#include <QString>

class ProgressObserver;

// The whole catalogue printed to a PDF file, without a window.
namespace CataloguePrinting {

struct Result {
    bool written = false;
    qint64 rows = 0;
    int pages = 0;
    QString error;
};

// order: a sort field, or empty for the order of entry. Never replaces an
// existing file, and leaves none behind when it fails.
Result toPdf(const QString &catalogue, const QString &pdf, const QString &order, ProgressObserver *progress);

} // namespace CataloguePrinting
