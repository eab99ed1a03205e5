// The "Link health" window on an engine whose device is played on a pseudo-terminal: it
// samples only while shown, shows the figures of the link and plots errors; the status box's
// context menu opens it; the protocol log window records the link into a capture file.
#include "EngineFront.h"
#include "FrontRig.h"
#include "LinkHealthWnd.h"
#include "MenuChooser.h"
#include "PcapCapture.h"
#include "PtyHelpers.h"
#include "SettingsStore.h"
#include "VLPEngine.h"
#include "VLPLogWnd.h"
#include "VLPStatusBox.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace vq5;
using namespace vq5::qt;
using namespace vq5::test;

class LinkHealthTests : public QObject {
    Q_OBJECT

    vq5::test::CFrontRig m_Rig;

    // Polls and takes the PC's EOT.
    void PollOnce() {
        m_Rig.pty->Write(B({'P', ADR, ENQ}));
        QCOMPARE(Hex(m_Rig.pty->ReadPcFrame()), QStringLiteral("00 04").toStdString());
    }

private slots:
    void initTestCase() { SetDefaultSettingsStore(&m_Rig.store); }
    void cleanupTestCase() { SetDefaultSettingsStore(nullptr); }

    void init() { m_Rig.Make(2000); }
    void cleanup() { m_Rig.Clear(); }

    void samplesOnlyWhileShown() {
        CEngineFront front(*m_Rig.engine, m_Rig.dialog.get());
        QVERIFY(front.Create(m_Rig.placeholder));
        QCOMPARE(front.LinkHealthWindow(), nullptr); // nothing made until asked for
        front.ShowLinkHealth();
        CLinkHealthWnd* wnd = front.LinkHealthWindow();
        QVERIFY(wnd);
        QVERIFY(wnd->isVisible());
        QCOMPARE(wnd->windowTitle(), QStringLiteral("Link health"));
        QVERIFY(wnd->Timer()->isActive());
        QVERIFY(wnd->Timer()->interval() >= 250); // at most a few updates a second
        wnd->close();
        QVERIFY(!wnd->Timer()->isActive());
        front.ShowLinkHealth(); // the same window again
        QCOMPARE(front.LinkHealthWindow(), wnd);
        QVERIFY(wnd->Timer()->isActive());
    }

    void showsTheFiguresAndPlotsErrors() {
        CEngineFront front(*m_Rig.engine, m_Rig.dialog.get());
        QVERIFY(front.Create(m_Rig.placeholder));
        QTRY_VERIFY_WITH_TIMEOUT(m_Rig.engine->IsOpen(), 10000);
        CLinkHealthWnd wnd(*m_Rig.engine);
        wnd.Sample();
        for (int i = 0; i < 3; ++i)
            PollOnce();
        // A select whose frame arrives damaged: the PC NAKs it; then the good frame.
        m_Rig.pty->Write(B({'S', ADR, ENQ}));
        QCOMPARE(Hex(m_Rig.pty->ReadPcFrame()), std::string("E1 06"));
        Bytes bad = InfoFrameBytes(std::string("&QIA1"));
        bad.back() ^= 0x20;
        m_Rig.pty->Write(bad);
        QCOMPARE(Hex(m_Rig.pty->ReadPcFrame()), std::string("E1 15"));
        m_Rig.pty->Write(InfoFrameBytes(std::string("&QIA1")));
        QCOMPARE(Hex(m_Rig.pty->ReadPcFrame()), std::string("E1 06"));
        // The engine counts the last ACK once it is written, just after the device read it.
        QTRY_COMPARE_WITH_TIMEOUT(m_Rig.engine->Figures().framesSent, std::uint64_t(6), 10000);
        wnd.Sample();
        QCOMPARE(wnd.Figure("naks")->text(), QStringLiteral("0 / 1"));
        QCOMPARE(wnd.Figure("damaged")->text(), QStringLiteral("1"));
        QCOMPARE(wnd.Figure("frames")->text(),
                 QStringLiteral("5 / 6")); // 3 polls, select, good frame / 3 EOT, ACK, NAK, ACK
        QCOMPARE(wnd.Figure("baud")->text(), QStringLiteral("1200 baud"));
        QVERIFY(wnd.Figure("status")->text().startsWith(QStringLiteral("Connected for ")));
        QVERIFY(wnd.Figure("answer")->text().contains(QStringLiteral(" ms")));
        QCOMPARE(wnd.Plot()->Points().size(), std::size_t(1));
        QVERIFY(wnd.Plot()->Points().back().errors > 0);
        QVERIFY(wnd.Plot()->Points().back().polls > 0);
        wnd.resize(600, 560);
        wnd.show();
        QVERIFY(QTest::qWaitForWindowExposed(&wnd));
        QVERIFY(!wnd.grab().isNull());
    }

