#include "IniWizard.h"

#include "util/Library.h"
#include "util/Windows1252.h"

#include <QFile>
#include <QList>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The reader hands out at most this many characters, the size of the
// buffer the program has always read its settings into.
constexpr int MaxValueLength = 254;

const QByteArray Utf8Bom("\xEF\xBB\xBF");

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QStringView skipBlanks(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && isBlank(text.at(i)))
        ++i;
    return text.mid(i);
}

bool isQuote(QChar c)
{
    return c == QLatin1Char('"') || c == QLatin1Char('\'');
}

// One line of the file, its end kept apart. A line keeps the bytes it was
// read from until it is changed, so that a rewrite gives back every
// untouched line byte for byte, whatever its encoding, CRLF or LF alike.
struct Line {
    QString text;
    QByteArray end;   // "\r\n", "\n", or empty for a last line without one
    QByteArray raw;   // as read
    bool edited = false; // made or changed here: written from text

    void setText(const QString &newText)
    {
        text = newText;
        edited = true;
    }

    enum Kind { Other, Section, Key };
    Kind kind() const
    {
        const QStringView s = skipBlanks(text);
        if (s.startsWith(QLatin1Char('[')))
            return Section;
        if (s.startsWith(QLatin1Char(';')))
            return Other; // a comment, even when it holds "="
        return s.contains(QLatin1Char('=')) ? Key : Other;
    }

    QString sectionName() const
    {
        QStringView s = skipBlanks(text).mid(1);
        const qsizetype close = s.indexOf(QLatin1Char(']'));
        if (close >= 0)
            s = s.left(close);
        return s.trimmed().toString();
    }

    QString keyName() const { return text.left(text.indexOf(QLatin1Char('='))).trimmed(); }

    // The text after "=" with the blanks that follow "=" skipped, so that
    // "Key = value" reads "value". The end of the line is kept as it stands:
    // a trailing blank is part of the value. A value between a pair of
    // matching quotes loses the quotes, which is how a value that starts
    // with a blank or is itself quoted is stored.
    QString value() const
    {
        QStringView v = skipBlanks(QStringView(text).mid(text.indexOf(QLatin1Char('=')) + 1));
        if (v.size() >= 2 && isQuote(v.front()) && v.back() == v.front())
            v = v.mid(1, v.size() - 2);
        return v.toString();
    }

    bool isBlankOrComment() const
    {
        const QStringView s = skipBlanks(text);
        return s.isEmpty() || s.startsWith(QLatin1Char(';'));
    }
};

// Settings files come in the Windows code page (those of earlier versions,
// and those typed in an editor set to it) or in UTF-8. Each line is read in
// the one it is valid in, so that a line added by hand in the other encoding
// garbles nothing else; lines written here take the file's own encoding.
struct SettingsText {
    bool bom = false;
    bool utf8 = false; // the file's encoding; a new or plain ASCII file is in the code page
    QByteArray lineEnd = "\n"; // for lines we add: the file's own
    QList<Line> lines;

    static SettingsText fromBytes(QByteArray bytes)
    {
        SettingsText file;
        if (bytes.startsWith(Utf8Bom)) {
            file.bom = true;
            bytes.remove(0, Utf8Bom.size());
        }
        bool utf8Seen = false;
        bool codePageSeen = false;
        bool endSeen = false;
        qsizetype start = 0;
        while (start < bytes.size()) {
            const qsizetype newline = bytes.indexOf('\n', start);
            Line line;
            if (newline < 0) {
                line.raw = bytes.mid(start);
                start = bytes.size();
            } else {
                line.raw = bytes.mid(start, newline - start);
                line.end = "\n";
                if (line.raw.endsWith('\r')) {
                    line.raw.chop(1);
                    line.end = "\r\n";
                }
                start = newline + 1;
                if (!endSeen) {
                    file.lineEnd = line.end;
                    endSeen = true;
                }
            }
            QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            line.text = decoder.decode(line.raw);
            if (decoder.hasError()) {
                line.text = Windows1252::decode(line.raw);
                codePageSeen = true;
            } else if (std::any_of(line.raw.cbegin(), line.raw.cend(), [](char c) { return c & 0x80; })) {
                utf8Seen = true;
            }
            file.lines.append(line);
        }
        file.utf8 = file.bom || (utf8Seen && !codePageSeen);
        return file;
    }

