// Closing a tool's dialog with the device in program mode: the exit goes out first (and
// nothing else), bounded in time; a close with nothing pending sends nothing.
#include "ToolDialog.h"

#include "PlainToolDlg.h"

#include "CountingStore.h"
#include "FrameCodec.h"
#include "PtyHelpers.h"
#include "VLPEngine.h"

#include <QElapsedTimer>
#include <QGroupBox>
#include <QtTest>

#include <atomic>
#include <mutex>
#include <thread>

using namespace vq5;
using namespace vq5::qt;
using vq5::test::B;
using vq5::test::Bytes;
using vq5::test::CCountingStore;
using vq5::test::CPty;

namespace {

constexpr int kWait = 10000; // generous: a loaded 2-core machine

class CCloseDlg : public test::CPlainToolDlg {
public:
    CCloseDlg(ISettingsStore* store, const std::string& port) : CPlainToolDlg("close", store, port) {}
    ~CCloseDlg() override { Shutdown(); }
    int notifications = 0;

protected:
    void OnNotify(const Notification&) override { ++notifications; }
};

// The device: polls while allowed, acknowledges every message and records its text.
class CPollingDevice {
public:
    explicit CPollingDevice(CPty& pty) : m_Pty(pty), m_Thread([this] { Run(); }) {}
    ~CPollingDevice() {
        m_Stop = true;
        m_Thread.join();
    }
    void Allow(int polls) { m_Budget += polls; }
    void FreeRun() { m_Free = true; }
    void Halt() {
        m_Free = false;
        m_Budget = 0;
    }
    std::vector<std::string> Sent() const {
        std::lock_guard<std::mutex> g(m_Lock);
        return m_Sent;
    }
    int Polls() const { return m_Polls.load(); }

private:
    void Run() {
        using namespace std::chrono_literals;
        while (!m_Stop.load()) {
            if (!m_Free.load() && m_Budget.load() <= 0) {
                std::this_thread::sleep_for(2ms); // held: no poll until the test allows one
                continue;
            }
            --m_Budget;
            m_Pty.Write(B({'P', ADR, ENQ}));
            const Bytes f = m_Pty.ReadPcFrame(500ms);
            ++m_Polls;
            if (f.size() >= 8 && f[0] == SOH) {
                {
                    std::lock_guard<std::mutex> g(m_Lock);
                    m_Sent.emplace_back(f.begin() + 5, f.end() - 3);
                }
                m_Pty.Write(B({ADR, ACK}));
                m_Pty.ReadPcFrame(500ms); // the EOT
            }
        }
    }
    CPty& m_Pty;
    std::atomic<bool> m_Stop{false};
    std::atomic<bool> m_Free{false};
    std::atomic<int> m_Budget{0};
    std::atomic<int> m_Polls{0};
    mutable std::mutex m_Lock;
    std::vector<std::string> m_Sent;
    std::thread m_Thread;
};

// A shown dialog on a pseudo-terminal and the device at its other end, holding its polls.
struct CCloseRig {
    CPty pty;
    CCountingStore store;
    CCloseDlg dlg{&store, pty.Path()};
    CPollingDevice device{pty};

    CCloseRig() { dlg.show(); }

    // The device polls once: "$PRG" goes out and the engine is in program mode.
    bool OnePollOpensProgramMode() {
        device.Allow(1);
        return QTest::qWaitFor([&] { return dlg.Engine().ProgramModeOpen(); }, kWait) &&
               QTest::qWaitFor([&] { return device.Polls() >= 1; }, kWait);
    }
};

} // namespace

class ToolCloseTests : public QObject {
    Q_OBJECT
private slots:
    // "$PRG" went out, a sequence is still queued: the close sends the exit and nothing else.
    void closeInProgramModeSendsTheExitFirst() {
        CCloseRig rig;
        CCloseDlg& dlg = rig.dlg;
        CPollingDevice& device = rig.device;
        dlg.Engine().EnterProgramMode();
        for (const char* t : {"&PIA", "&PIB", "&PIC"})
            dlg.Engine().QueueText(t);
        dlg.Engine().LeaveProgramMode(false);
        QVERIFY(rig.OnePollOpensProgramMode());
        device.FreeRun();
        QElapsedTimer t;
        t.start();
        dlg.reject();
        const qint64 took = t.elapsed();
        QVERIFY(!dlg.isVisible());
        QVERIFY(!dlg.Engine().ProgramModeOpen());
        QVERIFY2(took < CToolDialog::kExitWaitMs + 500, qPrintable(QString::number(took)));
        const int before = dlg.notifications;
        // More polls: nothing else goes out, the tool hears nothing more.
        const int polls = device.Polls();
        QVERIFY(QTest::qWaitFor([&] { return device.Polls() >= polls + 3; }, kWait));
        dlg.Shutdown();
        QCOMPARE(device.Sent(), (std::vector<std::string>{"$PRG", "&PX"}));
        QCOMPARE(dlg.notifications, before);
    }

    // Nothing in program mode: the close sends nothing and does not wait.
    void closeWithNothingPendingSendsNothing() {
        CCloseRig rig;
        CCloseDlg& dlg = rig.dlg;
        CPollingDevice& device = rig.device;
        device.FreeRun();
        QVERIFY(QTest::qWaitFor([&] { return device.Polls() >= 3; }, kWait));
        QElapsedTimer t;
        t.start();
        dlg.reject();
        QVERIFY(t.elapsed() < 500);
        const int polls = device.Polls();
        QVERIFY(QTest::qWaitFor([&] { return device.Polls() >= polls + 3; }, kWait));
        dlg.Shutdown();
        QVERIFY(device.Sent().empty());
    }

    // A device that no longer polls: the close gives up after the bounded wait.
    void closeIsBoundedWhenTheDeviceIsSilent() {
        CCloseRig rig;
        CCloseDlg& dlg = rig.dlg;
        CPollingDevice& device = rig.device;
        dlg.Engine().EnterProgramMode();
        dlg.Engine().QueueText("&PIA");
        QVERIFY(rig.OnePollOpensProgramMode());
        QElapsedTimer t;
        t.start();
        dlg.reject();
        const qint64 took = t.elapsed();
        QVERIFY2(took >= CToolDialog::kExitWaitMs - 50 && took < CToolDialog::kExitWaitMs + 1000,
                 qPrintable(QString::number(took)));
        QVERIFY(!dlg.isVisible());
        dlg.Shutdown();
        QCOMPARE(device.Sent(), (std::vector<std::string>{"$PRG"}));
    }
};

QTEST_MAIN(ToolCloseTests)
#include "ToolCloseTests.moc"
