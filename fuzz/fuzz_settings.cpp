// The settings reader on any file: reads never fail or exceed their
// length, and a value written reads back as written, the others unchanged.

#include "FuzzCheck.h"

#include "settings/IniWizard.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>

namespace {

const char *const Sections[] = {"General", "frmFerulan Size"};
const char *const Keys[] = {"Database", "DataOrderString", "EditFunction", "Left"};

// A value the file can hold as it is: one line, no control character.
bool isPlain(const QString &value)
{
    if (value.size() > 254)
        return false;
    for (const QChar c : value) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir folder;
    if (!folder.isValid())
        return 0;
    // The file's bytes, then after the last zero byte the value to write; the
    // first byte picks the section and key.
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype zero = input.lastIndexOf('\0');
    const QByteArray file = zero < 0 ? input : input.left(zero);
    const QString value = zero < 0 ? QStringLiteral("biblio.db") : QString::fromUtf8(input.mid(zero + 1));
    const unsigned pick = size > 0 ? data[0] : 0;

    {
        QFile out(QDir(folder.path()).filePath(QStringLiteral("fuzz.ini")));
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(file) != file.size())
            return 0;
    }
    IniWizard ini(folder.path(), QStringLiteral("fuzz"));
    ini.INISetSection(QString::fromLatin1(Sections[pick % std::size(Sections)]));
    QString before[std::size(Keys)];
    for (std::size_t k = 0; k < std::size(Keys); ++k) {
        before[k] = ini.INIGetValue(QString::fromLatin1(Keys[k]));
        FUZZ_CHECK(before[k].size() <= 254);
    }

    const std::size_t written = (pick / 2) % std::size(Keys);
    ini.INISetValue(QString::fromLatin1(Keys[written]), value);
    for (std::size_t k = 0; k < std::size(Keys); ++k) {
        const QString after = ini.INIGetValue(QString::fromLatin1(Keys[k]));
        if (k != written)
            FUZZ_CHECK(after == before[k]);
        else if (isPlain(value))
            FUZZ_CHECK(after == value);
    }
    return 0;
}
