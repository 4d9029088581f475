#pragma once

#include <QString>
#include <QVariant>

// The program's access to its settings file, "<program>.ini" in the program
// folder. It keeps a current section; single keys are read and written one
// call at a time, the file never held open between calls.
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

    QString SettingsFilePath() const { return m_settingsFilePath; }
    const QString &folder() const { return m_folder; }

private:
    QString m_folder;
    QString m_programName;
    QString m_settingsFilePath;
    QString m_currentSection;
};
