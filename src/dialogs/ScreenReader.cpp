#include "ScreenReader.h"

#include <QDebug>
#include <QWidget>

namespace ScreenReader {

void describe(QWidget *window, std::initializer_list<Text> table)
{
    for (const Text &row : table) {
        const QString objectName = QString::fromLatin1(row.objectName);
        QWidget *control = window->objectName() == objectName ? window : window->findChild<QWidget *>(objectName);
        // A row naming no control is a mistake in the table, not in the user's data.
        if (!control) {
            qWarning("ScreenReader: no control named %s", row.objectName);
            continue;
        }
        control->setAccessibleName(QString::fromUtf8(row.name));
        if (row.description)
            control->setAccessibleDescription(QString::fromUtf8(row.description));
    }
}

} // namespace ScreenReader
