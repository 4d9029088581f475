#include "settings/FormGeometry.h"
#include "settings/IniWizard.h"
#include "settings/Twips.h"

#include <QFile>
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

// Stands for "the design value" in the tables below.
constexpr int AsDesigned = INT_MIN;

double dotsPerInch()
{
    return QGuiApplication::primaryScreen()->logicalDotsPerInchX();
}

// The stored number of twips for a pixel value, and back; plain arithmetic,
// independent of the helpers under test.
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

    void toPixels_data();
    void toPixels();
    void fromPixels_data();
    void fromPixels();
    void roundHalfEven_data();
    void roundHalfEven();
    void screenResolution();

    void restore_data();
    void restore();
    void saveWritesOuterFrame();
    void roundTripThroughShownWindow_data();
    void roundTripThroughShownWindow();
    void sectionSwitchedBack_data();
    void sectionSwitchedBack();

private:
    void writeSizeSection(const QString &name, const QStringList &lines);
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestFormGeometry::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestFormGeometry::writeSizeSection(const QString &name, const QStringList &lines)
{
    QFile file(m_dir->filePath(QStringLiteral("ferulan.ini")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QString text = QStringLiteral("[General]\r\nDatabase=biblio.mdb\r\n[%1 Size]\r\n").arg(name)
        + lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    file.write(text.toUtf8());
}

void TestFormGeometry::toPixels_data()
{
    QTest::addColumn<double>("twips");
    QTest::addColumn<double>("dpi");
    QTest::addColumn<int>("expected");

    QTest::newRow("15 per pixel") << 1500.0 << 96.0 << 100;
    QTest::newRow("one and a half up") << 22.5 << 96.0 << 2;
    QTest::newRow("two and a half down") << 37.5 << 96.0 << 2;
    QTest::newRow("a half down to 0") << 7.5 << 96.0 << 0;
    QTest::newRow("negative half") << -22.5 << 96.0 << -2;
    QTest::newRow("negative") << -1200.0 << 96.0 << -80;
    QTest::newRow("under a half") << 7.4 << 96.0 << 0;
    QTest::newRow("over a half") << 7.6 << 96.0 << 1;
    QTest::newRow("120 dpi") << 1440.0 << 120.0 << 120;
    QTest::newRow("120 dpi half") << 30.0 << 120.0 << 2;
    QTest::newRow("144 dpi") << 1000.0 << 144.0 << 100;
    QTest::newRow("no resolution counts as 96") << 1500.0 << 0.0 << 100;
    QTest::newRow("huge") << 1e30 << 96.0 << INT_MAX;
    QTest::newRow("huge negative") << -1e30 << 96.0 << INT_MIN;
}

void TestFormGeometry::toPixels()
{
    QFETCH(double, twips);
    QFETCH(double, dpi);
    QFETCH(int, expected);
    QCOMPARE(Twips::toPixels(twips, dpi), expected);
}

void TestFormGeometry::fromPixels_data()
{
    QTest::addColumn<int>("pixels");
    QTest::addColumn<double>("dpi");
    QTest::addColumn<double>("expected");

    QTest::newRow("96 dpi") << 100 << 96.0 << 1500.0;
    QTest::newRow("120 dpi") << 100 << 120.0 << 1200.0;
    QTest::newRow("negative") << -80 << 96.0 << -1200.0;
    QTest::newRow("no resolution counts as 96") << 2 << -1.0 << 30.0;
}

void TestFormGeometry::fromPixels()
{
    QFETCH(int, pixels);
    QFETCH(double, dpi);
    QFETCH(double, expected);
    QCOMPARE(Twips::fromPixels(pixels, dpi), expected);
}

void TestFormGeometry::roundHalfEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("expected");

    QTest::newRow("0.5") << 0.5 << 0;
    QTest::newRow("1.5") << 1.5 << 2;
    QTest::newRow("2.5") << 2.5 << 2;
    QTest::newRow("-0.5") << -0.5 << 0;
    QTest::newRow("-1.5") << -1.5 << -2;
    QTest::newRow("-2.5") << -2.5 << -2;
    QTest::newRow("2.4999") << 2.4999 << 2;
    QTest::newRow("-2.5001") << -2.5001 << -3;
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << 0;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << INT_MAX;
}

void TestFormGeometry::roundHalfEven()
{
    QFETCH(double, value);
    QFETCH(int, expected);
    QCOMPARE(Twips::roundHalfEven(value), expected);
}

void TestFormGeometry::screenResolution()
{
    QCOMPARE(Twips::screenDotsPerInch(), dotsPerInch());
    QCOMPARE(Twips::toPixels(1440.0 * 10), int(std::lround(10 * dotsPerInch())));
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
    QTest::newRow("zeros keep the design") << QStringList{"Left=0", "Top=0", "Width=0", "Height=0"} << d << d
                                           << d << d;
    QTest::newRow("no keys") << QStringList{} << d << d << d << d;
    QTest::newRow("left 0, top set") << QStringList{"Left=0", "Top=3000"} << d << pixels(3000) << d << d;
    QTest::newRow("leading number") << QStringList{"Left=12abc", "Top=abc"} << pixels(12) << d << d << d;
    QTest::newRow("not a number") << QStringList{"Left=abc", "Width=wide", "Height= 4567.8x"} << d << d << d
                                  << pixels(4567.8);
    QTest::newRow("width only") << QStringList{"Width=7500"} << d << d << pixels(7500) << d;
    QTest::newRow("off screen") << QStringList{"Left=-1200", "Top=-300"} << pixels(-1200) << pixels(-300) << d
                                << d;
    QTest::newRow("negative size ignored") << QStringList{"Width=-3000", "Height=3000"} << d << d << d
                                           << pixels(3000);
    QTest::newRow("other letter case") << QStringList{"left=750", "WIDTH=7500"} << pixels(750) << d
                                       << pixels(7500) << d;
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
    designed->show();
    QVERIFY(QTest::qWaitForWindowExposed(designed.get()));
    const QRect design = designed->frameGeometry();
    QVERIFY2(design != designed->geometry(), "the window should have a frame to tell outer from inner");
    designed.reset();

    writeSizeSection(QStringLiteral("frmSearch"), stored);
    IniWizard ini(m_dir->path(), QStringLiteral("ferulan"));
    auto window = makeWindow(QStringLiteral("frmSearch"));
    INILoadFormSize(ini, window.get());
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));

    const QRect expected(left == AsDesigned ? design.x() : left, top == AsDesigned ? design.y() : top,
                         width == AsDesigned ? design.width() : width,
                         height == AsDesigned ? design.height() : height);
    QTRY_COMPARE(window->frameGeometry(), expected);
}

