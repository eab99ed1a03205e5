// VQ5WPrg against the simulated VQ-5 over a pseudo-terminal: "&From", "&To", "&Default",
// visibility by version and expert mode, the slider coupling, foreign replies, what is
// stored at "&Exit" and at the close box, and the settings round trip.
#include "ProgrammerDlg.h"

#include "CommandSet.h"
#include "EngineFront.h"
#include "PtyHelpers.h"
#include "QtSettingsStore.h"
#include "RecordedVisits.h"
#include "ServiceRecord.h"
#include "ShownText.h"
#include "SimSuite.h"
#include "Simulator.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>

using namespace vq5;
using namespace vq5::programmer;

namespace {

constexpr int kWait = 10000; // generous: the test machine is a loaded 2-core box

// A configuration unlike the first-start values of the window.
sim::DeviceState SampleState(unsigned major, unsigned minor) {
    sim::DeviceState s = sim::FactoryState(major, minor);
    s.identifier = "12 May 2023: lijn 41 depot Noord";
    s.datacall[0] = "&P.1 change";
    s.datacall[1] = "boot text";
    s.datacall[2] = "&P.3";
    const char* items = "SOTDRCBKEQGLVF12";
    bool on = true;
    for (const char* p = items; *p; ++p, on = !on)
        s.flags[*p] = on;
    s.window = 11;
    s.minimal = 5;
    s.stable = 3;
    s.offsetDigit = device::OffsetDigit(18, major, minor);
    return s;
}

// The whole suite runs once per device profile (see VQ5_QTEST_PER_PROFILE).
sim::DeviceProfile g_Profile = sim::DeviceProfile::Default;

// The dialog, counting the device's messages it has handled.
class CCountingDlg : public CProgrammerDlg {
public:
    using CProgrammerDlg::CProgrammerDlg;
    std::uint64_t received = 0;

protected:
    void OnNotify(const Notification& n) override {
        CProgrammerDlg::OnNotify(n);
        if (n.kind == nkReceived)
            ++received;
    }
};

// The dialog and the simulator it talks to.
struct Rig {
    Rig(unsigned major, unsigned minor, bool expert = false, int fastSpeed = 0) : major(major), minor(minor) {
        simulator = std::make_unique<sim::CSimulator>(test::QuietDevice(major, minor, g_Profile));
        path = simulator->Start();
        test::ConnectTo(engineStore, path, fastSpeed, 0); // the engine's own answer time-out
        SetDefaultSettingsStore(&toolStore);
        // Expert mode is the marker file in the working directory when the window starts.
        QVERIFY(dir.isValid());
        previousDir = QDir::currentPath();
        QDir::setCurrent(dir.path());
        if (expert) {
            QFile marker(dir.filePath(QStringLiteral("VQ5WPrg.Lumark")));
            QVERIFY(marker.open(QIODevice::WriteOnly));
        }
        dlg = std::make_unique<CCountingDlg>(&engineStore);
        dlg->show();
    }
    ~Rig() {
        dlg.reset();
        simulator->Stop();
        QDir::setCurrent(previousDir);
        SetDefaultSettingsStore(nullptr);
    }

    unsigned major, minor;
    QTemporaryDir dir;
    QString previousDir;
    CMemoryStore engineStore;
    CMemoryStore toolStore;
    std::unique_ptr<sim::CSimulator> simulator;
    std::string path;
    std::unique_ptr<CCountingDlg> dlg;
};

unsigned ExitsTaken(const Rig& rig) {
    return static_cast<unsigned>(rig.simulator->ExitsTaken());
}

// Waits until the device has taken one more program-mode exit than `exitsBefore`, every
// message it sent has been handled by the window and the window is idle again.
bool WaitBatchDone(Rig& rig, unsigned exitsBefore) {
    return QTest::qWaitFor(
        [&] {
            return rig.simulator->BatchDone(exitsBefore, rig.dlg->received) && !rig.dlg->Model().Busy() &&
                   rig.dlg->FromButton()->isEnabled();
        },
        kWait);
}

bool Shown(const QWidget* w) {
    return !w->isHidden();
}

// The first visible control whose value differs from the simulator's state, or empty.
QString Mismatch(Rig& rig) {
    const sim::DeviceState s = rig.simulator->State();
    CProgrammerDlg& d = *rig.dlg;
    if (d.ConfigIdEdit()->text().toStdString() != s.identifier)
        return QStringLiteral("ConfigID: %1").arg(d.ConfigIdEdit()->text());
    for (int i = 0; i < kDataCalls; ++i) {
        if (!Shown(d.DataCallBox(i)))
            continue;
        const bool on = s.flags.at(DataCallRows()[i].flagItem);
        if (d.DataCallBox(i)->Value() != (on ? 1 : 0))
            return QStringLiteral("datacall box %1").arg(i);
        if (d.DataCallEdit(i)->text().toStdString() != s.datacall[i])
            return QStringLiteral("datacall text %1: %2").arg(i).arg(d.DataCallEdit(i)->text());
        if (d.DataCallEdit(i)->isEnabled() != on)
            return QStringLiteral("datacall edit %1 enabled state").arg(i);
    }
    for (int f = 0; f < kFlagCount; ++f) {
        const auto flag = static_cast<FlagIndex>(f);
        if (!Shown(d.FlagBox(flag)))
            continue;
        const bool on = s.flags.at(FlagRows()[f].item);
        if (d.FlagBox(flag)->Value() != (on ? 1 : 0))
            return QStringLiteral("flag %1 is %2")
                .arg(QString::fromLatin1(FlagRows()[f].key))
                .arg(d.FlagBox(flag)->Value());
    }
    if (Shown(d.SliderWidget(slWindow))) {
        const int want[kSliderCount] = {static_cast<int>(s.window), static_cast<int>(s.minimal),
                                        device::OffsetFromDigit(s.offsetDigit, rig.major, rig.minor),
                                        static_cast<int>(s.stable)};
        for (int i = 0; i < kSliderCount; ++i)
            if (d.SliderWidget(static_cast<Slider>(i))->value() != want[i])
                return QStringLiteral("slider %1 is %2, device %3")
                    .arg(i)
                    .arg(d.SliderWidget(static_cast<Slider>(i))->value())
                    .arg(want[i]);
    }
    return {};
}

// The state the device should have after "&To" with the window's (taken) values.
sim::DeviceState Expected(const sim::DeviceState& before, const CProgrammerValues& v, unsigned ma,
                          unsigned mi) {
    sim::DeviceState e = before;
    if (v.m_CheckConfigID == 1)
        e.identifier = v.m_ConfigID;
    const bool old = device::GatePasses("91<", ma, mi);
    for (int i = 0; i < kDataCalls; ++i) {
        if (v.m_DataCall[i] == tsIndeterminate || !old)
            continue;
        e.flags[DataCallRows()[i].flagItem] = v.m_DataCall[i] == tsOn;
        if (v.m_DataCall[i] == tsOn)
            e.datacall[i] = v.m_DataCallText[i];
    }
    for (int f = 0; f < kFlagCount; ++f)
        if (v.m_Flag[f] != tsIndeterminate && device::GatePasses(FlagRows()[f].setGate, ma, mi))
            e.flags[FlagRows()[f].item] = v.m_Flag[f] == tsOn;
    if (v.m_CheckTransConfig == 1) {
        if (device::GatePasses("71>", ma, mi)) {
            e.window = static_cast<unsigned>(v.m_Slider[slWindow]);
            e.minimal = static_cast<unsigned>(v.m_Slider[slMinimal]);
            e.stable = static_cast<unsigned>(v.m_Slider[slStable]);
        }
        e.offsetDigit = device::OffsetDigit(v.m_Slider[slOffset], ma, mi);
    }
    return e;
}

std::vector<std::string> TakenSince(Rig& rig, std::size_t from) {
    const auto all = rig.simulator->Taken();
    return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())),
                                    all.end());
}

