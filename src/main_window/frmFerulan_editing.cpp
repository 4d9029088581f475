// Record editing: add, update and delete, the bound text boxes, the NUMERO
// check in both views and the busy pointer while the data control acts.

#include "frmFerulan.h"

#include "CatalogueGridModel.h"
#include "DataGrid.h"
#include "HandlerError.h"
#include "IsbnMark.h"
#include "Messenger.h"
#include "TwipsLayout.h"

#include "catalogue/CatalogueRecord.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>

namespace {

constexpr int TextFieldLimit = 255;

QChar decimalSeparator()
{
    const QString point = QLocale::system().decimalPoint();
    return point.isEmpty() ? QLatin1Char('.') : point.at(0);
}

} // namespace

void frmFerulan::buildEditing()
{
    cmdAdd = new QPushButton(QStringLiteral("&Ajoute"), Picture1);
    cmdAdd->setObjectName(QStringLiteral("cmdAdd"));
    cmdAdd->setGeometry(twipsRect(240, 120, 972, 320));
    cmdAdd->setToolTip(QStringLiteral("Ajouter un enregistrement    <Ctrl> + A"));

    cmdDelete = new QPushButton(QStringLiteral("&Efface"), Picture1);
    cmdDelete->setObjectName(QStringLiteral("cmdDelete"));
    cmdDelete->setGeometry(twipsRect(1320, 120, 612, 300));
    cmdDelete->hide();

    // Its operation runs only as the first step of adding.
    cmdUpdate = new QPushButton(QStringLiteral("&Actualiser"), this);
    cmdUpdate->setObjectName(QStringLiteral("cmdUpdate"));
    cmdUpdate->setGeometry(twipsRect(9720, 0, 852, 300));
    cmdUpdate->hide();

    connect(cmdAdd, &QPushButton::clicked, this, [this] { runHandler([this] { cmdAdd_Click(); }); });
    connect(cmdDelete, &QPushButton::clicked, this, [this] { runHandler([this] { cmdDelete_Click(); }); });
    connect(cmdUpdate, &QPushButton::clicked, this, [this] { runHandler([this] { cmdUpdate_Click(); }); });

    for (auto &[index, box] : txtFields) {
        const int field = index;
        if (auto *line = qobject_cast<QLineEdit *>(box)) {
            connect(line, &QLineEdit::textChanged, this, [this, field] {
                txtFields_Change(field);
                storeBoundField(field, fieldText(field));
            });
        } else if (auto *text = qobject_cast<QPlainTextEdit *>(box)) {
            connect(text, &QPlainTextEdit::textChanged, this, [this, field, text] {
                const QString value = text->toPlainText();
                if (value.size() > TextFieldLimit) {
                    // Typing or pasting past the limit: keep the first 255
                    // characters; that change stores the value.
                    setFieldText(field, value.left(TextFieldLimit));
                    text->moveCursor(QTextCursor::End);
                    return;
                }
                txtFields_Change(field);
                storeBoundField(field, value);
            });
        }
    }

    connect(DBGrid1, &DataGrid::cellTextEdited, this, &frmFerulan::DBGrid1_Change);
    // The grid's cells show the mark through the model; its editor as it is typed.
    connect(DBGrid1, &DataGrid::cellTextChanged, this, [this] {
        if (DBGrid1->currentColumn() == Catalogue::ISBN)
            IsbnMark::apply(DBGrid1->cellEditor());
    });
    connect(&Data1, &DataControl::validating, this, &frmFerulan::Data1_Validate);
}

QString frmFerulan::fieldText(int index) const
{
    const auto found = txtFields.find(index);
    if (found == txtFields.end())
        return {};
    if (auto *line = qobject_cast<QLineEdit *>(found->second))
        return line->text();
    if (auto *text = qobject_cast<QPlainTextEdit *>(found->second))
        return text->toPlainText();
    return {};
}

void frmFerulan::setFieldText(int index, const QString &value)
{
    const auto found = txtFields.find(index);
    if (found == txtFields.end() || fieldText(index) == value)
        return;
    if (auto *line = qobject_cast<QLineEdit *>(found->second))
        line->setText(value);
    else if (auto *text = qobject_cast<QPlainTextEdit *>(found->second))
        text->setPlainText(value);
}

void frmFerulan::loadBoundControls()
{
    const RecordSet &records = Data1.Recordset();
    auto text = [&records](int field) {
        const QVariant value = records.value(field);
        return value.isNull() ? QString() : value.toString();
    };
    // Loading a record is not typing: nothing goes back into the buffer.
    const bool wasLoading = m_loadingRecord;
    m_loadingRecord = true;
    for (int field = Catalogue::NUMERO; field <= Catalogue::ISBN; ++field)
        setFieldText(field, text(field));
    txtPrefixe->setText(text(Catalogue::PREFIXE));
    txtLangue->setText(text(Catalogue::LANGUE));
    txtDomaine->setText(text(Catalogue::DOMAINE));
    m_loadingRecord = wasLoading;
}

