// VQ5WTCT against the simulated VQ-5 on a pseudo-terminal.
#include "TransponderDlg.h"

#include "AboutBox.h"
#include "RecordedVisits.h"
#include "ServiceRecord.h"
#include "SimSuite.h"
#include "WaitFor.h"
#include "Simulator.h"
#include "SettingsStore.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <climits>
#include <map>

#include <cstdint>
#include <cstdio>
#include <memory>

using namespace vq5;
using namespace vq5::tct;

namespace {

constexpr int kWait = 10000;
const char* kSection = "Settings_V2.3";

// The whole suite runs once per device profile (see VQ5_QTEST_PER_PROFILE).
sim::DeviceProfile g_Profile = sim::DeviceProfile::Default;

class CTestTransponderDlg : public CTransponderDlg {
public:
    using CTransponderDlg::CTransponderDlg;
    int exits = 0;
    std::uint64_t received = 0;

protected:
    void OnNotify(const Notification& n) override {
        CTransponderDlg::OnNotify(n);
        if (n.kind == nkIdent && n.value == 0)
            ++exits;
        if (n.kind == nkReceived)
            ++received;
    }
};

struct Rig : test::DialogRig<CTestTransponderDlg> {
    bool Start(unsigned major, unsigned minor, int fastBaud = 0) {
        return Open(test::QuietDevice(major, minor, g_Profile), fastBaud);
    }
    void Close() { dlg.reset(); }
    // Moves the offset slider to `ms` and saves, as Run() does.
    bool SaveWithOffset(int ms) {
        dlg->Slider(sOffset)->setValue(ms);
        return Run(dlg->SaveButton());
    }
    // Clicks Load or Save and waits until the device has left program mode, every message it
    // sent has been handled by the window and the buttons are back. Nothing here relies on an
    // answer to a set: the strict device gives none.
    bool Run(QPushButton* button) {
        const std::size_t exitsBefore = sim->ExitsTaken();
        button->click();
        if (dlg->LoadButton()->isEnabled() || dlg->SaveButton()->isEnabled())
            return false; // both must be disabled while the sequence runs
        return QTest::qWaitFor(
            [&] {
                return sim->BatchDone(exitsBefore, dlg->received) && dlg->LoadButton()->isEnabled() &&
                       dlg->SaveButton()->isEnabled();
            },
            kWait);
    }
    int SliderValue(Setting s) const { return dlg->Slider(s)->value(); }
    QString Title(Setting s) const { return dlg->Frame(s)->title(); }
    // The four slider values, each with its frame's title, as one text.
    QString Shown() const {
        QStringList parts;
        for (Setting s : {sWindow, sMinimal, sOffset, sStable})
            parts << QString::number(SliderValue(s)) + " " + Title(s);
        return parts.join(QStringLiteral(" | "));
    }
};

// What Shown() gives with the values of a first start and of "Default".
const QString kDefaultsShown =
    QStringLiteral("8 Window  [192 ms] | 7 Minimal  [7 Vx] | 22 Offset  [22 ms] | 10 Stable  [1000 ms]");

} // namespace

class TransponderDlgTest : public QObject {
    Q_OBJECT
private slots:
    // Messages the dialog shows (range refusals, offset warnings) are collected, not shown:
    // a modal box would wait for a click no test gives.
    void init() {
        m_Messages.clear();
        CTransponderDlg::SetMessageHook([this](QWidget*, const QString& text) { m_Messages << text; });
    }
    void cleanup() { CTransponderDlg::SetMessageHook(nullptr); }
    void firstStartShowsTheDefaults();
    void storedValuesAreShownAndWrittenBack();
    void saveThenLoadRoundTrips_data();
    void saveThenLoadRoundTrips();
    void offsetAboveTheSliderIsSavedBackUntilMoved();
    void draggingWindowPullsMinimal();
    void draggingMinimalPushesWindow();
    void rebootBoxChoosesTheExit();
    void noSpeedChangeEverQueued();
    void defaultLeavesTheRebootBox();
    void closingTakesTheValuesOnlyThroughExit_data();
    void closingTakesTheValuesOnlyThroughExit();
    void stableReplyDigitA();
    void offsetReadWithTheVersionOfItsTime();
    void commandLineSavesAndLoadsLikeTheTool();
    void commandLineWarnsOfAnOffsetTheDeviceCannotHold();
    void saveWarnsOfAnOffsetTheDeviceCannotHold();
    void aboutShowsItsWholeTexts();

private:
    QStringList m_Messages;
};

