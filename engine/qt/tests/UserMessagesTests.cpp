// The engine's message boxes in Qt: a box asked for on the worker is shown by the GUI
// thread while the worker waits; closing it releases the worker; Abandon releases every
// waiter and closes the boxes; a stop or shutdown never hangs on a box.
#include "QtUserMessages.h"
#include "WaitFor.h"

#include "EngineFront.h"
#include "QtTestSupport.h"
#include "SettingsStore.h"
#include "VLPEngine.h"
#include "VLPStatusBox.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

using namespace vq5;
using namespace vq5::qt;
using namespace vq5::qt::test;

namespace {

// Runs Show on its own thread; Done tells whether it has returned.
class CAsker {
public:
    CAsker(IUserMessages& m, std::string caption, std::string text) {
        m_Thread = std::thread([this, &m, caption = std::move(caption), text = std::move(text)] {
            m.Show(caption, text);
            m_Done = true;
        });
    }
    ~CAsker() {
        if (m_Thread.joinable())
            m_Thread.join();
    }
    bool Done() const { return m_Done.load(); }

private:
    std::atomic<bool> m_Done{false};
    std::thread m_Thread;
};

} // namespace

class UserMessagesTests : public QObject {
    Q_OBJECT

    CMemoryStore m_Store;

private slots:
    void initTestCase() { SetDefaultSettingsStore(&m_Store); }
    void cleanupTestCase() { SetDefaultSettingsStore(nullptr); }

    void workerBoxIsShownAndAnsweredWhenClosed() {
        CQtUserMessages messages;
        CWatchdog dog("a worker box answered by OK");
        CAsker asker(messages, "Error: Open", "No such file or directory");
        QString caption, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        bool doneWhileShown = true;
        WhenReady([] { return !VisibleBoxes().isEmpty(); },
                  [&] {
                      QMessageBox* box = VisibleBoxes().first();
                      caption = box->windowTitle();
                      text = box->text();
                      icon = box->icon();
                      doneWhileShown = asker.Done(); // the worker still waits
                      box->button(QMessageBox::Ok)->click();
                  });
        QVERIFY(PumpUntil([&] { return asker.Done(); }));
        QCOMPARE(caption, QStringLiteral("Error: Open"));
        QCOMPARE(text, QStringLiteral("No such file or directory"));
        QCOMPARE(icon, QMessageBox::Information);
        QVERIFY(!doneWhileShown);
        QCOMPARE(messages.PendingCount(), 0);
    }

    void secondBoxWhileOneIsShownIsAnsweredWhenClosed() {
        CQtUserMessages messages;
        CWatchdog dog("two boxes");
        CAsker first(messages, "Error: one", "1");
        QVERIFY(PumpUntil([&] { return messages.PendingCount() == 1; }));
        std::unique_ptr<CAsker> second;
        // Inside the first box's loop: ask for a second one, then close them in turn.
        WhenReady([] { return VisibleBoxes().size() == 1; },
                  [&] {
                      second = std::make_unique<CAsker>(messages, "Error: two", "2");
                      WhenReady([] { return VisibleBoxes().size() == 2; },
                                [&] {
                                    QCOMPARE(messages.PendingCount(), 2);
                                    for (QMessageBox* b : VisibleBoxes())
                                        if (b->windowTitle() == QStringLiteral("Error: two"))
                                            b->button(QMessageBox::Ok)->click();
                                    WhenReady([&] { return second->Done(); },
                                              [&] {
                                                  QVERIFY(!first.Done());
                                                  VisibleBoxes().first()->button(QMessageBox::Ok)->click();
                                              });
                                });
                  });
        QVERIFY(PumpUntil([&] { return first.Done() && second && second->Done(); }));
        QCOMPARE(messages.PendingCount(), 0);
    }

    void abandonReleasesABlockedWorkerAndClosesTheBox() {
        CQtUserMessages messages;
        CWatchdog dog("Abandon of a shown box");
        CAsker asker(messages, "Error: Write", "I/O error");
        WhenReady([] { return !VisibleBoxes().isEmpty(); }, [&] { messages.Abandon(); });
        QVERIFY(PumpUntil([&] { return asker.Done(); }));
        QVERIFY(PumpUntil([] { return VisibleBoxes().isEmpty(); }));
        QVERIFY(messages.IsAbandoned());
    }

