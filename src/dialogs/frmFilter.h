#pragma once

#include <QMap>
#include <QWidget>

class CodeTable;
class IniWizard;
class Messenger;
class Module1;
class QCheckBox;
class QGroupBox;
class QPushButton;

// The filter dialog: narrows the catalogue to the ticked item types,
// languages and subject domains, beside any search in force. Modeless,
// without owner, kept above the other windows while it is loaded; "Annuler"
// ends the filter and hides it, the close box unloads it (the filter stays).
class frmFilter : public QWidget {
    Q_OBJECT

public:
    frmFilter(Module1 &module, IniWizard &ini, Messenger &messenger, QWidget *parent = nullptr);

    // The condition of the last application, without its "WHERE ".
    QString condition() const { return m_condition; }

    void cmdFilter_Click(int index);
    void cmdCancel_Click();

Q_SIGNALS:
    // A filter was applied; the main window comes to the front.
    void filterApplied();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Load();
    void Form_Unload();
    QString groupText(const CodeTable &table, const QMap<int, QCheckBox *> &boxes) const;

    Module1 &m_module;
    IniWizard &m_ini;
    Messenger &m_messenger;
    QString m_condition;

    QPushButton *cmdFilter_0 = nullptr;
    QPushButton *cmdCancel = nullptr;
    QGroupBox *Frame1 = nullptr;
    QGroupBox *Frame2 = nullptr;
    QGroupBox *Frame3 = nullptr;
    // Indexed from 1, as the code tables' positions.
    QMap<int, QCheckBox *> chkPrefixe;
    QMap<int, QCheckBox *> chkLangue;
    QMap<int, QCheckBox *> chkDomaine;
};
