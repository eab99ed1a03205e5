// The front joining a CVLPEngine to the dialog: Create puts the status box in the
// placeholder's place and starts the engine; notifications from the worker reach the GUI
// thread, the status box before the main handler; the log window toggles, is the trace
// sink only while open and writes its settings; the front's end stops the worker and drops
// what is still on its way.
#include "EngineFront.h"

#include "FrontRig.h"
#include "NotifyQueue.h"
#include "PtyHelpers.h"
#include "QtTestSupport.h"
#include "QtUserMessages.h"
#include "SettingsStore.h"
#include "VLPEngine.h"
#include "VLPLogWnd.h"
#include "VLPStatusBox.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtTest>

using namespace vq5;
using namespace vq5::qt;
using namespace vq5::qt::test;
using vq5::test::B;
using vq5::test::CPty;
using vq5::test::Hex;

class EngineFrontTests : public QObject {
    Q_OBJECT

    vq5::test::CFrontRig m_Rig;

private slots:
    void initTestCase() { SetDefaultSettingsStore(&m_Rig.store); }
    void cleanupTestCase() { SetDefaultSettingsStore(nullptr); }

    void init() { m_Rig.Make(300); }
    void cleanup() { m_Rig.Clear(); }

    void createReplacesThePlaceholderAndStarts() {
        CEngineFront front(*m_Rig.engine, m_Rig.dialog.get());
        QCOMPARE(front.StatusBox(), nullptr);
        m_Rig.dialog->show();
        QVERIFY(front.Create(m_Rig.placeholder));
        QVERIFY(m_Rig.placeholder.isNull()); // destroyed
        CVLPStatusBox* box = front.StatusBox();
        QVERIFY(box != nullptr);
        QCOMPARE(box->parentWidget(), m_Rig.dialog.get());
        QCOMPARE(box->objectName(), QStringLiteral("1000"));
        QCOMPARE(box->geometry(), QRect(10, 150, 220, 117));
        QVERIFY(box->isVisible());
        QVERIFY(m_Rig.engine->IsRunning());
        QCOMPARE(&m_Rig.engine->UserMessages(), static_cast<IUserMessages*>(&front.UserMessages()));
        // Once only; a second placeholder is left alone.
        auto* other = new QWidget(m_Rig.dialog.get());
        QVERIFY(!front.Create(other));
        QVERIFY(other->parentWidget() == m_Rig.dialog.get());
    }

    void createWithoutAPlaceholderStartsNothing() {
        CEngineFront front(*m_Rig.engine, m_Rig.dialog.get());
        QVERIFY(!front.Create(nullptr));
        QWidget orphan;
        QVERIFY(!front.Create(&orphan)); // no parent to put a box in
        QVERIFY(!m_Rig.engine->IsRunning());
        QCOMPARE(front.StatusBox(), nullptr);
    }

    void createTakesThePlaceholdersPlaceInALayout() {
        QWidget dialog;
        auto* layout = new QVBoxLayout(&dialog);
        auto* top = new QLabel(QStringLiteral("top"));
        auto* placeholder = new QGroupBox;
        auto* bottom = new QLabel(QStringLiteral("bottom"));
        layout->addWidget(top);
        layout->addWidget(placeholder);
        layout->addWidget(bottom);
        CEngineFront front(*m_Rig.engine, &dialog);
        QVERIFY(front.Create(placeholder));
        QCOMPARE(layout->indexOf(front.StatusBox()), 1);
        dialog.resize(300, 400);
        dialog.show();
        QCoreApplication::processEvents();
        // Laid out by the layout: its children follow its size.
        const auto l = CVLPStatusBox::Compute(front.StatusBox()->width(), front.StatusBox()->height());
        QCOMPARE(front.StatusBox()->QueueBar()->geometry(), l.queue);
    }

    void workerNotificationsReachTheStatusBoxThenTheMainHandler() {
        CEngineFront front(*m_Rig.engine, m_Rig.dialog.get());
        std::vector<int> kinds;
        std::vector<QString> statusAtHandler;
        bool onGuiThread = true;
        front.SetMainHandler([&](const Notification& n) {
            onGuiThread = onGuiThread && QThread::currentThread() == qApp->thread();
            kinds.push_back(n.kind);
            if (n.kind == nkLinkStatus)
                statusAtHandler.push_back(front.StatusBox()->StatusLabel()->text());
        });
        QVERIFY(front.Create(m_Rig.placeholder));
        // No device: Initializing, then Timeout after the read time-out.
        QVERIFY(
            PumpUntil([&] { return front.StatusBox()->StatusLabel()->text() == QStringLiteral("Timeout"); }));
        QVERIFY(PumpUntil([&] { return statusAtHandler.size() >= 2; }));
        QVERIFY(onGuiThread);
        QCOMPARE(statusAtHandler.back(), QStringLiteral("Timeout")); // the box was first
        // A poll: the status box shows Connected; the PC answers EOT.
        m_Rig.pty->Write(B({'P', 0xE1, 0x05}));
        QCOMPARE(Hex(m_Rig.pty->ReadPcFrame()), std::string("00 04"));
        QVERIFY(PumpUntil(
            [&] { return front.StatusBox()->StatusLabel()->text() == QStringLiteral("Connected"); }));
    }

