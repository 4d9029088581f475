// Start-up and shut-down of the main window: the general settings, the
// backup, the first query, the edit-access decision and the stored view; at
// closing the settings and the geometry written back.

#include "frmFerulan.h"

#include "dialogs/frmArtInf.h"
#include "dialogs/frmFilter.h"
#include "dialogs/frmSearch.h"

#include "CatalogueGridModel.h"
#include "HandlerError.h"
#include "Messenger.h"
#include "NavigationBar.h"
#include "OrderCombo.h"
#include "DataGrid.h"

#include "catalogue/Backup.h"
#include "catalogue/CatalogueRecord.h"
#include "catalogue/Database.h"
#include "settings/FormGeometry.h"
#include "util/Library.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPushButton>

#include <cstdio>
#include <exception>

const QString frmFerulan::AccessCode = Catalogue::EditAccessCode;
const QString frmFerulan::RecoveryFileName = QStringLiteral("ferulan-recuperation.txt");

frmFerulan::frmFerulan(const QString &programFolder, Messenger &messenger, QWidget *parent,
                       const QString &programName)
    : frmFerulan(SettingsLocation::besideProgram(programFolder, programName), messenger, parent)
{
}

frmFerulan::frmFerulan(const SettingsLocation &location, Messenger &messenger, QWidget *parent)
    : QWidget(parent)
    , m_location(location)
    , m_programFolder(location.dataFolder)
    , m_messenger(messenger)
    , m_ini(location.settingsFolder, location.name)
    , m_module1(Data1)
{
    setObjectName(QStringLiteral("frmFerulan"));
    Data1.setParent(this);
    Data1.setObjectName(QStringLiteral("Data1"));
    m_module1.setParent(this);
    m_module1.setObjectName(QStringLiteral("Module1"));

    buildViews();
    buildEditing();
    buildCodeSelectors();
    buildSortAndKeys();
    buildTabOrder();
    describeControls();
    // The grid lies above every control of the record form, whichever was
    // made last.
    DBGrid1->raise();
}

frmFerulan::~frmFerulan()
{
    // The data control and the query state are members: they are destroyed
    // before QWidget deletes the children, and each leaves the child list as
    // it goes. The controls that read the data control (the grid and its
    // model, the navigation bar) must go first, and nothing it still
    // announces may reach this window's handlers.
    Data1.disconnect();
    qApp->removeEventFilter(this);
    delete DBGrid1;
    delete m_gridModel;
    delete Data1Bar;
    if (QGuiApplication::overrideCursor())
        clearBusyPointer();
    // The dialogs refer to this window's query state and settings. Deleted,
    // not closed: the end of the program stores none of their places.
    delete m_search;
    delete m_filter;
    delete m_about;
}

bool frmFerulan::start()
{
    Form_Initialize();
    QString cause;
    try {
        Form_Load();
        m_loaded = true;
        return true;
    } catch (const HandlerError &error) {
        cause = error.text;
    } catch (const std::exception &error) {
        cause = QString::fromLocal8Bit(error.what());
    }
    // Also on the standard error output, first: scripts and logs see it, and
    // so does a user whose message box nobody can see or close.
    std::fputs(qPrintable(QStringLiteral("ERROR: %1\n").arg(cause)), stderr);
    std::fflush(stderr);
    // Nothing is written: the program ends as it found its files.
    m_messenger.MsgBox(QStringLiteral("ERROR"), Messenger::OkOnly, QString(), cause);
    m_messenger.EndProgram();
    return false;
}

bool frmFerulan::runHandler(const std::function<void()> &handler)
{
    try {
        handler();
        return true;
    } catch (const HandlerError &error) {
        m_messenger.MsgBox(error.text);
    } catch (const HandlerStopped &) {
    } catch (const std::exception &error) {
        m_messenger.MsgBox(QString::fromLocal8Bit(error.what()));
    }
    return false;
}

bool frmFerulan::editingGranted() const
{
    // Hidden, not merely unseen: the window may be minimised or not shown yet.
    return !cmdAdd->isHidden();
}

bool frmFerulan::listViewShown() const
{
    return !DBGrid1->isHidden();
}

void frmFerulan::Form_Initialize()
{
    INILoadFormSize(m_ini, this);
}

