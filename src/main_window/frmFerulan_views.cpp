// The two views of the catalogue: the record form with its navigation bar,
// and the grid laid over it; the window's layout and the record position.

#include "frmFerulan.h"

#include "CatalogueGridModel.h"
#include "DataGrid.h"
#include "Messenger.h"
#include "NavigationBar.h"
#include "TwipsLayout.h"
#include "WorkProgress.h"

#include "catalogue/CatalogueRecord.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QPaintEvent>
#include <QResizeEvent>
#include <QScrollBar>

#include <algorithm>

namespace {

// The tool strip's height, docked to the bottom edge.
constexpr int ToolStripHeight = 612;
constexpr int DesignWidth = 13440;

// Pictures are compiled in; a missing one leaves the control without.
QIcon pictureIcon(const QString &path)
{
    const QPixmap pixmap(path);
    return pixmap.isNull() ? QIcon() : QIcon(pixmap);
}

struct FieldBox {
    int index;
    QRect label;
    QRect box;
    const char *caption;
};

} // namespace

void frmFerulan::buildViews()
{
    setWindowTitle(QStringLiteral("Ferulan 5.0"));
    setWindowIcon(pictureIcon(QStringLiteral(":/images/ferulan.png")));
    // The controls are sized for a small sans-serif face of about 8 points;
    // a wide default face would cut their captions.
    QFont designFont = font();
    designFont.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                            QStringLiteral("Nimbus Sans"), QStringLiteral("Helvetica")});
    designFont.setPointSizeF(8);
    setFont(designFont);
    // The design place and size; a stored geometry replaces them. The window
    // is wider than the record form so that the count line right of "Fin"
    // has room; nothing else moves.
    move(Twips::toPixels(1104), Twips::toPixels(336));
    resize(Twips::toPixels(DesignWidth), Twips::toPixels(5892));

    // The record form: labels and bound text boxes.
    const FieldBox boxes[] = {
        {Catalogue::NUMERO, twipsRect(120, 3024, 1812, 252), twipsRect(1200, 3000, 1572, 285), "NUMERO:"},
        {Catalogue::ISBN, twipsRect(3360, 3000, 732, 252), twipsRect(4080, 3000, 5532, 285), "ISBN:"},
        {Catalogue::AUTEUR, twipsRect(120, 3336, 1812, 252), twipsRect(1200, 3360, 8460, 285), "AUTEUR:"},
        {Catalogue::EDITEUR, twipsRect(120, 3660, 1812, 252), twipsRect(1200, 3720, 8460, 285), "EDITEUR:"},
        {Catalogue::TITRE, twipsRect(120, 3984, 1812, 252), twipsRect(1200, 4080, 8460, 492), "TITRE:"},
    };
    for (const FieldBox &field : boxes) {
        auto *label = new QLabel(QString::fromUtf8(field.caption), this);
        label->setObjectName(QStringLiteral("lblLabels_%1").arg(field.index));
        label->setGeometry(field.label);
        lblLabels[field.index] = label;

        QWidget *box = nullptr;
        if (field.index == Catalogue::TITRE) {
            auto *text = new QPlainTextEdit(this);
            text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            text->setTabChangesFocus(true);
            box = text;
        } else {
            auto *line = new QLineEdit(this);
            // NUMERO has no limit of its own: its check refuses long text.
            if (field.index != Catalogue::NUMERO)
                line->setMaxLength(255);
            box = line;
        }
        box->setObjectName(QStringLiteral("txtFields_%1").arg(field.index));
        box->setGeometry(field.box);
        txtFields[field.index] = box;
    }

    Data1Bar = new NavigationBar(Data1, this);
    Data1Bar->setObjectName(QStringLiteral("Data1"));
    Data1Bar->setGeometry(twipsRect(2880, 4680, 2772, 324));

    Command1 = new QPushButton(this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(twipsRect(7800, 120, 1212, 1092));
    Command1->setIcon(pictureIcon(QStringLiteral(":/images/logo.png")));
    Command1->setIconSize(QSize(73, 79));

    // The organisation block.
    Frame5 = new QFrame(this);
    Frame5->setObjectName(QStringLiteral("Frame5"));
    Frame5->setFrameShape(QFrame::NoFrame);
    Frame5->setGeometry(twipsRect(7440, 1200, 2892, 1572));
    const struct {
        const char *name;
        const char *text;
    } lines[] = {
        {"lblOrganisation", "KORVA"},
        {"lblDepartement", "Département de chimie"},
        {"lblRue", "Chemin des Lilas 4"},
        {"lblVille", "1234 Bellerive"},
        {"lblTelephone", "tel    021 555 01 23"},
        {"lblFax", "fax    021 555 01 24"},
    };
    int top = 0;
    for (const auto &line : lines) {
        auto *label = new QLabel(QString::fromUtf8(line.text), Frame5);
        label->setObjectName(QString::fromLatin1(line.name));
        label->setGeometry(twipsRect(120, top, 2772, 252));
        top += 252;
    }
    QLabel *organisation = Frame5->findChild<QLabel *>(QStringLiteral("lblOrganisation"));
    QFont bold = organisation->font();
    bold.setBold(true);
    organisation->setFont(bold);
    organisation->setStyleSheet(QStringLiteral("color: #0000ff;"));

    // The tool strip along the bottom edge.
    Picture1 = new QFrame(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setFrameShape(QFrame::Panel);
    Picture1->setFrameShadow(QFrame::Raised);
    Picture1->setAutoFillBackground(true);

    for (int index : {1, 2}) {
        auto *button = new QPushButton(Picture1);
        button->setObjectName(QStringLiteral("cmdList_%1").arg(index));
        button->setGeometry(twipsRect(2280, 120, 492, 320));
        const QIcon icon = pictureIcon(index == 1 ? QStringLiteral(":/images/list.png")
                                                  : QStringLiteral(":/images/form.png"));
        if (icon.isNull())
            button->setText(index == 1 ? QStringLiteral("Liste") : QStringLiteral("Fiche"));
        button->setIcon(icon);
        button->setIconSize(QSize(16, 16));
        button->setToolTip(index == 1 ? QStringLiteral("Base de données par liste")
                                      : QStringLiteral("Base de données par formulaire"));
        cmdList[index] = button;
        connect(button, &QPushButton::clicked, this, [this, index] { runHandler([this, index] { cmdList_Click(index); }); });
    }
    // The form view's button is in front at start.
    cmdList[2]->hide();
    cmdList[1]->raise();

    cmdFilter = new QPushButton(QStringLiteral("Filtre"), Picture1);
    cmdFilter->setObjectName(QStringLiteral("cmdFilter"));
    cmdFilter->setGeometry(twipsRect(3360, 120, 972, 320));
    cmdFilter->setToolTip(QStringLiteral("Appliquer un filtre"));

    cmdSearch = new QPushButton(QStringLiteral("Cherche"), Picture1);
    cmdSearch->setObjectName(QStringLiteral("cmdSearch"));
    cmdSearch->setGeometry(twipsRect(4440, 120, 972, 320));
    cmdSearch->setToolTip(QStringLiteral("Faire une recherche"));

    cmdClose = new QPushButton(QStringLiteral("Fin"), Picture1);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setGeometry(twipsRect(8160, 120, 975, 320));
    cmdClose->setToolTip(QStringLiteral("Quitter le programme"));

    connect(cmdFilter, &QPushButton::clicked, this, [this] { runHandler([this] { cmdFilter_Click(); }); });
    connect(cmdSearch, &QPushButton::clicked, this, [this] { runHandler([this] { cmdSearch_Click(); }); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { runHandler([this] { cmdClose_Click(); }); });
    connect(Command1, &QPushButton::clicked, this, [this] { runHandler([this] { Command1_Click(); }); });

    // The grid over the record form.
    DBGrid1 = new DataGrid(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setGeometry(twipsRect(0, 0, 9492, 5172));
    m_gridModel = new CatalogueGridModel(Data1, this);
    DBGrid1->setModel(m_gridModel);

    connect(DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { gridRowChosen(current.row()); });
    connect(m_gridModel, &CatalogueGridModel::editRefused, this, &frmFerulan::Data1_Error);
    connect(m_gridModel, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex &topLeft) {
        // A cell typed into the current record shows in the form too.
        if (!m_storingFromForm && topLeft.row() == Data1.Recordset().AbsolutePosition())
            loadBoundControls();
    });

    connect(&Data1, &DataControl::repositioned, this, [this] {
        loadBoundControls();
        enableRecordForm();
        setOptionTabStops();
        followCurrentInGrid();
        Data1_Reposition();
    });
    connect(&Data1, &DataControl::errorOccurred, this, &frmFerulan::Data1_Error);
    connect(&m_module1, &Module1::columnsReset, this, &frmFerulan::SetColumnWidths);
    // A sort, a search or a filter over a large catalogue takes seconds.
    Data1.setProgressObserver(
        new WorkProgress(this, QStringLiteral("Lecture du catalogue…"), WorkProgress::NotCancellable));
}

void frmFerulan::cmdList_Click(int index)
{
    // The button in front offers the other view; the one behind is hidden
    // too, so that it takes no keyboard focus.
    const int front = index == 1 ? 2 : 1;
    DBGrid1->setVisible(index == 1);
    cmdList[front]->show();
    cmdList[front]->raise();
    cmdList[3 - front]->hide();
    setRecordFormReachable(index != 1);
}

void frmFerulan::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    runHandler([this] { Form_Resize(); });
}

void frmFerulan::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    runHandler([this] { Form_Paint(); });
}

