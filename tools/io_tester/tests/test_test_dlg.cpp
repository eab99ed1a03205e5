// VQ5WTest against the simulated VQ-5 (and, where the device's own behaviour matters, a
// scripted one) over pseudo-terminals: lamps and number texts follow the lines, groups
// switched off stop their polls, "&Discon" and "&Connect", Escape, the expert presets.
#include "TestDlg.h"

#include "ScriptedDevice.h"
#include "RecordedVisits.h"
#include "ServiceRecord.h"
#include "SimSuite.h"
#include "Simulator.h"
#include "SettingsStore.h"

#include <QAction>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <unistd.h>

using namespace vq5;
using namespace vq5::io;

namespace {

constexpr int kWait = 10000; // ms: generous, the machine is loaded

// The settings of one test: the tool's own section in a fresh store, the engine's connection
// settings pointing at the device's line.
using Stores = test::ToolStores;

// The dialog's cases run once per device profile (see main).
sim::DeviceProfile g_Profile = sim::DeviceProfile::Default;

sim::SimOptions Quiet(unsigned major, unsigned minor) {
    return vq5::test::QuietDevice(major, minor, g_Profile);
}

std::size_t CountTaken(const sim::CSimulator& s, const std::string& text) {
    const auto taken = s.Taken();
    return static_cast<std::size_t>(std::count(taken.begin(), taken.end(), text));
}

bool Has(const std::vector<std::string>& v, const std::string& text) {
    return std::find(v.begin(), v.end(), text) != v.end();
}

// The current directory for the life of the object.
struct InDirectory {
    std::filesystem::path old = std::filesystem::current_path();
    std::filesystem::path dir;
    explicit InDirectory(bool marker) {
        char tmpl[] = "/tmp/vq5iotest-XXXXXX";
        dir = mkdtemp(tmpl);
        if (marker)
            std::ofstream(dir / "VQ5WTest.Lumark") << "";
        std::filesystem::current_path(dir);
    }
    ~InDirectory() {
        std::filesystem::current_path(old);
        std::filesystem::remove_all(dir);
    }
};

} // namespace

class TestDlgTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        CTestDlg::SetMessageHook([this](QWidget*, const QString& text) { m_Boxes << text; });
    }

    void lampsAndNumbersFollowTheSimulator() {
        sim::CSimulator s(Quiet(8, 7));
        const std::string path = s.Start();
        QVERIFY(!path.empty());
        auto st = s.State();
        st.line = 123;
        st.run = 45;
        s.SetState(st);
        Stores stores(path, 3);
        stores.tool.WriteInt("Settings_V2.3", "ShowOutputs", 1);
        CTestDlg dlg(&stores.engine);

        QCOMPARE(dlg.LineNumberLabel()->text(), QStringLiteral("LijnNr = xxx"));
        QTRY_COMPARE_WITH_TIMEOUT(dlg.LineNumberLabel()->text(), QStringLiteral("LijnNr = 123"), kWait);
        QTRY_COMPARE_WITH_TIMEOUT(dlg.RunNumberLabel()->text(), QStringLiteral("RunNr = 45"), kWait);
        // T3 to T19 carry the numbers: the lamps show their lines.
        const std::string encoded = EncodeOutputs(123, 45, false, false);
        for (int n = 3; n <= 19; ++n)
            QCOMPARE(dlg.OutputLamp(TIndex(n))->State(), LampActive(encoded[TIndex(n)], Polarity::Direct)
                                                             ? LampState::Active
                                                             : LampState::Inactive);

        // The input lamps show the last "&PII" reply, which the simulator sent.
        QTRY_VERIFY_WITH_TIMEOUT(dlg.Model().LastInputs().size() == kInputCount, kWait);
        const std::string in = dlg.Model().LastInputs();
        QVERIFY(Has(s.Delivered(), "&QII" + in));
        for (std::size_t i = 0; i < kInputCount; ++i)
            QCOMPARE(dlg.InputLamp(i)->State(),
                     LampActive(in[i], InputLamps()[i].polarity) ? LampState::Active : LampState::Inactive);

        // Another line and run number on the device: the texts follow.
        st = s.State();
        st.line = 77;
        st.run = 3;
        s.SetState(st);
        QTRY_COMPARE_WITH_TIMEOUT(dlg.LineNumberLabel()->text(), QStringLiteral("LijnNr = 077"), kWait);
        QTRY_COMPARE_WITH_TIMEOUT(dlg.RunNumberLabel()->text(), QStringLiteral("RunNr = 03"), kWait);
        dlg.Shutdown();
        QCOMPARE(stores.tool.ReadInt("Settings_V2.3", "ShowInputs"), 1);
        QCOMPARE(stores.tool.ReadInt("Settings_V2.3", "ShowOutputs"), 1);
    }

    void startsWithTheStoredCheckBoxes() {
        sim::CSimulator s(Quiet(8, 7));
        const std::string path = s.Start();
        Stores stores(path, 0);
        CTestDlg dlg(&stores.engine); // defaults: inputs on, outputs off
        QVERIFY(dlg.InputsCheck()->isChecked());
        QVERIFY(!dlg.OutputsCheck()->isChecked());
        QVERIFY(dlg.Vlp().m_PollInputs.load());
        QVERIFY(!dlg.Vlp().m_PollOutputs.load());
        for (std::size_t i = 0; i < kOutputCount; ++i) {
            QCOMPARE(dlg.OutputLamp(i)->State(), LampState::Disabled);
            QVERIFY(!dlg.OutputLamp(i)->isEnabled());
            QVERIFY(!dlg.OutputLamp(i)->Label()->isEnabled());
        }
        QVERIFY2(dlg.OutputsCheck()->isEnabled(), "the switching check box stays enabled");
        QVERIFY(!dlg.LineNumberLabel()->isEnabled());
        // Only "&PII" goes out; "&PIJ" never.
        QVERIFY(s.WaitUntil(
            [](const sim::DeviceState&, const sim::LinkCounters& c) { return c.messagesTaken > 15; },
            std::chrono::milliseconds(kWait)));
        QVERIFY(CountTaken(s, "&PII") > 5);
        QCOMPARE(CountTaken(s, "&PIJ"), std::size_t(0));
        QVERIFY(m_Boxes.isEmpty());
    }

    void switchingAGroupOffStopsItsPollsAndGreysItsLamps() {
        sim::CSimulator s(Quiet(8, 7));
        const std::string path = s.Start();
        Stores stores(path, 0);
        stores.tool.WriteInt("Settings_V2.3", "ShowOutputs", 1);
        CTestDlg dlg(&stores.engine);
        QTRY_VERIFY_WITH_TIMEOUT(CountTaken(s, "&PII") > 2 && CountTaken(s, "&PIJ") > 2, kWait);

        dlg.InputsCheck()->click();
        QVERIFY(!dlg.Vlp().m_PollInputs.load());
        for (std::size_t i = 0; i < kInputCount; ++i) {
            QCOMPARE(dlg.InputLamp(i)->State(), LampState::Disabled);
            QVERIFY(!dlg.InputLamp(i)->isEnabled());
        }
        QVERIFY(dlg.InputsCheck()->isEnabled());
        // One poll may already have been on its way; after that, none.
        QVERIFY(s.WaitExchanges(s.Counters().exchanges + 3, std::chrono::milliseconds(kWait)));
        const std::size_t inputs = CountTaken(s, "&PII"), outputs = CountTaken(s, "&PIJ");
        QVERIFY(s.WaitExchanges(s.Counters().exchanges + 20, std::chrono::milliseconds(kWait)));
        QCOMPARE(CountTaken(s, "&PII"), inputs);
        QVERIFY(CountTaken(s, "&PIJ") >= outputs + 10);
        QCoreApplication::processEvents();
        for (std::size_t i = 0; i < kInputCount; ++i)
            QCOMPARE(dlg.InputLamp(i)->State(), LampState::Disabled);

        // Both off: no polls at all.
        dlg.OutputsCheck()->click();
        QVERIFY(s.WaitExchanges(s.Counters().exchanges + 3, std::chrono::milliseconds(kWait)));
        const auto taken = s.Counters().messagesTaken;
        QVERIFY(s.WaitExchanges(s.Counters().exchanges + 20, std::chrono::milliseconds(kWait)));
        QCOMPARE(s.Counters().messagesTaken, taken);

        // On again: the lamps show active at once, then follow the replies.
        dlg.InputsCheck()->click();
        for (std::size_t i = 0; i < kInputCount; ++i) {
            QVERIFY(dlg.InputLamp(i)->isEnabled());
            QCOMPARE(dlg.InputLamp(i)->State(), LampState::Active);
        }
        QTRY_VERIFY_WITH_TIMEOUT(CountTaken(s, "&PII") > inputs + 3, kWait);
        dlg.Shutdown();
        QCOMPARE(stores.tool.ReadInt("Settings_V2.3", "ShowInputs"), 1);
        QCOMPARE(stores.tool.ReadInt("Settings_V2.3", "ShowOutputs"), 0);
    }

    void disconSendsTheExitAndTheLampsFreeze() {
        // A device that answers the line queries only in program mode.
        std::mutex lock;
        std::string inputs = "100000";
        bool programMode = false;
        testing::CScriptedDevice dev([&](const std::string& t) -> std::vector<std::string> {
            std::lock_guard<std::mutex> g(lock);
            if (t == "$PRG") {
                programMode = true;
                return {"&QPVQ-5 (87) scripted"};
            }
            if (t == "&QX" || t == "&PX") {
                programMode = false;
                return {"&QX"};
            }
            if (t == "&PII" && programMode)
                return {"&QII" + inputs};
            return {};
        });
        QVERIFY(!dev.Path().empty());
        Stores stores(dev.Path(), 0);
        CTestDlg dlg(&stores.engine);
        QTRY_COMPARE_WITH_TIMEOUT(dlg.InputLamp(0)->State(), LampState::Active, kWait);
        QTRY_COMPARE_WITH_TIMEOUT(dlg.InputLamp(1)->State(), LampState::Inactive, kWait);

        dlg.DisconButton()->click();
        QVERIFY(dev.WaitTaken([](const auto& v) { return Has(v, "&QX"); }, std::chrono::milliseconds(kWait)));
        {
            std::lock_guard<std::mutex> g(lock);
            inputs = "011110";
        }
        // The polls keep running, unanswered: the lamps stay as they were.
        const std::size_t polls = dev.Count("&PII");
        QVERIFY(dev.WaitTaken(
            [&](const auto& v) { return std::count(v.begin(), v.end(), "&PII") >= long(polls + 5); },
            std::chrono::milliseconds(kWait)));
        QTest::qWait(50); // what those polls brought, if anything, reaches the lamps through the event loop
        QCOMPARE(dlg.InputLamp(0)->State(), LampState::Active);
        QCOMPARE(dlg.InputLamp(1)->State(), LampState::Inactive);

        // "&Connect": back into program mode, the lamps follow again.
        dlg.ConnectButton()->click();
        QVERIFY(dev.WaitTaken([](const auto& v) { return std::count(v.begin(), v.end(), "$PRG") == 2; },
                              std::chrono::milliseconds(kWait)));
        QTRY_COMPARE_WITH_TIMEOUT(dlg.InputLamp(0)->State(), LampState::Inactive, kWait);
        QTRY_COMPARE_WITH_TIMEOUT(dlg.InputLamp(1)->State(), LampState::Active, kWait);
        QCOMPARE(dlg.InputLamp(5)->State(), LampState::Active); // "Vx lus" is inverted
    }

    void escapeAndTheCloseBoxConnectInsteadOfClosing() {
        sim::CSimulator s(Quiet(8, 7));
        const std::string path = s.Start();
        Stores stores(path, 0);
        CTestDlg dlg(&stores.engine);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTRY_COMPARE_WITH_TIMEOUT(CountTaken(s, "$PRG"), std::size_t(1), kWait);

        QTest::keyClick(&dlg, Qt::Key_Escape);
        QVERIFY(dlg.isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(CountTaken(s, "$PRG"), std::size_t(2), kWait);

        QVERIFY(!dlg.close());
        QVERIFY(dlg.isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(CountTaken(s, "$PRG"), std::size_t(3), kWait);

        dlg.DisconButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(Has(s.Taken(), "&QX"), kWait);
        QVERIFY(!s.State().programMode);

        dlg.ExitButton()->click();
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }

    void aCancelFromTheProgramStillCloses() {
        // The application answers SIGTERM with the dialog's cancel: the tool must end.
        sim::CSimulator s(Quiet(8, 7));
        Stores stores(s.Start(), 0);
        CTestDlg dlg(&stores.engine);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        dlg.reject();
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
    }

    void presetsSendTheGatedCommandsByVersion_data() {
        QTest::addColumn<unsigned>("major");
        QTest::addColumn<unsigned>("minor");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<QStringList>("held");
        QTest::newRow("8.1") << 8u << 1u << QStringList{"&QKO0", "&QKOE"}
                             << QStringList{"&QFG1", "&QFG0", "&QKO5", "&QKOC"};
        QTest::newRow("8.2") << 8u << 2u << QStringList{"&QKO5", "&QKOC"}
                             << QStringList{"&QFG1", "&QFG0", "&QKO0", "&QKOE"};
        QTest::newRow("8.7") << 8u << 7u << QStringList{"&QFG1", "&QKO5", "&QFG0", "&QKOC"}
                             << QStringList{"&QKO0", "&QKOE"};
    }
    void presetsSendTheGatedCommandsByVersion() {
        QFETCH(unsigned, major);
        QFETCH(unsigned, minor);
        QFETCH(QStringList, sent);
        QFETCH(QStringList, held);
        InDirectory here(true);
        sim::CSimulator s(Quiet(major, minor));
        const std::string path = s.Start();
        Stores stores(path, 0);
        const std::string db = test::KeepRecordIn(stores.tool, here.dir.string());
        CTestDlg dlg(&stores.engine);
        QVERIFY(dlg.ExpertMode());
        QVERIFY(!dlg.TramButton()->isHidden());
        QVERIFY(!dlg.BusButton()->isHidden());
        QTRY_VERIFY_WITH_TIMEOUT(dlg.Vlp().VersionMajor() == major && dlg.Vlp().VersionMinor() == minor,
                                 kWait);

        dlg.TramButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(Has(s.Taken(), sent.front().toStdString()), kWait);
        if (major == 8 && minor == 7)
            QVERIFY(s.State().flags['G']);
        dlg.BusButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(Has(s.Taken(), sent.back().toStdString()), kWait);
        QVERIFY(s.WaitExchanges(s.Counters().exchanges + 10, std::chrono::milliseconds(kWait)));
        const auto taken = s.Taken();
        for (const QString& t : sent)
            QVERIFY2(Has(taken, t.toStdString()), qPrintable(t));
        for (const QString& t : held)
            QVERIFY2(!Has(taken, t.toStdString()), qPrintable(t));
        // Order: the Tram group before the Bus group, each in its own order.
        auto pos = [&](const QString& t) {
            return std::find(taken.begin(), taken.end(), t.toStdString()) - taken.begin();
        };
        for (int i = 1; i < sent.size(); ++i)
            QVERIFY(pos(sent[i - 1]) < pos(sent[i]));
        // The offset the Bus preset left in the device: 22 ms in its encoding.
        QCOMPARE(s.State().offsetDigit, (major == 8 && minor < 2) ? 14u : 12u);
        if (major == 8 && minor == 7)
            QVERIFY(!s.State().flags['G']);

        // The visit, once "&Discon" has left program mode: the texts the device took, in
        // order, and the last line values it reported.
        dlg.DisconButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.VisitOpen(), kWait);
        QVERIFY(dlg.FlushRecord());
        const auto visits = test::RecordedVisits(db);
        QCOMPARE(visits.size(), std::size_t(1));
        std::vector<std::string> want;
        for (const QString& t : sent)
            want.push_back(t.toStdString());
        QCOMPARE(test::WrittenValues(visits[0]), want);
        QVERIFY(std::any_of(visits[0].items.begin(), visits[0].items.end(), [](const record::VisitItem& i) {
            return i.kind == record::kKindInfo && i.item == "Inputs";
        }));
        QCOMPARE(visits[0].tool, std::string("VQ5WTest"));
    }

    void presetsAreHiddenAndInertWithoutTheMarker() {
        InDirectory here(false);
        sim::CSimulator s(Quiet(8, 7));
        const std::string path = s.Start();
        Stores stores(path, 0);
        CTestDlg dlg(&stores.engine);
        QVERIFY(!dlg.ExpertMode());
        QVERIFY(dlg.TramButton()->isHidden());
        QVERIFY(dlg.BusButton()->isHidden());
        QTRY_VERIFY_WITH_TIMEOUT(dlg.Vlp().VersionMajor() == 8, kWait);
        dlg.OnTram();
        dlg.OnBus();
        QCOMPARE(dlg.Vlp().QueueLength(), std::size_t(0));
        QVERIFY(s.WaitExchanges(s.Counters().exchanges + 10, std::chrono::milliseconds(kWait)));
        for (const auto& t : s.Taken())
            QVERIFY2(t.rfind("&QF", 0) != 0 && t.rfind("&QK", 0) != 0, t.c_str());
    }

    void manualShowsItsBox() {
        sim::CSimulator s(Quiet(8, 7));
        Stores stores(s.Start(), 0);
        CTestDlg dlg(&stores.engine);
        m_Boxes.clear();
        QAction* manual = nullptr;
        for (QAction* a : dlg.findChildren<QAction*>())
            if (a->text() == QStringLiteral("&Manual"))
                manual = a;
        QVERIFY(manual);
        manual->trigger();
        QCOMPARE(m_Boxes, QStringList{QStringLiteral("No HELP availeble!")});
        QCOMPARE(dlg.windowTitle(), QStringLiteral("VQ-5 I/O Tester"));
    }

private:
    QStringList m_Boxes;
};

int RunLampTest(int argc, char** argv);

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int result = RunLampTest(argc, argv);
    return result | vq5::test::RunPerProfile<TestDlgTest>(argc, argv, g_Profile);
}
#include "test_test_dlg.moc"
