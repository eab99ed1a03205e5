// The protocol log window: level filtering and pause before anything is copied, the time
// column, the '$' lines of the engine, the 2000-character cut, batching of lines from the
// worker (at most one slice per event-loop turn), the bounded pending queue and its
// "... N lines dropped" line, the table list and its chunked row storage, the layout on
// resize, the level mask and placement in "VLPLogWnd", a list of hundreds of thousands of
// rows; "Copy" and "Save...": the saved file holds the rows as the list shows them, byte for
// byte (UTF-8), "Time<TAB>Message" one line per row, "Copy" takes the selected rows, a failed
// save gives the system's reason.
#include "VLPLogWnd.h"
#include "LogWndRig.h"
#include "MenuChooser.h"
#include "QtTestSupport.h"
#include "ShownText.h"

#include "ListExport.h"
#include "SettingsStore.h"
#include "VLPEngine.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QHeaderView>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTableView>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <random>

using namespace vq5;
using namespace vq5::qt;
using namespace vq5::qt::test;
using namespace vq5::test;

namespace {

// prefix followed by the number in decimal.
std::string Numbered(const char* prefix, std::size_t n) {
    std::string s(prefix);
    s += std::to_string(n);
    return s;
}

// "... N lines dropped" -> N; -1 for any other text.
long long DroppedCount(const QString& text) {
    static const QRegularExpression re(QStringLiteral("^\\.\\.\\. (\\d+) lines dropped$"));
    const auto m = re.match(text);
    return m.hasMatch() ? m.captured(1).toLongLong() : -1;
}

QStringList Messages(CVLPLogWnd& wnd) {
    QStringList out;
    for (std::size_t i = 0; i < wnd.Model().Rows(); ++i)
        out << wnd.Model().MessageText(i);
    return out;
}

} // namespace

class LogWndTests : public QObject {
    Q_OBJECT

    vq5::test::CLogWndRig m_Rig;

private slots:
    void init() { m_Rig.Make(); }
    void cleanup() { m_Rig.Clear(); }

    void windowShowsItsControls() {
        auto wnd = m_Rig.Open();
        QCOMPARE(wnd->windowTitle(), QStringLiteral("VQ-5 Velto Protocol log window"));
        QCOMPARE(wnd->Model().headerData(0, Qt::Horizontal).toString(), QStringLiteral("Time"));
        QCOMPARE(wnd->Model().headerData(1, Qt::Horizontal).toString(), QStringLiteral("Message"));
        QCOMPARE(wnd->List()->horizontalHeader()->sectionSize(0), 60);
        QCOMPARE(wnd->LevelGroup()->title(), QStringLiteral("Debug"));
        const char* names[] = {"I/O", "Frame", "Slave", "Appl"};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(wnd->LevelBox(i)->text(), QString::fromLatin1(names[i]));
        QCOMPARE(wnd->ExitButton()->text(), QStringLiteral("Exit"));
        QCOMPARE(wnd->StartStopButton()->text(), QStringLiteral("Stop"));
        QCOMPARE(wnd->focusWidget(), wnd->ExitButton());
        QVERIFY(m_Rig.engine->HasTraceSink());
    }

    void defaultMaskListsFrameSlaveApplButNotIO() {
        auto wnd = m_Rig.Open();
        QCOMPARE(wnd->LevelMask(), 14);
        QVERIFY(!wnd->LevelBox(0)->isChecked());
        QVERIFY(wnd->LevelBox(1)->isChecked() && wnd->LevelBox(2)->isChecked() &&
                wnd->LevelBox(3)->isChecked());
        m_Rig.engine->Trace(0, "io %d", 0);
        m_Rig.engine->Trace(1, "frame %d", 1);
        m_Rig.engine->Trace(2, "slave %d", 2);
        m_Rig.engine->Trace(3, "appl %d", 3);
        wnd->Flush();
        QCOMPARE(Messages(*wnd), (QStringList{"frame 1", "slave 2", "appl 3"}));
    }