void frmFerulan::storeBoundField(int field, const QString &text)
{
    if (m_loadingRecord)
        return;
    RecordSet &records = Data1.Recordset();
    QVariant stored = records.value(field);
    if ((stored.isNull() ? QString() : stored.toString()) == text)
        return;
    // Without a current record or in read-only mode the edit has nowhere to
    // go; the text stays in the box until the next record is shown.
    m_storingFromForm = true;
    if (records.setValue(field, text))
        m_gridModel->rowChanged(records.AbsolutePosition());
    m_storingFromForm = false;
}

void frmFerulan::enableRecordForm()
{
    // Without a current record (an empty result, the last record deleted)
    // a typed text or a chosen option would have nowhere to go: the boxes
    // and the option groups are greyed out until a record is shown or added.
    const bool current = Data1.Recordset().hasCurrent();
    for (auto &[index, box] : txtFields)
        box->setEnabled(current);
    for (QGroupBox *frame : {frame1, Frame2, Frame3})
        frame->setEnabled(current);
}

void frmFerulan::cmdAdd_Click()
{
    cmdUpdate_Click();
    RecordSet &records = Data1.Recordset();
    if (!records.AddNew())
        raiseHandlerError(records.lastError().text);
    if (!records.Update()) {
        const QString error = records.lastError().text;
        records.CancelUpdate();
        raiseHandlerError(error);
    }
    if (!records.MoveLast())
        raiseHandlerError(records.lastError().text);
    if (listViewShown()) {
        DBGrid1->viewport()->update();
        DBGrid1->setFocus(Qt::OtherFocusReason);
        DBGrid1->setCurrentColumn(Catalogue::PREFIXE);
    }
}

void frmFerulan::cmdUpdate_Click()
{
    DBGrid1->finishEditing();
    if (!Data1.UpdateRecord())
        raiseHandlerError(Data1.lastError().text);
    RecordSet &records = Data1.Recordset();
    // Nothing stored yet in this run, or the stored record deleted since:
    // there is no record to return to, and staying put is right.
    if (const auto last = records.LastModified())
        records.setBookmark(*last);
}

void frmFerulan::cmdDelete_Click()
{
    RecordSet &records = Data1.Recordset();
    // An empty set, or the record just deleted: nothing to remove.
    if (!records.hasCurrent())
        return;
    DBGrid1->finishEditing();
    if (!records.Delete())
        raiseHandlerError(records.lastError().text);
    if (!records.MoveNext())
        raiseHandlerError(records.lastError().text);
}

void frmFerulan::Data1_Validate(int action, bool dataChanged)
{
    Q_UNUSED(action);
    Q_UNUSED(dataChanged);
    if (QGuiApplication::overrideCursor())
        QGuiApplication::changeOverrideCursor(Qt::WaitCursor);
    else
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    // An action that ends without arriving on a record (refused, or one
    // that does not move) must not leave the hourglass behind.
    if (!m_busyRestorePosted) {
        m_busyRestorePosted = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_busyRestorePosted = false;
                clearBusyPointer();
            },
            Qt::QueuedConnection);
    }
}

void frmFerulan::DBGrid1_Change()
{
    if (DBGrid1->currentColumn() != Catalogue::NUMERO)
        return;
    const QString text = DBGrid1->cellText();
    if (text.isEmpty() || Catalogue::isAdmissibleNumero(text, decimalSeparator()))
        return;
    m_messenger.MsgBox(QStringLiteral("Le numéro doit être un nombre !"));
    DBGrid1->setCellText(QString());
}

void frmFerulan::txtFields_Change(int index)
{
    // A wrong check digit is shown, never refused.
    if (index == Catalogue::ISBN)
        IsbnMark::apply(qobject_cast<QLineEdit *>(txtFields[Catalogue::ISBN]));
    if (index != Catalogue::NUMERO)
        return;
    const QString text = fieldText(Catalogue::NUMERO);
    if (text.isEmpty() || Catalogue::isAdmissibleNumero(text, decimalSeparator()))
        return;
    m_messenger.MsgBox(QStringLiteral("Entrée non valable ! ") + QChar(13) + QStringLiteral("Le numéro doit être un nombre !"),
                       Messenger::Information, QStringLiteral("Ferulan"));
    setFieldText(Catalogue::NUMERO, QString());
    txtFields[Catalogue::NUMERO]->update();
}
