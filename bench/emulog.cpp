// VQ5WVLP's message log at scale, offscreen: the real dialog (its engine on a line nobody
// drives, so the rows come only from here) takes 1,000,000 log lines the way notifications
// bring them, a batch per turn of the event loop, while a 10 ms timer on the GUI thread
// measures how late it fires. Then the reader's moves at full size: to the top, a page
// down, back to the bottom, each timed with its repaint.
//
//   bench_emulog [--rows 1000000] [--batch 500]
//
// Printed: memory per row (resident memory grown over the rows / rows; goal <= 200 bytes),
// the GUI thread's longest stall (goal <= 50 ms), rows per second, the moves' times.
#include "BenchSupport.h"
#include "StallMeter.h"

#include "EmuDlg.h"
#include "SettingsStore.h"

#include <QApplication>
#include <QScrollBar>
#include <QTimer>

#include <malloc.h>

#include <cstdio>
#include <string>

using namespace vq5;
using namespace vq5::bench;

namespace {

// The lines an unpaced link brings: mostly sent display messages, now and then an inquiry,
// its announcement and an engine event.
std::string LineFor(long i) {
    char buf[96];
    switch (i % 16) {
    case 7:
        return "1Inquiry: \"?\"";
    case 8:
        std::snprintf(buf, sizeof buf, "0Message send: \"=%03ld0450011777777799999\"", i % 1000);
        return buf;
    case 15:
        return "2Queue empty";
    default:
        std::snprintf(buf, sizeof buf, "0Message send: \"$%03ld/045   08:56 XX\"", i % 1000);
        return buf;
    }
}

double TimedMs(const std::function<void()>& f) {
    const std::int64_t t0 = NowNs();
    f();
    return static_cast<double>(NowNs() - t0) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const long rows = OptionInt(argc, argv, "--rows", 1000000);
    const long batch = OptionInt(argc, argv, "--batch", 500);
    if (rows <= 0 || batch <= 0) {
        std::fprintf(stderr, "usage: bench_emulog [--rows N] [--batch N]\n");
        return 2;
    }
    QApplication app(argc, argv);
    CMemoryStore store;
    CPty pty;
    std::string error;
    if (!pty.Open(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    store.WriteString("VLPIO", "ComPort", pty.SlavePath());
    SetDefaultSettingsStore(&store);
    int rc = 0;
    {
        emu::CEmuDlg dlg(&store);
        dlg.show();
        for (int i = 0; i < 20; ++i)
            QApplication::processEvents();
        std::printf("== VQ5WVLP message log at scale, %ld rows in batches of %ld, %s\n", rows, batch,
                    MachineText().c_str());
        // The rows already there (engine events) are left; the growth is measured from here.
        dlg.FlushLog();
        const std::size_t rowsBefore = dlg.LogModel().Rows();
        malloc_trim(0);
        const long rssBefore = ProcStatusKb(0, "VmRSS");

        CStallMeter meter;
        meter.SetRows([&dlg] { return dlg.LogModel().Rows(); });
        long fed = 0;
        QTimer feeder;
        feeder.setInterval(0);
        QObject::connect(&feeder, &QTimer::timeout, [&] {
            for (long i = 0; i < batch && fed < rows; ++i, ++fed)
                dlg.QueueLogLine(LineFor(fed));
            if (fed >= rows) {
                feeder.stop();
                QTimer::singleShot(200, [] { QCoreApplication::exit(0); });
            }
        });
        const std::int64_t t0 = NowNs();
        meter.Start();
        feeder.start();
        app.exec();
        meter.Stop();
        const double seconds = static_cast<double>(NowNs() - t0) / 1e9 - 0.2;
        const std::size_t added = dlg.LogModel().Rows() - rowsBefore;
        malloc_trim(0);
        const long rssAfter = ProcStatusKb(0, "VmRSS");
        const double perRow =
            added ? static_cast<double>(rssAfter - rssBefore) * 1024.0 / static_cast<double>(added) : 0;
        const Summary late = meter.Lateness();
        std::printf("  rows added: %zu in %.2f s = %.0f rows per second\n", added, seconds,
                    static_cast<double>(added) / seconds);
        std::printf("  resident memory: %.1f MB before, %.1f MB after\n",
                    static_cast<double>(rssBefore) / 1024.0, static_cast<double>(rssAfter) / 1024.0);
        std::printf("  memory per row %.0f bytes; goal <= 200 bytes: %s\n", perRow,
                    perRow <= 200 ? "met" : "MISSED");
        std::printf("  %s\n", FormatSummary("GUI timer lateness", late, "ms").c_str());
        std::printf("  longest GUI stall %.1f ms; goal <= 50 ms: %s\n", late.max,
                    late.max <= 50 ? "met" : "MISSED");
        meter.PrintStalls();

        // The reader's moves with the log full, each with its repaint.
        QScrollBar* bar = dlg.Log()->verticalScrollBar();
        QWidget* viewport = dlg.Log()->viewport();
        const double top = TimedMs([&] {
            bar->setValue(0);
            viewport->repaint();
        });
        const double page = TimedMs([&] {
            bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
            viewport->repaint();
        });
        const double bottom = TimedMs([&] {
            dlg.Log()->scrollToBottom();
            viewport->repaint();
        });
        const double more = TimedMs([&] {
            dlg.AddLogLine(LineFor(0));
            viewport->repaint();
        });
        std::printf("  with %zu rows: to the top %.1f ms, a page down %.1f ms, to the bottom %.1f ms, one "
                    "more row %.1f ms\n",
                    dlg.LogModel().Rows(), top, page, bottom, more);
        rc = perRow <= 200 && late.max <= 50 ? 0 : 3;
        dlg.Shutdown();
    }
    SetDefaultSettingsStore(nullptr);
    std::printf("  %s\n", LoadText().c_str());
    return rc;
}
