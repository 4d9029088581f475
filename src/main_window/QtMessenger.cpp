#include "QtMessenger.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>

const QString QtMessenger::ProgramTitle = QStringLiteral("ferulan 5");

namespace {

void prepare(QMessageBox &box, const QString &text, const QString &caption)
{
    box.setWindowTitle(caption.isEmpty() ? QtMessenger::ProgramTitle : caption);
    box.setTextFormat(Qt::PlainText);
    // A lone carriage return breaks the line, as the program's texts expect.
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    box.setText(shown);
}

// A message may come while the data control is busy; the user answers it
// with the normal pointer.
void execWithArrow(QMessageBox &box)
{
    const bool busy = QGuiApplication::overrideCursor() != nullptr;
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    if (busy)
        QGuiApplication::restoreOverrideCursor();
}

} // namespace

void QtMessenger::MsgBox(const QString &text, int style, const QString &caption, const QString &details)
{
    QMessageBox box(QApplication::activeWindow());
    prepare(box, text, caption);
    box.setIcon(style == Information ? QMessageBox::Information : QMessageBox::NoIcon);
    if (!details.isEmpty())
        box.setDetailedText(details);
    box.setStandardButtons(QMessageBox::Ok);
    execWithArrow(box);
}

int QtMessenger::Ask(const QString &text, const QStringList &answers, const QString &caption)
{
    QMessageBox box(QApplication::activeWindow());
    prepare(box, text, caption);
    box.setIcon(QMessageBox::Question);
    QList<QAbstractButton *> buttons;
    for (const QString &answer : answers)
        buttons << box.addButton(answer, buttons.isEmpty() ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
    if (!buttons.isEmpty()) {
        box.setDefaultButton(qobject_cast<QPushButton *>(buttons.first()));
        box.setEscapeButton(buttons.first());
    }
    execWithArrow(box);
    const int chosen = int(buttons.indexOf(box.clickedButton()));
    return chosen < 0 ? 0 : chosen;
}

void QtMessenger::EndProgram()
{
    m_endRequested = true;
    QCoreApplication::exit(0);
}
