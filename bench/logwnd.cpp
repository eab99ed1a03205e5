// The protocol log window at scale, offscreen: 1,000,000 trace lines into an open log window
// (all four levels on) while a 10 ms timer on the GUI thread measures how late it fires.
//
//   bench_logwnd [--mode engine|burst|turnaround] [--lines 1000000] [--exchanges 10000]
//                [--view tree|table]
//
// engine:     the engine on a pseudo-terminal with a device polling and selecting flat out
//             (the bench's minimal master), so lines come at the engine's full rate.
// burst:      one thread calls the engine's Trace as fast as it can (no link at all): the
//             worst case a window can meet.
// turnaround: the turnaround figures of bench_turnaround with this real log window open.
// --view table tries the change proposed for the window's list: the window's model shown by
// a QTableView (no per-row layout) instead of its QTreeView, which is detached from the model.
// Printed: the GUI thread's longest stall (timer lateness), lines handled per second, peak
// and current memory (VmHWM, VmRSS). Run each mode in its own process (memory peaks).
#include "BenchSupport.h"
#include "StallMeter.h"
#include "TurnaroundRun.h"

#include "SettingsStore.h"
#include "VLPEngine.h"
#include "VLPLogWnd.h"

#include <QApplication>
#include <QHeaderView>
#include <QTableView>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <cstring>
#include <functional>
#include <utility>
#include <thread>

using namespace vq5;
using namespace vq5::bench;

