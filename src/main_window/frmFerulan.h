#pragma once

#include "catalogue/DataControl.h"
#include "catalogue/Module1.h"
#include "settings/IniWizard.h"
#include "settings/SettingsLocation.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <map>

class CatalogueGridModel;
class frmArtInf;
class frmFilter;
class frmSearch;
class DataGrid;
class KeyHelpWindow;
class Messenger;
class NavigationBar;
class OrderCombo;
class QAction;
class QFrame;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QUndoStack;

// The main window: the catalogue as a record form with its navigation bar,
// or as the grid laid over that form. Closing it ends the program.
//
// Handlers keep the names of the events they answer. A handler that cannot
// go on throws HandlerError; runHandler() is the one place that shows such
// an error, so the program keeps running and no file is left half written.
class frmFerulan : public QWidget {
    Q_OBJECT

public:
    // Editing is offered only when the settings carry exactly this text.
    static const QString AccessCode;

    // programFolder holds the settings file (programName + ".ini"), the
    // catalogue, its backup and the export file.
    frmFerulan(const QString &programFolder, Messenger &messenger, QWidget *parent = nullptr,
               const QString &programName = QStringLiteral("ferulan"));
    // The settings file where location found it (or where it was looked
    // for); the catalogue, its backup and the export in its data folder.
    frmFerulan(const SettingsLocation &location, Messenger &messenger, QWidget *parent = nullptr);
    ~frmFerulan() override;

    // Restores the geometry and loads the catalogue. False when start-up
    // failed: the user has been told and the program was asked to end.
    bool start();

    // Runs a handler; an error it throws is shown to the user. False when
    // the handler failed or the user stopped it.
    bool runHandler(const std::function<void()> &handler);

    // What the dialogs share with the window.
    IniWizard &ini() { return m_ini; }
    Module1 &module() { return m_module1; }
    Messenger &messenger() { return m_messenger; }
    const QString &programFolder() const { return m_programFolder; }
    // Editing mode, decided once at start-up: the add button is shown.
    bool editingGranted() const;
    bool listViewShown() const;

    // --- start-up and shut-down
    void Form_Initialize();
    void Form_Load();
    void Form_Unload();
    void BackUpMDB_file();

    // --- the two views
    void cmdList_Click(int index);
    void Form_Resize();
    void Data1_Reposition();
    void Data1_Error(int number, const QString &message);
    void SetColumnWidths();

    // --- editing
    void cmdAdd_Click();
    void cmdUpdate_Click();
    void cmdDelete_Click();
    void Data1_Validate(int action, bool dataChanged);
    void DBGrid1_Change();
    void txtFields_Change(int index);

    // --- code selectors
    void opPrefixe_Click(int index);
    void opLangue_Click(int index);
    void opDomaine_Click(int index);
    void txtPrefixe_Change();
    void txtLangue_Change();
    void txtDomaine_Change();

    // --- sort order and keys. Key codes: letters as their capital's code,
    // Enter 13, others Qt's; shift: Shift 1 + Ctrl 2 + Alt 4. A handler
    // sets keyCode to 0 to consume the key.
    void cmbOrder_Click();
    void Form_KeyDown(int &keyCode, int shift);
    void DBGrid1_KeyDown(int &keyCode, int shift);

    // --- dialogs, about box and export
    void cmdSearch_Click();
    void cmdFilter_Click();
    void Command1_Click();
    void cmdClose_Click();
    void Form_Paint();
    // Unloads the search and filter dialogs, which store their geometry.
    void UnloadDialogs();
    // F1: the window listing every key of the program.
    void showKeyHelp();
    // F5: runs the query again, to show what other users added or deleted.
    void refreshCatalogue();

    // --- the count line and printing
    // How many records the set holds, and which search and filter narrow it.
    void updateCountLine();
    // Ctrl+P: a print preview of the set in its order, printable or saved as PDF.
    void printCatalogue();
    // --- undo: the changes stored in this session, taken back one by one
    // (Ctrl+Z) and made again (Ctrl+Y, Ctrl+Shift+Z). Typing not yet stored
    // is stored first, so that it is the change taken back.
    void undoChange();
    void redoChange();
    void stepChange(bool undo);

    // Where edits dropped at closing are written down, beside the program.
    static const QString RecoveryFileName;

