// VQ5WReset against the simulated VQ-5 on a pseudo-terminal: what one click puts on the
// wire, "&Reset" held until the queue has drained, the device back at its factory defaults
// after its reboot, and closing while the link is busy or an error box is up.
#include "ResetDlg.h"

#include "EngineFront.h"
#include "QtUserMessages.h"
#include "RecordedVisits.h"
#include "ServiceRecord.h"
#include "SettingsStore.h"
#include "SimSuite.h"
#include "Simulator.h"
#include "WindowBinding.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <memory>

using namespace vq5;
using namespace vq5::factory_reset;

namespace {

constexpr int kWait = 10000; // generous: a loaded 2-core machine

// The whole suite runs once per device profile (see VQ5_QTEST_PER_PROFILE).
sim::DeviceProfile g_Profile = sim::DeviceProfile::Default;

// Counts the engine's notifications as the dialog sees them.
class CTestResetDlg : public CResetDlg {
public:
    using CResetDlg::CResetDlg;
    int queueEmpty = 0;
    int exits = 0;
    // "&Reset" as it was at every notification (before the dialog handled it).
    std::vector<bool> enabledAt;

protected:
    void OnNotify(const Notification& n) override {
        enabledAt.push_back(ResetButton()->isEnabled());
        CResetDlg::OnNotify(n);
        if (n.kind == nkQueueEmpty)
            ++queueEmpty;
        if (n.kind == nkIdent && n.value == 0)
            ++exits;
    }
};

sim::DeviceState CustomState(unsigned major, unsigned minor) {
    sim::DeviceState s = sim::FactoryState(major, minor);
    s.identifier = "Depot 7 bus";
    s.datacall[0] = "&P.1";
    s.datacall[1] = "Boot";
    s.flags['S'] = !s.flags['S'];
    s.flags['O'] = !s.flags['O'];
    s.flags['G'] = true;
    s.window = 3;
    s.minimal = 2;
    s.stable = 4;
    s.offsetDigit = 1;
    s.reboots = 5;
    s.configInits = 2;
    return s;
}

// The configuration a factory reset restores (counters and on-board values aside).
bool SameConfiguration(const sim::DeviceState& a, const sim::DeviceState& b) {
    return a.identifier == b.identifier && a.datacall[0] == b.datacall[0] && a.datacall[1] == b.datacall[1] &&
           a.datacall[2] == b.datacall[2] && a.flags == b.flags && a.window == b.window &&
           a.minimal == b.minimal && a.offsetDigit == b.offsetDigit && a.stable == b.stable;
}

struct Rig : test::DialogRig<CTestResetDlg> {
    unsigned major = 8, minor = 7;

    // threaded = false: the test steps the device itself (Open + Step).
    bool Start(unsigned maj, unsigned min, int fastBaud, bool threaded = true,
               const sim::DeviceState* state = nullptr) {
        major = maj;
        minor = min;
        return Open(test::QuietDevice(maj, min, g_Profile), fastBaud, threaded, state);
    }
    bool WaitDrained(int before) {
        return QTest::qWaitFor([&] { return dlg->queueEmpty > before && dlg->ResetButton()->isEnabled(); },
                               kWait);
    }
};

} // namespace

class ResetDlgTest : public QObject {
    Q_OBJECT
private slots:
    void init() { SetDefaultSettingsStore(nullptr); }

