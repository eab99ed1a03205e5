// The six programs as processes, each with its own settings folder (XDG_CONFIG_HOME) and the
// offscreen platform:
//   - started from a settings file full of values out of range or of the wrong type, it runs
//     the link, ends on SIGTERM and writes sound values back;
//   - started from a file QSettings cannot parse, it keeps the file aside, carries on with the
//     values that could be read, and writes a whole new file;
//   - SIGTERM while the worker waits in a port error box, or in a write the line never takes,
//     ends the process well inside the port's own write limit, with the settings written.
#include "PtyHelpers.h"
#include "Simulator.h"
#include "ToolProgram.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

using vq5::test::StartTool;
using vq5::test::Terminate;

constexpr int kWait = 10000;    // generous: a loaded 2-core machine
constexpr int kEndLimit = 5000; // half the port's 10 s write limit; the goal is 2 s

struct Tool {
    const char* program;
    const char* placement;
};

const Tool kTools[] = {
    {"VQ5WPrg", "dlgWnd-1.9"},  {"VQ5WTest", "dlgWnd-1.8"},  {"VQ5WTCT", "dlgWnd-1.8"},
    {"VQ5WInfo", "dlgWnd-1.8"}, {"VQ5WReset", "dlgWnd-1.0"}, {"VQ5WVLP", "dlgWnd-1.8"},
};

QString ConfFile(const QString& config, const QString& program) {
    return config + "/Lumark Electronics/" + program + ".conf";
}

// Values no tool can use, for the connection, the placement and each tool's own fields.
void WriteDamagedValues(const QString& config, const QString& program, const QString& placement,
                        const QString& port) {
    QDir(config).mkpath("Lumark Electronics");
    QSettings s(ConfFile(config, program), QSettings::IniFormat);
    s.setValue("VLPIO/ComPort", port);
    s.setValue("VLPIO/Timeout", "abc");
    s.setValue("VLPIO/FastBaudRate", 99);
    s.setValue("VLPLogWnd/Level", 7777);
    const QString p = "Settings_V2.3/" + placement + "_";
    s.setValue(p + "flags", 7);
    s.setValue(p + "showCmd", 7);
    s.setValue(p + "x1", 900000);
    s.setValue(p + "y1", -900000);
    s.setValue(p + "x2", 2000000000);
    s.setValue(p + "y2", -2000000000);
    if (program == "VQ5WPrg") {
        s.setValue("Settings_V2.3/FlagCrearEeprom", 7);
        s.setValue("Settings_V2.3/FlagStreekvervoer", -3);
        s.setValue("Settings_V2.3/ButtonDataCall1", 7);
        s.setValue("Settings_V2.3/TransConfigSliderWindow", 99);
        s.setValue("Settings_V2.3/TransConfigSliderOffset2", -1);
        s.setValue("Settings_V2.3/TransConfigSliderStable", "abc");
        s.setValue("Settings_V2.3/CheckConfigID", 5);
        s.setValue("Settings_V2.3/RebootAfterProgramming", 7);
        s.setValue("Settings_V2.3/ConfigID", QString(5000, QLatin1Char('A')));
        s.setValue("Settings_V2.3/EditDataCall1", QString(3000, QLatin1Char('%')));
    } else if (program == "VQ5WTCT") {
        s.setValue("Settings_V2.3/Window", 99);
        s.setValue("Settings_V2.3/Minimal", -5);
        s.setValue("Settings_V2.3/Offset", 1000);
        s.setValue("Settings_V2.3/Stable", "abc");
        s.setValue("Settings_V2.3/Reboot", 7);
    } else if (program == "VQ5WVLP") {
        s.setValue("Settings_V2.3/LijnNr", -1);
        s.setValue("Settings_V2.3/RunNr", 5000);
        s.setValue("Settings_V2.3/AutoIncrement", 7);
    } else if (program == "VQ5WTest") {
        s.setValue("Settings_V2.3/ShowInputs", 7);
        s.setValue("Settings_V2.3/ShowOutputs", -1);
    }
    s.sync();
}

