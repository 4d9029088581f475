#pragma once

#include <QStringList>
#include <QWidget>

class IniWizard;
class Messenger;
class Module1;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The search dialog: narrows the catalogue to the records whose chosen field
// contains a text, beside any filter in force. Modeless, without owner, kept
// above the other windows while it is loaded; "Annuler" ends the search and
// hides it, the close box unloads it (the search stays in force).
class frmSearch : public QWidget {
    Q_OBJECT

public:
    // fields: the sort selector's entries, offered as the fields to search.
    frmSearch(Module1 &module, IniWizard &ini, Messenger &messenger, const QStringList &fields,
              QWidget *parent = nullptr);

    // The condition built by the last search, kept for the record.
    QString condition() const { return m_condition; }

    // Text for inside a quoted pattern: every apostrophe doubled, so that a
    // French text such as "l'eau" stays one literal.
    static QString quotedPatternText(const QString &text);

    // The condition for "field contains text"; with ignoreAccents, accents,
    // letter case and ligatures are folded away on both sides.
    static QString searchCondition(const QString &field, const QString &text, bool ignoreAccents);

    // The settings key, in the General section, that remembers the option ("1": on).
    static constexpr const char *IgnoreAccentsKey = "SearchIgnoreAccents";

    void cmd_Click(int index);
    void cmdCancel_Click();
    void chkAccents_Click(bool checked);

Q_SIGNALS:
    // A search was applied; the main window comes to the front.
    void searchApplied();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load();
    void Form_Paint();
    void Form_Unload();

    Module1 &m_module;
    IniWizard &m_ini;
    Messenger &m_messenger;
    QStringList m_fields;
    QString m_condition;
    bool m_watchingExposure = false;

    QPushButton *cmdCancel = nullptr;
    QPushButton *cmd_1 = nullptr;
    QComboBox *Combo1 = nullptr;
    QLineEdit *txtSearch = nullptr;
    QLabel *Label2 = nullptr;
    QCheckBox *chkAccents = nullptr;
};
