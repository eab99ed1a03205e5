// The engine status box: layout from the rectangle, reactions to each notification kind,
// and the half-second traffic bars whose maxima only grow.
#include "VLPStatusBox.h"

#include "SettingsStore.h"
#include "VLPEngine.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

using namespace vq5;
using namespace vq5::qt;

class StatusBoxTests : public QObject {
    Q_OBJECT

    CMemoryStore m_Store;
    std::unique_ptr<CVLPEngine> m_Engine;
    std::unique_ptr<QWidget> m_Dialog;
    CVLPStatusBox* m_Box = nullptr;

private slots:
    void init() {
        m_Engine = std::make_unique<CVLPEngine>(&m_Store);
        m_Dialog = std::make_unique<QWidget>();
        m_Box = new CVLPStatusBox(m_Dialog.get(), QRect(12, 20, 200, 107), *m_Engine);
    }
    void cleanup() {
        m_Dialog.reset();
        m_Engine.reset();
    }

    // A long identification shows its start, elided at the end, and the whole text as the
    // tooltip; the traffic text is never cut off without its whole text at hand.
    void longTextsShowTheirStartAndKeepTheWholeText() {
        m_Dialog->show(); // resize events reach a shown box
        const QString ident = "VQ-5 (87) VQ-5 simulator 12.03.2004 build 17";
        m_Box->OnNotify({nkIdent, 1, ident.toStdString()});
        QLabel* l = m_Box->IdentLabel();
        QCOMPARE(m_Box->IdentText(), ident);
        QCOMPARE(l->toolTip(), ident);
        QVERIFY(l->text() != ident);
        QVERIFY(l->text().startsWith("VQ-5 (8"));
        QVERIFY(l->text().endsWith(QChar(0x2026)));
        QVERIFY(l->fontMetrics().horizontalAdvance(l->text()) <= l->contentsRect().width());
        QCOMPARE(l->alignment() & Qt::AlignLeft, Qt::AlignLeft);

        for (int width : {120, 200, 320}) {
            m_Box->resize(width, 107);
            QLabel* t = m_Box->TrafficLabel();
            QVERIFY(QFontMetrics(t->font()).horizontalAdvance(t->text()) <= t->width());
            if (t->text() != "Count In / Out + Queue progress")
                QCOMPARE(t->toolTip(), QString("Count In / Out + Queue progress"));
        }
        m_Box->resize(700, 107); // room enough: whole and centred
        QCOMPARE(l->text(), ident);
        QCOMPARE(l->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    }

    void layoutFollowsTheRectangle() {
        // W 200, H 107: u = 10, s = 76, t = 152.
        QCOMPARE(m_Box->geometry(), QRect(12, 20, 200, 107));
        QCOMPARE(m_Box->title(), QStringLiteral("Velto Engine"));
        QCOMPARE(m_Box->StatusLabel()->geometry(), QRect(QPoint(10, 21), QPoint(75, 34)));
        QCOMPARE(m_Box->IdentLabel()->geometry(), QRect(QPoint(78, 20), QPoint(189, 34)));
        QCOMPARE(m_Box->TrafficLabel()->geometry(), QRect(QPoint(10, 40), QPoint(189, 59)));
        QCOMPARE(m_Box->InBar()->geometry(), QRect(QPoint(10, 60), QPoint(151, 69)));
        QCOMPARE(m_Box->OutBar()->geometry(), QRect(QPoint(10, 70), QPoint(151, 79)));
        QCOMPARE(m_Box->LogButton()->geometry(), QRect(QPoint(154, 60), QPoint(189, 79)));
        QCOMPARE(m_Box->QueueBar()->geometry(), QRect(QPoint(10, 90), QPoint(189, 99)));
        QCOMPARE(m_Box->TrafficLabel()->text(), QStringLiteral("Count In / Out + Queue progress"));
        QCOMPARE(m_Box->LogButton()->text(), QStringLiteral("&Log"));
    }

    void layoutArithmeticUsesIntegerDivision() {
        // W 123, H 60: u = 5, s = 45, t = 90.
        const auto l = CVLPStatusBox::Compute(123, 60);
        QCOMPARE(l.status, QRect(10, 11, 35, 4));
        QCOMPARE(l.ident, QRect(47, 10, 66, 5));
        QCOMPARE(l.log, QRect(92, 30, 21, 10));
        QCOMPARE(l.queue, QRect(10, 45, 103, 5));
        // A box too small for its children gets empty rectangles, never negative ones.
        const auto tiny = CVLPStatusBox::Compute(5, 3);
        QVERIFY(tiny.status.width() >= 0 && tiny.status.height() >= 0);
        QVERIFY(tiny.queue.width() >= 0 && tiny.queue.height() >= 0);
    }

    void resizedBoxLaysOutAgain() {
        m_Dialog->show();        // resize events reach visible widgets
        m_Box->resize(300, 207); // u = 20, t = 232
        QCOMPARE(m_Box->QueueBar()->geometry(), QRect(10, 180, 280, 20));
        QCOMPARE(m_Box->LogButton()->geometry(), QRect(234, 120, 56, 40));
    }

    void identificationHiddenUntilFirstAndGreyedOnExit() {
        QVERIFY(m_Box->IdentLabel()->isHidden());
        QVERIFY(!m_Box->IdentLabel()->isEnabled());
        m_Box->OnNotify({nkIdent, 0, {}}); // program mode left before any identification
        QVERIFY(m_Box->IdentLabel()->isHidden());
        m_Box->OnNotify({nkIdent, 1, "VQ-5 (87) 12.03.2004"});
        QVERIFY(!m_Box->IdentLabel()->isHidden());
        QVERIFY(m_Box->IdentLabel()->isEnabled());
        QCOMPARE(m_Box->IdentText(), QStringLiteral("VQ-5 (87) 12.03.2004"));
        QCOMPARE(m_Box->IdentLabel()->toolTip(), QStringLiteral("VQ-5 (87) 12.03.2004"));
        QVERIFY(m_Box->IdentLabel()->text().startsWith(QStringLiteral("VQ-5 (8")));
        m_Box->OnNotify({nkIdent, 0, {}});
        QVERIFY(!m_Box->IdentLabel()->isHidden());
        QVERIFY(!m_Box->IdentLabel()->isEnabled());
        QCOMPARE(m_Box->IdentText(), QStringLiteral("VQ-5 (87) 12.03.2004")); // stays, greyed
        m_Box->OnNotify({nkIdent, 1, "VQ-5 (91)"});
        QVERIFY(m_Box->IdentLabel()->isEnabled());
        QCOMPARE(m_Box->IdentLabel()->text(), QStringLiteral("VQ-5 (91)")); // short: whole, centred
        QCOMPARE(m_Box->IdentLabel()->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    }

    void linkStatusShowsTheEnginesCurrentStatusName() {
        const char* names[] = {"Idle", "Initializing", "Connected", "Timeout", "Error", "Stopped"};
        for (int s = 0; s < 6; ++s) {
            m_Engine->m_Status = s;
            m_Box->OnNotify({nkLinkStatus, s, {}});
            QCOMPARE(m_Box->StatusLabel()->text(), QString::fromLatin1(names[s]));
        }
        m_Engine->m_Status = 9;
        m_Box->OnNotify({nkLinkStatus, 9, {}});
        QCOMPARE(m_Box->StatusLabel()->text(), QStringLiteral("ERROR"));
    }

    void queueBarFillsFallsAndEmpties() {
        QCOMPARE(m_Box->QueuePosition(), 0);
        QCOMPARE(m_Box->QueueBar()->value(), 0); // empty, not a busy animation
        QVERIFY(m_Box->QueueBar()->maximum() > 0);
        m_Box->OnNotify({nkQueueProgress, 30, {}}); // 30 queued, 0 sent: full
        QCOMPARE(m_Box->QueueMaximum(), 30);
        QCOMPARE(m_Box->QueuePosition(), 30);
        QCOMPARE(m_Box->QueueBar()->maximum(), 30);
        QCOMPARE(m_Box->QueueBar()->value(), 30);
        m_Box->OnNotify({nkQueueProgress, (12L << 16) | 30, {}}); // 12 sent
        QCOMPARE(m_Box->QueuePosition(), 18);
        QCOMPARE(m_Box->QueueBar()->value(), 18);
        m_Box->OnNotify({nkQueueProgress, (30L << 16) | 30, {}});
        QCOMPARE(m_Box->QueueBar()->value(), 0);
        m_Box->OnNotify({nkQueueProgress, (4L << 16) | 34, {}}); // more queued meanwhile
        QCOMPARE(m_Box->QueueBar()->maximum(), 34);
        QCOMPARE(m_Box->QueueBar()->value(), 30);
        m_Box->OnNotify({nkQueueEmpty, 0, {}});
        QCOMPARE(m_Box->QueuePosition(), 0);
        QCOMPARE(m_Box->QueueBar()->value(), 0);
    }

    void queueCountersCutTo16BitsNeverOverrunTheBar() {
        // Sent beyond queued after the 16-bit cut: shown empty, not refused by the bar.
        m_Box->OnNotify({nkQueueProgress, (0xFFF0L << 16) | 0x0010, {}});
        QCOMPARE(m_Box->QueueMaximum(), 0x10);
        QCOMPARE(m_Box->QueuePosition(), 0);
        QCOMPARE(m_Box->QueueBar()->value(), 0);
        m_Box->OnNotify({nkQueueProgress, -1, {}}); // both counters 0xFFFF
        QCOMPARE(m_Box->QueueMaximum(), 0xFFFF);
        QCOMPARE(m_Box->QueuePosition(), 0);
        m_Box->OnNotify({nkQueueProgress, 0, {}}); // an empty batch: an empty bar
        QCOMPARE(m_Box->QueueBar()->value(), 0);
        QVERIFY(m_Box->QueueBar()->maximum() > 0);
    }

    void receivedTextsAndUnknownKindsChangeNothing() {
        m_Engine->m_Status = 2;
        m_Box->OnNotify({nkLinkStatus, 2, {}});
        m_Box->OnNotify({nkQueueProgress, 20, {}});
        m_Box->OnNotify({nkReceived, 0, "&PVQ-5 (87)"});
        m_Box->OnNotify({nkGenerated, 0, "V1234"});
        m_Box->OnNotify({99, 12345, "x"});
        QCOMPARE(m_Box->StatusLabel()->text(), QStringLiteral("Connected"));
        QCOMPARE(m_Box->QueuePosition(), 20);
        QVERIFY(m_Box->IdentLabel()->isHidden());
    }

    void timerTakesTheCountsAndMaximaOnlyGrow() {
        QVERIFY(m_Box->Timer()->isActive());
        QCOMPARE(m_Box->Timer()->interval(), 500);
        QCOMPARE(m_Box->InMaximum(), 60u);
        QCOMPARE(m_Box->OutMaximum(), 60u);

        m_Engine->m_CountIn = 45;
        m_Engine->m_CountOut = 12;
        m_Box->OnTimer();
        QCOMPARE(m_Engine->m_CountIn.load(), 0); // taken and reset
        QCOMPARE(m_Engine->m_CountOut.load(), 0);
        QCOMPARE(m_Box->InMaximum(), 60u);
        QCOMPARE(m_Box->InBar()->maximum(), 60);
        QCOMPARE(m_Box->InBar()->value(), 45);
        QCOMPARE(m_Box->OutBar()->value(), 12);

        m_Engine->m_CountIn = 150;
        m_Engine->m_CountOut = 61;
        m_Box->OnTimer();
        QCOMPARE(m_Box->InMaximum(), 150u);
        QCOMPARE(m_Box->InBar()->maximum(), 150);
        QCOMPARE(m_Box->InBar()->value(), 150);
        QCOMPARE(m_Box->OutMaximum(), 61u);
        QCOMPARE(m_Box->OutBar()->maximum(), 61);

        m_Engine->m_CountIn = 30;
        m_Box->OnTimer();
        QCOMPARE(m_Box->InMaximum(), 150u); // never shrinks
        QCOMPARE(m_Box->InBar()->maximum(), 150);
        QCOMPARE(m_Box->InBar()->value(), 30);
        QCOMPARE(m_Box->OutBar()->value(), 0);
        QCOMPARE(m_Box->OutMaximum(), 61u);
    }

    void timerRunsByItself() {
        m_Engine->m_CountOut = 77;
        QTRY_COMPARE_WITH_TIMEOUT(m_Engine->m_CountOut.load(), 0, 10000);
        QCOMPARE(m_Box->OutMaximum(), 77u);
    }

    void countsAddedByAnotherThreadAreNotLostBeyondOneReset() {
        // The worker adds while the GUI takes: every byte is counted exactly once.
        std::atomic<bool> run{true};
        std::thread worker([&] {
            for (int i = 0; i < 200000; ++i)
                m_Engine->m_CountIn += 1;
            run = false;
        });
        long long seen = 0;
        unsigned maxSeen = 0;
        while (run.load()) {
            m_Box->OnTimer();
            seen += m_Box->InBar()->value();
            maxSeen = std::max<unsigned>(maxSeen, static_cast<unsigned>(m_Box->InBar()->value()));
        }
        worker.join();
        m_Box->OnTimer();
        seen += m_Box->InBar()->value();
        QCOMPARE(seen, 200000LL);
        QVERIFY(m_Box->InMaximum() >= maxSeen);
    }

    void logButtonAsksForTheLogWindow() {
        QSignalSpy spy(m_Box, &CVLPStatusBox::logRequested);
        m_Box->LogButton()->click();
        m_Box->LogButton()->click();
        QCOMPARE(spy.count(), 2);
    }
};

QTEST_MAIN(StatusBoxTests)
#include "StatusBoxTests.moc"