void frmFerulan::Form_Resize()
{
    const int stripHeight = Twips::toPixels(ToolStripHeight);
    Picture1->setGeometry(0, height() - stripHeight, width(), stripHeight);
    // A window smaller than the strip (minimised) gives the grid no height.
    DBGrid1->setGeometry(0, 0, width(), std::max(0, height() - stripHeight));
    placeCountLine();
}

void frmFerulan::Data1_Reposition()
{
    clearBusyPointer();
    // The caption is a courtesy: a failure here leaves the previous text.
    const int position = Data1.Recordset().AbsolutePosition();
    Data1.setCaption(QStringLiteral("Record: ") + QString::number(position + 1));
}

void frmFerulan::Data1_Error(int number, const QString &message)
{
    Q_UNUSED(number);
    m_messenger.MsgBox(QStringLiteral("Data error event hit err:") + message);
}

void frmFerulan::SetColumnWidths()
{
    static const int widths[] = {0, 300, 300, 300, 500, 2000, 3500, 6000};
    const int columns = m_gridModel->columnCount();
    for (int column = 0; column < 8 && column < columns; ++column) {
        const int pixels = Twips::toPixels(widths[column]);
        // A zero-width column must not catch the cell cursor either.
        DBGrid1->setColumnHidden(column, pixels == 0);
        if (pixels > 0)
            DBGrid1->setColumnWidth(column, pixels);
    }
}

void frmFerulan::followCurrentInGrid()
{
    const int position = Data1.Recordset().AbsolutePosition();
    m_followingData = true;
    if (position < 0) {
        DBGrid1->selectionModel()->clearCurrentIndex();
        DBGrid1->clearSelection();
    } else {
        int column = DBGrid1->currentColumn();
        if (column < 1)
            column = Catalogue::PREFIXE;
        const QModelIndex target = m_gridModel->index(position, column);
        DBGrid1->selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
        DBGrid1->scrollTo(target);
    }
    m_followingData = false;
}

void frmFerulan::gridRowChosen(int row)
{
    if (m_followingData || m_gridModel->followingRecordSet() || row < 0)
        return;
    RecordSet &records = Data1.Recordset();
    if (row == records.AbsolutePosition())
        return;
    // The grid moves the data control as its own bar would.
    if (!records.Move(row)) {
        Data1_Error(records.lastError().number, records.lastError().text);
        followCurrentInGrid();
    }
}

void frmFerulan::clearBusyPointer()
{
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}