namespace {
struct CliRun {
    int rc = -1;
    QByteArray out, err;
};

CliRun RunCli(const QStringList& args) {
    CliRun r;
#ifdef VQ5_CLI_PATH
    QProcess vq5;
    vq5.start(QStringLiteral(VQ5_CLI_PATH), args);
    if (!vq5.waitForFinished(30000))
        return r;
    r.out = vq5.readAllStandardOutput();
    r.err = vq5.readAllStandardError();
    r.rc = vq5.exitCode();
#else
    Q_UNUSED(args);
#endif
    return r;
}

std::unique_ptr<sim::CSimulator> CliDevice(unsigned major, unsigned minor) {
    return std::make_unique<sim::CSimulator>(test::QuietDevice(major, minor, g_Profile));
}
} // namespace

void TransponderDlgTest::firstStartShowsTheDefaults() {
    Rig rig;
    QVERIFY(rig.Start(8, 7));
    QCOMPARE(rig.dlg->windowTitle(), QStringLiteral("VQ-5 Transponder Configuration Tool"));
    QCOMPARE(rig.Shown(), kDefaultsShown);
    QCOMPARE(rig.dlg->ReadOutLabel(sStable)->text(), QStringLiteral("10"));
    QCOMPARE(rig.dlg->Slider(sOffset)->minimum(), 10);
    QCOMPARE(rig.dlg->Slider(sOffset)->maximum(), 25);
    QCOMPARE(rig.dlg->Slider(sWindow)->minimum(), 1);
    QCOMPARE(rig.dlg->Slider(sWindow)->maximum(), 15);
    QCOMPARE(rig.dlg->Explanation(sWindow)->text(),
             QStringLiteral("Window tijd waarin gemeten wordt. Dit gaat in stappen van 24ms."));
    QVERIFY(!rig.dlg->RebootBox()->isChecked());
    QCOMPARE(rig.dlg->RebootBox()->text(), QStringLiteral("Reboot VQ5 na programmering."));
    QVERIFY(rig.dlg->ExitButton()->isDefault());
    rig.Close();
    QCOMPARE(rig.store.ReadInt(kSection, "Window"), 8);
    QCOMPARE(rig.store.ReadInt(kSection, "Minimal"), 7);
    QCOMPARE(rig.store.ReadInt(kSection, "Offset"), 22);
    QCOMPARE(rig.store.ReadInt(kSection, "Stable"), 10);
    QCOMPARE(rig.store.ReadInt(kSection, "Reboot"), 0);
}

void TransponderDlgTest::storedValuesAreShownAndWrittenBack() {
    Rig rig;
    rig.store.WriteInt(kSection, "Window", 12);
    rig.store.WriteInt(kSection, "Minimal", 4);
    rig.store.WriteInt(kSection, "Offset", 11);
    rig.store.WriteInt(kSection, "Stable", 3);
    rig.store.WriteInt(kSection, "Reboot", 1);
    QVERIFY(rig.Start(8, 7));
    QCOMPARE(rig.SliderValue(sWindow), 12);
    QCOMPARE(rig.SliderValue(sMinimal), 4);
    QCOMPARE(rig.SliderValue(sOffset), 11);
    QCOMPARE(rig.SliderValue(sStable), 3);
    QVERIFY(rig.dlg->RebootBox()->isChecked());
    QCOMPARE(rig.Title(sStable), QStringLiteral("Stable  [300 ms]"));
    rig.dlg->Slider(sStable)->setValue(14);
    rig.Close();
    QCOMPARE(rig.store.ReadInt(kSection, "Stable"), 14);
    QCOMPARE(rig.store.ReadInt(kSection, "Window"), 12);
    QCOMPARE(rig.store.ReadInt(kSection, "Reboot"), 1);
}