    // A text the code page cannot hold goes in UTF-8, which the reader
    // recognises line by line: nothing is replaced by "?".
    QByteArray encode(const QString &text) const
    {
        if (!utf8) {
            QByteArray bytes = Windows1252::encode(text);
            if (Windows1252::decode(bytes) == text)
                return bytes;
        }
        return text.toUtf8();
    }

    QByteArray toBytes() const
    {
        QByteArray bytes = bom ? Utf8Bom : QByteArray();
        for (const Line &line : lines)
            bytes += (line.edited ? encode(line.text) : line.raw) + line.end;
        return bytes;
    }

    // Index of the key's line in the first section of that name that holds
    // the key; -1 when there is none. Names compare without letter case.
    qsizetype findKey(const QString &section, const QString &key) const
    {
        bool inSection = false;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const Line &line = lines.at(i);
            switch (line.kind()) {
            case Line::Section:
                inSection = line.sectionName().compare(section, Qt::CaseInsensitive) == 0;
                break;
            case Line::Key:
                if (inSection && line.keyName().compare(key, Qt::CaseInsensitive) == 0)
                    return i;
                break;
            case Line::Other:
                break;
            }
        }
        return -1;
    }

    // Where a new key of the section goes: after the last line of the
    // section's first occurrence that is neither blank nor a comment (so a
    // blank line or a comment that leads into the next section stays with
    // it). -1 when the section is missing.
    qsizetype endOfSection(const QString &section) const
    {
        qsizetype last = -1;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const Line &line = lines.at(i);
            if (line.kind() == Line::Section) {
                if (last >= 0)
                    break;
                if (line.sectionName().compare(section, Qt::CaseInsensitive) == 0)
                    last = i;
            } else if (last >= 0 && !line.isBlankOrComment()) {
                last = i;
            }
        }
        return last;
    }

    void insertLine(qsizetype at, const QString &text)
    {
        // The line before may be the file's last one, without a line end.
        if (at > 0 && lines.at(at - 1).end.isEmpty())
            lines[at - 1].end = lineEnd;
        lines.insert(at, Line{text, lineEnd, QByteArray(), true});
    }
};

// A settings file is a few kilobytes; anything far larger is not one.
constexpr qint64 MaxFileSize = 1024 * 1024;

// Missing file: empty, no problem. Otherwise the bytes, or why the file
// cannot be taken for a settings file: only a regular file of a sane size
// is read, so that a named pipe cannot hold the program up nor a device
// fill its memory.
std::optional<QByteArray> readFile(const QString &path, QString *problem)
{
    problem->clear();
    // Not blocking: opening a named pipe would wait for a writer.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return QByteArray();
        *problem = QStringLiteral("Le fichier de réglages %1 ne peut pas être lu : %2.").arg(path, Library::SystemErrorText(errno));
        return std::nullopt;
    }
    struct stat status {};
    std::optional<QByteArray> bytes;
    if (::fstat(fd, &status) != 0) {
        *problem = QStringLiteral("Le fichier de réglages %1 ne peut pas être lu : %2.").arg(path, Library::SystemErrorText(errno));
    } else if (S_ISDIR(status.st_mode)) {
        *problem = QStringLiteral("%1 est un dossier, pas un fichier de réglages.").arg(path);
    } else if (!S_ISREG(status.st_mode)) {
        *problem = QStringLiteral("%1 n'est pas un fichier ordinaire (tube nommé, périphérique ...) : les réglages "
                                  "n'y sont pas lus.").arg(path);
    } else if (status.st_size > MaxFileSize) {
        *problem = QStringLiteral("%1 fait %2 octets : un fichier de réglages de plus de 1 Mo n'est pas lu.")
                       .arg(path).arg(qint64(status.st_size));
    } else {
        QFile file;
        if (!file.open(fd, QIODevice::ReadOnly)) {
            *problem = QStringLiteral("Le fichier de réglages %1 ne peut pas être lu : %2.").arg(path, file.errorString());
        } else {
            // The file may grow while it is read: never more than the limit.
            const QByteArray read = file.read(MaxFileSize + 1);
            if (file.error() != QFileDevice::NoError)
                *problem = QStringLiteral("Le fichier de réglages %1 ne peut pas être lu : %2.").arg(path, file.errorString());
            else if (read.size() > MaxFileSize)
                *problem = QStringLiteral("%1 dépasse 1 Mo : un fichier de réglages aussi grand n'est pas lu.").arg(path);
            else
                bytes = read;
        }
    }
    ::close(fd);
    return bytes;
}

