#include "FormGeometry.h"

#include "IniWizard.h"
#include "LeadingNumber.h"
#include "Twips.h"

#include <QEvent>
#include <QPointer>
#include <QWidget>

#include <cfloat>
#include <cmath>

namespace {

const char KeeperName[] = "ferulanOuterSizeKeeper";

QString sizeSection(const QWidget *window)
{
    return window->objectName() + QStringLiteral(" Size");
}

// Stored values are taken as single-precision numbers; one too large for
// that counts as no number.
float storedNumber(IniWizard &ini, const QString &key)
{
    const double value = LeadingNumber(ini.INIGetValue(key));
    return std::fabs(value) <= double(FLT_MAX) ? float(value) : 0.0f;
}

int positionPixels(float twips)
{
    return qBound(-QWIDGETSIZE_MAX, Twips::toPixels(double(twips)), QWIDGETSIZE_MAX);
}

// The width and height are the outer frame's, but Qt resizes the inside of
// a window. The frame is known only once the window system has decorated
// the window, usually after it is first shown; until then it counts as 0.
QSize frameExtra(const QWidget *window)
{
    return window->frameGeometry().size() - window->geometry().size();
}

// The inside size that gives the window this outer size; a component below
// 0 was not restored and keeps the current inside size.
QSize innerSize(const QWidget *window, QSize outer)
{
    const QSize extra = frameExtra(window);
    const int width = outer.width() < 0 ? window->width() : outer.width() - extra.width();
    const int height = outer.height() < 0 ? window->height() : outer.height() - extra.height();
    return QSize(qBound(1, width, QWIDGETSIZE_MAX), qBound(1, height, QWIDGETSIZE_MAX));
}

// A window restored before it is shown gets its outer size as its inside
// size, since its frame is not known yet. This watcher shrinks the inside
// by the frame as soon as the frame becomes known, once, so that the stored
// outer size comes back, and a window does not grow by its frame at every
// run.
class OuterSizeKeeper : public QObject {
public:
    OuterSizeKeeper(QWidget *window, QSize outer) : QObject(window), m_window(window), m_outer(outer)
    {
        setObjectName(QLatin1String(KeeperName));
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_window)
            return false;
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Move:
        case QEvent::Resize:
            if (m_window->isVisible() && !frameExtra(m_window).isNull()) {
                QWidget *window = m_window;
                const QSize outer = m_outer;
                deleteLater();
                m_window->removeEventFilter(this);
                window->resize(innerSize(window, outer));
            }
            break;
        case QEvent::Hide:
            m_window->removeEventFilter(this);
            deleteLater();
            break;
        default:
            break;
        }
        return false;
    }

private:
    QPointer<QWidget> m_window;
    QSize m_outer;
};

} // namespace

void INILoadFormSize(IniWizard &ini, QWidget *window)
{
    if (!window)
        return;
    const QString remembered = ini.INIGetSection();
    ini.INISetSection(sizeSection(window));
    const float left = storedNumber(ini, QStringLiteral("Left"));
    const float top = storedNumber(ini, QStringLiteral("Top"));
    const float width = storedNumber(ini, QStringLiteral("Width"));
    const float height = storedNumber(ini, QStringLiteral("Height"));
    ini.INISetSection(remembered);

    // A restore replaces any correction still pending from an earlier one.
    delete window->findChild<OuterSizeKeeper *>(QLatin1String(KeeperName), Qt::FindDirectChildrenOnly);

    // 0 (also a missing or non-numeric value) keeps the design value. Qt
    // places a window's outer frame at the position given to move().
    const QRect frame = window->frameGeometry();
    if (left != 0.0f || top != 0.0f) {
        window->move(left != 0.0f ? positionPixels(left) : frame.x(),
                     top != 0.0f ? positionPixels(top) : frame.y());
    }

    // A window cannot take a negative size: such a value keeps the design
    // value too.
    if (width > 0.0f || height > 0.0f) {
        const QSize outer(width > 0.0f ? qMin(Twips::toPixels(double(width)), QWIDGETSIZE_MAX) : -1,
                          height > 0.0f ? qMin(Twips::toPixels(double(height)), QWIDGETSIZE_MAX) : -1);
        window->resize(innerSize(window, outer));
        if (!window->isVisible() && frameExtra(window).isNull())
            new OuterSizeKeeper(window, outer);
    }
}

void INISaveFormSize(IniWizard &ini, QWidget *window)
{
    if (!window)
        return;
    const QRect frame = window->frameGeometry();
    const QString remembered = ini.INIGetSection();
    ini.INISetSection(sizeSection(window));
    ini.INISetValue(QStringLiteral("Left"), Twips::roundHalfEven(Twips::fromPixels(frame.x())));
    ini.INISetValue(QStringLiteral("Top"), Twips::roundHalfEven(Twips::fromPixels(frame.y())));
    ini.INISetValue(QStringLiteral("Width"), Twips::roundHalfEven(Twips::fromPixels(frame.width())));
    ini.INISetValue(QStringLiteral("Height"), Twips::roundHalfEven(Twips::fromPixels(frame.height())));
    ini.INISetSection(remembered);
}