void TransponderDlgTest::saveThenLoadRoundTrips_data() {
    QTest::addColumn<unsigned>("minor");
    QTest::addColumn<int>("window");
    QTest::addColumn<int>("minimal");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("stable");
    QTest::addColumn<unsigned>("offsetDigit"); // as the device stores it
    QTest::addColumn<int>("offsetBack");       // as the tool reads it back
    QTest::newRow("8.7 offset 10") << 7u << 12 << 3 << 10 << 15 << 0x0u << 10;
    QTest::newRow("8.7 offset 22") << 7u << 1 << 1 << 22 << 1 << 0xCu << 22;
    QTest::newRow("8.7 offset 25") << 7u << 15 << 15 << 25 << 10 << 0xFu << 25;
    QTest::newRow("8.1 offset 22") << 1u << 9 << 2 << 22 << 7 << 0xEu << 22;
    QTest::newRow("8.1 offset 25") << 1u << 15 << 15 << 25 << 15 << 0x1u << 25;
    // Below 16 ms the old encoding cannot hold the offset: 10 goes out as 2, which means
    // 26 ms; the slider ends at 25, the value read stays 26.
    QTest::newRow("8.1 offset 10") << 1u << 5 << 5 << 10 << 2 << 0x2u << 26;
}

void TransponderDlgTest::saveThenLoadRoundTrips() {
    QFETCH(unsigned, minor);
    QFETCH(int, window);
    QFETCH(int, minimal);
    QFETCH(int, offset);
    QFETCH(int, stable);
    QFETCH(unsigned, offsetDigit);
    QFETCH(int, offsetBack);
    Rig rig;
    QTemporaryDir dir;
    const std::string db = test::KeepRecordIn(rig.store, dir.path().toStdString());
    QVERIFY(rig.Start(8, minor));
    rig.dlg->Slider(sWindow)->setValue(window);
    rig.dlg->Slider(sMinimal)->setValue(minimal);
    rig.dlg->Slider(sOffset)->setValue(offset);
    rig.dlg->Slider(sStable)->setValue(stable);
    QCOMPARE(rig.SliderValue(sWindow), window);
    QCOMPARE(rig.SliderValue(sMinimal), minimal);
    const std::size_t takenBefore = rig.sim->Taken().size();
    QVERIFY(rig.Run(rig.dlg->SaveButton()));
    auto saveTaken = rig.sim->Taken();
    saveTaken =
        std::vector<std::string>(saveTaken.begin() + std::ptrdiff_t(takenBefore) + 1, saveTaken.end() - 1);
    sim::DeviceState s = rig.sim->State();
    QCOMPARE(s.window, unsigned(window));
    QCOMPARE(s.minimal, unsigned(minimal));
    QCOMPARE(s.offsetDigit, offsetDigit);
    QCOMPARE(s.stable, unsigned(stable));
    QVERIFY(!s.programMode);

    rig.dlg->DefaultButton()->click();
    QVERIFY(rig.Run(rig.dlg->LoadButton()));
    QCOMPARE(rig.SliderValue(sWindow), window);
    QCOMPARE(rig.SliderValue(sMinimal), minimal);
    QCOMPARE(rig.SliderValue(sOffset), std::min(offsetBack, 25));
    QCOMPARE(rig.SliderValue(sStable), stable);
    QCOMPARE(rig.Title(sWindow), QStringLiteral("Window  [%1 ms]").arg(window * 24));
    QCOMPARE(rig.Title(sOffset), QStringLiteral("Offset  [%1 ms]").arg(offsetBack));
    QCOMPARE(rig.Title(sStable), QStringLiteral("Stable  [%1 ms]").arg(stable * 100));
    QCOMPARE(rig.dlg->ReadOutLabel(sMinimal)->text(), QString::number(minimal));
    // The load went out as it stands.
    auto taken = rig.sim->Taken();
    std::vector<std::string> load(taken.end() - 6, taken.end());
    QCOMPARE(load, (std::vector<std::string>{"$PRG", "&QKW", "&QKM", "&QKO", "&QKS", "&QX"}));

    // Two visits in the service record: the save with the texts the device took (one offset
    // encoding, by its version), the load with the four values it reported.
    QVERIFY(rig.dlg->FlushRecord());
    const auto visits = test::RecordedVisits(db);
    QCOMPARE(visits.size(), std::size_t(2));
    QCOMPARE(test::WrittenValues(visits[1]), saveTaken);
    QCOMPARE(visits[0].tool, std::string("VQ5WTCT"));
    QCOMPARE(visits[0].version, "8." + std::to_string(minor));
    std::map<std::string, std::string> read;
    for (const record::VisitItem& i : record::ConfigOf(visits[0]))
        read[i.item] = i.value;
    QCOMPARE(read.size(), std::size_t(4));
    QCOMPARE(read["TransConfigSliderWindow"], std::to_string(window));
    QCOMPARE(read["TransConfigSliderMinimal"], std::to_string(minimal));
    QCOMPARE(read["TransConfigSliderStable"], std::to_string(stable));
    QVERIFY(read.count("TransConfigSliderOffset2"));
}