// Names that would change the layout of the file if written into it.
bool canHoldName(const QString &name, const QString &forbidden)
{
    for (const QChar c : name) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0) || forbidden.contains(c))
            return false;
    }
    return true;
}

// A value is one line: a line break would start a new line that the next
// read takes for a key or a section, so the value ends at the first break.
// A value that starts with a blank or sits between matching quotes is
// quoted, so that the reader, which drops both, gives it back unchanged.
QString storedValue(QString value)
{
    const qsizetype end = std::find_if(value.cbegin(), value.cend(), [](QChar c) {
                              return c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0);
                          }) - value.cbegin();
    value.truncate(end);
    const bool quoted = value.size() >= 2 && isQuote(value.front()) && value.back() == value.front();
    if ((!value.isEmpty() && isBlank(value.front())) || quoted)
        return QLatin1Char('"') + value + QLatin1Char('"');
    return value;
}

QString cutToMaxLength(QString value)
{
    if (value.size() > MaxValueLength) {
        int length = MaxValueLength;
        // Never leave half of a surrogate pair at the end.
        if (value.at(length - 1).isHighSurrogate())
            --length;
        value.truncate(length);
    }
    return value;
}

} // namespace

IniWizard::IniWizard(QString folder, QString programName)
    : m_folder(std::move(folder)), m_programName(std::move(programName))
{
}

void IniWizard::INIInit()
{
    if (m_settingsFilePath.isEmpty())
        m_settingsFilePath = INIFilePath(m_programName + QStringLiteral(".ini"));
    if (m_currentSection.isEmpty())
        m_currentSection = QStringLiteral("General");
}

QString IniWizard::INIFilePath(const QString &fileName) const
{
    return Library::FileInFolder(m_folder, fileName);
}

QString IniWizard::INIGetValue(const QString &key)
{
    INIInit();
    const std::optional<QByteArray> bytes = readFile(m_settingsFilePath, &m_fileProblem);
    if (!bytes || bytes->isEmpty())
        return QString();
    const SettingsText file = SettingsText::fromBytes(*bytes);
    const qsizetype line = file.findKey(m_currentSection.trimmed(), key.trimmed());
    if (line < 0)
        return QString();
    return cutToMaxLength(file.lines.at(line).value());
}

void IniWizard::INISetValue(const QString &key, const QVariant &value)
{
    INIInit();
    const QString section = m_currentSection.trimmed();
    const QString name = key.trimmed();
    // Such a name cannot be written without breaking the file's layout; it
    // could never be read back either, so the write is dropped.
    if (name.isEmpty() || name.startsWith(QLatin1Char('[')) || name.startsWith(QLatin1Char(';'))
        || !canHoldName(name, QStringLiteral("="))
        || section.isEmpty() || !canHoldName(section, QStringLiteral("]"))) {
        return;
    }

    // A file that could not be read is not replaced.
    QString problem;
    const std::optional<QByteArray> oldBytes = readFile(m_settingsFilePath, &problem);
    if (!oldBytes)
        return;
    SettingsText file = SettingsText::fromBytes(*oldBytes);
    const QString text = storedValue(value.toString());

    const qsizetype at = file.findKey(section, name);
    if (at >= 0) {
        // Keep the key's own spelling and the blanks around "=".
        Line &line = file.lines[at];
        const qsizetype equals = line.text.indexOf(QLatin1Char('='));
        qsizetype valueStart = equals + 1;
        while (valueStart < line.text.size() && isBlank(line.text.at(valueStart)))
            ++valueStart;
        line.setText(line.text.left(valueStart) + text);
    } else {
        const qsizetype end = file.endOfSection(section);
        if (end >= 0) {
            file.insertLine(end + 1, name + QLatin1Char('=') + text);
        } else {
            file.insertLine(file.lines.size(), QLatin1Char('[') + section + QLatin1Char(']'));
            file.insertLine(file.lines.size(), name + QLatin1Char('=') + text);
        }
    }

    const QByteArray newBytes = file.toBytes();
    if (newBytes == *oldBytes)
        return;
    // Written beside the old file and renamed over it: a failure at any
    // point leaves the old file as it was. QSaveFile also refuses to
    // replace a file that was made read-only.
    QSaveFile out(m_settingsFilePath);
    if (!out.open(QIODevice::WriteOnly))
        return;
    // commit() renames even when its own last flush falls short (a full
    // disk): flush first, so that a short write keeps the old file.
    if (out.write(newBytes) != newBytes.size() || !out.flush()) {
        out.cancelWriting();
        return;
    }
    out.commit();
}
