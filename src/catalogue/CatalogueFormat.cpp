#include "CatalogueFormat.h"

#include <QFile>

namespace CatalogueFormat {

bool isAccessFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // Every generation starts its first page with the same four bytes and
    // the engine's name: "Standard Jet DB" up to Jet 4, "Standard ACE DB"
    // from Access 2007 on.
    const QByteArray head = file.read(20);
    if (head.size() < 20 || !head.startsWith(QByteArray("\x00\x01\x00\x00", 4)))
        return false;
    const QByteArray name = head.mid(4);
    return name == QByteArray("Standard Jet DB\0", 16) || name == QByteArray("Standard ACE DB\0", 16);
}

} // namespace CatalogueFormat