void TransponderDlgTest::offsetAboveTheSliderIsSavedBackUntilMoved() {
    // A device before 8.2 holding 26 ms (offset 10 sent to it): the slider shows 25, but a save
    // after another slider moved writes back the 26 ms the device held, not 25.
    Rig rig;
    QVERIFY(rig.Start(8, 1));
    QVERIFY(rig.SaveWithOffset(10));
    QCOMPARE(rig.sim->State().offsetDigit, 0x2u);
    rig.dlg->DefaultButton()->click();
    QVERIFY(rig.Run(rig.dlg->LoadButton()));
    QCOMPARE(rig.SliderValue(sOffset), 25);
    QCOMPARE(rig.Title(sOffset), QStringLiteral("Offset  [26 ms]"));
    rig.dlg->Slider(sWindow)->setValue(9);
    QVERIFY(rig.Run(rig.dlg->SaveButton()));
    QCOMPARE(rig.sim->State().window, 9u);
    QCOMPARE(rig.sim->State().offsetDigit, 0x2u); // still 26 ms
    // Once the user moves the offset slider, its value is what is saved.
    rig.dlg->Slider(sOffset)->setValue(24);
    rig.dlg->Slider(sOffset)->setValue(25);
    QCOMPARE(rig.Title(sOffset), QStringLiteral("Offset  [25 ms]"));
    QVERIFY(rig.Run(rig.dlg->SaveButton()));
    QCOMPARE(rig.sim->State().offsetDigit, 0x1u); // 25 ms before 8.2
}

void TransponderDlgTest::draggingWindowPullsMinimal() {
    Rig rig;
    QVERIFY(rig.Start(8, 7));
    rig.dlg->Slider(sWindow)->setValue(5); // Minimal is 7
    QCOMPARE(rig.SliderValue(sMinimal), 5);
    QCOMPARE(rig.Title(sMinimal), QStringLiteral("Minimal  [5 Vx]"));
    QCOMPARE(rig.Title(sWindow), QStringLiteral("Window  [120 ms]"));
    QVERIFY(rig.Run(rig.dlg->SaveButton()));
    auto taken = rig.sim->Taken();
    QVERIFY(std::find(taken.begin(), taken.end(), "&QKM5") != taken.end());
    QCOMPARE(rig.sim->State().minimal, 5u);
}

void TransponderDlgTest::draggingMinimalPushesWindow() {
    Rig rig;
    QVERIFY(rig.Start(8, 7));
    rig.dlg->Slider(sMinimal)->setValue(12); // Window is 8
    QCOMPARE(rig.SliderValue(sWindow), 12);
    QCOMPARE(rig.Title(sWindow), QStringLiteral("Window  [288 ms]"));
    QCOMPARE(rig.dlg->ReadOutLabel(sWindow)->text(), QStringLiteral("12"));
    // Within the limits nothing else moves.
    rig.dlg->Slider(sMinimal)->setValue(4);
    QCOMPARE(rig.SliderValue(sWindow), 12);
}

void TransponderDlgTest::rebootBoxChoosesTheExit() {
    Rig rig;
    QVERIFY(rig.Start(8, 7));
    QVERIFY(rig.Run(rig.dlg->SaveButton()));
    QCOMPARE(rig.sim->Taken().back(), std::string("&QX"));
    const auto reboots = rig.sim->State().reboots;
    rig.dlg->RebootBox()->setChecked(true);
    QVERIFY(rig.Run(rig.dlg->SaveButton()));
    QCOMPARE(rig.sim->Taken().back(), std::string("&QXR"));
    QCOMPARE(rig.sim->State().reboots, reboots + 1);
    // Load always leaves with "&PX".
    QVERIFY(rig.Run(rig.dlg->LoadButton()));
    QCOMPARE(rig.sim->Taken().back(), std::string("&QX"));
}

