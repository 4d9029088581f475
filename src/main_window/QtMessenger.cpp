#include "QtMessenger.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>

const QString QtMessenger::ProgramTitle = QStringLiteral("ferulan 5");

void QtMessenger::MsgBox(const QString &text, int style, const QString &caption, const QString &details)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(caption.isEmpty() ? ProgramTitle : caption);
    box.setTextFormat(Qt::PlainText);
    // A lone carriage return breaks the line, as the program's texts expect.
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    box.setText(shown);
    box.setIcon(style == Information ? QMessageBox::Information : QMessageBox::NoIcon);
    if (!details.isEmpty())
        box.setDetailedText(details);
    box.setStandardButtons(QMessageBox::Ok);
    // A message may come while the data control is busy; the user answers
    // it with the normal pointer.
    const bool busy = QGuiApplication::overrideCursor() != nullptr;
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    if (busy)
        QGuiApplication::restoreOverrideCursor();
}

void QtMessenger::EndProgram()
{
    m_endRequested = true;
    QCoreApplication::exit(0);
}