namespace {

void PrintMemory(long hwmBefore) {
    const long hwm = ProcStatusKb(0, "VmHWM"), rss = ProcStatusKb(0, "VmRSS");
    std::printf(
        "  memory: VmHWM %.1f MB, VmRSS %.1f MB (VmHWM before the lines %.1f MB); goal <= 300 MB: %s\n",
        static_cast<double>(hwm) / 1024.0, static_cast<double>(rss) / 1024.0,
        static_cast<double>(hwmBefore) / 1024.0, hwm >= 0 && hwm <= 300 * 1024 ? "met" : "MISSED");
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // figures show as they come, also into a pipe
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::string mode = Option(argc, argv, "--mode", "engine");
    const long lines = OptionInt(argc, argv, "--lines", 1000000);
    const long exchanges = OptionInt(argc, argv, "--exchanges", 10000);
    const std::string view = Option(argc, argv, "--view", "tree");
    if ((mode != "engine" && mode != "burst" && mode != "turnaround") || lines <= 0 || exchanges <= 0 ||
        (view != "tree" && view != "table")) {
        std::fprintf(stderr,
                     "usage: bench_logwnd [--mode engine|burst|turnaround] [--lines N] [--exchanges N] "
                     "[--view tree|table]\n");
        return 2;
    }
    QApplication app(argc, argv);
    CEngineOnPty link;
    if (!link.Open())
        return 1;
    CBenchEngine& engine = link.Engine();
    CMemoryStore& store = link.Store();
    auto* wnd = new qt::CVLPLogWnd(engine, &store);
    wnd->SetLevelMask(15);
    if (view == "table") {
        // The proposed list: a table view on the same model, in the tree's place.
        QAbstractItemView* tree = wnd->List(); // the window's own list
        auto* table = new QTableView(wnd);
        table->setGeometry(tree->geometry());
        table->setModel(&wnd->Model());
        table->verticalHeader()->hide();
        table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        table->verticalHeader()->setDefaultSectionSize(tree->fontMetrics().height() + 4);
        table->horizontalHeader()->setStretchLastSection(true);
        table->horizontalHeader()->resizeSection(0, 60);
        table->setShowGrid(false);
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        table->setWordWrap(false);
        QObject::connect(&wnd->Model(), &QAbstractItemModel::rowsInserted, table,
                         [table] { table->scrollToBottom(); });
        tree->setModel(nullptr);
        tree->hide();
    }
    wnd->show();
    wnd->Attach();
    QApplication::processEvents();
    const long hwmBefore = ProcStatusKb(0, "VmHWM");

    CStallMeter meter;
    std::atomic<bool> stop{false};
    std::thread producer;
    int rc = 0;

    if (mode == "turnaround") {
        std::printf("== Turnaround with the real log window open (offscreen, all levels), %s\n",
                    MachineText().c_str());
        engine.Start();
        TurnaroundResult r;
        producer = std::thread([&] {
            r = RunTurnaround(engine, link.Master(), static_cast<std::size_t>(exchanges));
            QMetaObject::invokeMethod(
                qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
        });
        meter.Start();
        app.exec();
        meter.Stop();
        producer.join();
        engine.Stop();
        QApplication::processEvents();
        PrintTurnaround("log window open (all levels)", r, 2000);
        std::printf("  log rows: %zu (%.1f per exchange)\n", wnd->Model().Rows(),
                    r.exchanges ? static_cast<double>(wnd->Model().Rows()) / static_cast<double>(r.exchanges)
                                : 0.0);
        std::printf("  %s\n", FormatSummary("GUI timer lateness", meter.Lateness(), "ms").c_str());
        rc = r.failures == 0 && Summarize(r.answers).p99 <= 2000 ? 0 : 3;
    } else {
        const bool burst = mode == "burst";
        std::printf("== Log window at scale, %ld lines, %s%s, %s\n", lines,
                    burst ? "Trace called flat out (no link)" : "engine driven flat out by a device",
                    view == "table" ? ", list shown by a QTableView (proposed change)" : "",
                    MachineText().c_str());
        std::int64_t t0 = 0, tDone = 0;
        std::size_t exchangesDone = 0;
        if (burst) {
            std::memcpy(engine.m_Data, "&PIA", 4);
            engine.m_Len = 4;
            producer = std::thread([&] {
                // The formats of the engine's own lines, in turn, one per level.
                const unsigned char b = 0xE1;
                for (long i = 0; i < lines && !stop.load(); ++i) {
                    switch (i % 4) {
                    case 0:
                        engine.Trace(0, "CVLPIO::GetByte(wait) = %s", ByteText(1, &b).c_str());
                        break;
                    case 1:
                        engine.Trace(1, "CVLPFrame::GetFrame() = $");
                        break;
                    case 2:
                        engine.Trace(2, "CVLPSlave::StateEngine(), State=%s", "sTxWait");
                        break;
                    default:
                        engine.Trace(3, "CVLPMsg::TxMessage() = $");
                        break;
                    }
                }
            });
        } else {
            engine.Start();
            producer = std::thread([&] {
                CMiniMaster master(link.Master());
                int i = 0;
                while (!stop.load()) {
                    CMiniMaster::Exchange x;
                    switch (i++ % 4) {
                    case 1:
                        engine.QueueText("&PIA");
                        x = master.Poll(3000);
                        break;
                    case 2:
                        x = master.Select("&QIAVQ-5 reply of the bench master", 3000);
                        break;
                    default:
                        x = master.Poll(3000);
                        break;
                    }
                    if (!x.ok)
                        master.Discard();
                    ++exchangesDone;
                }
            });
        }
        t0 = NowNs();
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (wnd->Model().Rows() >= static_cast<std::size_t>(lines)) {
                tDone = NowNs();
                stop = true;
                QCoreApplication::exit(0);
            } else if (NowNs() - t0 > 300'000'000'000LL) {
                stop = true;
                QCoreApplication::exit(1);
            }
        });
        watch.start(20);
        meter.SetRows([wnd] { return wnd->Model().Rows(); });
        meter.Start();
        const int loop = app.exec();
        meter.Stop();
        producer.join();
        engine.Stop();
        QApplication::processEvents();
        const double seconds = static_cast<double>((tDone ? tDone : NowNs()) - t0) / 1e9;
        const std::size_t rows = wnd->Model().Rows();
        const Summary late = meter.Lateness();
        std::printf("  rows in the list: %zu in %.2f s = %.0f lines handled per second%s\n", rows, seconds,
                    static_cast<double>(rows) / seconds, loop != 0 ? " (TIMED OUT)" : "");
        if (!burst)
            std::printf("  exchanges: %zu (%.1f lines per exchange)\n", exchangesDone,
                        exchangesDone ? static_cast<double>(rows) / static_cast<double>(exchangesDone) : 0.0);
        std::printf("  %s\n", FormatSummary("GUI timer lateness", late, "ms").c_str());
        std::printf("  longest GUI stall %.1f ms; goal <= 50 ms: %s\n", late.max,
                    late.max <= 50 ? "met" : "MISSED");
        meter.PrintStalls();
        PrintMemory(hwmBefore);
        rc = loop == 0 && late.max <= 50 && ProcStatusKb(0, "VmHWM") <= 300 * 1024 ? 0 : 3;
    }
    wnd->Detach();
    delete wnd;
    std::printf("  %s\n", LoadText().c_str());
    return rc;
}