void TransponderDlgTest::noSpeedChangeEverQueued() {
    Rig rig;
    QVERIFY(rig.Start(8, 7, 3)); // a fast speed is configured
    QVERIFY(rig.Run(rig.dlg->LoadButton()));
    QVERIFY(rig.Run(rig.dlg->SaveButton()));
    rig.dlg->RebootBox()->setChecked(true);
    QVERIFY(rig.Run(rig.dlg->SaveButton()));
    for (const auto& t : rig.sim->Taken()) {
        QVERIFY2(t.rfind("&QS", 0) != 0, t.c_str());
        QVERIFY2(t != "&QX0", t.c_str());
    }
    QCOMPARE(rig.sim->CurrentBaud(), 1200);
    QCOMPARE(rig.dlg->Engine().CurrentBaud(), 1200);
}

void TransponderDlgTest::defaultLeavesTheRebootBox() {
    Rig rig;
    QVERIFY(rig.Start(8, 7));
    rig.dlg->RebootBox()->setChecked(true);
    rig.dlg->Slider(sWindow)->setValue(3);
    rig.dlg->Slider(sOffset)->setValue(12);
    rig.dlg->Slider(sStable)->setValue(1);
    rig.dlg->DefaultButton()->click();
    QCOMPARE(rig.Shown(), kDefaultsShown);
    QVERIFY(rig.dlg->RebootBox()->isChecked());
}

// Return presses "Exit" (the default button) and the menu's Exit takes the values; Escape
// closes like the close box and does not.
void TransponderDlgTest::closingTakesTheValuesOnlyThroughExit_data() {
    QTest::addColumn<int>("key"); // 0: the menu's Exit
    QTest::addColumn<int>("reboot");
    QTest::newRow("Return: Exit") << int(Qt::Key_Return) << 1;
    QTest::newRow("Escape: close box") << int(Qt::Key_Escape) << 0;
    QTest::newRow("menu Exit") << 0 << 1;
}

void TransponderDlgTest::closingTakesTheValuesOnlyThroughExit() {
    QFETCH(int, key);
    QFETCH(int, reboot);
    Rig rig;
    QVERIFY(rig.Start(8, 7));
    rig.dlg->show();
    rig.dlg->RebootBox()->setChecked(true);
    if (key != 0) {
        QTest::keyClick(rig.dlg.get(), Qt::Key(key));
    } else {
        QAction* exit = rig.dlg->Action(qt::cmdExit);
        QVERIFY(exit);
        exit->trigger();
    }
    QVERIFY(!rig.dlg->isVisible());
    rig.Close();
    QCOMPARE(rig.store.ReadInt(kSection, "Reboot"), reboot);
}

void TransponderDlgTest::stableReplyDigitA() {
    Rig rig;
    QVERIFY(rig.Start(8, 7));
    QVERIFY(rig.Run(rig.dlg->LoadButton())); // the device letter Q is known from here on
    rig.dlg->Slider(sStable)->setValue(3);
    QCOMPARE(rig.Title(sStable), QStringLiteral("Stable  [300 ms]"));
    rig.sim->QueueToPc("&QKSA");
    QVERIFY(QTest::qWaitFor([&] { return rig.SliderValue(sStable) == 10; }, kWait));
    QCOMPARE(rig.Title(sStable), QStringLiteral("Stable  [1000 ms]"));
    // A reply without a digit changes nothing; one from another letter is not the device's.
    rig.sim->QueueToPc("&QKW");
    rig.sim->QueueToPc("&PKW2");
    rig.sim->QueueToPc("&QKM2");
    QVERIFY(QTest::qWaitFor([&] { return rig.SliderValue(sMinimal) == 2; }, kWait));
    QCOMPARE(rig.SliderValue(sWindow), 8);
}

void TransponderDlgTest::offsetReadWithTheVersionOfItsTime() {
    // The GUI gets to the replies only after the device has left program mode, which resets
    // the engine's device version to 0.0: the offset must still be read as an 8.7 digit.
    if (g_Profile == sim::DeviceProfile::Strict)
        QSKIP("the strict device does not answer the program-mode exit: the version is never reset");
    Rig rig;
    QVERIFY(rig.Start(8, 7));
    QVERIFY(rig.SaveWithOffset(10));
    rig.dlg->DefaultButton()->click();
    QCOMPARE(rig.SliderValue(sOffset), 22);
    const int before = rig.dlg->exits;
    rig.dlg->LoadButton()->click();
    // No events processed while the whole load runs on the link.
    auto delivered = [&] {
        auto d = rig.sim->Delivered();
        return std::count(d.begin(), d.end(), std::string("&QX")) >= 2;
    };
    QVERIFY(vq5::test::WaitFor([&] { return delivered() && rig.dlg->Engine().VersionMajor() == 0; },
                               std::chrono::milliseconds(kWait), std::chrono::milliseconds(10)));
    QVERIFY(delivered());
    QCOMPARE(rig.dlg->Engine().VersionMajor(), 0u); // the engine has forgotten the version
    QVERIFY(QTest::qWaitFor([&] { return rig.dlg->exits > before; }, kWait));
    QCOMPARE(rig.SliderValue(sOffset), 10); // read as 0.0 it would be 24
}