    void windowLayout() {
        Rig rig;
        QVERIFY(rig.Start(8, 7, 0));
        rig.dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.dlg.get()));
        QCOMPARE(rig.dlg->windowTitle(), QStringLiteral("VQ5WReset"));
        QVERIFY(rig.dlg->MenuBar() == nullptr); // no menu bar
        QCOMPARE(rig.dlg->ResetButton()->text(), QStringLiteral("&Reset"));
        QCOMPARE(rig.dlg->ExitButton()->text(), QStringLiteral("&Exit"));
        QCOMPARE(rig.dlg->Explanation()->text(), QStringLiteral("Reboot and factory default the VQ5(s)"));
        // The status box took the frame's place at the left; the buttons are at the right,
        // "&Reset" above its explanation, "&Exit" at the bottom.
        QWidget* status = rig.dlg->findChild<QWidget*>(QStringLiteral("1000"));
        QVERIFY(status);
        QVERIFY(rig.dlg->Front()->StatusBox() != nullptr);
        QVERIFY(status->geometry().right() < rig.dlg->ResetButton()->geometry().left());
        QVERIFY(rig.dlg->ResetButton()->geometry().bottom() < rig.dlg->Explanation()->geometry().top());
        QVERIFY(rig.dlg->Explanation()->geometry().bottom() < rig.dlg->ExitButton()->geometry().top());
        QVERIFY(rig.dlg->ExitButton()->geometry().bottom() > status->geometry().center().y());
        for (QWidget* w :
             {static_cast<QWidget*>(rig.dlg->ResetButton()), static_cast<QWidget*>(rig.dlg->ExitButton()),
              static_cast<QWidget*>(rig.dlg->Explanation()), status})
            QVERIFY(rig.dlg->Body()->rect().contains(w->geometry()));
        // The dialog is 257 x 105 dialog units.
        QCOMPARE(rig.dlg->Body()->size(), qt::DluSize(rig.dlg.get(), 257, 105));
        // Tooltips from the tool's table.
        QVERIFY(!rig.dlg->ResetButton()->toolTip().isEmpty());
    }

    // The reset also leaves its visit in the service record, with the text the device took.
    void oneClickSendsExactlyTheSequence() {
        Rig rig;
        QTemporaryDir dir;
        const std::string db = test::KeepRecordIn(rig.store, dir.path().toStdString());
        QVERIFY(rig.Start(8, 7, 0));
        rig.dlg->show();
        QVERIFY(rig.dlg->ResetButton()->isEnabled());
        QTest::mouseClick(rig.dlg->ResetButton(), Qt::LeftButton);
        QVERIFY(!rig.dlg->ResetButton()->isEnabled());
        QVERIFY(rig.WaitDrained(0));
        QCOMPARE(rig.sim->Taken(), (std::vector<std::string>{"$PRG", "&QFE1", "&QXR"}));
        QVERIFY(QTest::qWaitFor([&] { return !rig.dlg->VisitOpen(); }, kWait));
        QVERIFY(rig.dlg->FlushRecord());
        const auto visits = test::RecordedVisits(db);
        QCOMPARE(visits.size(), std::size_t(1));
        QCOMPARE(visits[0].tool, std::string("VQ5WReset"));
        QCOMPARE(visits[0].outcome, std::string("done"));
        QCOMPARE(visits[0].items, (std::vector<record::VisitItem>{{record::kKindWritten, "1", "&QFE1"}}));
    }

    void resetStaysDisabledUntilTheQueueHasDrained() {
        // The test steps the device one exchange at a time.
        Rig rig;
        QVERIFY(rig.Start(8, 7, 0, false));
        rig.dlg->ResetButton()->click();
        QVERIFY(!rig.dlg->ResetButton()->isEnabled());
        // A second click does nothing while the first sequence drains.
        rig.dlg->OnReset();
        QCOMPARE(rig.dlg->ResetEngine().QueueLength(), std::size_t(3));

        bool sawAllTakenWhileDisabled = false;
        for (int i = 0; i < 200 && rig.dlg->queueEmpty == 0; ++i) {
            QVERIFY(rig.sim->Step());
            QCoreApplication::processEvents();
            if (rig.dlg->queueEmpty == 0) {
                QVERIFY2(!rig.dlg->ResetButton()->isEnabled(), "enabled before the queue ran empty");
                if (rig.sim->Taken().size() == 3)
                    sawAllTakenWhileDisabled = true;
            }
        }
        QCOMPARE(rig.dlg->queueEmpty, 1);
        QVERIFY(rig.dlg->ResetButton()->isEnabled());
        QCOMPARE(rig.sim->Taken(), (std::vector<std::string>{"$PRG", "&QFE1", "&QXR"}));
        // "&PXR" was taken before the queue was reported empty.
        QVERIFY(sawAllTakenWhileDisabled);
        // Every notification before the empty-queue one found "&Reset" disabled.
        for (std::size_t i = 0; i + 1 < rig.dlg->enabledAt.size(); ++i)
            if (rig.dlg->enabledAt[i])
                QFAIL("enabled while the sequence was draining");
    }

    void speedChangeGoesToNewDevicesOnly_data() {
        QTest::addColumn<unsigned>("major");
        QTest::addColumn<unsigned>("minor");
        QTest::addColumn<int>("fast");
        QTest::addColumn<bool>("speedChange");
        QTest::newRow("8.7, 9600") << 8u << 7u << 3 << true;
        QTest::newRow("8.4, 2400") << 8u << 4u << 1 << true;
        QTest::newRow("8.3, 9600") << 8u << 3u << 3 << false;
        QTest::newRow("8.7, none") << 8u << 7u << 0 << false;
    }

    void speedChangeGoesToNewDevicesOnly() {
        QFETCH(unsigned, major);
        QFETCH(unsigned, minor);
        QFETCH(int, fast);
        QFETCH(bool, speedChange);
        Rig rig;
        QVERIFY(rig.Start(major, minor, fast));
        rig.dlg->ResetButton()->click();
        QVERIFY(rig.WaitDrained(0));
        std::vector<std::string> expected{"$PRG"};
        if (speedChange)
            expected.push_back("&QS" + std::to_string(fast));
        expected.push_back("&QFE1");
        expected.push_back("&QXR");
        QCOMPARE(rig.sim->Taken(), expected);
    }

    void deviceEndsWithFactoryDefaultsAfterItsReboot() {
        const sim::DeviceState custom = CustomState(8, 7);
        Rig rig;
        QVERIFY(rig.Start(8, 7, 3, true, &custom));
        QVERIFY(!SameConfiguration(rig.sim->State(), sim::FactoryState(8, 7)));
        rig.dlg->ResetButton()->click();
        QVERIFY(rig.WaitDrained(0));
        QVERIFY(QTest::qWaitFor([&] { return rig.sim->State().reboots == custom.reboots + 1; }, kWait));
        const sim::DeviceState after = rig.sim->State();
        QVERIFY(SameConfiguration(after, sim::FactoryState(8, 7)));
        QCOMPARE(after.configInits, custom.configInits + 1);
        QVERIFY(!after.programMode);
        // The link goes on after the reboot; a second reset is possible.
        rig.dlg->ResetButton()->click();
        QVERIFY(rig.WaitDrained(1));
        QCOMPARE(rig.sim->State().reboots, custom.reboots + 2);
    }

    void noDeviceKeepsResetDisabledAndExitWorks() {
        // A line nobody drives: the queue never drains.
        Rig rig;
        QVERIFY(rig.Start(8, 7, 0, false));
        rig.dlg->show();
        rig.dlg->ResetButton()->click();
        QTest::qWait(300); // no device polls: only time shows that the button stays disabled
        QVERIFY(!rig.dlg->ResetButton()->isEnabled());
        QVERIFY(rig.dlg->ExitButton()->isEnabled());
        // Closing with commands still queued: Exit ends the dialog; the shutdown is bounded
        // and the settings are written.
        QTimer::singleShot(0, rig.dlg.get(),
                           [&] { QTest::mouseClick(rig.dlg->ExitButton(), Qt::LeftButton); });
        rig.dlg->exec();
        rig.dlg->Shutdown();
        QVERIFY(!rig.dlg->ResetEngine().IsRunning());
        QVERIFY(rig.store.Has("Settings_V2.3", "dlgWnd-1.0_x1"));
        QVERIFY(rig.store.Has("Settings_V2.3", "dlgWnd-1.0_showCmd"));
        rig.dlg.reset();
        QVERIFY(rig.store.Has("VLPIO", "ComPort"));
        QVERIFY(rig.store.Has("VLPIO", "FastBaudRate"));
        QVERIFY(rig.store.Has("VLPIO", "Timeout"));
    }

    void closingWhileAPortErrorBoxIsUp() {
        CMemoryStore store;
        store.WriteString("VLPIO", "ComPort", "/nonexistent/vq5-port");
        SetDefaultSettingsStore(&store);
        auto dlg = std::make_unique<CTestResetDlg>();
        bool sawBox = false;
        // Poll from inside whatever loop runs (the box's own): close once a box is up.
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, dlg.get(), [&] {
            if (dlg->Front() && dlg->Front()->UserMessages().PendingCount() > 0) {
                sawBox = true;
                dlg->reject(); // what a session end (SIGTERM) does
            }
        });
        poll.start();
        QTimer::singleShot(kWait, dlg.get(), [&] { dlg->reject(); }); // bound if no box ever comes
        dlg->exec();
        poll.stop();
        QVERIFY(sawBox);
        dlg->Shutdown();
        QVERIFY(!dlg->ResetEngine().IsRunning());
        QVERIFY(store.Has("Settings_V2.3", "dlgWnd-1.0_x1"));
        dlg.reset();
        QCOMPARE(QString::fromStdString(store.ReadString("VLPIO", "ComPort").value_or("")),
                 QStringLiteral("/nonexistent/vq5-port"));
        SetDefaultSettingsStore(nullptr);
    }

    void placementIsRestoredAtTheNextStart() {
        CMemoryStore store;
        store.WriteString("VLPIO", "ComPort", "");
        {
            sim::CSimulator sim;
            const std::string path = sim.Open();
            QVERIFY(!path.empty());
            store.WriteString("VLPIO", "ComPort", path);
            SetDefaultSettingsStore(&store);
            {
                CTestResetDlg dlg;
                dlg.show();
                QVERIFY(QTest::qWaitForWindowExposed(&dlg));
                dlg.move(123, 77);
                QTimer::singleShot(0, &dlg, [&] { dlg.ExitButton()->click(); });
                dlg.exec();
                dlg.Shutdown();
            }
            QCOMPARE(store.ReadInt("Settings_V2.3", "dlgWnd-1.0_x1").value_or(-1), 123);
            QCOMPARE(store.ReadInt("Settings_V2.3", "dlgWnd-1.0_y1").value_or(-1), 77);
            CTestResetDlg again;
            QCOMPARE(again.pos(), QPoint(123, 77));
            again.Shutdown();
            sim.Close();
        }
        SetDefaultSettingsStore(nullptr);
    }

    void aboutFromTheContextMenu() {
        Rig rig;
        QVERIFY(rig.Start(8, 7, 0));
        rig.dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.dlg.get()));
        QString title, item;
        // The context menu offers "&About VQ5WReset..."; choosing it opens the About box.
        QTimer::singleShot(50, rig.dlg.get(), [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            item = menu->actions().value(0) ? menu->actions().value(0)->text() : QString();
            QTimer::singleShot(50, rig.dlg.get(), [&] {
                if (QDialog* box = rig.dlg->OpenAboutBox()) {
                    title = box->windowTitle();
                    box->accept();
                }
            });
            menu->actions().value(0)->trigger();
            menu->close();
        });
        QContextMenuEvent ev(QContextMenuEvent::Mouse, QPoint(5, 5), rig.dlg->mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(rig.dlg.get(), &ev);
        QTRY_COMPARE_WITH_TIMEOUT(title, QStringLiteral("About VQ-5 Tools"), kWait);
        QCOMPARE(item, QStringLiteral("&About VQ5WReset..."));
    }
};

VQ5_QTEST_PER_PROFILE(ResetDlgTest, QApplication, g_Profile)
#include "ResetDlgTest.moc"
