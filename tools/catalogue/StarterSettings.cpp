#include "StarterSettings.h"

#include "CatalogueWriter.h"

#include "catalogue/CatalogueRecord.h"
#include "settings/SettingsLocation.h"
#include "util/Library.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace StarterSettings {

namespace {

const QString CatalogueName = QStringLiteral("biblio.db");

bool present(const QString &path)
{
    const QFileInfo file(path);
    return file.exists() || file.isSymLink();
}

// Makes the folder; returns the folders made, deepest first, so that a
// failure can take them back.
bool makeFolder(const QString &folder, QStringList *made, QString *error)
{
    QString missing = QDir::cleanPath(QDir(folder).absolutePath());
    QStringList created;
    while (!present(missing)) {
        created << missing;
        missing = QFileInfo(missing).path();
    }
    if (!QFileInfo(missing).isDir()) {
        *error = QStringLiteral("%1 is not a folder").arg(missing);
        return false;
    }
    if (!created.isEmpty() && !QDir().mkpath(created.first())) {
        *error = QStringLiteral("the folder %1 could not be made").arg(created.first());
        return false;
    }
    *made << created;
    return true;
}

Result fail(Result result, const QStringList &made, const QString &error)
{
    if (result.catalogueMade)
        QFile::remove(result.catalogue);
    for (const QString &folder : made)
        QDir().rmdir(folder);
    result.written = false;
    result.catalogueMade = false;
    result.error = error;
    return result;
}

} // namespace

Result write(const QString &folder, const QString &name, bool editAccess)
{
    Result result;
    result.settingsFile = Library::FileInFolder(QDir::cleanPath(QDir(folder).absolutePath()), name + ".ini");
    result.catalogue = Library::FileInFolder(SettingsLocation::dataFolderFor(folder), CatalogueName);
    if (present(result.settingsFile)) {
        result.error = QStringLiteral("%1 already exists").arg(result.settingsFile);
        return result;
    }

    QStringList made;
    QString error;
    if (!makeFolder(folder, &made, &error) || !makeFolder(QFileInfo(result.catalogue).path(), &made, &error))
        return fail(result, made, error);
    if (!present(result.catalogue)) {
        CatalogueWriter writer(result.catalogue);
        if (!writer.begin() || !writer.finish())
            return fail(result, made, writer.errorString());
        result.catalogueMade = true;
    }

    QByteArray text = "[General]\n"
                      "Database=" + CatalogueName.toUtf8() + "\n"
                      "DataOrderString=ORDER BY AUTEUR\n"
                      "ComboOrder=AUTEUR\n"
                      "LastViewType=Form\n";
    if (editAccess)
        text += "EditFunction=" + Catalogue::EditAccessCode.toUtf8() + "\n";
    // NewOnly: a file that appeared meanwhile is not replaced either.
    QFile file(result.settingsFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return fail(result, made, QStringLiteral("%1: %2").arg(result.settingsFile, file.errorString()));
    if (file.write(text) != text.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.close();
        file.remove();
        return fail(result, made, QStringLiteral("%1: %2").arg(result.settingsFile, reason));
    }
    file.close();
    result.written = true;
    return result;
}

} // namespace StarterSettings