bool Has(const std::vector<std::string>& texts, const std::string& prefix) {
    return std::any_of(texts.begin(), texts.end(),
                       [&](const std::string& t) { return t.rfind(prefix, 0) == 0; });
}

} // namespace

class ProgrammerDlgTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        CProgrammerDlg::SetMessageHook([this](QWidget*, const QString& text) { m_Messages << text; });
        m_Messages.clear();
    }
    void cleanup() { CProgrammerDlg::SetMessageHook(nullptr); }

    void fromShowsTheDevice_data() {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<bool>("expert");
        QTest::newRow("8.6") << 8 << 6 << false;
        QTest::newRow("8.7") << 8 << 7 << false;
        QTest::newRow("8.7 expert") << 8 << 7 << true;
        QTest::newRow("9.1") << 9 << 1 << false;
        QTest::newRow("9.1 expert") << 9 << 1 << true;
    }
    void fromShowsTheDevice() {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(bool, expert);
        Rig rig(major, minor, expert);
        rig.simulator->SetState(SampleState(major, minor));
        const std::size_t takenBefore = rig.simulator->Taken().size();
        QTest::mouseClick(rig.dlg->FromButton(), Qt::LeftButton);
        QVERIFY(rig.dlg->Busy());
        QVERIFY(!rig.dlg->FromButton()->isEnabled());
        QVERIFY(!rig.dlg->ToButton()->isEnabled());
        QVERIFY(!rig.dlg->DefaultButton()->isEnabled());
        QVERIFY(rig.dlg->ExitButton()->isEnabled());
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        QVERIFY(WaitBatchDone(rig, 0));
        QCOMPARE(Mismatch(rig), QString());
        QVERIFY(!QApplication::overrideCursor()); // idle again: the wait cursor is gone

        // Reading changed nothing in the device.
        sim::DeviceState after = rig.simulator->State();
        sim::DeviceState sample = SampleState(major, minor);
        QCOMPARE(after.identifier, sample.identifier);
        QVERIFY(after.flags == sample.flags);
        // Only queries went out (and the program-mode entry and exit).
        const auto taken = TakenSince(rig, takenBefore);
        QCOMPARE(taken.front(), std::string("$PRG"));
        QCOMPARE(taken.back(), std::string("&QX"));
        for (std::size_t i = 1; i + 1 < taken.size(); ++i)
            QVERIFY2(taken[i].size() == 4, taken[i].c_str());
        QCOMPARE(Has(taken, "&QFV"), expert);
        const bool v91 = major == 9;
        QCOMPARE(Has(taken, "&QIB"), !v91);
        QCOMPARE(Has(taken, "&QFF"), v91);

        // Visibility by version.
        CProgrammerDlg& d = *rig.dlg;
        for (int i = 0; i < kDataCalls; ++i) {
            QCOMPARE(Shown(d.DataCallBox(i)), !v91);
            QCOMPARE(Shown(d.DataCallEdit(i)), !v91);
        }
        QCOMPARE(Shown(d.FlagBox(fVetag19GPKey)), !v91);
        QCOMPARE(Shown(d.FlagBox(fVertaalLijnnummers)), !v91);
        for (FlagIndex f : {fStadBus, fStadCAT1, fStadCAT2})
            QCOMPARE(Shown(d.FlagBox(f)), v91);
        QVERIFY(Shown(d.FlagBox(fReadyToGo)));
        QVERIFY(Shown(d.FlagBox(fDoorLussen)));
        QCOMPARE(Shown(d.FlagBox(fParalelleTransponder)), expert && major == 8 && minor >= 7);
        QVERIFY(Shown(d.FilterBox()));

        // "&Default" shows every control again, without asking the device.
        const std::size_t takenNow = rig.simulator->Taken().size();
        QTest::mouseClick(d.DefaultButton(), Qt::LeftButton);
        for (int i = 0; i < kDataCalls; ++i)
            QVERIFY(Shown(d.DataCallBox(i)));
        for (FlagIndex f : {fStadBus, fStadCAT1, fStadCAT2, fVetag19GPKey})
            QVERIFY(Shown(d.FlagBox(f)));
        QCOMPARE(Shown(d.FlagBox(fParalelleTransponder)), expert);
        QVERIFY(vq5::test::WaitMoreExchanges(*rig.simulator, 5));
        QCOMPARE(rig.simulator->Taken().size(), takenNow);
    }

    // An offset above the slider's 25 ms, read from a device before 8.2, is shown as it is and
    // written back as it is until the user moves the slider.
    void heldOffsetSurvivesFromAndTo() {
        Rig rig(8, 1);
        sim::DeviceState s = rig.simulator->State();
        s.offsetDigit = device::OffsetDigit(28, 8, 1);
        rig.simulator->SetState(s);
        CProgrammerDlg& d = *rig.dlg;
        QTest::mouseClick(d.FromButton(), Qt::LeftButton);
        QVERIFY(WaitBatchDone(rig, 0));
        QCOMPARE(d.Model().m_Values.m_Slider[slOffset], 28);
        QCOMPARE(d.SliderText(slOffset)->text(), QStringLiteral("Offset 28 ms"));
        QCOMPARE(d.SliderWidget(slOffset)->value(), 25);
        d.FilterBox()->setChecked(true);
        d.SliderWidget(slStable)->setValue(3); // another slider moved: the offset stays
        std::size_t takenBefore = rig.simulator->Taken().size();
        QTest::mouseClick(d.ToButton(), Qt::LeftButton);
        QVERIFY(WaitBatchDone(rig, 1));
        QCOMPARE(m_Messages, QStringList());
        std::vector<std::string> sent = rig.simulator->Taken();
        sent.erase(sent.begin(), sent.begin() + static_cast<std::ptrdiff_t>(takenBefore));
        QVERIFY(std::find(sent.begin(), sent.end(), "&QKO4") != sent.end());
        QCOMPARE(rig.simulator->State().offsetDigit, 4u);
        QCOMPARE(rig.simulator->State().stable, 3u);
        QCOMPARE(d.SliderText(slOffset)->text(), QStringLiteral("Offset 28 ms"));

        // The user's own value from the moment the slider moves.
        d.SliderWidget(slOffset)->setValue(20);
        QCOMPARE(d.SliderText(slOffset)->text(), QStringLiteral("Offset 20 ms"));
        takenBefore = rig.simulator->Taken().size();
        QTest::mouseClick(d.ToButton(), Qt::LeftButton);
        QVERIFY(WaitBatchDone(rig, 2));
        sent = rig.simulator->Taken();
        sent.erase(sent.begin(), sent.begin() + static_cast<std::ptrdiff_t>(takenBefore));
        QVERIFY(std::find(sent.begin(), sent.end(), "&QKOC") != sent.end());
        QCOMPARE(device::OffsetFromDigit(rig.simulator->State().offsetDigit, 8, 1), 20);
    }

    void toWarnsOfAnOffsetTheDeviceCannotHold() {
        Rig rig(8, 1);
        CProgrammerDlg& d = *rig.dlg;
        QTest::mouseClick(d.FromButton(), Qt::LeftButton);
        QVERIFY(WaitBatchDone(rig, 0));
        d.FilterBox()->setChecked(true);
        d.SliderWidget(slOffset)->setValue(12);
        QTest::mouseClick(d.ToButton(), Qt::LeftButton);
        QVERIFY(WaitBatchDone(rig, 1));
        QCOMPARE(m_Messages,
                 QStringList{QStringLiteral(
                     "An offset of 12 ms cannot be held by this VQ-5 (version 8.1): it will store 28 ms.")});
        QCOMPARE(device::OffsetFromDigit(rig.simulator->State().offsetDigit, 8, 1), 28);
    }

    void toWritesWhatIsSet_data() { fromShowsTheDevice_data(); }
    void toWritesWhatIsSet() {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(bool, expert);
        Rig rig(major, minor, expert);
        const unsigned ma = static_cast<unsigned>(major), mi = static_cast<unsigned>(minor);
        rig.simulator->SetState(SampleState(ma, mi));
        QTest::mouseClick(rig.dlg->FromButton(), Qt::LeftButton);
        QVERIFY(WaitBatchDone(rig, 0));
        QCOMPARE(Mismatch(rig), QString());

        // Edits.
        CProgrammerDlg& d = *rig.dlg;
        d.ConfigIdBox()->setChecked(true);
        d.ConfigIdEdit()->setText(QStringLiteral("09 July 2024: edited"));
        d.DataCallBox(0)->SetValue(tsOn);
        d.DataCallEdit(0)->setText(QStringLiteral("&P.X"));
        d.DataCallBox(1)->SetValue(tsOff);
        d.DataCallBox(2)->SetValue(tsIndeterminate);
        const int streek = d.FlagBox(fStreekvervoer)->Value() == 1 ? 0 : 1;
        d.FlagBox(fStreekvervoer)->SetValue(streek);
        d.FlagBox(fOpenbaarVervoer)->SetValue(tsIndeterminate);
        d.FlagBox(fStadCAT1)->SetValue(tsIndeterminate);
        d.FlagBox(fReadyToGo)->SetValue(tsOn);
        d.FilterBox()->setChecked(true);
        d.SliderWidget(slWindow)->setValue(12);
        d.SliderWidget(slMinimal)->setValue(4);
        d.SliderWidget(slOffset)->setValue(19);
        d.SliderWidget(slStable)->setValue(6);

        // The device changes behind the window's back where the window is indeterminate:
        // "&To" must leave those alone.
        sim::DeviceState before = rig.simulator->State();
        before.flags['O'] = !before.flags['O'];
        before.flags['K'] = !before.flags['K'];
        before.flags['1'] = !before.flags['1'];
        rig.simulator->SetState(before);

        const std::size_t takenBefore = rig.simulator->Taken().size();
        const unsigned exits = ExitsTaken(rig);
        QTest::mouseClick(d.ToButton(), Qt::LeftButton);
        QVERIFY(m_Messages.isEmpty());
        QVERIFY(d.Busy());
        QVERIFY(WaitBatchDone(rig, exits));
        const sim::DeviceState want = Expected(before, d.Model().m_Values, ma, mi);
        const sim::DeviceState got = rig.simulator->State();
        QCOMPARE(got.identifier, std::string("09 July 2024: edited"));
        QCOMPARE(got.identifier, want.identifier);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(got.datacall[i], want.datacall[i]);
        for (const auto& [item, on] : want.flags)
            QVERIFY2(got.flags.at(item) == on, std::string(1, item).c_str());
        QCOMPARE(got.window, want.window);
        QCOMPARE(got.minimal, want.minimal);
        QCOMPARE(got.offsetDigit, want.offsetDigit);
        QCOMPARE(got.stable, want.stable);
        // The edits themselves, spelt out.
        QCOMPARE(got.window, 12u);
        QCOMPARE(got.minimal, 4u);
        QCOMPARE(got.stable, 6u);
        QCOMPARE(got.offsetDigit, device::OffsetDigit(19, ma, mi));
        QCOMPARE(got.flags.at('S'), streek == 1);
        QVERIFY(got.flags.at('G'));
        if (major == 8) {
            QVERIFY(got.flags.at('C'));
            QCOMPARE(got.datacall[0], std::string("&P.X"));
            QVERIFY(!got.flags.at('B'));
        } else {
            QCOMPARE(got.datacall[0], before.datacall[0]);
        }
        QCOMPARE(got.flags.at('O'), before.flags.at('O'));
        QCOMPARE(got.flags.at('K'), before.flags.at('K'));
        QCOMPARE(got.flags.at('1'), before.flags.at('1'));
        const auto taken = TakenSince(rig, takenBefore);
        QVERIFY(!Has(taken, "&QFO"));
        QVERIFY(!Has(taken, "&QFK"));
        QVERIFY(!Has(taken, "&QF1"));
        QVERIFY(!Has(taken, "&QID")); // datacall 2 is indeterminate: no text either
        QCOMPARE(Has(taken, "&QIB&P.X"), major < 9 || (major == 9 && minor < 1));
        QCOMPARE(taken.back(), std::string("&QX"));

        // And the window reads back what it wrote.
        const unsigned exits2 = ExitsTaken(rig);
        QTest::mouseClick(d.FromButton(), Qt::LeftButton);
        QVERIFY(WaitBatchDone(rig, exits2));
        QCOMPARE(Mismatch(rig), QString());
    }

    void offsetRoundTripsInBothEncodings_data() {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("digit");
        QTest::newRow("8.1 offset 22") << 8 << 1 << 22 << 0xE;
        QTest::newRow("8.1 offset 16") << 8 << 1 << 16 << 0x8;
        QTest::newRow("8.7 offset 22") << 8 << 7 << 22 << 0xC;
        QTest::newRow("8.7 offset 10") << 8 << 7 << 10 << 0x0;
        QTest::newRow("8.7 offset 25") << 8 << 7 << 25 << 0xF;
    }
    void offsetRoundTripsInBothEncodings() {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, offset);
        QFETCH(int, digit);
        Rig rig(major, minor);
        CProgrammerDlg& d = *rig.dlg;
        d.FilterBox()->setChecked(true);
        d.SliderWidget(slOffset)->setValue(offset);
        QTest::mouseClick(d.ToButton(), Qt::LeftButton);
        QVERIFY(WaitBatchDone(rig, 0));
        QCOMPARE(rig.simulator->State().offsetDigit, static_cast<unsigned>(digit));
        d.SliderWidget(slOffset)->setValue(offset == 13 ? 14 : 13);
        QTest::mouseClick(d.FromButton(), Qt::LeftButton);
        QVERIFY(WaitBatchDone(rig, 1));
        QCOMPARE(d.SliderWidget(slOffset)->value(), offset);
        QCOMPARE(d.SliderText(slOffset)->text(), QStringLiteral("Offset %1 ms").arg(offset));
    }

    void everythingIndeterminateSendsOnlyEntryAndExit_data() {
        QTest::addColumn<int>("fastSpeed");
        QTest::addColumn<QStringList>("wire");
        QTest::newRow("1200 baud") << 0 << QStringList{"$PRG", "&QX"};
        QTest::newRow("fast speed 3") << 3 << QStringList{"$PRG", "&QS3", "&QX0"};
    }
    void everythingIndeterminateSendsOnlyEntryAndExit() {
        QFETCH(int, fastSpeed);
        QFETCH(QStringList, wire);
        Rig rig(8, 7, false, fastSpeed);
        CProgrammerDlg& d = *rig.dlg;
        QTest::mouseClick(d.DefaultButton(), Qt::LeftButton);
        QVERIFY(!d.ConfigIdBox()->isChecked());
        QVERIFY(!d.FilterBox()->isChecked());
        const sim::DeviceState before = rig.simulator->State();
        QTest::mouseClick(d.ToButton(), Qt::LeftButton);
        QVERIFY(WaitBatchDone(rig, 0));
        QStringList taken;
        for (const auto& t : rig.simulator->Taken())
            taken << QString::fromStdString(t);
        if (fastSpeed != 0 && taken.size() == wire.size() - 1) {
            // The speed change is gated "84>": on a loaded machine it can leave before the
            // identification reply has told the engine the version, and is then dropped.
            // Either way nothing of the window's goes out.
            wire.removeAt(1);
        }
        QCOMPARE(taken, wire);
        QVERIFY(rig.simulator->State().flags == before.flags);
    }

    void slidersAreCoupled() {
        Rig rig(8, 7);
        CProgrammerDlg& d = *rig.dlg;
        QTest::mouseClick(d.FilterBox(), Qt::LeftButton);
        QVERIFY(d.SliderWidget(slMinimal)->isEnabled());
        d.SliderWidget(slWindow)->setValue(8);
        d.SliderWidget(slMinimal)->setValue(7);
        d.SliderWidget(slWindow)->setValue(3); // Minimal follows down
        QCOMPARE(d.SliderWidget(slMinimal)->value(), 3);
        QCOMPARE(d.SliderText(slWindow)->text(), QStringLiteral("Window 72 ms"));
        QCOMPARE(d.SliderText(slMinimal)->text(), QStringLiteral("Minimaal 3"));
        d.SliderWidget(slWindow)->setValue(8);
        QCOMPARE(d.SliderWidget(slMinimal)->value(), 3);
        d.SliderWidget(slMinimal)->setValue(12); // Window follows up
        QCOMPARE(d.SliderWidget(slWindow)->value(), 12);
        QCOMPARE(d.SliderText(slWindow)->text(), QStringLiteral("Window 288 ms"));
        QCOMPARE(d.Model().m_Values.m_Slider[slWindow], 12);
        d.SliderWidget(slStable)->setValue(15);
        QCOMPARE(d.SliderText(slStable)->text(), QStringLiteral("Stable 1500 ms"));
        // Keyboard moves take the same road.
        d.SliderWidget(slMinimal)->setFocus();
        QTest::keyClick(d.SliderWidget(slMinimal), Qt::Key_Right);
        QCOMPARE(d.SliderWidget(slMinimal)->value(), 13);
        QCOMPARE(d.SliderWidget(slWindow)->value(), 13);
    }

    void defaultOffsetIs15FirstStartIs22() {
        Rig rig(8, 7);
        CProgrammerDlg& d = *rig.dlg;
        QCOMPARE(d.SliderWidget(slOffset)->value(), 22);
        QCOMPARE(d.SliderText(slOffset)->text(), QStringLiteral("Offset 22 ms"));
        QCOMPARE(d.SliderWidget(slWindow)->value(), 8);
        QCOMPARE(d.SliderWidget(slMinimal)->value(), 7);
        QCOMPARE(d.SliderWidget(slStable)->value(), 10);
        QVERIFY(d.ConfigIdEdit()->text().endsWith(QStringLiteral(": ")));
        for (int f = 0; f < kFlagCount; ++f)
            QCOMPARE(d.FlagBox(static_cast<FlagIndex>(f))->checkState(), Qt::PartiallyChecked);
        d.SliderWidget(slOffset)->setValue(20);
        d.FlagBox(fMaxRunnummer)->SetValue(tsOn);
        d.ConfigIdBox()->setChecked(true);
        QTest::mouseClick(d.DefaultButton(), Qt::LeftButton);
        QCOMPARE(d.SliderWidget(slOffset)->value(), 15);
        QCOMPARE(d.SliderText(slOffset)->text(), QStringLiteral("Offset 15 ms"));
        QCOMPARE(d.FlagBox(fMaxRunnummer)->checkState(), Qt::PartiallyChecked);
        QVERIFY(!d.ConfigIdBox()->isChecked());
        QVERIFY(!d.ConfigIdEdit()->isEnabled());
        QVERIFY(!d.SliderWidget(slOffset)->isEnabled());
    }

    void checkBoxesAndFrameGroups() {
        Rig rig(8, 7);
        CProgrammerDlg& d = *rig.dlg;
        QVERIFY(m_Messages.isEmpty()); // both frames were found
        QVERIFY(d.IdentifierGroup().Controls().size() >= 2);
        QVERIFY(d.FilterGroup().Controls().size() >= 8);
        // Off at first start: the frames' controls are disabled, their check boxes not.
        QVERIFY(!d.ConfigIdEdit()->isEnabled());
        QVERIFY(!d.Logo()->isEnabled());
        QVERIFY(d.ConfigIdBox()->isEnabled());
        QVERIFY(!d.SliderWidget(slWindow)->isEnabled());
        QVERIFY(!d.SliderText(slWindow)->isEnabled());
        QVERIFY(d.FilterBox()->isEnabled());
        QTest::mouseClick(d.ConfigIdBox(), Qt::LeftButton);
        QVERIFY(d.ConfigIdEdit()->isEnabled());
        QVERIFY(d.Logo()->isEnabled());
        QCOMPARE(d.Model().m_Values.m_CheckConfigID, 1); // taken
        QTest::mouseClick(d.FilterBox(), Qt::LeftButton);
        for (int i = 0; i < kSliderCount; ++i)
            QVERIFY(d.SliderWidget(static_cast<Slider>(i))->isEnabled());

        // Datacall boxes cycle 2 -> 0 -> 1 -> 2; the edit box is enabled only at 1.
        CTriStateBox* box = d.DataCallBox(0);
        QCOMPARE(box->checkState(), Qt::PartiallyChecked);
        QVERIFY(!d.DataCallEdit(0)->isEnabled());
        QTest::mouseClick(box, Qt::LeftButton);
        QCOMPARE(box->Value(), 0);
        QVERIFY(!d.DataCallEdit(0)->isEnabled());
        QTest::mouseClick(box, Qt::LeftButton);
        QCOMPARE(box->Value(), 1);
        QVERIFY(d.DataCallEdit(0)->isEnabled());
        QCOMPARE(d.Model().m_Values.m_DataCall[0], 1);
        QTest::mouseClick(box, Qt::LeftButton);
        QCOMPARE(box->Value(), 2);
        QVERIFY(!d.DataCallEdit(0)->isEnabled());
        // Flag boxes cycle too.
        CTriStateBox* flag = d.FlagBox(fSelftestAfterReboot);
        QTest::mouseClick(flag, Qt::LeftButton);
        QCOMPARE(flag->Value(), 0);
        QTest::mouseClick(flag, Qt::LeftButton);
        QCOMPARE(flag->Value(), 1);
        QTest::mouseClick(flag, Qt::LeftButton);
        QCOMPARE(flag->Value(), 2);
    }

    void replyEnablesDatacallEdit() {
        Rig rig(8, 7);
        CProgrammerDlg& d = *rig.dlg;
        QTest::mouseClick(d.FromButton(), Qt::LeftButton); // learns the device letter Q
        QVERIFY(WaitBatchDone(rig, 0));
        d.DataCallBox(0)->SetValue(tsIndeterminate);
        d.FlagBox(fStreekvervoer)->SetValue(tsIndeterminate);
        d.FlagBox(fOpenbaarVervoer)->SetValue(tsIndeterminate);
        QVERIFY(d.TakeValues());
        d.DataCallEdit(0)->setEnabled(false);
        // A reply with a letter other than the device's own is not for this window.
        rig.simulator->QueueToPc("&PFS1");
        rig.simulator->QueueToPc("&PFO1");
        rig.simulator->QueueToPc("&QFC1");
        QTRY_COMPARE_WITH_TIMEOUT(d.DataCallBox(0)->Value(), 1, kWait);
        QVERIFY(d.DataCallEdit(0)->isEnabled());
        QVERIFY(vq5::test::WaitMoreExchanges(*rig.simulator, 3));
        QCOMPARE(d.FlagBox(fStreekvervoer)->Value(), 2);
        QCOMPARE(d.FlagBox(fOpenbaarVervoer)->Value(), 2);
    }

    void textsThatDoNotFitAreRefused() {
        Rig rig(8, 7);
        CProgrammerDlg& d = *rig.dlg;
        // Typing stops at 60 characters.
        d.ConfigIdEdit()->clear();
        QTest::mouseClick(d.ConfigIdBox(), Qt::LeftButton);
        QVERIFY(d.ConfigIdEdit()->isEnabled());
        QTest::keyClicks(d.ConfigIdEdit(), QString(70, QLatin1Char('a')));
        QCOMPARE(d.ConfigIdEdit()->text().size(), 60);
        // A datacall text longer than one message can carry is refused, naming the control;
        // nothing is queued and the buttons stay usable.
        d.DataCallBox(1)->SetValue(tsOn);
        d.DataCallEdit(1)->setText(QString(93, QLatin1Char('d')));
        QTest::mouseClick(d.ToButton(), Qt::LeftButton);
        QCOMPARE(m_Messages.size(), 1);
        QVERIFY2(m_Messages[0].contains(QStringLiteral("\"On Startup\"")), qPrintable(m_Messages[0]));
        QVERIFY(!d.Busy());
        QVERIFY(d.ToButton()->isEnabled());
        QVERIFY(vq5::test::WaitMoreExchanges(*rig.simulator, 5));
        QVERIFY(rig.simulator->Taken().empty());
        // A long identifier read from the device stands whole in the box.
        const std::string longId(90, 'L');
        auto s = rig.simulator->State();
        s.identifier = longId;
        rig.simulator->SetState(s);
        QTest::mouseClick(d.FromButton(), Qt::LeftButton);
        QVERIFY(WaitBatchDone(rig, 0));
        QCOMPARE(d.ConfigIdEdit()->text().toStdString(), longId);
        QVERIFY(d.TakeValues());
        QCOMPARE(d.Model().m_Values.m_ConfigID, longId);
    }

    void exitStoresCloseBoxDoesNot() {
        vq5::test::CPty port; // nobody talks on it: the engine opens it and hears nothing
        QVERIFY(!port.Path().empty());
        CMemoryStore engineStore;
        CMemoryStore toolStore;
        SetDefaultSettingsStore(&toolStore);
        engineStore.WriteString("VLPIO", "ComPort", port.Path());
        {
            CProgrammerDlg d(&engineStore);
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            d.ConfigIdEdit()->setText(QStringLiteral("not taken"));
            QTest::mouseClick(d.FlagBox(fMaxRunnummer), Qt::LeftButton); // 2 -> 0, not taken
            d.reject();                                                  // the close box and Escape
        }
        QVERIFY(toolStore.ReadString(qt::kToolSection, "ConfigID").value_or("").find("not taken") ==
                std::string::npos);
        QCOMPARE(toolStore.ReadInt(qt::kToolSection, "FlagMaxRunnummer").value_or(-1), 2);
        {
            CProgrammerDlg d(&engineStore);
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            d.ConfigIdEdit()->setText(QStringLiteral("taken at exit"));
            QTest::mouseClick(d.FlagBox(fMaxRunnummer), Qt::LeftButton);
            QTest::mouseClick(d.ExitButton(), Qt::LeftButton);
            QCOMPARE(d.result(), int(QDialog::Accepted));
        }
        QCOMPARE(toolStore.ReadString(qt::kToolSection, "ConfigID").value_or(""),
                 std::string("taken at exit"));
        QCOMPARE(toolStore.ReadInt(qt::kToolSection, "FlagMaxRunnummer").value_or(-1), 0);
        {
            // Enter in an edit box closes like "&Exit".
            CProgrammerDlg d(&engineStore);
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            d.DataCallEdit(2)->setEnabled(true);
            d.DataCallEdit(2)->setFocus();
            d.DataCallEdit(2)->setText(QStringLiteral("by enter"));
            QTest::keyClick(d.DataCallEdit(2), Qt::Key_Return);
            QCOMPARE(d.result(), int(QDialog::Accepted));
        }
        QCOMPARE(toolStore.ReadString(qt::kToolSection, "EditDataCall3").value_or(""),
                 std::string("by enter"));
        {
            // "&Exit" of the "&File" menu takes the values like the button.
            CProgrammerDlg d(&engineStore);
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            d.ConfigIdEdit()->setText(QStringLiteral("by the menu"));
            QAction* exit = d.Action(qt::cmdExit);
            QVERIFY(exit);
            exit->trigger();
            QCOMPARE(d.result(), int(QDialog::Accepted));
        }
        QCOMPARE(toolStore.ReadString(qt::kToolSection, "ConfigID").value_or(""), std::string("by the menu"));
        SetDefaultSettingsStore(nullptr);
    }

    void settingsRoundTripThroughAFile() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString file = dir.filePath(QStringLiteral("VQ5WPrg.conf"));
        vq5::test::CPty port; // nobody talks on it: the engine opens it and hears nothing
        QVERIFY(!port.Path().empty());
        CMemoryStore engineStore;
        engineStore.WriteString("VLPIO", "ComPort", port.Path());
        {
            auto store = qt::CQtSettingsStore::FromFile(file);
            SetDefaultSettingsStore(store.get());
            CProgrammerDlg d(&engineStore);
            d.ConfigIdBox()->setChecked(true);
            d.ConfigIdEdit()->setText(QStringLiteral("01 April 2024: file"));
            d.FlagBox(fDoorLussen)->SetValue(tsOn);
            d.FlagBox(fStadCAT2)->SetValue(tsOff);
            d.DataCallBox(1)->SetValue(tsOn);
            d.DataCallEdit(1)->setText(QStringLiteral("&P.boot"));
            d.RebootBox()->setChecked(true);
            d.FilterBox()->setChecked(true);
            d.SliderWidget(slOffset)->setValue(11);
            d.SliderWidget(slWindow)->setValue(14);
            d.ExitDialog();
            d.Shutdown();
            SetDefaultSettingsStore(nullptr);
            store->Sync();
        }
        QSettings raw(file, QSettings::IniFormat);
        QCOMPARE(raw.value(QStringLiteral("Settings_V2.3/TransConfigSliderOffset2")).toInt(), 11);
        QCOMPARE(raw.value(QStringLiteral("Settings_V2.3/FlagDoorLussen")).toInt(), 1);
        {
            auto store = qt::CQtSettingsStore::FromFile(file);
            SetDefaultSettingsStore(store.get());
            CProgrammerDlg d(&engineStore);
            QVERIFY(d.ConfigIdBox()->isChecked());
            QCOMPARE(d.ConfigIdEdit()->text(), QStringLiteral("01 April 2024: file"));
            QVERIFY(d.ConfigIdEdit()->isEnabled());
            QCOMPARE(d.FlagBox(fDoorLussen)->Value(), 1);
            QCOMPARE(d.FlagBox(fStadCAT2)->Value(), 0);
            QCOMPARE(d.FlagBox(fStadCAT1)->Value(), 2);
            QCOMPARE(d.DataCallBox(1)->Value(), 1);
            QVERIFY(d.DataCallEdit(1)->isEnabled());
            QCOMPARE(d.DataCallEdit(1)->text(), QStringLiteral("&P.boot"));
            QVERIFY(d.RebootBox()->isChecked());
            QVERIFY(d.FilterBox()->isChecked());
            QCOMPARE(d.SliderWidget(slOffset)->value(), 11);
            QCOMPARE(d.SliderWidget(slWindow)->value(), 14);
            QCOMPARE(d.SliderText(slWindow)->text(), QStringLiteral("Window 336 ms"));
            d.Shutdown();
            SetDefaultSettingsStore(nullptr);
        }
    }

    void paralleleFollowsExpertMode() {
        {
            Rig rig(8, 7, false);
            CProgrammerDlg& d = *rig.dlg;
            QVERIFY(!Shown(d.FlagBox(fParalelleTransponder)));
            // Hidden, but written when it holds 0 or 1. ("Max run nummer" goes first, ungated,
            // so the gated set does not race the identification reply after "$PRG".)
            d.FlagBox(fParalelleTransponder)->SetValue(tsOn);
            d.FlagBox(fMaxRunnummer)->SetValue(tsOff);
            QTest::mouseClick(d.ToButton(), Qt::LeftButton);
            QVERIFY(WaitBatchDone(rig, 0));
            QVERIFY(rig.simulator->State().flags.at('V'));
            QVERIFY(!Shown(d.FlagBox(fParalelleTransponder)));
            QTest::mouseClick(d.FromButton(), Qt::LeftButton);
            QVERIFY(WaitBatchDone(rig, 1));
            QVERIFY(!Shown(d.FlagBox(fParalelleTransponder)));
        }
        {
            Rig rig(8, 7, true);
            CProgrammerDlg& d = *rig.dlg;
            QVERIFY(Shown(d.FlagBox(fParalelleTransponder)));
            QVERIFY(d.Model().m_Expert);
        }
    }

    void logoOpensAboutOnlyWhenEnabled() {
        Rig rig(8, 7);
        CProgrammerDlg& d = *rig.dlg;
        bool seen = false;
        auto closeBox = [&d, &seen] {
            if (d.OpenAboutBox()) {
                seen = true;
                d.OpenAboutBox()->reject();
            }
        };
        // Disabled with the identifier frame: a click opens nothing.
        QVERIFY(!d.Logo()->isEnabled());
        bool looked = false;
        QTimer::singleShot(300, [&] {
            closeBox();
            looked = true;
        });
        QTest::mouseClick(d.Logo(), Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return looked; }, kWait));
        QVERIFY(!seen);
        QTest::mouseClick(d.ConfigIdBox(), Qt::LeftButton);
        QVERIFY(d.Logo()->isEnabled());
        QTimer::singleShot(300, closeBox);
        QTest::mouseClick(d.Logo(), Qt::LeftButton); // returns when the box is closed
        QVERIFY(seen);
    }

    void debugWindowMenuTogglesTheLog() {
        Rig rig(8, 7);
        CProgrammerDlg& d = *rig.dlg;
        QAction* debug = d.Action(qt::cmdDebugWindow);
        QVERIFY(debug);
        QCOMPARE(debug->text(), QStringLiteral("&Debug window"));
        QVERIFY(!d.Front()->LogWindow());
        debug->trigger();
        QVERIFY(d.Front()->LogWindow());
        debug->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!d.Front()->LogWindow(), kWait);
        QVERIFY(d.Action(qt::cmdSettingsPrg));
        QVERIFY(d.Action(qt::cmdAbout));
    }

    void tooltipsAndCaption() {
        Rig rig(8, 7);
        CProgrammerDlg& d = *rig.dlg;
        QCOMPARE(d.windowTitle(), QStringLiteral("VQ-5 / HUM-1 Programmer"));
        QCOMPARE(d.FlagBox(fMaxRunnummer)->toolTip(),
                 QStringLiteral("Run nummers >= als 80 worden 0 (anders module 80)"));
        QCOMPARE(d.SliderWidget(slWindow)->toolTip(), QStringLiteral("IDC_TRANS_WINDOW"));
        QVERIFY(d.SliderWidget(slMinimal)->toolTip().isEmpty());
        QVERIFY(d.FlagBox(fReadyToGo)->toolTip().contains(QStringLiteral("\u00e9\u00e9nmalig")));
        QCOMPARE(d.DataCallEdit(1)->toolTip(), QStringLiteral("De datacall die verzonden moet worden"));
        QCOMPARE(d.RebootBox()->toolTip(),
                 QStringLiteral("Reboot de VQ-5 / HUM-2 direct na het programeren."));
        QVERIFY(d.ConfigIdBox()->toolTip().isEmpty());
        QCOMPARE(d.FromButton()->text(), QStringLiteral("&From"));
        QVERIFY(d.ExitButton()->isDefault());
    }

    // "&From" and "&To" each leave a visit in the service record: the settings read, then the
    // texts the device took (as the simulator received them); the service report carries the
    // link figures and the configuration the window holds.
    void visitsRecordReadAndTaken_data() {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::newRow("8.1") << 8 << 1; // the old offset encoding, datacall texts
        QTest::newRow("9.1") << 9 << 1;
    }
    void visitsRecordReadAndTaken() {
        QFETCH(int, major);
        QFETCH(int, minor);
        Rig rig(major, minor);
        const std::string db = test::KeepRecordIn(rig.toolStore, rig.dir.path().toStdString());
        rig.simulator->SetState(SampleState(major, minor));
        CProgrammerDlg& d = *rig.dlg;
        QTest::mouseClick(d.FromButton(), Qt::LeftButton);
        QVERIFY(WaitBatchDone(rig, 0));
        const CProgrammerValues readValues = d.Model().m_Values;
        d.ConfigIdBox()->setChecked(true);
        d.ConfigIdEdit()->setText(QStringLiteral("recorded write"));
        d.FilterBox()->setChecked(true);
        d.SliderWidget(slWindow)->setValue(12);
        const std::size_t takenBefore = rig.simulator->Taken().size();
        const unsigned exits = ExitsTaken(rig);
        QTest::mouseClick(d.ToButton(), Qt::LeftButton);
        QVERIFY(WaitBatchDone(rig, exits));
        QVERIFY(QTest::qWaitFor([&] { return !d.VisitOpen(); }, kWait));
        QVERIFY(d.FlushRecord());

        const auto visits = test::RecordedVisits(db);
        QCOMPARE(visits.size(), std::size_t(2));
        const record::Visit& read = visits[1];
        const record::Visit& wrote = visits[0];
        for (const record::Visit* v : {&read, &wrote}) {
            QCOMPARE(v->tool, std::string("VQ5WPrg"));
            QCOMPARE(v->letter, std::string("Q"));
            QCOMPARE(v->version, std::to_string(major) + "." + std::to_string(minor));
            QVERIFY(v->identification.find("VQ-5") != std::string::npos);
            QCOMPARE(v->outcome, std::string("done"));
        }
        // The read: every setting as the window took it, nothing written.
        QCOMPARE(read.configId, SampleState(major, minor).identifier);
        const auto config = record::ConfigOf(read);
        QVERIFY(config.size() > 10);
        for (const record::VisitItem& i : read.items) {
            QCOMPARE(i.kind, std::string(record::kKindConfig));
            QCOMPARE(std::optional<std::string>(i.value), ValueText(readValues, i.item));
        }
        // The write: exactly what the device took between the entry and the exit.
        auto taken = TakenSince(rig, takenBefore);
        QCOMPARE(taken.front(), std::string("$PRG"));
        QCOMPARE(taken.back(), std::string("&QX"));
        taken = std::vector<std::string>(taken.begin() + 1, taken.end() - 1);
        QCOMPARE(test::WrittenValues(wrote), taken);
        QCOMPARE(wrote.configId, std::string("recorded write"));

        const QString path = rig.dir.filePath(QStringLiteral("report.html"));
        QString reason;
        QVERIFY2(d.SaveServiceReport(path, &reason), qPrintable(reason));
        const QString html = QString::fromUtf8(test::ReadFile(path));
        QVERIFY(!html.contains(QStringLiteral("No link figures were taken.")));
        QVERIFY(html.contains(QStringLiteral("<td>polls/s</td>")));
        QVERIFY(!html.contains(QStringLiteral("No configuration was read.")));
        QVERIFY(html.contains(QStringLiteral("<td>TransConfigSliderWindow</td><td>12</td>")));
        QVERIFY(html.contains(QStringLiteral("recorded write")));
    }

    // With VQ5_SCREENSHOT_DIR set and a display (Xvfb), saves the screen after "&From" as
    // programmer-<version>.png there.
    void screenshotAfterFrom_data() {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::newRow("8.7") << 8 << 7;
        QTest::newRow("9.1") << 9 << 1;
    }
    void screenshotAfterFrom() {
        const QString dir = qEnvironmentVariable("VQ5_SCREENSHOT_DIR");
        if (dir.isEmpty() || QGuiApplication::platformName() != QStringLiteral("xcb"))
            QSKIP("screenshots only with VQ5_SCREENSHOT_DIR on an X display");
        QFETCH(int, major);
        QFETCH(int, minor);
        Rig rig(major, minor);
        rig.simulator->SetState(SampleState(major, minor));
        CProgrammerDlg& d = *rig.dlg;
        d.move(40, 40);
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QTest::mouseClick(d.ConfigIdBox(), Qt::LeftButton);
        QTest::mouseClick(d.FilterBox(), Qt::LeftButton);
        QTest::mouseClick(d.FromButton(), Qt::LeftButton);
        QVERIFY(WaitBatchDone(rig, 0));
        QCOMPARE(Mismatch(rig), QString());
        QTest::qWait(1200); // for the picture: the status box's traffic bars update every 500 ms
        const QString file = QDir(dir).filePath(QStringLiteral("programmer-%1%2.png").arg(major).arg(minor));
        QCOMPARE(QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"),
                                                              QStringLiteral("root"), QStringLiteral("-crop"),
                                                              QStringLiteral("%1x%2+0+0")
                                                                  .arg(d.frameGeometry().right() + 40)
                                                                  .arg(d.frameGeometry().bottom() + 40),
                                                              file}),
                 0);
    }

private:
    QStringList m_Messages;
};

VQ5_QTEST_PER_PROFILE(ProgrammerDlgTest, QApplication, g_Profile)
#include "ProgrammerDlgTest.moc"