    // The controls, named as the program names them.
    DataControl Data1;
    NavigationBar *Data1Bar = nullptr;
    DataGrid *DBGrid1 = nullptr;
    QFrame *Picture1 = nullptr;
    QPushButton *cmdAdd = nullptr;
    QPushButton *cmdDelete = nullptr;
    QPushButton *cmdUpdate = nullptr;
    std::map<int, QPushButton *> cmdList;
    QPushButton *cmdFilter = nullptr;
    QPushButton *cmdSearch = nullptr;
    std::map<int, QLabel *> Label2;
    OrderCombo *cmbOrder = nullptr;
    QPushButton *cmdClose = nullptr;
    QPushButton *Command1 = nullptr;
    QFrame *Frame5 = nullptr;
    std::map<int, QLabel *> lblLabels;
    // Indices 4 to 7 are single-line boxes; 7 (TITRE) is a QPlainTextEdit.
    std::map<int, QWidget *> txtFields;
    QGroupBox *frame1 = nullptr;
    QGroupBox *Frame2 = nullptr;
    QGroupBox *Frame3 = nullptr;
    std::map<int, QRadioButton *> opPrefixe;
    std::map<int, QRadioButton *> opLangue;
    std::map<int, QRadioButton *> opDomaine;
    QLineEdit *txtPrefixe = nullptr;
    QLineEdit *txtLangue = nullptr;
    QLineEdit *txtDomaine = nullptr;
    // In the tool strip, right of "Fin": the count line.
    QLabel *lblCount = nullptr;
    // The context menu's "Annuler" and "Rétablir".
    QAction *actUndo = nullptr;
    QAction *actRedo = nullptr;

    // The text of a form-view box, whatever its kind.
    QString fieldText(int index) const;

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Tab and Shift+Tab follow the window's designed order (m_tabOrder).
    bool focusNextPrevChild(bool next) override;

private:
    // Layout and wiring, one per concern.
    void buildViews();
    void buildEditing();
    void buildCodeSelectors();
    void buildSortAndKeys();
    void buildTabOrder();
    void buildUndo();
    // The menu of a right click on the window (or Shift+F10, the menu key).
    void buildContextMenu();
    // Names and descriptions for screen readers, and labels tied to boxes.
    void describeControls();
    void buildCountLine();
    // Lays the count line out to the strip's width.
    void placeCountLine();
    // Controls covered by the grid take no focus while it is shown.
    void setRecordFormReachable(bool reachable);

    // At closing, when the pending edit cannot be stored: true when the user
    // chose to drop it, after it was written down where it can be found.
    bool abandonPendingEdit(const QString &error);
    // Brings the window to the front after a search or a filter.
    void activateMainWindow();
    void setFieldText(int index, const QString &text);
    // The bound controls follow the current record; what the user types in
    // them goes into the record's edit buffer.
    void loadBoundControls();
    void storeBoundField(int field, const QString &text);
    // The record form takes input only while there is a record to hold it.
    void enableRecordForm();
    void clearBusyPointer();
    // The grid's cell cursor and the data control's current record follow
    // each other.
    void followCurrentInGrid();
    void gridRowChosen(int row);
    void setSelectorFromText(std::map<int, QRadioButton *> &group, const QString &letter, int table);
    void writeLetter(QLineEdit *box, int table, int index);
    // Each option group is one Tab stop, on its selected option.
    void setOptionTabStops();
    // Arrow keys in an option group select the neighbouring option.
    bool optionArrowKey(QObject *watched, QKeyEvent *event);
    bool keyPreview(QObject *watched, QKeyEvent *event);
    // F1, Ctrl+F and the record moves of the form view; true when the key
    // was one of them.
    bool commandKey(const QKeyEvent *event, QWidget *target);
    // Ctrl+Z, Ctrl+Y and Ctrl+Shift+Z; true when the window took the key.
    bool undoKey(const QKeyEvent *event, QWidget *target);
    void showUndoState();

    SettingsLocation m_location;
    QString m_programFolder;
    Messenger &m_messenger;
    IniWizard m_ini;
    Module1 m_module1;
    CatalogueGridModel *m_gridModel = nullptr;
    // Loaded on first use; they use the query state and the settings above.
    QPointer<frmSearch> m_search;
    QPointer<frmFilter> m_filter;
    QPointer<frmArtInf> m_about;
    QPointer<KeyHelpWindow> m_keyHelp;
    // The controls in Tab order; those that cannot take the focus now
    // (hidden, covered, greyed out, an option not selected) are passed over.
    QList<QWidget *> m_tabOrder;
    // The key the window saw last, and where: the same key travelling up
    // to the parents is not seen again.
    const QKeyEvent *m_previewedKey = nullptr;
    QPointer<QWidget> m_previewedTarget;
    QUndoStack *m_undoStack = nullptr;
    QMenu *m_contextMenu = nullptr;

    // The search and filter of the set shown, in words; taken when a query
    // succeeds, so that a refused one does not change them.
    QString m_conditions;
    QString m_orderInForce; // the field the set is sorted by, or empty

    bool m_loaded = false;
    bool m_unloaded = false;
    bool m_loadingRecord = false;
    bool m_storingFromForm = false;
    bool m_followingData = false;
    bool m_busyRestorePosted = false;
    // The about box opens by itself once per run, at the first painting in
    // read-only mode.
    bool m_aboutShown = false;
};