    void checkBoxesRebuildTheMask() {
        auto wnd = m_Rig.Open();
        wnd->show();
        wnd->LevelBox(0)->click(); // I/O on
        wnd->LevelBox(2)->click(); // Slave off
        QCOMPARE(wnd->LevelMask(), 1 | 2 | 8);
        m_Rig.engine->Trace(0, "io");
        m_Rig.engine->Trace(2, "slave");
        m_Rig.engine->Trace(3, "appl");
        wnd->Flush();
        QCOMPARE(Messages(*wnd), (QStringList{"io", "appl"}));
        // Levels outside 0..3 are dropped, never shifted out of range.
        wnd->AddLine(-1, "neg");
        wnd->AddLine(4, "four");
        wnd->AddLine(40, "forty");
        wnd->Flush();
        QCOMPARE(wnd->Model().Rows(), std::size_t(2));
    }

    void pauseDropsLinesUntilStarted() {
        auto wnd = m_Rig.Open();
        wnd->show();
        m_Rig.engine->Trace(3, "before");
        wnd->StartStopButton()->click();
        QVERIFY(wnd->Paused());
        QCOMPARE(wnd->StartStopButton()->text(), QStringLiteral("Start"));
        m_Rig.engine->Trace(3, "while paused");
        wnd->StartStopButton()->click();
        QVERIFY(!wnd->Paused());
        QCOMPARE(wnd->StartStopButton()->text(), QStringLiteral("Stop"));
        m_Rig.engine->Trace(3, "after");
        wnd->Flush();
        QCOMPARE(Messages(*wnd), (QStringList{"before", "after"}));
    }

    void timeColumnIsMinuteSecondHundredthsOfUtc() {
        QCOMPARE(FormatLogTime(MsOfHour(AtMinute5Second7Ms123())), QStringLiteral(" 5:07.12"));
        QCOMPARE(FormatLogTime(0), QStringLiteral(" 0:00.00"));
        QCOMPARE(FormatLogTime(59 * 60000 + 59 * 1000 + 999), QStringLiteral("59:59.99"));
        QCOMPARE(FormatLogTime(12 * 60000 + 3 * 1000 + 9), QStringLiteral("12:03.00"));
        auto wnd = m_Rig.Open();
        wnd->SetClock([] { return AtMinute5Second7Ms123(); });
        m_Rig.engine->Trace(3, "stamped");
        wnd->Flush();
        QCOMPARE(wnd->Model().data(wnd->Model().index(0, 0)).toString(), QStringLiteral(" 5:07.12"));
        QCOMPARE(wnd->Model().data(wnd->Model().index(0, 1)).toString(), QStringLiteral("stamped"));
        // The line is stamped when it is handed over, not when the list shows it.
        wnd->SetClock([] { return AtMinute5Second7Ms123() + std::chrono::minutes(20); });
        wnd->Flush();
        QCOMPARE(wnd->Model().TimeText(0), QStringLiteral(" 5:07.12"));
    }

    void dollarShowsTheFrameBufferQuoted() {
        auto wnd = m_Rig.Open();
        std::memcpy(m_Rig.engine->m_Data, "&PIA", 5);
        m_Rig.engine->m_Len = 4;
        m_Rig.engine->Trace(3, "CVLPMsg::TxMessage() = $");
        // Only the first '$' is replaced, also one that came in through an argument.
        m_Rig.engine->Trace(3, "CVLPMsg::RxMessage(%s) $", "$");
        wnd->Flush();
        QCOMPARE(Messages(*wnd),
                 (QStringList{"CVLPMsg::TxMessage() = \"&PIA\"", "CVLPMsg::RxMessage(\"&PIA\") $"}));
    }

    void longLinesAreCutTo2000() {
        auto wnd = m_Rig.Open();
        const std::string big(5000, 'x');
        m_Rig.engine->Trace(3, "%s", big.c_str());
        wnd->AddLine(3, std::string(3000, 'y')); // straight from another sink user
        std::memset(m_Rig.engine->m_Data, 0x01, 255);
        m_Rig.engine->m_Len = 255;
        const std::string nearFull(1990, 'z');
        m_Rig.engine->Trace(3, "%s$", nearFull.c_str()); // the expansion would overrun
        wnd->Flush();
        QCOMPARE(wnd->Model().Rows(), std::size_t(3));
        for (std::size_t i = 0; i < 3; ++i)
            QVERIFY2(wnd->Model().MessageText(i).size() <= 2000, qPrintable(QString::number(i)));
        QVERIFY(wnd->Model().MessageText(0).startsWith(QStringLiteral("xxxx")));
        QCOMPARE(wnd->Model().MessageText(1).size(), 2000);
        QVERIFY(wnd->Model().MessageText(2).startsWith(QString::fromStdString(nearFull)));
    }