void WriteConnection(const QString& config, const QString& program, const QString& port) {
    QDir(config).mkpath("Lumark Electronics");
    QSettings s(ConfFile(config, program), QSettings::IniFormat);
    s.setValue("VLPIO/ComPort", port);
    s.setValue("VLPIO/Timeout", 500);
    s.setValue("VLPIO/FastBaudRate", 0);
    s.sync();
}

void CheckInRange(QSettings& s, const char* key, int lo, int hi) {
    bool ok = false;
    const int v = s.value(key).toInt(&ok);
    QVERIFY2(ok, key);
    QVERIFY2(v >= lo && v <= hi,
             qPrintable(QStringLiteral("%1 = %2, not %3..%4").arg(key).arg(v).arg(lo).arg(hi)));
}

// A pseudo-terminal whose device side never reads: what the tool writes stays queued.
struct CDeadLine {
    vq5::test::CPty pty;
    QString path = QString::fromStdString(pty.Path());
    CDeadLine() { pty.FillFromPc(); }
    void Poll() {
        const unsigned char poll[] = {'P', 0xE1, 0x05};
        [[maybe_unused]] ssize_t n = ::write(pty.Master(), poll, sizeof poll);
    }
};

} // namespace

class ToolProcessReliabilityTests : public QObject {
    Q_OBJECT
private:
    static QString Path(const char* program) { return QStringLiteral(VQ5_TOOL_DIR "/") + program; }

    // A device that only polls: no on-board traffic of its own.
    static vq5::sim::SimOptions QuietDevice() {
        vq5::sim::SimOptions o;
        o.onboardTraffic = false;
        return o;
    }

    // The tool opened the port and answers the device: ten polls went round.
    static bool LinkRuns(vq5::sim::CSimulator& sim) {
        return sim.WaitUntil(
            [](const vq5::sim::DeviceState&, const vq5::sim::LinkCounters& c) { return c.polls >= 10; },
            std::chrono::milliseconds(3 * kWait));
    }

    // SIGTERM ends the tool well inside the limit, normally and with exit code 0; prints the time.
    static void EndsSoon(QProcess& tool, const QString& program, const char* when) {
        const qint64 ms = Terminate(tool, kWait);
        std::printf("[ measured ] %s: SIGTERM %s ended in %lld ms\n", qPrintable(program), when,
                    static_cast<long long>(ms));
        if (ms < 0 || ms >= kEndLimit) // the tool's own words say why
            QFAIL(qPrintable(QString::fromLocal8Bit(tool.readAllStandardError())));
        QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tool.exitCode(), 0);
    }

    static void AddToolRows() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("placement");
        for (const Tool& t : kTools)
            QTest::newRow(t.program) << QString::fromLatin1(t.program) << QString::fromLatin1(t.placement);
    }

