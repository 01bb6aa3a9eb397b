// "VSWR" from the window against the built-in simulated unit: a sweep run to
// its end fills the file and the plot and brings the main window back, a
// cancelled file choice starts nothing, and a saved file opens in the plot.
#include "connection_panel.h"
#include "main_window.h"
#include "sim_backend.h"
#include "vswr_plot.h"
#include "vswr_sweep.h"
#include "vswr_window.h"
#include "window_parts.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace plovan;

class TestVswrWindow : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    MainWindow* window = nullptr;
    QString chosen;

private slots:
    void initTestCase() { qputenv("PLOVAN_SETTINGS_DIR", dir.path().toLocal8Bit()); }
    void init()
    {
        window = new MainWindow(nullptr, LaunchOptions{QString::fromLatin1(kSimDevice), {}});
        window->dialogs().chooseFile = [this](const QString&, const QString&) { return chosen; };
        window->dialogs().chooseFileToOpen = [this](const QString&, const QString&) { return chosen; };
        window->show();
        QTest::mouseClick(partOf<ConnectionPanel>(window)->connectButton, Qt::LeftButton);
        QVERIFY(window->link().Connected);
    }
    void cleanup() { delete window; }

    void aSweepRunToItsEndFillsTheFileAndThePlot()
    {
        chosen = dir.filePath("run.swr");
        window->findChild<QAction*>("Vswr")->trigger();
        VswrWindow* vswr = partOf<VswrWindow>(window);
        QVERIFY(vswr->isVisible());
        QCOMPARE(vswr->Text9->text(), QString("48"));
        QTest::mouseClick(vswr->Command1, Qt::LeftButton); // one step by hand
        QTRY_COMPARE(vswr->plot->points(), 1);
        QVERIFY(!window->isVisible()); // hidden while the sweep steps
        QCOMPARE(vswr->Text10->text(), QString("48"));
        QVERIFY(!vswr->TextN[0]->text().isEmpty());
        QTest::mouseClick(vswr->runToEndButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(window->isVisible(), 15000);
        QCOMPARE(vswr->plot->points(), 24);
        QVERIFY(vswr->isVisible()); // the plot stays to be read
        QVERIFY(!vswr->Command1->isEnabled());
        QFile f(chosen);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = f.readAll().split('\n');
        QCOMPARE(lines.size(), 2 + 24 + 1);
        QVERIFY(lines[25].startsWith(" 94 \t"));

        // The file opens in the plot again.
        vswr->plot->clear();
        vswr->openFile();
        QCOMPARE(vswr->plot->points(), 24);
    }

    void aCancelledFileChoiceStartsNothing()
    {
        chosen.clear();
        window->findChild<QAction*>("Vswr")->trigger();
        QVERIFY(!partOf<VswrWindow>(window)->isVisible());
        QVERIFY(!window->session().busy());
        QVERIFY(window->isVisible());
    }

    void closingTheWindowMidSweepKeepsWhatWasRecorded()
    {
        chosen = dir.filePath("part.swr");
        window->findChild<QAction*>("Vswr")->trigger();
        VswrWindow* vswr = partOf<VswrWindow>(window);
        QTest::mouseClick(vswr->Command1, Qt::LeftButton);
        QTRY_COMPARE(vswr->plot->points(), 1);
        vswr->close();
        QVERIFY(!window->session().busy());
        QVERIFY(window->isVisible());
        QFile f(chosen);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll().count('\n'), 3);
    }
};

QTEST_MAIN(TestVswrWindow)
#include "tst_vswr_window.moc"
