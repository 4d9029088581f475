#pragma once

#include <QString>
#include <QStringList>

// Where the program's settings file lies and where the files it names go.
// A settings file beside the program wins: a copied folder keeps everything
// together. An installed program cannot write its own folder, so otherwise
// the user's folders are used: the settings in the configuration folder,
// the catalogue, its backup and the export in the data folder.
struct SettingsLocation {
    QString settingsFolder; // holds name + ".ini"
    QString name;           // the program's name as started
    QString dataFolder;     // where a relative Database, the export and the recovery notes go
    QStringList lookedIn;   // every settings file looked for, in order
    bool found = false;

    QString settingsFile() const;

    // Everything in the program's folder, as a copied folder has it.
    static SettingsLocation besideProgram(const QString &programFolder, const QString &name);
    // The settings beside the program when there, else in the user's folder,
    // else nowhere (found false; the user's folders are then named).
    static SettingsLocation find(const QString &programFolder, const QString &name);

    // $XDG_CONFIG_HOME/ferulan and $XDG_DATA_HOME/ferulan, the variables
    // taken only when they hold a full path (else ~/.config, ~/.local/share).
    static QString userSettingsFolder();
    static QString userDataFolder();
    // The data folder that goes with settings written into this folder: the
    // user's data folder for the user's settings folder, else the folder itself.
    static QString dataFolderFor(const QString &settingsFolder);

    // Why the program cannot start without settings, in French: where the
    // file was looked for and how to make one.
    QString notFoundText() const;
};
