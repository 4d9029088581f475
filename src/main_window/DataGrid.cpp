#include "DataGrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyledItemDelegate>

// Hands every editor to the grid and lets Tab leave the grid rather than
// walk to the next cell.
class DataGridDelegate : public QStyledItemDelegate {
public:
    explicit DataGridDelegate(DataGrid *grid)
        : QStyledItemDelegate(grid)
        , m_grid(grid)
    {
    }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        auto *editor = new QLineEdit(parent);
        editor->setObjectName(QStringLiteral("cellEditor"));
        editor->setFrame(false);
        editor->setFont(option.font);
        // Read aloud as the column it edits.
        editor->setAccessibleName(index.model()->headerData(index.column(), Qt::Horizontal).toString());
        m_grid->editorCreated(editor);
        return editor;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // A message box shown while a cell is edited (a refused NUMERO, a
        // refused store) takes the focus from the editor. Committing and
        // closing the editor then would store the text the message refuses,
        // and delete the editor while the keystroke that raised the message
        // is still being handled. It stays open and gets the focus back.
        if (event->type() == QEvent::FocusOut && QApplication::activeModalWidget()
            && !QApplication::activeModalWidget()->isAncestorOf(m_grid))
            return false;
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
                auto *editor = qobject_cast<QWidget *>(watched);
                Q_EMIT commitData(editor);
                Q_EMIT closeEditor(editor, QAbstractItemDelegate::NoHint);
                m_grid->leaveByTab(editor, key == Qt::Key_Backtab);
                return true;
            }
        }
        return QStyledItemDelegate::eventFilter(watched, event);
    }

private:
    DataGrid *m_grid;
};

DataGrid::DataGrid(QWidget *parent)
    : QTableView(parent)
{
    setItemDelegate(new DataGridDelegate(this));
    setTabKeyNavigation(false);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Typing into a cell edits it; a click only makes it current.
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                    | QAbstractItemView::AnyKeyPressed);
    setWordWrap(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    // A name cut at the column's edge reads better than an ellipsis.
    horizontalHeader()->setTextElideMode(Qt::ElideNone);
    verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("▶")) + 10);
    setStyleSheet(QStringLiteral("QTableView { gridline-color: #606060; }"));
}

int DataGrid::currentColumn() const
{
    return currentIndex().isValid() ? currentIndex().column() : -1;
}

void DataGrid::setCurrentColumn(int column)
{
    if (!model())
        return;
    const int row = currentIndex().isValid() ? currentIndex().row() : 0;
    const QModelIndex target = model()->index(row, column);
    if (target.isValid())
        setCurrentIndex(target);
}

QString DataGrid::cellText() const
{
    if (m_editor)
        return m_editor->text();
    return currentIndex().data(Qt::EditRole).toString();
}

void DataGrid::setCellText(const QString &text)
{
    if (m_editor)
        m_editor->setText(text);
    else if (model() && currentIndex().isValid())
        model()->setData(currentIndex(), text);
}

void DataGrid::finishEditing()
{
    if (!m_editor)
        return;
    QLineEdit *editor = m_editor;
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void DataGrid::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
    if (editor == m_editor)
        m_editor = nullptr;
    QTableView::closeEditor(editor, hint);
}

void DataGrid::editorCreated(QLineEdit *editor)
{
    m_editor = editor;
    connect(editor, &QLineEdit::textEdited, this, &DataGrid::cellTextEdited);
    connect(editor, &QLineEdit::textChanged, this, &DataGrid::cellTextChanged);
}

void DataGrid::leaveByTab(QWidget *editor, bool backwards)
{
    Q_UNUSED(editor);
    // The editor is gone; move on from the grid itself.
    setFocus(Qt::OtherFocusReason);
    focusNextPrevChild(!backwards);
}