    void eightBitTextKeepsOneCharacterPerByte() {
        auto wnd = m_Rig.Open();
        wnd->AddLine(3, std::string("a\xff\x80z", 4));
        wnd->Flush();
        QCOMPARE(wnd->Model().MessageText(0).size(), 4);
        QCOMPARE(wnd->Model().MessageText(0).at(1).unicode(), ushort(0xFF));
    }

    // The list follows new lines while it shows the bottom; a reader who scrolled up stays
    // where they are until they scroll back down.
    void followsNewLinesOnlyAtTheBottom() {
        auto wnd = m_Rig.Open();
        wnd->resize(400, 300);
        wnd->show();
        QVERIFY(QTest::qWaitForWindowExposed(wnd.get()));
        QScrollBar* bar = wnd->List()->verticalScrollBar();
        auto add = [&](int n) {
            for (int i = 0; i < n; ++i)
                m_Rig.engine->Trace(3, "line %d", i);
            QVERIFY(PumpUntil([&] { return wnd->PendingLines() == 0; }));
            QCoreApplication::processEvents();
        };
        add(200);
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
        bar->setValue(10); // the reader scrolls up
        add(200);
        QCOMPARE(bar->value(), 10);
        QVERIFY(bar->maximum() > 10);
        bar->setValue(bar->maximum()); // and back to the bottom
        add(50);
        QCOMPARE(bar->value(), bar->maximum());
        QCOMPARE(wnd->List()->indexAt(wnd->List()->viewport()->rect().bottomLeft() - QPoint(0, 2)).row(),
                 static_cast<int>(wnd->Model().Rows()) - 1);
    }

    void linesOfOneTurnArriveInOneBatch() {
        auto wnd = m_Rig.Open();
        QSignalSpy inserted(&wnd->Model(), &QAbstractItemModel::rowsInserted);
        for (int i = 0; i < 1000; ++i)
            m_Rig.engine->Trace(3, "line %d", i);
        QCOMPARE(wnd->Model().Rows(), std::size_t(0)); // nothing before the flush
        QCoreApplication::processEvents();
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(wnd->Model().Rows(), std::size_t(1000));
        QCOMPARE(wnd->Model().MessageText(999), QStringLiteral("line 999"));
        // The next turn starts a new batch by itself.
        m_Rig.engine->Trace(3, "next");
        QVERIFY(PumpUntil([&] { return wnd->Model().Rows() == 1001; }));
        QCOMPARE(inserted.count(), 2);
    }

    void linesFromAWorkerArriveInOrder() {
        auto wnd = m_Rig.Open();
        std::thread worker([&] {
            for (int i = 0; i < 5000; ++i)
                m_Rig.engine->Trace(2, "w %d", i);
        });
        QVERIFY(PumpUntil([&] { return wnd->Model().Rows() == 5000; }));
        worker.join();
        for (int i : {0, 1, 2500, 4999})
            QCOMPARE(wnd->Model().MessageText(std::size_t(i)), QStringLiteral("w %1").arg(i));
    }

    void closedWindowTakesNoMoreLines() {
        auto wnd = m_Rig.Open();
        m_Rig.engine->Trace(3, "pending");
        wnd->Detach();
        QVERIFY(!m_Rig.engine->HasTraceSink());
        m_Rig.engine->Trace(3, "after close");
        wnd->Flush();
        QCOMPARE(Messages(*wnd), QStringList{"pending"});
        wnd->Detach(); // once only: a second call changes nothing
        QVERIFY(!m_Rig.engine->HasTraceSink());
    }

    void destroyedWindowWithQueuedFlushIsSafe() {
        auto wnd = m_Rig.Open();
        m_Rig.engine->Trace(3, "queued");
        wnd.reset(); // the flush it scheduled is dropped with it
        QVERIFY(!m_Rig.engine->HasTraceSink());
        QCoreApplication::processEvents();
        m_Rig.engine->Trace(3, "nobody listens");
    }