    void plotKeepsTheLastFiveMinutes() {
        CLinkPlot plot;
        plot.Add({1000, 20, 0, 0.05});
        plot.Add({1030, 20, 1, 0.05});
        QCOMPARE(plot.SpanS(), CLinkPlot::kMinSpanS); // a short history still gets a minute
        for (double t = 1030.5; t <= 1400; t += 0.5)
            plot.Add({t, 20, 0, -1});
        QCOMPARE(plot.SpanS(), CLinkPlot::kSpanS);
        QCOMPARE(plot.Points().back().t, 1400.0);
        QCOMPARE(plot.Points().front().t, 1100.0); // older points are gone
        plot.resize(400, 240);
        QVERIFY(!plot.grab().isNull()); // paints points without an answer time too
    }

    void statusBoxMenuOpensIt() {
        CEngineFront front(*m_Rig.engine, m_Rig.dialog.get());
        QVERIFY(front.Create(m_Rig.placeholder));
        m_Rig.dialog->show();
        const auto seen = vq5::test::ChooseInMenu(0, [&] {
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                    front.StatusBox()->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(front.StatusBox(), &event);
        });
        QCOMPARE(seen.texts, QStringList{QStringLiteral("Link health...")});
        QVERIFY(front.LinkHealthWindow());
        QVERIFY(front.LinkHealthWindow()->isVisible());
    }

    void logWindowRecordsUntilStop() {
        CEngineFront front(*m_Rig.engine, m_Rig.dialog.get());
        QVERIFY(front.Create(m_Rig.placeholder));
        QTRY_VERIFY_WITH_TIMEOUT(m_Rig.engine->IsOpen(), 10000);
        front.ShowLogWindow();
        CVLPLogWnd* log = front.LogWindow();
        QVERIFY(log);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("visit.pcap"));
        QString reason;
        QVERIFY(!log->StartRecording(dir.filePath(QStringLiteral("no/such/dir/x.pcap")), &reason));
        QVERIFY(!reason.isEmpty());
        QVERIFY(log->StartRecording(path, &reason));
        QVERIFY(log->Recording());
        PollOnce();
        log->StartStopButton()->click(); // "Stop" ends the recording
        QVERIFY(!log->Recording());
        QVERIFY(!m_Rig.engine->Capturing());
        PollOnce(); // not recorded any more
        std::vector<CaptureRecord> records;
        std::string error;
        QVERIFY2(ReadCaptureFile(path.toStdString(), records, error), error.c_str());
        Bytes in, out;
        for (const auto& r : records) {
            if (r.SpeedChange())
                continue;
            (r.direction == LinkDirection::DeviceToPc ? in : out)
                .insert((r.direction == LinkDirection::DeviceToPc ? in : out).end(), r.bytes.begin(),
                        r.bytes.end());
        }
        QVERIFY(records.front().SpeedChange());
        QCOMPARE(records.front().baud, 1200);
        QCOMPARE(Hex(in), std::string("50 E1 05"));
        QCOMPARE(Hex(out), std::string("00 04"));
    }
};

QTEST_MAIN(LinkHealthTests)
#include "LinkHealthTests.moc"
