// The VQ5WReset program as a process: it ends within a bounded time on a session end
// (SIGTERM) while the link runs or while a port error box is up, writing its settings; and
// without a display it says how to get one instead of aborting.
#include "SimSuite.h"
#include "Simulator.h"
#include "ToolProgram.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdio>

namespace {

using vq5::test::StartTool;
using vq5::test::Terminate;
using vq5::test::ToolEnvironment;

constexpr int kWait = 10000; // generous: a loaded 2-core machine

void WriteSettings(const QString& config, const QString& port) {
    QDir(config).mkpath("Lumark Electronics");
    QSettings s(config + "/Lumark Electronics/VQ5WReset.conf", QSettings::IniFormat);
    s.setValue("VLPIO/ComPort", port);
    s.setValue("VLPIO/Timeout", 500);
    s.setValue("VLPIO/FastBaudRate", 0);
    s.sync();
}

// The whole suite runs once per device profile (see main).
vq5::sim::DeviceProfile g_Profile = vq5::sim::DeviceProfile::Default;

} // namespace

class ResetProcessTest : public QObject {
    Q_OBJECT
private slots:
    void sessionEndWhileTheLinkRuns() {
        QTemporaryDir config;
        vq5::sim::SimOptions o;
        o.onboardTraffic = false;
        o.profile = g_Profile;
        vq5::sim::CSimulator sim(o);
        const std::string path = sim.Start();
        QVERIFY(!path.empty());
        WriteSettings(config.path(), QString::fromStdString(path));

        QProcess tool;
        QVERIFY(StartTool(tool, VQ5WRESET_PATH, config.path()));
        // The engine answers the device's polls: the link runs.
        QVERIFY(sim.WaitUntil(
            [](const vq5::sim::DeviceState&, const vq5::sim::LinkCounters& c) { return c.polls >= 5; },
            std::chrono::milliseconds(kWait)));
        QVERIFY(Terminate(tool, kWait) >= 0);
        QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tool.exitCode(), 0);
        sim.Stop();

        QSettings s(config.path() + "/Lumark Electronics/VQ5WReset.conf", QSettings::IniFormat);
        QCOMPARE(s.value("VLPIO/ComPort").toString(), QString::fromStdString(path));
        QCOMPARE(s.value("VLPIO/Timeout").toInt(), 500);
        for (const char* k : {"flags", "showCmd", "x1", "y1", "x2", "y2"})
            QVERIFY2(s.contains(QString("Settings_V2.3/dlgWnd-1.0_") + k), k);
        QCOMPARE(s.value("Settings_V2.3/dlgWnd-1.0_showCmd").toInt(), 1);
    }

    void sessionEndWhileAPortErrorBoxIsUp() {
        QTemporaryDir config;
        WriteSettings(config.path(), config.path() + "/no-such-port");
        QProcess tool;
        QVERIFY(StartTool(tool, VQ5WRESET_PATH, config.path()));
        // The worker's first open fails at once and asks for its box. Nothing outside the
        // process shows the box, so this one wait stays fixed: SIGTERM must meet the box up.
        QTest::qWait(1500);
        QCOMPARE(tool.state(), QProcess::Running);
        QVERIFY(Terminate(tool, kWait) >= 0);
        QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
        QSettings s(config.path() + "/Lumark Electronics/VQ5WReset.conf", QSettings::IniFormat);
        QCOMPARE(s.value("VLPIO/ComPort").toString(), config.path() + "/no-such-port");
        QVERIFY(s.contains("Settings_V2.3/dlgWnd-1.0_x1"));
    }

    void commandLineTwinSendsTheSameSequence() {
        vq5::sim::SimOptions o;
        o.onboardTraffic = false;
        o.profile = g_Profile;
        o.versionMajor = 9;
        o.versionMinor = 1;
        vq5::sim::CSimulator sim(o);
        vq5::sim::DeviceState custom = vq5::sim::FactoryState(9, 1);
        custom.identifier = "Depot 3";
        sim.SetState(custom);
        const std::string path = sim.Start();
        QVERIFY(!path.empty());
        QProcess cli;
        cli.start(VQ5_CLI_PATH,
                  {"reset", "--port", QString::fromStdString(path), "--fast-speed", "2", "--deadline", "10"});
        QVERIFY(cli.waitForFinished(3 * kWait));
        QCOMPARE(cli.exitCode(), 0);
        QVERIFY(QString::fromLocal8Bit(cli.readAllStandardOutput()).contains("factory reset sent"));
        QCOMPARE(sim.Taken(), (std::vector<std::string>{"$PRG", "&QS2", "&QFE1", "&QXR"}));
        QVERIFY(sim.WaitUntil(
            [](const vq5::sim::DeviceState& s, const vq5::sim::LinkCounters&) { return s.reboots > 0; },
            std::chrono::milliseconds(kWait)));
        QCOMPARE(QString::fromStdString(sim.State().identifier),
                 QString::fromStdString(vq5::sim::FactoryState(9, 1).identifier));
        sim.Stop();

        // No device on the port: a clear failure, not a hang.
        QProcess none;
        none.start(VQ5_CLI_PATH, {"reset", "--port", "/nonexistent/vq5-port", "--deadline", "5"});
        QVERIFY(none.waitForFinished(3 * kWait));
        QCOMPARE(none.exitCode(), 3);
    }

    void withoutADisplayItSaysHowToGetOne() {
        QTemporaryDir config;
        QProcess tool;
        tool.setProcessEnvironment(ToolEnvironment(config.path(), false));
        tool.start(VQ5WRESET_PATH, {});
        QVERIFY(tool.waitForFinished(kWait));
        QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tool.exitCode(), 2);
        const QString err = QString::fromLocal8Bit(tool.readAllStandardError());
        QVERIFY2(err.contains("xvfb-run"), qPrintable(err));
        QVERIFY(err.contains("DISPLAY"));
        // Nothing was written: the tool never started.
        QVERIFY(!QFile::exists(config.path() + "/Lumark Electronics/VQ5WReset.conf"));

        // The X11 platform asked for without an X display: the same directions.
        QProcessEnvironment env = ToolEnvironment(config.path(), false);
        env.insert("QT_QPA_PLATFORM", "xcb");
        QProcess xcb;
        xcb.setProcessEnvironment(env);
        xcb.start(VQ5WRESET_PATH, {});
        QVERIFY(xcb.waitForFinished(kWait));
        QCOMPARE(xcb.exitCode(), 2);
        QVERIFY(QString::fromLocal8Bit(xcb.readAllStandardError()).contains("xvfb-run"));
    }
};

VQ5_QTEST_PER_PROFILE(ResetProcessTest, QCoreApplication, g_Profile)
#include "ResetProcessTest.moc"