    void textsArriveOwnedAndInOrder() {
        CEngineFront front(*m_Rig.engine, m_Rig.dialog.get());
        std::vector<Notification> got; // all but the worker's link status
        QString identAtHandler;
        front.SetMainHandler([&](const Notification& n) {
            if (n.kind == nkLinkStatus)
                return;
            got.push_back(n);
            if (n.kind == nkIdent)
                identAtHandler = front.StatusBox()->IdentLabel()->text();
        });
        QVERIFY(front.Create(m_Rig.placeholder));
        std::thread poster([&] {
            std::string text = "&PVQ-5 (87)";
            m_Rig.engine->Notify(nkReceived, 0, text);
            text.assign("overwritten"); // the receiver has its own copy
            m_Rig.engine->Notify(nkIdent, 1, "VQ-5 (87) ident");
            for (int i = 1; i <= 100; ++i)
                m_Rig.engine->Notify(nkQueueProgress, i);
        });
        poster.join();
        QVERIFY(PumpUntil([&] { return got.size() == 102; }));
        QCOMPARE(got[0].kind, int(nkReceived));
        QCOMPARE(got[0].text, std::string("&PVQ-5 (87)"));
        QCOMPARE(got[1].text, std::string("VQ-5 (87) ident"));
        QCOMPARE(identAtHandler, QStringLiteral("VQ-5 (87) ident")); // the box had it first
        for (int i = 1; i <= 100; ++i)
            QCOMPARE(got[std::size_t(i + 1)].value, long(i));
        QCOMPARE(front.StatusBox()->QueuePosition(), 100);
    }

    void notificationsAfterTheFrontIsGoneAreDropped() {
        int handled = 0;
        auto front = std::make_unique<CEngineFront>(*m_Rig.engine, m_Rig.dialog.get());
        front->SetMainHandler([&](const Notification&) { ++handled; });
        QVERIFY(front->Create(m_Rig.placeholder));
        QVERIFY(PumpUntil([&] { return handled >= 1; })); // Initializing arrived
        const int before = handled;
        std::thread poster([&] {
            for (int i = 0; i < 1000; ++i)
                m_Rig.engine->Notify(nkQueueProgress, i);
        });
        poster.join();
        front.reset(); // 1000 queued calls die with it
        QCoreApplication::processEvents();
        QCOMPARE(handled, before);
        QVERIFY(!m_Rig.engine->IsRunning());
        m_Rig.engine->Notify(nkQueueProgress, 1); // nobody attached any more
        m_Rig.engine->Trace(3, "nobody");
        QCoreApplication::processEvents();
        QCOMPARE(handled, before);
    }

    void destructionStopsTheWorkerAndDetaches() {
        auto front = std::make_unique<CEngineFront>(*m_Rig.engine, m_Rig.dialog.get());
        QVERIFY(front->Create(m_Rig.placeholder));
        front->ShowLogWindow();
        QPointer<CVLPLogWnd> wnd = front->LogWindow();
        QPointer<CVLPStatusBox> box = front->StatusBox();
        QVERIFY(m_Rig.engine->HasTraceSink());
        CWatchdog dog("front destruction");
        front.reset();
        QVERIFY(!m_Rig.engine->IsRunning());
        QVERIFY(!m_Rig.engine->HasTraceSink());
        QVERIFY(wnd.isNull());
        QVERIFY(box.isNull());
        QVERIFY(m_Rig.store.Has("VLPLogWnd", "Level")); // the log window wrote its settings
        QVERIFY(m_Rig.store.Has("VLPLogWnd", "logWnd_x1"));
    }