    void listIsATableWithFixedRowHeights() {
        auto wnd = m_Rig.Open();
        wnd->show();
        QTableView* list = wnd->List();
        QVERIFY(list->verticalHeader()->isHidden());
        QCOMPARE(list->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
        const int rowHeight = list->fontMetrics().height() + 4;
        QCOMPARE(list->verticalHeader()->defaultSectionSize(), rowHeight);
        QVERIFY(!list->showGrid());
        QVERIFY(!list->wordWrap());
        QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(list->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(list->horizontalHeader()->sectionSize(0), 60);
        QVERIFY(list->horizontalHeader()->stretchLastSection());
        QCOMPARE(list->model(), static_cast<QAbstractItemModel*>(&wnd->Model()));
        QCOMPARE(list->contextMenuPolicy(), Qt::CustomContextMenu);
        // Rows added later keep the fixed height, also a row of the longest text.
        wnd->AddLine(3, "short");
        wnd->AddLine(3, std::string(2000, 'w'));
        wnd->Flush();
        QCOMPARE(list->rowHeight(0), rowHeight);
        QCOMPARE(list->rowHeight(1), rowHeight);
        // A click selects the whole row.
        list->selectRow(1);
        QCOMPARE(list->selectionModel()->selectedRows().size(), 1);
        QCOMPARE(list->selectionModel()->selectedIndexes().size(), 2);
    }

    void rowsReadBackAcrossBlockBoundaries() {
        CLogModel model;
        // Lengths 0 to 2000 in a fixed pseudo-random order: about 3.5 blocks of text, rows
        // landing at every kind of offset, and lines that would straddle a block end.
        std::mt19937 rng(5);
        std::uniform_int_distribution<int> len(0, 2000), ch(0x20, 0xFF);
        std::vector<std::string> texts;
        std::size_t total = 0;
        texts.push_back(std::string()); // an empty first row, before any block exists
        while (total < 3 * CLogModel::kBlockSize + CLogModel::kBlockSize / 2) {
            std::string t(static_cast<std::size_t>(len(rng)), ' ');
            for (char& c : t)
                c = static_cast<char>(ch(rng));
            total += t.size();
            texts.push_back(std::move(t));
        }
        texts.push_back(std::string(2000, 'e')); // the longest row
        texts.push_back(std::string());          // empty rows in between
        texts.push_back("last");
        const std::size_t rows = texts.size();
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        // Appended in batches of different sizes, as flushes do.
        std::size_t next = 0;
        const char* firstRowData = nullptr;
        for (std::size_t batchSize : {1u, 7u, 500u, 3u, 100000u}) {
            std::vector<CLogModel::Line> batch;
            for (std::size_t i = 0; i < batchSize && next < rows; ++i, ++next)
                batch.push_back({static_cast<std::uint32_t>(next), texts[next]});
            model.Append(batch);
            if (next > 1 && firstRowData == nullptr)
                firstRowData = model.RowText(1).data();
        }
        QCOMPARE(model.Rows(), rows);
        QCOMPARE(model.rowCount(), int(rows));
        QCOMPARE(inserted.count(), 5);
        for (std::size_t i = 0; i < rows; ++i) {
            QVERIFY2(model.RowText(i) == texts[i], qPrintable(QStringLiteral("row %1").arg(i)));
            QCOMPARE(model.TimeText(i), FormatLogTime(static_cast<std::uint32_t>(i)));
        }
        QCOMPARE(model.MessageText(rows - 1), QStringLiteral("last"));
        QCOMPARE(model.data(model.index(int(rows - 2), 1)).toString(), QString());
        // Text is never copied when the store grows: row 1 is where it was first written.
        QCOMPARE(model.RowText(1).data(), firstRowData);
        // Blocks are filled up to the last row that fits: no more than one 2000-byte row's
        // room is lost per block, and no block is wasted.
        std::size_t stored = 0;
        for (const auto& t : texts)
            stored += t.size();
        QVERIFY(model.Blocks() >= (stored + CLogModel::kBlockSize - 1) / CLogModel::kBlockSize);
        QVERIFY(model.Blocks() <= stored / (CLogModel::kBlockSize - CLogModel::kMaxRowText) + 1);
        // Every row lies wholly inside one block.
        for (std::size_t i = 0; i < rows; ++i) {
            const std::string_view t = model.RowText(i);
            if (t.empty())
                continue;
            bool inside = false;
            for (std::size_t b = 0; b < model.Blocks() && !inside; ++b) {
                const char* base = model.BlockData(b);
                inside = t.data() >= base && t.data() + t.size() <= base + CLogModel::kBlockSize;
            }
            QVERIFY2(inside, qPrintable(QStringLiteral("row %1").arg(i)));
        }
        QCOMPARE(model.BlockData(model.Blocks()), nullptr);
        // Past the end: empty, never a read out of bounds.
        QVERIFY(model.RowText(rows).empty());
        QCOMPARE(model.MessageText(rows + 5), QString());
        QCOMPARE(model.TimeText(rows), QString());
    }

    void overlongTextHandedToTheModelIsCut() {
        CLogModel model;
        std::vector<CLogModel::Line> batch{{0, std::string(CLogModel::kMaxRowText + 500, 'x')}, {1, "next"}};
        model.Append(batch);
        QCOMPARE(model.RowText(0).size(), CLogModel::kMaxRowText);
        QVERIFY(model.RowText(1) == "next");
    }

    void aBurstArrivesInSlicesInOrder() {
        auto wnd = m_Rig.Open();
        wnd->show();
        QSignalSpy inserted(&wnd->Model(), &QAbstractItemModel::rowsInserted);
        const int lines = 50000;
        for (int i = 0; i < lines; ++i)
            m_Rig.engine->Trace(3, "burst %d", i);
        // Another event posted behind the burst gets its turn after the first slice, not
        // after all 50,000 lines.
        std::size_t rowsWhenOtherEventRan = 0;
        bool otherRan = false;
        QMetaObject::invokeMethod(
            wnd.get(), [&] { rowsWhenOtherEventRan = wnd->Model().Rows(), otherRan = true; },
            Qt::QueuedConnection);
        QVERIFY(PumpUntil([&] { return wnd->Model().Rows() == std::size_t(lines); }));
        QVERIFY(otherRan);
        QCOMPARE(rowsWhenOtherEventRan, CVLPLogWnd::kFlushLines);
        // Three slices: 20,000 + 20,000 + 10,000, each a single insertion at the end.
        QCOMPARE(inserted.count(), 3);
        int expectFirst = 0;
        for (const auto& args : inserted) {
            QCOMPARE(args.at(1).toInt(), expectFirst);
            const int count = args.at(2).toInt() - args.at(1).toInt() + 1;
            QVERIFY(count <= int(CVLPLogWnd::kFlushLines));
            expectFirst += count;
        }
        QCOMPARE(expectFirst, lines);
        for (int i = 0; i < lines; ++i)
            QVERIFY2(wnd->Model().RowText(std::size_t(i)) == Numbered("burst ", i),
                     qPrintable(QString::number(i)));
        QCOMPARE(wnd->PendingLines(), std::size_t(0));
        // Scrolled to the newest row.
        const QRect last = wnd->List()->visualRect(wnd->Model().index(lines - 1, 1));
        QVERIFY(wnd->List()->viewport()->rect().intersects(last));
    }

    void oneFlushMovesOneSlice() {
        auto wnd = m_Rig.Open();
        for (int i = 0; i < 45000; ++i)
            wnd->AddLine(3, Numbered("s", i));
        wnd->Flush();
        QCOMPARE(wnd->Model().Rows(), CVLPLogWnd::kFlushLines);
        QCOMPARE(wnd->PendingLines(), 45000 - CVLPLogWnd::kFlushLines);
        wnd->Flush();
        wnd->Flush();
        QCOMPARE(wnd->Model().Rows(), std::size_t(45000));
        QVERIFY(wnd->Model().RowText(44999) == "s44999");
        wnd->Flush(); // nothing left: no empty insertion
        QCOMPARE(wnd->Model().Rows(), std::size_t(45000));
    }

    void overrunDropsLinesAndSaysHowMany() {
        auto wnd = m_Rig.Open();
        wnd->SetClock([] { return AtMinute5Second7Ms123(); });
        wnd->SetPendingLimit(100);
        for (int i = 0; i < 150; ++i)
            wnd->AddLine(3, Numbered("l", i));
        QCOMPARE(wnd->PendingLines(), std::size_t(100));
        wnd->Flush();
        QCOMPARE(wnd->Model().Rows(), std::size_t(101));
        QVERIFY(wnd->Model().RowText(99) == "l99");
        QCOMPARE(wnd->Model().MessageText(100), QStringLiteral("... 50 lines dropped"));
        QCOMPARE(wnd->Model().TimeText(100), QStringLiteral(" 5:07.12"));
        // Caught up: lines are taken again, after the notice, and no second notice comes.
        wnd->AddLine(3, "again");
        wnd->Flush();
        QCOMPARE(wnd->Model().Rows(), std::size_t(102));
        QCOMPARE(wnd->Model().MessageText(101), QStringLiteral("again"));
        // Filtered and paused lines are not "dropped": they never count.
        wnd->SetPendingLimit(1);
        wnd->AddLine(3, "one");
        wnd->AddLine(0, "io, filtered");
        wnd->SetPaused(true);
        wnd->AddLine(3, "paused");
        wnd->SetPaused(false);
        wnd->AddLine(3, "over");
        wnd->Flush();
        QCOMPARE(Messages(*wnd).mid(102), (QStringList{"one", "... 1 lines dropped"}));
    }

    void aPendingLimitOfZeroStillKeepsOneLine() {
        auto wnd = m_Rig.Open();
        wnd->SetPendingLimit(0);
        wnd->AddLine(3, "kept");
        wnd->AddLine(3, "dropped");
        QVERIFY(PumpUntil([&] { return wnd->Model().Rows() == 2; }));
        QCOMPARE(Messages(*wnd), (QStringList{"kept", "... 1 lines dropped"}));
    }

    void droppingLastsUntilTheGuiHasCaughtUp() {
        auto wnd = m_Rig.Open();
        const std::size_t limit = CVLPLogWnd::kFlushLines + 10000;
        wnd->SetPendingLimit(limit);
        for (std::size_t i = 0; i < limit + 10; ++i)
            wnd->AddLine(2, Numbered("k", i));
        wnd->Flush(); // one slice out; the rest still pending
        QCOMPARE(wnd->PendingLines(), std::size_t(10000));
        wnd->AddLine(2, "while behind"); // there is room again, but the GUI is still behind
        QCOMPARE(wnd->PendingLines(), std::size_t(10000));
        wnd->Flush();
        QCOMPARE(wnd->Model().Rows(), limit + 1);
        QVERIFY(wnd->Model().RowText(limit - 1) == Numbered("k", limit - 1));
        QCOMPARE(wnd->Model().MessageText(limit), QStringLiteral("... 11 lines dropped"));
        wnd->AddLine(2, "taken");
        wnd->Flush();
        QCOMPARE(wnd->Model().MessageText(limit + 1), QStringLiteral("taken"));
    }

    void aWorkerOutpacingTheGuiLosesNothingSilently() {
        auto wnd = m_Rig.Open();
        wnd->SetPendingLimit(2000);
        const int lines = 100000;
        std::atomic<bool> done{false};
        std::thread worker([&] {
            for (int i = 0; i < lines; ++i)
                m_Rig.engine->Trace(1, "%d", i);
            done = true;
        });
        // Every line is either listed or counted in a notice; listed lines keep their order
        // and a notice stands where lines are missing.
        auto accounted = [&] {
            long long n = 0;
            for (std::size_t r = 0; r < wnd->Model().Rows(); ++r) {
                const long long d = DroppedCount(wnd->Model().MessageText(r));
                n += d >= 0 ? d : 1;
            }
            return n;
        };
        QVERIFY(PumpUntil([&] { return done.load() && wnd->PendingLines() == 0 && accounted() == lines; },
                          60000));
        worker.join();
        long long expect = 0;
        for (std::size_t r = 0; r < wnd->Model().Rows(); ++r) {
            const QString text = wnd->Model().MessageText(r);
            const long long d = DroppedCount(text);
            if (d >= 0) {
                QVERIFY(d > 0);
                expect += d;
            } else {
                QCOMPARE(text.toLongLong(), expect);
                ++expect;
            }
        }
        QCOMPARE(expect, (long long)lines);
    }

    void layoutOnResize() {
        auto wnd = m_Rig.Open();
        wnd->show();
        wnd->resize(500, 300);
        QCoreApplication::processEvents();
        const int cx = wnd->width(), cy = wnd->height();
        QCOMPARE(wnd->List()->geometry(), QRect(6, 6, cx - 12, cy - 50));
        QCOMPARE(wnd->ExitButton()->geometry(), QRect(cx - 70, cy - 40, 64, 18));
        QCOMPARE(wnd->StartStopButton()->geometry(), QRect(cx - 70, cy - 19, 64, 18));
        QCOMPARE(wnd->LevelGroup()->geometry(), QRect(6, cy - 44, cx - 80, 41));
        const int q = (cx - 86) / 4;
        for (int i = 0; i < 4; ++i)
            QCOMPARE(wnd->LevelBox(i)->geometry(), QRect(16 + i * q, cy - 30, 65, 23));
        // Message fills the rest of the list's width.
        QVERIFY(wnd->List()->horizontalHeader()->stretchLastSection());
        wnd->resize(40, 30); // smaller than the layout: no negative sizes
        QCoreApplication::processEvents();
        QVERIFY(wnd->List()->width() >= 0 && wnd->List()->height() >= 0);
    }

    void levelAndPlacementLiveInVLPLogWnd() {
        {
            auto wnd = m_Rig.Open();
            wnd->show();
            wnd->LevelBox(3)->click(); // Appl off
            wnd->move(40, 50);
            wnd->resize(420, 260);
            QCoreApplication::processEvents();
        } // destruction writes them
        QVERIFY(m_Rig.store.Has("VLPLogWnd", "Level"));
        QCOMPARE(m_Rig.store.ReadInt("VLPLogWnd", "Level").value_or(-1), 6);
        for (const char* key :
             {"logWnd_flags", "logWnd_showCmd", "logWnd_x1", "logWnd_y1", "logWnd_x2", "logWnd_y2"})
            QVERIFY2(m_Rig.store.Has("VLPLogWnd", key), key);
        const int w = int(m_Rig.store.ReadInt("VLPLogWnd", "logWnd_x2").value() -
                          m_Rig.store.ReadInt("VLPLogWnd", "logWnd_x1").value());
        QCOMPARE(w, 420);

        auto again = m_Rig.Open();
        QCOMPARE(again->LevelMask(), 6);
        QVERIFY(!again->LevelBox(3)->isChecked());
        QCOMPARE(again->width(), 420);
        QCOMPARE(again->Model().Rows(), std::size_t(0));
    }

    void damagedLevelValueStillFilters() {
        m_Rig.store.WriteString("VLPLogWnd", "Level", "garbage");
        auto wnd = m_Rig.Open();
        QCOMPARE(wnd->LevelMask(), 14); // unreadable: the default
        m_Rig.store.WriteInt("VLPLogWnd", "Level", -1);
        auto all = std::make_unique<CVLPLogWnd>(*m_Rig.engine, &m_Rig.store);
        QCOMPARE(all->LevelMask(), -1);
        all->AddLine(0, "io");
        all->AddLine(3, "appl");
        all->Flush();
        QCOMPARE(all->Model().Rows(), std::size_t(2));
    }

    void twoHundredThousandLinesStayResponsive() {
        auto wnd = m_Rig.Open();
        wnd->show();
        QElapsedTimer clock;
        clock.start();
        std::atomic<bool> done{false};
        std::thread worker([&] {
            for (int i = 0; i < 200000; ++i)
                m_Rig.engine->Trace(2, "CVLPSlave::StateEngine(), State=%s %d", "sIdle", i);
            done = true;
        });
        // Measure the longest event-loop turn while the lines pour in.
        qint64 longestTurn = 0, turns = 0;
        QElapsedTimer turn;
        const bool filled = PumpUntil(
            [&] {
                if (turn.isValid())
                    longestTurn = std::max(longestTurn, turn.elapsed());
                turn.start();
                ++turns;
                return done.load() && wnd->Model().Rows() == 200000;
            },
            120000);
        worker.join();
        const qint64 fillMs = clock.elapsed();
        QVERIFY(filled);
        QCOMPARE(wnd->Model().MessageText(199999),
                 QStringLiteral("CVLPSlave::StateEngine(), State=sIdle 199999"));
        // Scrolled to the end: the last row is visible.
        const QRect last = wnd->List()->visualRect(wnd->Model().index(199999, 1));
        QVERIFY(wnd->List()->viewport()->rect().intersects(last));
        clock.restart();
        wnd->List()->scrollToTop();
        wnd->List()->scrollToBottom();
        wnd->repaint();
        const qint64 scrollMs = clock.elapsed();
        std::printf("200000 lines: filled in %lld ms, %lld event-loop turns, longest turn %lld ms, "
                    "scroll+repaint %lld ms\n",
                    static_cast<long long>(fillMs), static_cast<long long>(turns),
                    static_cast<long long>(longestTurn), static_cast<long long>(scrollMs));
    }

    void savedFileEqualsTheRowsShown() {
        auto wnd = m_Rig.Open();
        m_Rig.engine->Trace(3, "CVLPMsg::TxMessage() = %s", "\"&PIA\"");
        m_Rig.engine->Trace(3, "tab\there");
        m_Rig.engine->Trace(2, "caf\xe9 \xff %d", 7); // bytes above 127 as the list shows them
        m_Rig.engine->Trace(1, "%s", "");
        for (int i = 0; i < 50; ++i)
            m_Rig.engine->Trace(2, "CVLPSlave::StateEngine(), State=%s %d", "sIdle", i);
        wnd->Flush();
        QCOMPARE(wnd->Model().Rows(), std::size_t(54));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("log.txt"));
        QString reason = QStringLiteral("stale");
        QVERIFY(wnd->SaveTo(path, &reason));
        QCOMPARE(reason, QString());
        const QByteArray saved = ReadFile(path);
        QCOMPARE(saved, ShownRows(wnd->Model()));
        const QList<QByteArray> lines = saved.split('\n');
        QCOMPARE(lines.size(), 55); // 54 rows and the empty rest after the last line end
        QVERIFY(lines[0].endsWith("\tCVLPMsg::TxMessage() = \"&PIA\""));
        QVERIFY(lines[1].endsWith("\ttab\there"));
        QVERIFY(lines[2].endsWith(QByteArray("\tcaf\xc3\xa9 \xc3\xbf 7")));
        QVERIFY(lines[3].endsWith("\t"));
        // The list shows the same character for the byte (not a replacement character).
        QCOMPARE(wnd->Model().MessageText(2), QStringLiteral("caf\u00e9 \u00ff 7"));
    }

    void copyTakesTheSelectedRowsAndSaveAllOfThem() {
        auto wnd = m_Rig.Open();
        wnd->SetClock([] { return AtMinute5Second7Ms123(); });
        m_Rig.engine->Trace(3, "first");
        m_Rig.engine->Trace(3, "second\tcolumn");
        m_Rig.engine->Trace(3, "third \xe4");
        wnd->Flush();
        auto* sel = wnd->List()->selectionModel();
        sel->select(wnd->Model().index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        sel->select(wnd->Model().index(0, 1), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QString expected = QStringLiteral(" 5:07.12\tfirst\n 5:07.12\tthird \u00e4\n");
        QCOMPARE(wnd->RowsText(true), expected);
        QCOMPARE(wnd->RowsText(true).toUtf8(), ShownRows(wnd->Model(), {0, 2}));
        QCOMPARE(wnd->RowsText(false),
                 QStringLiteral(" 5:07.12\tfirst\n 5:07.12\tsecond\tcolumn\n 5:07.12\tthird \u00e4\n"));
    }

    void theContextMenuOffersCopyAndSave() {
        auto wnd = m_Rig.Open();
        wnd->show();
        m_Rig.engine->Trace(3, "one");
        m_Rig.engine->Trace(3, "two");
        wnd->Flush();
        wnd->List()->selectionModel()->select(wnd->Model().index(1, 0),
                                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QApplication::clipboard()->clear();
        // Read the menu, choose "Copy".
        const auto seen =
            vq5::test::ChooseInMenu(0, [&] { emit wnd->List()->customContextMenuRequested(QPoint(5, 5)); });
        QCOMPARE(seen.menus, 1);
        QCOMPARE(seen.texts, QStringList({QStringLiteral("Copy"), QStringLiteral("Save..."),
                                          QStringLiteral("Record to file...")}));
        QVERIFY(seen.chosenOn);
        QCOMPARE(QApplication::clipboard()->text(), wnd->RowsText(true));
        QVERIFY(QApplication::clipboard()->text().endsWith(QStringLiteral("\ttwo\n")));
    }

    void aFailedSaveGivesTheReason() {
        auto wnd = m_Rig.Open();
        m_Rig.engine->Trace(3, "x");
        wnd->Flush();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("no/such/folder/log.txt"));
        QString reason;
        QVERIFY(!wnd->SaveTo(path, &reason));
        QCOMPARE(reason, QString::fromLocal8Bit(std::strerror(ENOENT)));
        QVERIFY(!wnd->SaveTo(dir.path()));
        // What the box says.
        QVERIFY(SaveFailedText(path, reason).contains(path));
        QVERIFY(SaveFailedText(path, reason).contains(reason));
    }
};

QTEST_MAIN(LogWndTests)
#include "LogWndTests.moc"