void frmFerulan::Form_Load()
{
    DBGrid1->hide();

    m_module1.DatabaseFile = m_ini.INIGetValue(QStringLiteral("Database"));
    // Without a readable settings file there is no database name either;
    // the user is told what is wrong with the file itself.
    if (!m_ini.fileProblem().isEmpty())
        raiseHandlerError(m_ini.fileProblem());
    if (!QFileInfo::exists(m_ini.SettingsFilePath()))
        raiseHandlerError(m_location.notFoundText());
    BackUpMDB_file();
    m_module1.OrderClause = m_ini.INIGetValue(QStringLiteral("DataOrderString"));
    const QString comboOrder = m_ini.INIGetValue(QStringLiteral("ComboOrder"));
    const QString editFunction = m_ini.INIGetValue(QStringLiteral("EditFunction"));

    Data1.setDatabaseName(Database::resolveName(m_programFolder, m_module1.DatabaseFile));
    m_module1.TableName = Catalogue::TableName;
    Data1.setRecordSource(m_module1.TableName);

    cmbOrder->setEditText(comboOrder);

    // An Access file never gets here: the backup refuses it and says how to convert it.
    if (!m_module1.ComposeQuery())
        raiseHandlerError(m_module1.lastError());

    const bool editing = editFunction == AccessCode;
    cmdAdd->setVisible(editing);
    if (!Data1.setReadOnly(!editing))
        raiseHandlerError(Data1.lastError().text);

    if (m_ini.INIGetValue(QStringLiteral("LastViewType")) == QLatin1String("List"))
        cmdList_Click(1);
}

void frmFerulan::BackUpMDB_file()
{
    // With no Database key the path names the program folder itself, which
    // the copy refuses: the program never opens what it could not back up.
    QString error;
    if (m_module1.DatabaseFile.isEmpty())
        raiseHandlerError(QStringLiteral("Le fichier %1 ne nomme aucune base de données "
                                         "(clé Database de la section General).")
                              .arg(m_ini.SettingsFilePath()));
    if (!Backup::BackUpMDB_file(m_programFolder, m_module1.DatabaseFile, &error))
        raiseHandlerError(error);
}

void frmFerulan::Form_Unload()
{
    // What is still typed into a grid cell belongs to the record too.
    DBGrid1->finishEditing();
    if (!Data1.UpdateRecord() && !abandonPendingEdit(Data1.lastError().text))
        throw HandlerStopped{};

    m_ini.INISetValue(QStringLiteral("Database"), m_module1.DatabaseFile);
    m_ini.INISetValue(QStringLiteral("DataOrderString"), m_module1.OrderClause);
    m_ini.INISetValue(QStringLiteral("ComboOrder"), cmbOrder->currentText());
    m_ini.INISetValue(QStringLiteral("LastViewType"), listViewShown() ? QStringLiteral("List") : QStringLiteral("Form"));
    INISaveFormSize(m_ini, this);
    UnloadDialogs();

    m_unloaded = true;
    m_messenger.EndProgram();
}

bool frmFerulan::abandonPendingEdit(const QString &error)
{
    // By default the window stays open with the edit, which the user may
    // mend; leaving it behind is a choice of its own.
    const QString recoveryFile = Library::FileInFolder(m_programFolder, RecoveryFileName);
    const int answer = m_messenger.Ask(
        QStringLiteral("L'enregistrement en cours n'a pas pu être sauvegardé :") + QChar(13) + error + QChar(13)
            + QChar(13) + QStringLiteral("Continuer la saisie, ou abandonner les modifications et quitter ? ")
            + QStringLiteral("Les valeurs abandonnées seront notées dans %1.").arg(recoveryFile),
        {QStringLiteral("Continuer la saisie"), QStringLiteral("Abandonner et quitter")}, QStringLiteral("Ferulan"));
    if (answer != 1)
        return false;

    // The record as it stands on screen, so that nothing typed vanishes.
    RecordSet &records = Data1.Recordset();
    QString entry = QStringLiteral("--- %1, %2, modifications abandonnées : %3\n")
                        .arg(QDateTime::currentDateTime().toString(Qt::ISODate), m_module1.DatabaseFile, error);
    for (int field = Catalogue::PREFIXE; field <= Catalogue::ISBN; ++field) {
        QString value = records.value(field).toString();
        value.replace(QLatin1Char('\n'), QLatin1String("\n    "));
        entry += Catalogue::fieldName(field) + QStringLiteral(": ") + value + QLatin1Char('\n');
    }
    std::fputs(entry.toLocal8Bit().constData(), stderr);
    QFile file(recoveryFile);
    const QByteArray bytes = entry.toUtf8();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(bytes) != bytes.size() || !file.flush())
        m_messenger.MsgBox(QStringLiteral("Les valeurs abandonnées n'ont pas pu être notées dans %1 (%2) :")
                               .arg(recoveryFile, file.errorString())
                               + QChar(13) + entry);
    records.CancelUpdate();
    return true;
}

void frmFerulan::closeEvent(QCloseEvent *event)
{
    if (!m_loaded || m_unloaded) {
        event->accept();
        return;
    }
    // A refused pending edit keeps the window open unless the user drops it.
    if (!runHandler([this] { Form_Unload(); })) {
        event->ignore();
        return;
    }
    event->accept();
}
