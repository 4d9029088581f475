#include "TestSupport.h"

#include "settings/FormGeometry.h"
#include "settings/IniWizard.h"
#include "settings/Twips.h"

#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include <climits>
#include <cmath>
#include <limits>

namespace {

// A window at its design place (of its outer frame) and inside size.
std::unique_ptr<QWidget> makeWindow(const QString &name, Qt::WindowFlags flags = {})
{
    auto window = std::make_unique<QWidget>(nullptr, flags);
    window->setObjectName(name);
    window->move(100, 80);
    window->resize(400, 300);
    return window;
}

bool showAndWait(QWidget *window)
{
    window->show();
    return QTest::qWaitForWindowExposed(window);
}

// Stands for "the design value" in the tables below.
constexpr int AsDesigned = INT_MIN;

// The stored number of twips for a pixel value, and back; plain arithmetic,
// independent of the helpers under test.
double dotsPerInch()
{
    return QGuiApplication::primaryScreen()->logicalDotsPerInchX();
}
int twips(int pixels)
{
    return int(std::lround(pixels * 1440.0 / dotsPerInch()));
}
int pixels(double twips)
{
    return int(std::lround(twips * dotsPerInch() / 1440.0));
}

} // namespace

class TestFormGeometry : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();

    void conversions_data();
    void conversions();
    void restore_data();
    void restore();
    void roundTripThroughShownWindow_data();
    void roundTripThroughShownWindow();

