#pragma once

#include <QPointer>
#include <QTableView>

#include <QLineEdit>

// The list view's grid: cells are edited in a floating editor, Tab leaves
// the grid for the next control, and the text of the cell being edited can
// be read and replaced while the user types.
class DataGrid : public QTableView {
    Q_OBJECT

public:
    explicit DataGrid(QWidget *parent = nullptr);

    int currentColumn() const;
    // Moves the cell cursor to this column of the current row.
    void setCurrentColumn(int column);

    // The cell editor while one is open.
    QLineEdit *cellEditor() const { return m_editor; }
    QString cellText() const;
    void setCellText(const QString &text);
    // Writes an open editor's text into the model and closes the editor.
    void finishEditing();

Q_SIGNALS:
    // The user changed the text of the cell being edited (each keystroke).
    void cellTextEdited();
    // The cell editor's text changed: opened on a cell, typed or replaced.
    void cellTextChanged();

protected:
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    friend class DataGridDelegate;
    void editorCreated(QLineEdit *editor);
    void leaveByTab(QWidget *editor, bool backwards);

    QPointer<QLineEdit> m_editor;
};
