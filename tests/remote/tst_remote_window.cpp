// The window as a host of the remote server: Comms > "Remote control..." is
// there, the status bar counts clients, settings made by a client show in
// the single-tone panel as they happen, and the unit panel and the traffic
// view name the client.
#include "connection_panel.h"
#include "main_window.h"
#include "remote_control.h"
#include "single_tone_panel.h"
#include "traffic_log.h"
#include "window_parts.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocumentFragment>

using namespace plovan;

class TestRemoteWindow : public QObject {
    Q_OBJECT
    QTemporaryDir settings;
    MainWindow* window = nullptr;

private slots:
    void init()
    {
        qputenv("PLOVAN_SETTINGS_DIR", settings.path().toLocal8Bit());
        window = new MainWindow;
        PortSettings s = window->portSettings();
        s.device = QString::fromLatin1(kSimDevice);
        window->setPortSettings(s, false);
        window->show();
        QTest::mouseClick(partOf<ConnectionPanel>(window)->connectButton, Qt::LeftButton);
        QVERIFY(window->link().Connected);
    }
    void cleanup()
    {
        delete window;
        window = nullptr;
    }

    void panelsFollowAClient_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("shown");
        QTest::newRow("frequency") << QByteArray("FREQ 100MHZ") << "frequencyBox"
                                   << "100";
        QTest::newRow("phase") << QByteArray("PHAS 90") << "phaseBox"
                               << "90";
        QTest::newRow("amplitude") << QByteArray("AMPL 256") << "amplitudeBox"
                                   << "256";
    }
    void panelsFollowAClient()
    {
        QFETCH(QByteArray, command);
        QFETCH(QString, box);
        QFETCH(QString, shown);
        auto* remote = remote::RemoteControl::of(*window);
        QVERIFY(remote);
        QVERIFY(window->findChild<QAction*>("mnuRemote"));
        QVERIFY(remote->start(QHostAddress::LocalHost, 0, false));
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, remote->server().port());
        QVERIFY(client.waitForConnected(2000));
        const QString status = QStringLiteral("Remote: 127.0.0.1:%1, 1 client").arg(remote->server().port());
        const auto statusShown = [&] {
            for (QLabel* l : window->findChildren<QLabel*>())
                if (l->text() == status && l->isVisible()) return true;
            return false;
        };
        QTRY_VERIFY(statusShown());
        client.write(command + ";*OPC?\n");
        QTRY_VERIFY(client.canReadLine());
        QCOMPARE(client.readLine(), QByteArray("1\n"));
        SingleTonePanel* tone = partOf<SingleTonePanel>(window);
        QLineEdit* edit = box == "frequencyBox" ? tone->frequencyBox
                          : box == "phaseBox"   ? tone->phaseBox
                                                : tone->amplitudeBox;
        QTRY_COMPARE(edit->text(), shown);

        auto* clientsLabel = window->findChild<QLabel*>("unit_RemoteClients");
        const auto clients = [clientsLabel] {
            return QTextDocumentFragment::fromHtml(clientsLabel->text()).toPlainText();
        };
        QVERIFY2(clients().startsWith("Remote clients: #1 127.0.0.1:"), qPrintable(clients()));
        QVERIFY2(clients().endsWith(", last \"" + command + ";*OPC?\""), qPrintable(clients()));
        const TrafficRing& ring = partOf<TrafficRecorder>(window)->ring();
        bool named = false;
        for (std::size_t i = 0; i < ring.size(); ++i)
            named = named || (ring.at(i).sent && ring.at(i).source == "remote client 1");
        QVERIFY(named);
        client.disconnectFromHost();
        QTRY_COMPARE(clients(), QStringLiteral("Remote clients: none on 127.0.0.1:%1").arg(remote->server().port()));
    }
};

QTEST_MAIN(TestRemoteWindow)
#include "tst_remote_window.moc"