private:
    void writeSizeSection(const QString &name, const QStringList &lines);
    QString iniPath() const { return m_dir->filePath(QStringLiteral("ferulan.ini")); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestFormGeometry::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestFormGeometry::writeSizeSection(const QString &name, const QStringList &lines)
{
    const QString text = QStringLiteral("[General]\r\nDatabase=biblio.mdb\r\n[%1 Size]\r\n%2\r\n");
    QVERIFY(TestSupport::writeFile(iniPath(), text.arg(name, lines.join(QStringLiteral("\r\n"))).toUtf8()));
}

void TestFormGeometry::conversions_data()
{
    QTest::addColumn<double>("twips");
    QTest::addColumn<double>("dpi");
    QTest::addColumn<int>("pixels");
    QTest::addColumn<bool>("exact"); // pixels convert back to exactly these twips

    QTest::newRow("15 per pixel") << 1500.0 << 96.0 << 100 << true;
    QTest::newRow("at 120 dpi") << 1200.0 << 120.0 << 100 << true;
    QTest::newRow("negative") << -1200.0 << 96.0 << -80 << true;
    QTest::newRow("no resolution counts as 96") << 30.0 << 0.0 << 2 << true;
    QTest::newRow("negative resolution too") << 30.0 << -1.0 << 2 << true;
    // Halves go to the even neighbour.
    QTest::newRow("1.5") << 22.5 << 96.0 << 2 << false; QTest::newRow("2.5") << 37.5 << 96.0 << 2 << false;
    QTest::newRow("0.5") << 7.5 << 96.0 << 0 << false; QTest::newRow("-0.5") << -7.5 << 96.0 << 0 << false;
    QTest::newRow("-1.5") << -22.5 << 96.0 << -2 << false;
    QTest::newRow("huge") << 1e30 << 96.0 << INT_MAX << false;
    QTest::newRow("huge negative") << -1e30 << 96.0 << INT_MIN << false;
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << 96.0 << 0 << false;
}

void TestFormGeometry::conversions()
{
    QFETCH(double, twips);
    QFETCH(double, dpi);
    QFETCH(int, pixels);
    QFETCH(bool, exact);
    QCOMPARE(Twips::toPixels(twips, dpi), pixels);
    if (exact)
        QCOMPARE(Twips::fromPixels(pixels, dpi), twips);
}

void TestFormGeometry::restore_data()
{
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<int>("left"); // expected outer frame, in pixels
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");

    const int d = AsDesigned;
    QTest::newRow("all four") << QStringList{"Left=1500", "Top=1200", "Width=9000", "Height=6000"}
                              << pixels(1500) << pixels(1200) << pixels(9000) << pixels(6000);
    QTest::newRow("zeros, no key") << QStringList{"Left=0", "Top=0", "Width=0"} << d << d << d << d;
    QTest::newRow("other letter case") << QStringList{"left=0", "TOP=3000", "WIDTH=7500"} << d << pixels(3000)
                                       << pixels(7500) << d;
    // Leading numbers; no number and a negative size keep the design.
    QTest::newRow("as read") << QStringList{"Left=12abc", "Top=abc", "Width=-3000", "Height= 4567.8x"}
                             << pixels(12) << d << d << pixels(4567.8);
    QTest::newRow("off screen") << QStringList{"Left=-1200", "Top=-300", "Width=-1"} << pixels(-1200) << pixels(-300)
                                << d << d;
}

void TestFormGeometry::restore()
{
    QFETCH(QStringList, stored);
    QFETCH(int, left);
    QFETCH(int, top);
    QFETCH(int, width);
    QFETCH(int, height);

    // What the window looks like when nothing is restored.
    auto designed = makeWindow(QStringLiteral("frmSearch"));
    QVERIFY(showAndWait(designed.get()));
    const QRect design = designed->frameGeometry();
    QVERIFY2(design != designed->geometry(), "the window should have a frame to tell outer from inner");
    designed.reset();

    writeSizeSection(QStringLiteral("frmSearch"), stored);
    IniWizard ini(m_dir->path(), QStringLiteral("ferulan"));
    // The section in use before is the one in use after.
    ini.INISetSection(QStringLiteral("Other"));
    auto window = makeWindow(QStringLiteral("frmSearch"));
    INILoadFormSize(ini, window.get());
    QCOMPARE(ini.INIGetSection(), QStringLiteral("Other"));
    QVERIFY(showAndWait(window.get()));
    const QRect expected(left == AsDesigned ? design.x() : left, top == AsDesigned ? design.y() : top,
                         width == AsDesigned ? design.width() : width,
                         height == AsDesigned ? design.height() : height);
    QTRY_COMPARE(window->frameGeometry(), expected);
    INISaveFormSize(ini, window.get());
    QCOMPARE(ini.INIGetSection(), QStringLiteral("Other"));
}

void TestFormGeometry::roundTripThroughShownWindow_data()
{
    QTest::addColumn<QPoint>("position");
    QTest::addColumn<bool>("restoreWhileShown");
    QTest::addColumn<bool>("frameless");

    QTest::newRow("before showing") << QPoint(120, 60) << false << false;
    QTest::newRow("while shown") << QPoint(120, 60) << true << false;
    // The offscreen platform pushes a framed window whose inside would start
    // left of or above the screen back by its frame whenever it is resized
    // while shown; without a frame the off-screen place can be checked.
    QTest::newRow("partly off screen") << QPoint(-200, -40) << false << true;
}

void TestFormGeometry::roundTripThroughShownWindow()
{
    QFETCH(QPoint, position);
    QFETCH(bool, restoreWhileShown);
    QFETCH(bool, frameless);
    const Qt::WindowFlags flags = frameless ? Qt::FramelessWindowHint : Qt::WindowFlags();
    IniWizard ini(m_dir->path(), QStringLiteral("ferulan"));

    auto first = makeWindow(QStringLiteral("frmFerulan"), flags);
    first->move(position);
    first->resize(420, 310);
    QVERIFY(showAndWait(first.get()));
    const QRect frame = first->frameGeometry();
    QVERIFY(frameless || frame != first->geometry());
    INISaveFormSize(ini, first.get());
    first.reset();
    // The outer frame is stored, in twips.
    ini.INISetSection(QStringLiteral("frmFerulan Size"));
    QStringList values;
    for (const char *key : {"Left", "Top", "Width", "Height"})
        values << ini.INIGetValue(key);
    QCOMPARE(values, QStringList({QString::number(twips(frame.x())), QString::number(twips(frame.y())),
                                  QString::number(twips(frame.width())), QString::number(twips(frame.height()))}));

    // The next run: a window restored before (or after) it is shown ends up
    // with the same outer frame, and stores the same values again, so the
    // window never creeps or grows from run to run.
    const QByteArray stored = TestSupport::readFile(iniPath());
    auto second = makeWindow(QStringLiteral("frmFerulan"), flags);
    if (restoreWhileShown)
        QVERIFY(showAndWait(second.get()));
    INILoadFormSize(ini, second.get());
    if (!restoreWhileShown)
        QVERIFY(showAndWait(second.get()));
    QTRY_COMPARE(second->frameGeometry(), frame);

    INISaveFormSize(ini, second.get());
    QCOMPARE(TestSupport::readFile(iniPath()), stored);
}

QTEST_MAIN(TestFormGeometry)
#include "tst_formgeometry.moc"
