// The sort selector and the keyboard: Ctrl+A, Ctrl+S and Enter in the grid,
// seen by the window before the focused control (key preview).

#include "frmFerulan.h"

#include "DataGrid.h"
#include "HandlerError.h"
#include "NavigationBar.h"
#include "OrderCombo.h"
#include "TwipsLayout.h"

#include "catalogue/CatalogueRecord.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

namespace {

constexpr int KeyA = 65;
constexpr int KeyS = 83;
constexpr int KeyEnter = 13;
constexpr int ShiftMask = 1;
constexpr int CtrlMask = 2;
constexpr int AltMask = 4;

int keyCodeOf(const QKeyEvent *event)
{
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        return KeyEnter;
    return key; // letters are their capitals' codes already
}

int shiftStateOf(const QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    return (modifiers & Qt::ShiftModifier ? ShiftMask : 0) | (modifiers & Qt::ControlModifier ? CtrlMask : 0)
        | (modifiers & Qt::AltModifier ? AltMask : 0);
}

} // namespace

void frmFerulan::buildSortAndKeys()
{
    auto *label = new QLabel(QStringLiteral("Tri par ..."), Picture1);
    label->setObjectName(QStringLiteral("Label2_0"));
    label->setGeometry(twipsRect(5760, 120, 732, 252));
    Label2[0] = label;

    cmbOrder = new OrderCombo(Picture1);
    cmbOrder->setObjectName(QStringLiteral("cmbOrder"));
    cmbOrder->setGeometry(twipsRect(6480, 120, 1332, 288));
    cmbOrder->setToolTip(QStringLiteral("Trier la banque de données"));
    cmbOrder->addItems(Catalogue::sortFields());
    // No entry is chosen at start; the text field shows what start-up puts there.
    cmbOrder->setCurrentIndex(-1);
    cmbOrder->setEditText(QString());
    connect(cmbOrder, &OrderCombo::chosen, this, [this] { runHandler([this] { cmbOrder_Click(); }); });

    // Key preview: the window sees every key pressed in any of its controls,
    // the grid's cell editor included, before the control itself.
    qApp->installEventFilter(this);
}

void frmFerulan::setRecordFormReachable(bool reachable)
{
    QList<QWidget *> covered;
    for (auto &[index, box] : txtFields)
        covered << box;
    covered << Command1;
    for (QToolButton *arrow : Data1Bar->findChildren<QToolButton *>())
        covered << arrow;
    for (QWidget *widget : covered) {
        const QVariant designed = widget->property("designFocusPolicy");
        if (!designed.isValid())
            widget->setProperty("designFocusPolicy", int(widget->focusPolicy()));
        widget->setFocusPolicy(reachable ? Qt::FocusPolicy(widget->property("designFocusPolicy").toInt())
                                         : Qt::NoFocus);
        if (!reachable && widget->hasFocus())
            DBGrid1->setFocus(Qt::OtherFocusReason);
    }
    setOptionTabStops();
    for (auto *group : {&opPrefixe, &opLangue, &opDomaine}) {
        for (auto &[index, button] : *group) {
            if (!reachable && button->hasFocus())
                DBGrid1->setFocus(Qt::OtherFocusReason);
        }
    }
}

void frmFerulan::cmbOrder_Click()
{
    m_module1.OrderClause = QStringLiteral("ORDER BY ") + cmbOrder->currentText();
    if (!m_module1.ComposeQuery())
        raiseHandlerError(m_module1.lastError());
}

void frmFerulan::Form_KeyDown(int &keyCode, int shift)
{
    if (!editingGranted())
        return;
    // The key is left as it is: the focused control still receives it.
    if (keyCode == KeyA && shift == CtrlMask)
        cmdAdd_Click();
    else if (keyCode == KeyS && shift == CtrlMask)
        cmdDelete->setVisible(cmdDelete->isHidden());
}

void frmFerulan::DBGrid1_KeyDown(int &keyCode, int shift)
{
    Q_UNUSED(shift);
    if (!editingGranted() || keyCode != KeyEnter)
        return;
    keyCode = 0;
    const int next = DBGrid1->currentColumn() + 1;
    if (next < Catalogue::FieldCount) {
        DBGrid1->finishEditing();
        DBGrid1->setCurrentColumn(next);
    } else {
        cmdAdd_Click();
    }
}

bool frmFerulan::eventFilter(QObject *watched, QEvent *event)
{
    // Whatever event comes between, the next key press is a new one, even
    // where it reuses the old one's memory.
    if (event != m_previewedKey || event->type() != QEvent::KeyPress)
        m_previewedKey = nullptr;
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        auto *key = static_cast<QKeyEvent *>(event);
        // A handler may delete the control (a grid cell's editor).
        const QPointer<QWidget> target = static_cast<QWidget *>(watched);
        const bool taken = keyPreview(watched, key) || optionArrowKey(watched, key);
        // Noted after the handlers, whose own events came in between.
        if (m_previewedKey != key) {
            m_previewedKey = key;
            m_previewedTarget = target;
        }
        return taken;
    }
    return QWidget::eventFilter(watched, event);
}

bool frmFerulan::keyPreview(QObject *watched, QKeyEvent *event)
{
    auto *target = static_cast<QWidget *>(watched);
    if (!m_loaded || m_unloaded || (target != this && !isAncestorOf(target)))
        return false;
    // A key the focused control left unhandled travels up to its parents;
    // the window has seen it already.
    QWidget *focus = QApplication::focusWidget();
    if (focus && focus != target && target->isAncestorOf(focus))
        return false;
    // So it does when the handler moved the focus elsewhere (Ctrl+A in the
    // list view): the key must not act twice.
    if (event == m_previewedKey && m_previewedTarget && target->isAncestorOf(m_previewedTarget))
        return false;

    int keyCode = keyCodeOf(event);
    const int shift = shiftStateOf(event);
    // A handler may close the grid's cell editor the key was meant for, and
    // a message it shows runs an event loop in which the editor is deleted:
    // the key then has nowhere to go.
    const QPointer<QWidget> receiver = target;
    runHandler([&] { Form_KeyDown(keyCode, shift); });
    if (keyCode == 0 || !receiver || commandKey(event, target))
        return true;
    if (target == DBGrid1 || DBGrid1->isAncestorOf(target)) {
        runHandler([&] { DBGrid1_KeyDown(keyCode, shift); });
        if (keyCode == 0)
            return true;
    }
    return false;
}