private slots:
    void damagedValuesGiveSoundOnes_data() { AddToolRows(); }
    void damagedValuesGiveSoundOnes() {
        QFETCH(QString, program);
        QFETCH(QString, placement);
        QTemporaryDir config;
        vq5::sim::CSimulator sim(QuietDevice());
        const std::string port = sim.Start();
        QVERIFY(!port.empty());
        WriteDamagedValues(config.path(), program, placement, QString::fromStdString(port));

        QProcess tool;
        QVERIFY(StartTool(tool, Path(qPrintable(program)), config.path()));
        // The link runs: the tool opened the port named in the file and answers the device.
        QVERIFY2(LinkRuns(sim), "the link did not run");
        QCOMPARE(tool.state(), QProcess::Running);
        EndsSoon(tool, program, "with the link running");
        if (QTest::currentTestFailed())
            return;
        sim.Stop();

        QSettings s(ConfFile(config.path(), program), QSettings::IniFormat);
        QCOMPARE(s.status(), QSettings::NoError);
        QCOMPARE(s.value("VLPIO/ComPort").toString(), QString::fromStdString(port));
        QCOMPARE(s.value("VLPIO/Timeout").toInt(), 2000);
        QCOMPARE(s.value("VLPIO/FastBaudRate").toInt(), 3);
        const QString p = "Settings_V2.3/" + placement + "_";
        CheckInRange(s, qPrintable(p + "x1"), -100, 100000);
        CheckInRange(s, qPrintable(p + "y1"), -100, 100000);
        CheckInRange(s, qPrintable(p + "showCmd"), 1, 3);
        const int w = s.value(p + "x2").toInt() - s.value(p + "x1").toInt();
        const int h = s.value(p + "y2").toInt() - s.value(p + "y1").toInt();
        QVERIFY2(w > 0 && w < 100000 && h > 0 && h < 100000,
                 qPrintable(QStringLiteral("%1 x %2").arg(w).arg(h)));
        if (program == "VQ5WPrg") {
            CheckInRange(s, "Settings_V2.3/FlagCrearEeprom", 0, 2);
            CheckInRange(s, "Settings_V2.3/FlagStreekvervoer", 0, 2);
            CheckInRange(s, "Settings_V2.3/ButtonDataCall1", 0, 2);
            CheckInRange(s, "Settings_V2.3/TransConfigSliderWindow", 1, 15);
            CheckInRange(s, "Settings_V2.3/TransConfigSliderOffset2", 10, 25);
            CheckInRange(s, "Settings_V2.3/TransConfigSliderStable", 1, 15);
            CheckInRange(s, "Settings_V2.3/CheckConfigID", 0, 1);
            CheckInRange(s, "Settings_V2.3/RebootAfterProgramming", 0, 1);
        } else if (program == "VQ5WTCT") {
            CheckInRange(s, "Settings_V2.3/Window", 1, 15);
            CheckInRange(s, "Settings_V2.3/Minimal", 1, 15);
            CheckInRange(s, "Settings_V2.3/Offset", 10, 25);
            CheckInRange(s, "Settings_V2.3/Stable", 1, 15);
            CheckInRange(s, "Settings_V2.3/Reboot", 0, 1);
            QVERIFY(s.value("Settings_V2.3/Minimal").toInt() <= s.value("Settings_V2.3/Window").toInt());
        } else if (program == "VQ5WVLP") {
            CheckInRange(s, "Settings_V2.3/LijnNr", 0, 999);
            CheckInRange(s, "Settings_V2.3/RunNr", 0, 999);
            CheckInRange(s, "Settings_V2.3/AutoIncrement", 0, 1);
        } else if (program == "VQ5WTest") {
            CheckInRange(s, "Settings_V2.3/ShowInputs", 0, 1);
            CheckInRange(s, "Settings_V2.3/ShowOutputs", 0, 1);
        }
        QVERIFY(
            QDir(config.path() + "/Lumark Electronics").entryList({"*.corrupt-*"}, QDir::Files).isEmpty());
    }

    void corruptFileIsKeptAside_data() { AddToolRows(); }
    void corruptFileIsKeptAside() {
        QFETCH(QString, program);
        QFETCH(QString, placement);
        QTemporaryDir config;
        vq5::sim::CSimulator sim(QuietDevice());
        const std::string port = sim.Start();
        QVERIFY(!port.empty());
        QDir(config.path()).mkpath("Lumark Electronics");
        const QString file = ConfFile(config.path(), program);
        // A section header that never closes, and bytes no text editor wrote.
        const QByteArray damaged = "[VLPIO]\nComPort=" + QByteArray::fromStdString(port) +
                                   "\nTimeout=700\n[Settings_V2.3\n" + placement.toLatin1() +
                                   "_x1=\x01\xff\xfe\n" + QByteArray("\x00\x00garbage", 9);
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(damaged);
        }
        QProcess tool;
        QVERIFY(StartTool(tool, Path(qPrintable(program)), config.path()));
        // It runs on the port the readable part names.
        QVERIFY2(LinkRuns(sim), "the link did not run");
        EndsSoon(tool, program, "with a file kept aside");
        if (QTest::currentTestFailed())
            return;
        sim.Stop();
        const QString err = QString::fromLocal8Bit(tool.readAllStandardError());

        const QStringList kept =
            QDir(config.path() + "/Lumark Electronics").entryList({program + ".conf.corrupt-*"}, QDir::Files);
        QCOMPARE(kept.size(), 1);
        QFile k(config.path() + "/Lumark Electronics/" + kept[0]);
        QVERIFY(k.open(QIODevice::ReadOnly));
        QCOMPARE(k.readAll(), damaged);
        QVERIFY2(err.contains(kept[0]), qPrintable(err));
        QSettings s(file, QSettings::IniFormat);
        s.allKeys();
        QCOMPARE(s.status(), QSettings::NoError);
        QCOMPARE(s.value("VLPIO/ComPort").toString(), QString::fromStdString(port));
        QCOMPARE(s.value("VLPIO/Timeout").toInt(), 700);
        QVERIFY(s.contains("Settings_V2.3/" + placement + "_x1"));
    }

    void sigtermWithAPortErrorBoxUp_data() { AddToolRows(); }
    void sigtermWithAPortErrorBoxUp() {
        QFETCH(QString, program);
        QFETCH(QString, placement);
        QTemporaryDir config;
        WriteConnection(config.path(), program, config.path() + "/no-such-port");
        QProcess tool;
        QVERIFY(StartTool(tool, Path(qPrintable(program)), config.path()));
        // The first open fails at once; its box is up. Nothing outside the process shows the
        // box, so this wait stays fixed: the session end must meet the box up.
        QTest::qWait(1500);
        QCOMPARE(tool.state(), QProcess::Running);
        EndsSoon(tool, program, "with an error box up");
        if (QTest::currentTestFailed())
            return;
        QSettings s(ConfFile(config.path(), program), QSettings::IniFormat);
        QCOMPARE(s.value("VLPIO/ComPort").toString(), config.path() + "/no-such-port");
        QCOMPARE(s.value("VLPIO/Timeout").toInt(), 500);
        QVERIFY(s.contains("Settings_V2.3/" + placement + "_x1"));
    }

    void unwritableSettingsFolderIsReported() {
        // A file where the settings folder should be: nothing can be written, and the tool
        // says so when it ends instead of losing the settings silently.
        QTemporaryDir config;
        {
            QFile blocker(config.path() + "/Lumark Electronics");
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        QProcess tool;
        QVERIFY(StartTool(tool, Path("VQ5WReset"), config.path()));
        // Nothing outside the process tells when the tool is up; the session end must meet a
        // running tool, not one still starting.
        QTest::qWait(1000);
        QVERIFY(Terminate(tool, kWait) >= 0);
        QCOMPARE(tool.exitCode(), 0);
        const QString err = QString::fromLocal8Bit(tool.readAllStandardError());
        QVERIFY2(err.contains("the settings could not be written to"), qPrintable(err));
    }

    void sigtermWhileAWriteNeverCompletes_data() { AddToolRows(); }
    void sigtermWhileAWriteNeverCompletes() {
        QFETCH(QString, program);
        QFETCH(QString, placement);
        QTemporaryDir config;
        CDeadLine line;
        QVERIFY(!line.path.isEmpty());
        WriteConnection(config.path(), program, line.path);
        QProcess tool;
        QVERIFY(StartTool(tool, Path(qPrintable(program)), config.path()));
        // Polls at the device's pace until the tool has the port open, then twice more: its
        // answer can never be written.
        const auto pid = static_cast<pid_t>(tool.processId());
        for (int i = 0; i < 50 && !vq5::test::HasOpen(pid, line.pty.Path()); ++i) {
            line.Poll();
            QTest::qWait(200);
        }
        QVERIFY(vq5::test::HasOpen(pid, line.pty.Path()));
        for (int i = 0; i < 2; ++i) {
            line.Poll();
            QTest::qWait(200);
        }
        QCOMPARE(tool.state(), QProcess::Running);
        EndsSoon(tool, program, "during a write that never completes");
        if (QTest::currentTestFailed())
            return;
        QSettings s(ConfFile(config.path(), program), QSettings::IniFormat);
        QCOMPARE(s.value("VLPIO/ComPort").toString(), line.path);
        QVERIFY(s.contains("Settings_V2.3/" + placement + "_x1"));
    }
};

QTEST_MAIN(ToolProcessReliabilityTests)
#include "ToolProcessReliabilityTests.moc"