void TestFormGeometry::saveWritesOuterFrame()
{
    IniWizard ini(m_dir->path(), QStringLiteral("ferulan"));
    auto window = makeWindow(QStringLiteral("frmFilter"));
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->move(30, 45);
    window->resize(333, 222);
    const QRect frame = window->frameGeometry();
    QVERIFY2(frame != window->geometry(), "the window should have a frame to tell outer from inner");

    INISaveFormSize(ini, window.get());
    ini.INISetSection(QStringLiteral("frmFilter Size"));
    QCOMPARE(ini.INIGetValue(QStringLiteral("Left")), QString::number(twips(frame.x())));
    QCOMPARE(ini.INIGetValue(QStringLiteral("Top")), QString::number(twips(frame.y())));
    QCOMPARE(ini.INIGetValue(QStringLiteral("Width")), QString::number(twips(frame.width())));
    QCOMPARE(ini.INIGetValue(QStringLiteral("Height")), QString::number(twips(frame.height())));
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
    first->show();
    QVERIFY(QTest::qWaitForWindowExposed(first.get()));
    const QRect frame = first->frameGeometry();
    INISaveFormSize(ini, first.get());
    first.reset();

    // The next run: a window restored before (or after) it is shown ends up
    // with the same outer frame, and stores the same values again, so the
    // window never creeps or grows from run to run.
    const QByteArray stored = [&] {
        QFile file(ini.SettingsFilePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    auto second = makeWindow(QStringLiteral("frmFerulan"), flags);
    if (restoreWhileShown) {
        second->show();
        QVERIFY(QTest::qWaitForWindowExposed(second.get()));
    }
    INILoadFormSize(ini, second.get());
    if (!restoreWhileShown) {
        second->show();
        QVERIFY(QTest::qWaitForWindowExposed(second.get()));
    }
    QTRY_COMPARE(second->frameGeometry(), frame);

    INISaveFormSize(ini, second.get());
    QFile file(ini.SettingsFilePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), stored);
}

void TestFormGeometry::sectionSwitchedBack_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("readsDatabase"); // what a plain read then finds

    QTest::newRow("before any read") << "" << "biblio.mdb";
    QTest::newRow("general") << "General" << "biblio.mdb";
    QTest::newRow("another") << "Other" << "";
}

void TestFormGeometry::sectionSwitchedBack()
{
    QFETCH(QString, section);
    QFETCH(QString, readsDatabase);
    writeSizeSection(QStringLiteral("frmArtInf"), {QStringLiteral("Left=1500")});
    IniWizard ini(m_dir->path(), QStringLiteral("ferulan"));
    if (!section.isEmpty())
        ini.INISetSection(section);
    auto window = makeWindow(QStringLiteral("frmArtInf"));

    INILoadFormSize(ini, window.get());
    QCOMPARE(window->frameGeometry().x(), pixels(1500));
    QCOMPARE(ini.INIGetSection(), section);

    INISaveFormSize(ini, window.get());
    QCOMPARE(ini.INIGetSection(), section);

    QCOMPARE(ini.INIGetValue(QStringLiteral("Database")), readsDatabase);
    QCOMPARE(ini.INIGetSection(), section.isEmpty() ? QStringLiteral("General") : section);
}

QTEST_MAIN(TestFormGeometry)
#include "tst_formgeometry.moc"
