#include "WindowScenarios.h"

#include "catalogue/Database.h"

#include "Bench.h"

#include "main_window/DataGrid.h"
#include "main_window/Messenger.h"
#include "main_window/OrderCombo.h"
#include "main_window/frmFerulan.h"

#include "catalogue/Module1.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <memory>

namespace {

// Messages would stop the benchmark: print them instead.
class PrintingMessenger : public Messenger {
public:
    void MsgBox(const QString &text, int, const QString &, const QString &details) override
    {
        std::fprintf(stderr, "message: %s %s\n", qPrintable(text), qPrintable(details));
    }
    int Ask(const QString &text, const QStringList &, const QString &) override
    {
        std::fprintf(stderr, "question: %s\n", qPrintable(text));
        return 0;
    }
    void EndProgram() override { benchFailed(QStringLiteral("the program asked to end")); }
};

// A program folder whose settings point at the catalogue (linked, not copied).
// A server's catalogue is named as it is.
void prepareFolder(const QTemporaryDir &folder, const QString &catalogue, const char *view = "List")
{
    QByteArray database = "catalogue.db";
    if (Database::isServerName(catalogue))
        database = catalogue.toUtf8();
    else if (!QFile::link(QFileInfo(catalogue).absoluteFilePath(), folder.filePath(QStringLiteral("catalogue.db"))))
        benchFailed(QStringLiteral("cannot link the catalogue into a temporary folder"));
    QFile ini(folder.filePath(QStringLiteral("ferulan.ini")));
    if (!ini.open(QIODevice::WriteOnly))
        benchFailed(ini.errorString());
    ini.write("[General]\nDatabase=" + database + "\nDataOrderString=ORDER BY AUTEUR\nComboOrder=AUTEUR\n"
              "EditFunction=QUARZ Fendel Mosker\nLastViewType=");
    ini.write(view);
    ini.write("\n");
}

// Lets the window lay itself out and paint, as the event loop would.
void settle(QWidget *window)
{
    QApplication::processEvents();
    window->repaint();
}

} // namespace

namespace WindowScenarios {

void run(const QString &catalogue, Bench &bench)
{
    QTemporaryDir folder;
    prepareFolder(folder, catalogue);
    PrintingMessenger messenger;
    std::unique_ptr<frmFerulan> window;

    bench.scenario("main window to \"Record: 1\"", [&] { window.reset(); }, [&] {
        window = std::make_unique<frmFerulan>(folder.path(), messenger);
        if (!window->start())
            benchFailed(QStringLiteral("the window did not start"));
        window->show();
        settle(window.get());
        if (window->Data1.Caption() != QLatin1String("Record: 1"))
            benchFailed(QStringLiteral("unexpected caption ") + window->Data1.Caption());
    });

    const int titre = window->cmbOrder->findText(QStringLiteral("TITRE"));
    const int auteur = window->cmbOrder->findText(QStringLiteral("AUTEUR"));
    int choice = 0;
    bench.scenario("sort selector to grid repainted", [&] { choice = choice == titre ? auteur : titre; }, [&] {
        window->cmbOrder->setCurrentIndex(choice);
        window->cmbOrder_Click();
        settle(window->DBGrid1);
    });

    bench.scenario("sort selector to last record shown", [&] { choice = choice == titre ? auteur : titre; }, [&] {
        window->cmbOrder->setCurrentIndex(choice);
        window->cmbOrder_Click();
        window->Data1.moveLast();
        settle(window.get());
        if (window->Data1.Recordset().AbsolutePosition() != window->Data1.Recordset().recordCount() - 1)
            benchFailed(QStringLiteral("MoveLast did not reach the last record"));
    });

    // The middle of a large order is completed in the background: how long
    // until all of it is known.
    bench.scenario("sort selector to whole order known", [&] { choice = choice == titre ? auteur : titre; }, [&] {
        window->cmbOrder->setCurrentIndex(choice);
        window->cmbOrder_Click();
        window->Data1.Recordset().completeOrder();
        if (window->Data1.Recordset().isOrdering())
            benchFailed(QStringLiteral("the order was not completed"));
    });

    Module1 &module = window->module();
    bench.scenario("search *chimie* to grid repainted", [&] {
        module.SearchClause.clear();
        if (!module.ComposeQuery())
            benchFailed(module.lastError());
    }, [&] {
        module.SearchClause = QStringLiteral("TITRE LIKE '*chimie*'");
        if (!module.ComposeQuery())
            benchFailed(module.lastError());
        settle(window->DBGrid1);
    });
    module.SearchClause.clear();
    if (!module.ComposeQuery())
        benchFailed(module.lastError());
    settle(window.get());
    bench.measure("resident at rest after sorts/searches", Bench::residentMB(), "MB");

    // Page down from the first row to the last, timing each step; on a huge
    // catalogue, a bounded number of steps spread over the whole set.
    QScrollBar *bar = window->DBGrid1->verticalScrollBar();
    bar->setValue(0);
    settle(window->DBGrid1);
    std::vector<double> steps;
    const int pageStep = std::max(1, bar->pageStep());
    const int pages = bar->maximum() / pageStep + 1;
    const int stride = std::max(1, pages / 2000);
    for (int page = 0; page < pages; page += stride) {
        QElapsedTimer timer;
        timer.start();
        bar->setValue(page * pageStep);
        settle(window->DBGrid1);
        steps.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    bench.report("grid page-down step", steps);
    window->hide();
}

void runFromExec(const QString &catalogue, Bench &bench)
{
    const QString program = QCoreApplication::applicationDirPath() + QLatin1String("/ferulan");
    if (qEnvironmentVariableIsEmpty("DISPLAY") || !QFileInfo(program).isExecutable()) {
        std::printf("%-36s %9d    skipped: needs DISPLAY (Xvfb) and %s\n", "window from exec to first record",
                    bench.records, qPrintable(program));
        return;
    }
    // The program finds its settings beside the name it was started under.
    QTemporaryDir folder;
    prepareFolder(folder, catalogue, "Form");
    const QString link = folder.filePath(QStringLiteral("ferulan"));
    if (!QFile::link(program, link))
        benchFailed(QStringLiteral("cannot link the program into a temporary folder"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.insert(QStringLiteral("FERULAN_REPORT_FIRST_RECORD"), QStringLiteral("1"));

    bench.scenario("window from exec to first record", nullptr, [&] {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(link, {});
        QByteArray output;
        while (!output.contains("first record shown")) {
            if (!process.waitForReadyRead(30000))
                benchFailed(QStringLiteral("the program showed no record: ") + QString::fromLocal8Bit(output));
            output += process.readAllStandardOutput();
        }
        if (!output.contains("Record: 1"))
            benchFailed(QStringLiteral("unexpected first record: ") + QString::fromLocal8Bit(output));
        process.kill();
        process.waitForFinished();
    });
}

} // namespace WindowScenarios