void TransponderDlgTest::commandLineSavesAndLoadsLikeTheTool() {
#ifndef VQ5_CLI_PATH
    QSKIP("the vq5 command line is not built");
#else
    Rig rig;
    QVERIFY(rig.Start(8, 1, 3));
    // The tool holds the port; the command line gets a second simulated device of its own.
    auto device = CliDevice(8, 1);
    const std::string path = device->Start();
    QVERIFY(!path.empty());
    const QString port = QString::fromStdString(path);
    // The save is confirmed by reading the four values back, whatever the device says to a set.
    const CliRun saved = RunCli({"filter", "save", "--port", port, "--window", "11", "--minimal", "2",
                                 "--offset", "25", "--stable", "4", "--reboot"});
    QCOMPARE(saved.rc, 0);
    const QByteArray expected = "Window\t11\tWindow  [264 ms]\nMinimal\t2\tMinimal  [2 Vx]\n"
                                "Offset\t25\tOffset  [25 ms]\nStable\t4\tStable  [400 ms]\n";
    QCOMPARE(saved.out, expected);
    QVERIFY2(saved.err.isEmpty(), saved.err.constData());
    QCOMPARE(device->Taken().back(), std::string("&QXR"));
    QCOMPARE(device->State().offsetDigit, 1u);
    const CliRun loaded = RunCli({"filter", "load", "--port", port});
    QCOMPARE(loaded.rc, 0);
    QCOMPARE(loaded.out, expected);
    for (const auto& t : device->Taken())
        QVERIFY2(t.rfind("&QS", 0) != 0, t.c_str());
    QCOMPARE(RunCli({"filter", "save", "--port", port, "--window", "3", "--minimal", "4"}).rc, 2);
    QCOMPARE(RunCli({"filter", "save", "--port", port, "--stable", "16"}).rc, 2);
    const auto cliTaken = device->Taken();
    device->Stop();

    // The tool, given the same values, sends the same sets; the command line then reads back.
    rig.dlg->Slider(sWindow)->setValue(11);
    rig.dlg->Slider(sMinimal)->setValue(2);
    rig.dlg->Slider(sOffset)->setValue(25);
    rig.dlg->Slider(sStable)->setValue(4);
    rig.dlg->RebootBox()->setChecked(true);
    QVERIFY(rig.Run(rig.dlg->SaveButton()));
    // One of the two offset forms is held back by its gate: six texts reach the device.
    const std::vector<std::string> save = {"$PRG", "&QKWB", "&QKM2", "&QKO1", "&QKS4", "&QXR"};
    QCOMPARE(rig.sim->Taken(), save);
    const std::vector<std::string> cliSave = {"$PRG", "&QKWB", "&QKM2", "&QKO1", "&QKS4",
                                              "&QKW", "&QKM",  "&QKO",  "&QKS",  "&QXR"};
    QVERIFY(cliTaken.size() >= cliSave.size());
    QCOMPARE(std::vector<std::string>(cliTaken.begin(), cliTaken.begin() + 10), cliSave);
#endif
}