    void logButtonTogglesTheLogWindow() {
        CEngineFront front(*m_Rig.engine, m_Rig.dialog.get());
        m_Rig.dialog->setFont(QFont(QStringLiteral("Sans"), 13));
        QVERIFY(front.Create(m_Rig.placeholder));
        QCOMPARE(front.LogWindow(), nullptr);
        front.StatusBox()->LogButton()->click();
        QPointer<CVLPLogWnd> first = front.LogWindow();
        QVERIFY(first != nullptr);
        QVERIFY(first->isVisible());
        QVERIFY(first->parentWidget() == nullptr); // a window of its own
        QCOMPARE(first->font().pointSize(), 13);   // the main window's font
        QVERIFY(m_Rig.engine->HasTraceSink());
        first->LevelBox(0)->click();             // I/O on: mask 15
        front.StatusBox()->LogButton()->click(); // closes
        QCOMPARE(front.LogWindow(), nullptr);
        QVERIFY(!m_Rig.engine->HasTraceSink());
        QVERIFY(PumpUntil([&] { return first.isNull(); })); // deletes itself
        QCOMPARE(m_Rig.store.ReadInt("VLPLogWnd", "Level").value_or(-1), 15);
        front.StatusBox()->LogButton()->click(); // a fresh one, with the levels restored
        QVERIFY(front.LogWindow() != nullptr);
        QCOMPARE(front.LogWindow()->LevelMask(), 15);
        QCOMPARE(front.LogWindow()->Model().Rows(), std::size_t(0));
        QCOMPARE(front.LogWindow()->StartStopButton()->text(), QStringLiteral("Stop"));
    }

    void exitButtonAndCloseBoxCloseTheWindow() {
        CEngineFront front(*m_Rig.engine, m_Rig.dialog.get());
        QVERIFY(front.Create(m_Rig.placeholder));
        front.ShowLogWindow();
        front.LogWindow()->ExitButton()->click();
        QCOMPARE(front.LogWindow(), nullptr);
        QVERIFY(!m_Rig.engine->HasTraceSink());
        front.ShowLogWindow();
        front.LogWindow()->close();
        QCOMPARE(front.LogWindow(), nullptr);
        front.ShowLogWindow(); // open again right away, before the old ones are deleted
        QVERIFY(m_Rig.engine->HasTraceSink());
        QCoreApplication::processEvents(); // the old windows go; the new one stays attached
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(m_Rig.engine->HasTraceSink());
        QVERIFY(front.LogWindow() != nullptr);
    }

    void noEarlierLinesAfterReopening() {
        CEngineFront front(*m_Rig.engine, m_Rig.dialog.get());
        QVERIFY(front.Create(m_Rig.placeholder));
        auto has = [&](const char* text) {
            auto& model = front.LogWindow()->Model();
            for (std::size_t i = 0; i < model.Rows(); ++i)
                if (model.MessageText(i) == QLatin1String(text))
                    return true;
            return false;
        };
        front.ShowLogWindow();
        m_Rig.engine->Trace(3, "while open");
        QVERIFY(PumpUntil([&] { return has("while open"); }));
        front.ShowLogWindow();
        m_Rig.engine->Trace(3, "while closed");
        front.ShowLogWindow();
        m_Rig.engine->Trace(3, "reopened");
        QVERIFY(PumpUntil([&] { return has("reopened"); }));
        QVERIFY(!has("while open"));
        QVERIFY(!has("while closed"));
    }

    void workerTracesReachTheLogWindow() {
        CEngineFront front(*m_Rig.engine, m_Rig.dialog.get());
        QVERIFY(front.Create(m_Rig.placeholder));
        front.ShowLogWindow();
        front.LogWindow()->SetLevelMask(15);
        m_Rig.engine->QueueText("&PIA");
        // Poll until the queued message comes; acknowledge it.
        std::string payload;
        for (int tries = 0; tries < 20 && payload.empty(); ++tries) {
            m_Rig.pty->Write(B({'P', 0xE1, 0x05}));
            const auto f = m_Rig.pty->ReadPcFrame();
            if (f.size() > 8 && f[0] == 0x01) {
                payload.assign(f.begin() + 5, f.end() - 3);
                m_Rig.pty->Write(B({0xE1, 0x06}));
                QCOMPARE(Hex(m_Rig.pty->ReadPcFrame()), std::string("00 04"));
            }
        }
        QCOMPARE(payload, std::string("&PIA"));
        auto has = [&](const QString& text) {
            auto& model = front.LogWindow()->Model();
            for (std::size_t i = 0; i < model.Rows(); ++i)
                if (model.MessageText(i).contains(text))
                    return true;
            return false;
        };
        QVERIFY(PumpUntil([&] { return has(QStringLiteral("CVLPMsg::TxMessage() = \"&PIA\"")); }));
        QVERIFY(has(QStringLiteral("CVLPSlave::StateEngine(), State=")));
        // The traffic reached the counters the status box shows.
        QVERIFY(PumpUntil([&] {
            return front.StatusBox()->OutBar()->value() > 0 || front.StatusBox()->InBar()->value() > 0;
        }));
    }
};

QTEST_MAIN(EngineFrontTests)
#include "EngineFrontTests.moc"
