#include "Library.h"

#include <algorithm>
#include <cstring>

namespace Library {

namespace {

bool isFolderSeparator(QChar c)
{
    return c == QLatin1Char('/') || c == QLatin1Char('\\');
}

} // namespace

QString TrimBlanks(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' '))
        ++first;
    while (last > first && text.at(last - 1) == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

QString StrDropRight(const QString &text, int n)
{
    if (n <= 0)
        return text;
    if (n >= text.size())
        return QString();
    return text.left(text.size() - n);
}

QString StrReplace(const QString &text, const QString &search, const QString &replacement)
{
    // An empty search text would match everywhere and never advance.
    if (search.isEmpty())
        return text;

    // Same result as deleting each occurrence and inserting the replacement
    // in its place, resuming the scan after the inserted text, but built in
    // one pass so that long texts with many occurrences stay linear.
    QString result;
    int from = 0;
    for (;;) {
        const int found = text.indexOf(search, from, Qt::CaseSensitive);
        if (found < 0)
            break;
        result += QStringView(text).mid(from, found - from);
        result += replacement;
        from = found + search.size();
    }
    if (from == 0)
        return text;
    result += QStringView(text).mid(from);
    return result;
}

void SplitFileName(const QString &path, QString &base, QString &extension)
{
    const int dot = path.indexOf(QLatin1Char('.'));
    if (dot >= 0) {
        const QString rest = path.mid(dot + 1);
        // A separator after the first dot means the dot sits in a folder name.
        if (std::none_of(rest.cbegin(), rest.cend(), isFolderSeparator)) {
            base = path.left(dot);
            extension = rest;
            return;
        }
    }
    base = path;
    extension.clear();
}

QString FileInFolder(const QString &folder, const QString &fileName)
{
    // A full path names its file wherever the program lies.
    if (folder.isEmpty() || fileName.startsWith(QLatin1Char('/')))
        return fileName;
    if (folder.endsWith(QLatin1Char('/')))
        return folder + fileName;
    return folder + QLatin1Char('/') + fileName;
}

QString SystemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace Library
