#include "SettingsLocation.h"

#include "util/Library.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString Subfolder = QStringLiteral("ferulan");

QString userFolder(const char *variable, const QString &fallback)
{
    // Relative values are to be ignored: they would depend on where the
    // program happens to be started.
    const QString value = qEnvironmentVariable(variable);
    const QString base = QDir::isAbsolutePath(value) ? value : QDir::homePath() + fallback;
    return QDir::cleanPath(base + QLatin1Char('/') + Subfolder);
}

// A link that leads nowhere, a folder or a pipe of that name counts too: the
// start then says what is wrong with it rather than looking elsewhere.
bool present(const QString &path)
{
    const QFileInfo file(path);
    return file.exists() || file.isSymLink();
}

} // namespace

QString SettingsLocation::settingsFile() const
{
    return Library::FileInFolder(settingsFolder, name + QStringLiteral(".ini"));
}

SettingsLocation SettingsLocation::besideProgram(const QString &programFolder, const QString &name)
{
    SettingsLocation location{programFolder, name, programFolder, {}, false};
    location.lookedIn << location.settingsFile();
    location.found = present(location.settingsFile());
    return location;
}

SettingsLocation SettingsLocation::find(const QString &programFolder, const QString &name)
{
    const SettingsLocation beside = besideProgram(programFolder, name);
    if (beside.found)
        return beside;
    SettingsLocation user{userSettingsFolder(), name, userDataFolder(), beside.lookedIn, false};
    user.lookedIn << user.settingsFile();
    user.found = present(user.settingsFile());
    return user;
}

QString SettingsLocation::userSettingsFolder()
{
    return userFolder("XDG_CONFIG_HOME", QStringLiteral("/.config"));
}

QString SettingsLocation::userDataFolder()
{
    return userFolder("XDG_DATA_HOME", QStringLiteral("/.local/share"));
}

QString SettingsLocation::dataFolderFor(const QString &settingsFolder)
{
    const QString folder = QDir::cleanPath(QDir(settingsFolder).absolutePath());
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    const QString user = userSettingsFolder();
    const QString userCanonical = QFileInfo(user).canonicalFilePath();
    if (folder == user || (!canonical.isEmpty() && canonical == userCanonical))
        return userDataFolder();
    return folder;
}

QString SettingsLocation::notFoundText() const
{
    QString places;
    for (const QString &path : lookedIn)
        places += QStringLiteral("\n    ") + path;
    const QString nameOption = name == Subfolder ? QString() : QStringLiteral(" --name ") + name;
    return QStringLiteral("Le fichier de réglages %1.ini est introuvable ; il a été cherché à ces endroits :%2\n"
                          "Il doit nommer la base de données (clé Database de la section General). "
                          "« ferulan-catalogue init%3 » en écrit un dans %4, avec un catalogue vide dans %5 "
                          "(« ferulan-catalogue init%3 --edit » donne en plus le droit de modifier le catalogue).")
        .arg(name, places, nameOption, userSettingsFolder(), userDataFolder());
}
