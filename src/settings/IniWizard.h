#pragma once

#include <QString>
#include <QVariant>

// The program's access to its settings file, "<program>.ini" in the program
// folder. It keeps a current section; single keys are read and written one
// call at a time, the file never held open between calls.
//
// The file layout: "[Section]" lines, "Key=Value" lines, ";" comments.
// - Section and key names are found whatever their letter case and the
//   blanks around them.
// - A value is the rest of its line after "=", without the blanks that
//   follow "=" (so "Key = value" reads "value"); a trailing blank belongs to
//   the value. A value between a pair of matching quotes ("..." or '...')
//   reads without them: that is how a value starting with a blank, or one
//   that is itself quoted, is written so that it reads back unchanged.
// - Each line is read as UTF-8 when it is valid UTF-8, else as Windows-1252
//   (files written by earlier versions of the program). A line written here
//   takes the file's encoding: UTF-8 for a file in UTF-8 (valid, with text
//   beyond ASCII), else Windows-1252, a new file included; a value the code
//   page cannot hold is written in UTF-8. Line ends stay CRLF or LF.
// - A write changes one line (or adds the key at the end of its section, or
//   the section at the end of the file); every other line stays byte for
//   byte. The new file replaces the old one only once it is complete.
// - Only a regular file of at most 1 MB is read; anything else (a folder, a
//   named pipe, a device, a file that cannot be opened) reads as empty, is
//   never written over, and fileProblem() says why.
// - A value holds one line: it is cut at its first line break.
class IniWizard {
public:
    // folder: where the program lives; programName: the executable's name
    // without extension ("ferulan").
    IniWizard(QString folder, QString programName);

    void INIInit();
    QString INIFilePath(const QString &fileName) const;
    QString INIGetSection() const { return m_currentSection; }
    void INISetSection(const QString &section) { m_currentSection = section; }

    // Empty when the file, section or key is missing; at most 254 characters.
    QString INIGetValue(const QString &key);
    // A failed write goes unnoticed; the old file stays whole.
    void INISetValue(const QString &key, const QVariant &value);

    // Why the last read found no usable file; empty when the file was read
    // or is simply missing.
    QString fileProblem() const { return m_fileProblem; }

    QString SettingsFilePath() const { return m_settingsFilePath; }
    const QString &folder() const { return m_folder; }

private:
    QString m_folder;
    QString m_programName;
    QString m_settingsFilePath;
    QString m_currentSection;
    QString m_fileProblem;
};