    void abandonFromAnotherThreadWhileTheGuiIsBusy() {
        // The GUI thread has not come to the request yet: Abandon alone releases the worker.
        CQtUserMessages messages;
        CWatchdog dog("Abandon before the GUI showed the box");
        CAsker asker(messages, "Error: Read", "x");
        QVERIFY(vq5::test::WaitFor([&] { return messages.PendingCount() > 0; }, 10s, 1ms));
        std::thread([&] { messages.Abandon(); }).join();
        QVERIFY(vq5::test::WaitFor([&] { return asker.Done(); }, 10s, 1ms)); // no event processing needed
        // The request still queued for the GUI shows nothing.
        QCoreApplication::processEvents();
        QCOMPARE(VisibleBoxes().size(), 0);
    }

    void afterAbandonShowReturnsAtOnceUntilReset() {
        CQtUserMessages messages;
        messages.Abandon();
        {
            CWatchdog dog("Show after Abandon");
            CAsker asker(messages, "Error: x", "y");
            QVERIFY(vq5::test::WaitFor([&] { return asker.Done(); }, 10s, 1ms));
            messages.Show("Error: gui", "no box on the GUI thread either");
        }
        QCOMPARE(VisibleBoxes().size(), 0);
        messages.Reset();
        QVERIFY(!messages.IsAbandoned());
        CWatchdog dog("Show after Reset");
        CAsker asker(messages, "Error: again", "z");
        WhenReady([] { return !VisibleBoxes().isEmpty(); }, [] { VisibleBoxes().first()->accept(); });
        QVERIFY(PumpUntil([&] { return asker.Done(); }));
    }

    void showOnTheGuiThreadIsModalAtOnce() {
        CQtUserMessages messages;
        CWatchdog dog("GUI-thread Show");
        QString seen;
        WhenReady([] { return !VisibleBoxes().isEmpty(); },
                  [&] {
                      seen = VisibleBoxes().first()->text();
                      VisibleBoxes().first()->button(QMessageBox::Ok)->click();
                  });
        messages.Show("", "No COM port specified!"); // returns when closed
        QCOMPARE(seen, QStringLiteral("No COM port specified!"));
    }

    void destroyingWithAWaiterReleasesIt() {
        auto messages = std::make_unique<CQtUserMessages>();
        CWatchdog dog("destruction with a waiter");
        auto asker = std::make_unique<CAsker>(*messages, "Error: x", "y");
        QVERIFY(vq5::test::WaitFor([&] { return messages->PendingCount() > 0; }, 10s, 1ms));
        messages.reset();
        asker.reset(); // joins: Show has returned
        QCoreApplication::processEvents();
        QCOMPARE(VisibleBoxes().size(), 0);
    }

    void shutdownWhileTheWorkerWaitsOnABoxDoesNotHang() {
        // An empty port name: the worker asks for "No COM port specified!" and waits.
        CVLPEngine engine(&m_Store);
        engine.m_ComPort = "";
        QWidget dialog;
        auto* placeholder = new QWidget(&dialog);
        placeholder->setGeometry(5, 5, 200, 107);
        auto front = std::make_unique<CEngineFront>(engine, &dialog);
        CWatchdog dog("shutdown with a box open", 60s);
        QVERIFY(front->Create(placeholder));
        QString text;
        // Inside the box's loop, as when the user closes the tool with the box up.
        WhenReady([] { return !VisibleBoxes().isEmpty(); },
                  [&] {
                      text = VisibleBoxes().first()->text();
                      front.reset();
                  });
        QVERIFY(PumpUntil([&] { return front == nullptr; }));
        QCOMPARE(text, QStringLiteral("No COM port specified!"));
        QVERIFY(!engine.IsRunning());
        QVERIFY(PumpUntil([] { return VisibleBoxes().isEmpty(); }));
    }

    void restartWhileTheWorkerWaitsOnABoxDoesNotHang() {
        CVLPEngine engine(&m_Store);
        engine.m_ComPort = "/dev/vq5-no-such-port";
        QWidget dialog;
        auto* placeholder = new QWidget(&dialog);
        CEngineFront front(engine, &dialog);
        CWatchdog dog("restart with a box open", 60s);
        QVERIFY(front.Create(placeholder));
        bool restarted = false;
        WhenReady([] { return !VisibleBoxes().isEmpty(); },
                  [&] {
                      engine.m_Timeout = 2000;
                      engine.Stop(); // the worker's box is abandoned by the stop
                      restarted = true;
                  });
        QVERIFY(PumpUntil([&] { return restarted; }));
        QVERIFY(PumpUntil([] { return VisibleBoxes().isEmpty(); }));
        QVERIFY(!engine.IsRunning());
    }
};

QTEST_MAIN(UserMessagesTests)
#include "UserMessagesTests.moc"