void TransponderDlgTest::commandLineWarnsOfAnOffsetTheDeviceCannotHold() {
#ifndef VQ5_CLI_PATH
    QSKIP("the vq5 command line is not built");
#else
    auto device = CliDevice(8, 1);
    const QString port = QString::fromStdString(device->Start());
    QVERIFY(!port.isEmpty());
    const CliRun saved = RunCli({"filter", "save", "--port", port, "--offset", "10"});
    QCOMPARE(saved.rc, 0);
    QVERIFY2(
        saved.err.contains("warning: an offset of 10 ms cannot be held by a VQ-5 before 8.2: such a device "
                           "will store 26 ms"),
        saved.err.constData());
    QVERIFY2(saved.out.contains("Offset\t26\tOffset  [26 ms]\n"), saved.out.constData());
    QCOMPARE(device->State().offsetDigit, 2u);
    // A device that holds what it is sent gets no warning.
    const CliRun held = RunCli({"filter", "save", "--port", port, "--offset", "16"});
    QCOMPARE(held.rc, 0);
    QVERIFY2(held.err.isEmpty(), held.err.constData());
    // A device holding 28 ms (more than the tool's slider shows) is reported as it is.
    sim::DeviceState s = device->State();
    s.offsetDigit = 4;
    device->SetState(s);
    const CliRun loaded = RunCli({"filter", "load", "--port", port});
    QCOMPARE(loaded.rc, 0);
    QVERIFY2(loaded.out.contains("Offset\t28\tOffset  [28 ms]\n"), loaded.out.constData());
#endif
}

void TransponderDlgTest::saveWarnsOfAnOffsetTheDeviceCannotHold() {
    Rig rig;
    QVERIFY(rig.Start(8, 1));
    const QStringList& shown = m_Messages;
    // Before any device identified itself the warning covers every device.
    QVERIFY(rig.SaveWithOffset(12));
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0],
             QStringLiteral("An offset of 12 ms cannot be held by a VQ-5 before 8.2: such a device will "
                            "store 28 ms."));
    // Once it has, for that device.
    QVERIFY(rig.SaveWithOffset(12));
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[1],
             QStringLiteral("An offset of 12 ms cannot be held by this VQ-5 (version 8.1): it will store "
                            "28 ms."));
    QVERIFY(rig.SaveWithOffset(20));
    QCOMPARE(shown.size(), 2);
}

// Also run at QT_SCALE_FACTOR 1.25 and 1.5 (see CMakeLists.txt).
void TransponderDlgTest::aboutShowsItsWholeTexts() {
    Rig rig;
    QVERIFY(rig.Start(8, 7));
    rig.dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.dlg.get()));
    struct Field {
        int id;
        QString text;
        QRect shown;  // the label's rectangle in the box
        QSize needed; // what its text takes, wrapped at the label's width
        int forWidth; // heightForWidth at the label's width
    };
    QList<Field> fields;
    QRect box, frame;
    QTimer::singleShot(0, rig.dlg.get(), [&] {
        QTRY_VERIFY_WITH_TIMEOUT(rig.dlg->OpenAboutBox() != nullptr, kWait);
        auto* about = qobject_cast<qt::CAboutBox*>(rig.dlg->OpenAboutBox());
        if (about) {
            box = QRect(QPoint(0, 0), about->size());
            if (auto* group = about->findChild<QGroupBox*>())
                frame = group->geometry();
            for (int id : {1035, 1033, 1034, 1036}) {
                QLabel* l = about->Field(id);
                if (!l)
                    continue;
                const QRect wrapped =
                    l->fontMetrics().boundingRect(QRect(0, 0, l->contentsRect().width(), INT_MAX),
                                                  int(l->alignment()) | Qt::TextWordWrap, l->text());
                fields.push_back(
                    {id, l->text(), l->geometry(), wrapped.size(), l->heightForWidth(l->width())});
            }
        }
        if (rig.dlg->OpenAboutBox())
            rig.dlg->OpenAboutBox()->reject();
    });
    rig.dlg->Action(qt::cmdAbout)->trigger();
    QCOMPARE(fields.size(), 4);
    QCOMPARE(fields[0].text, QStringLiteral("VQ-5 Transponder Configuration Tool"));
    for (int i = 0; i < fields.size(); ++i) {
        const Field& f = fields[i];
        const QByteArray what = QByteArray::number(f.id) + " \"" + f.text.toUtf8() + "\" in " +
                                QByteArray::number(f.shown.width()) + "x" +
                                QByteArray::number(f.shown.height());
        QVERIFY2(f.needed.width() <= f.shown.width() && f.needed.height() <= f.shown.height(),
                 what.constData());
        QVERIFY2(f.forWidth <= f.shown.height(), what.constData());
        QVERIFY2(frame.contains(f.shown) && box.contains(f.shown), what.constData());
        if (i > 0)
            QVERIFY2(!fields[i - 1].shown.intersects(f.shown), what.constData());
    }
}

VQ5_QTEST_PER_PROFILE(TransponderDlgTest, QApplication, g_Profile)
#include "TransponderDlgTest.moc"
