#include "dialogs/frmArtInf.h"
#include "settings/IniWizard.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

static constexpr int LinkIndex = 6;

class tst_AboutBox : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void labelsAndLink();
    void animationStartsOnSecondFrame();
    void keysAndStoredGeometry();

private:
    void open();
    QLabel *label(int index) { return m_box->findChild<QLabel *>(QStringLiteral("Label2_%1").arg(index)); }
    QColor textColour(int index) { return label(index)->palette().color(QPalette::WindowText); }
    QImage shownFrame() { return m_box->findChild<QLabel *>(QStringLiteral("Image1"))->pixmap().toImage(); }
    int stored(const char *key);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<IniWizard> m_ini;
    QPointer<frmArtInf> m_box;
    QList<QUrl> m_opened;
};

void tst_AboutBox::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_ini = std::make_unique<IniWizard>(m_dir->path(), QStringLiteral("ferulan"));
    m_opened.clear();
    open();
}

void tst_AboutBox::cleanup()
{
    delete m_box;
    m_ini.reset();
    m_dir.reset();
}

void tst_AboutBox::open()
{
    m_box = new frmArtInf(*m_ini);
    // Record the address instead of starting a browser; the opener fails,
    // as it may for real, and the box must not care.
    m_box->setUrlOpener([this](const QUrl &url) {
        m_opened << url;
        return false;
    });
    m_box->show();
}

int tst_AboutBox::stored(const char *key)
{
    m_ini->INISetSection(QStringLiteral("frmArtInf Size"));
    return m_ini->INIGetValue(QLatin1String(key)).toInt();
}

void tst_AboutBox::labelsAndLink()
{
    QCOMPARE(m_box->windowTitle(), QStringLiteral("ARTICLES"));
    QCOMPARE(label(11)->text(), QStringLiteral("FERULAN 5"));
    QVERIFY(label(11)->font().pointSizeF() > label(10)->font().pointSizeF());
    // Every index of the array used once, bold; blue for the two names and
    // the presenter line, red for the title, navy for the rest.
    QCOMPARE(m_box->findChildren<QLabel *>(QRegularExpression("^Label2_\\d+$")).size(), 12);
    for (int i = 0; i <= 11; ++i) {
        QVERIFY2(label(i) && !label(i)->text().isEmpty() && label(i)->font().bold(), qPrintable(QString::number(i)));
        const QColor expected = (i == 0 || i == 8 || i == 10) ? QColor(0, 0, 255)
                                : i == 11                     ? QColor(255, 0, 0)
                                                              : QColor(0, 0, 128);
        QCOMPARE(textColour(i), expected);
    }
    QLabel *link = label(LinkIndex);
    QVERIFY(link->font().underline());
    QCOMPARE(link->toolTip(), QStringLiteral("Cliquer et visiter notre site Internet"));
    QCOMPARE(QUrl(link->text()).host(), QStringLiteral("www.example.org"));
    QCOMPARE(link->cursor().shape(), Qt::BitmapCursor);

    // OK has the focus but is no default button.
    auto *ok = m_box->findChild<QPushButton *>(QStringLiteral("cmdOk"));
    QCOMPARE(m_box->focusWidget(), ok);
    QVERIFY(!ok->isDefault());

    // The link turns yellow under the pointer.
    auto *frame = m_box->findChild<QWidget *>(QStringLiteral("Frame1"));
    const QColor yellow(255, 255, 0);
    QTest::mouseMove(link, link->rect().center());
    QTRY_COMPARE(textColour(LinkIndex), yellow);
    // Another label, or leaving the window, keeps it yellow.
    QTest::mouseMove(label(0), label(0)->rect().center());
    QTest::mouseMove(label(11), label(11)->rect().center());
    QTest::qWait(20);
    QCOMPARE(textColour(LinkIndex), yellow);
    // Only the frame's own background turns it back.
    QTest::mouseMove(frame, QPoint(frame->width() - 4, frame->height() - 4));
    QTRY_COMPARE(textColour(LinkIndex), QColor(0, 0, 128));
    QVERIFY(m_opened.isEmpty());

    // Any label of the array opens the site; a failed opening says nothing
    // and the box stays.
    for (int i = 0; i <= 11; ++i)
        QTest::mouseClick(label(i), Qt::LeftButton, {}, QPoint(2, 2));
    QCOMPARE(m_opened, QList<QUrl>(12, QUrl(link->text())));
    QVERIFY(m_box && m_box->isVisible());
}

void tst_AboutBox::animationStartsOnSecondFrame()
{
    const QImage frame1(QStringLiteral(":/images/logo1.png"));
    const QImage frame2(QStringLiteral(":/images/logo2.png"));
    const QImage frame3(QStringLiteral(":/images/logo3.png"));
    QVERIFY(frame1 != frame2 && frame2 != frame3 && frame1 != frame3);
    // The first frame is the logo of the main window's button.
    QCOMPARE(QImage(QStringLiteral(":/images/logo.png")), frame1);

    auto *timer = m_box->findChild<QTimer *>(QStringLiteral("Timer1"));
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 100);
    // Empty until the first tick.
    QVERIFY(shownFrame().isNull());
    timer->stop(); // ticks are driven by hand from here

    const QList<QImage> expected = {frame2, frame3, frame1, frame2};
    for (int tick = 0; tick < expected.size(); ++tick) {
        m_box->Timer1_Timer();
        QVERIFY2(shownFrame().convertToFormat(QImage::Format_ARGB32)
                     == expected.at(tick).convertToFormat(QImage::Format_ARGB32),
                 qPrintable(QString::number(tick)));
    }
}

void tst_AboutBox::keysAndStoredGeometry()
{
    m_box->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_box));
    // Esc does nothing; Enter presses OK while it has the focus, which
    // closes the box and stores its place.
    QTest::keyClick(m_box->focusWidget(), Qt::Key_Escape);
    QTest::qWait(20);
    QVERIFY(m_box && m_box->isVisible());
    m_box->setGeometry(210, 140, 330, 380);
    const QRect frame = m_box->frameGeometry();
    QTest::keyClick(m_box->findChild<QPushButton *>(QStringLiteral("cmdOk")), Qt::Key_Return);
    QTRY_VERIFY(!m_box);
    QVERIFY(m_opened.isEmpty());
    QCOMPARE(stored("Left"), frame.x() * 15);
    QCOMPARE(stored("Height"), frame.height() * 15);

    // Reloaded where it was, animating from the start again.
    open();
    QCOMPARE(m_box->frameGeometry().topLeft(), frame.topLeft());
    QCOMPARE(m_box->frameCounter(), 0);
}

QTEST_MAIN(tst_AboutBox)
#include "tst_aboutbox.moc"
