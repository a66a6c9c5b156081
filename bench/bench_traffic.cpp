// The traffic record and the analysis window: what recording costs per event
// and per record, and the analysis window over a million records (its memory
// and its time to the first paint of the table), against the same window over
// an empty record.
#include "qt/analysis_window.h"
#include "bench/paint_watch.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <chrono>
#include <cstdio>
#include <malloc.h>
#include <memory>
#include <string>

namespace {

size_t HeapInUse() {
    return mallinfo2().uordblks + mallinfo2().hblkhd;
}

// Continuous playback as the chip sees it: a 206-byte frame, then 0x41 and
// 0x4F; a third of the records are frames.
void Fill(TrafficRecord& r, int records, size_t* frameBytes) {
    std::string frame(206, '\x5A');
    frame[0] = char(0xFD);
    for (int i = 0; i < records; ++i) {
        switch (i % 3) {
        case 0:
            r.RecordSent(frame);
            *frameBytes += frame.size();
            break;
        case 1:
            r.RecordReply(0x41, false);
            *frameBytes += 1;
            break;
        default:
            r.RecordReply(0x4F, false);
            *frameBytes += 1;
            break;
        }
    }
}

struct WindowFigures {
    double firstPaintMs;
    size_t heapBytes;
    double liveMsPerRecord;
};

// The analysis window over r: heap it takes, and the time from creating it
// to the first paint of its table.
WindowFigures OpenWindow(TrafficRecord& r) {
    const size_t before = HeapInUse();
    QElapsedTimer t;
    t.start();
    auto w = std::make_unique<AnalysisWindow>(r, FileDialogFn{}, nullptr);
    PaintWatch watch;
    w->table()->viewport()->installEventFilter(&watch);
    w->show();
    while (!watch.painted)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    const double ms = t.nsecsElapsed() / 1e6;
    const size_t heap = HeapInUse() - before;
    w->table()->viewport()->removeEventFilter(&watch);
    // Live traffic: one record at a time joins the table, which follows it.
    constexpr int kLive = 200;
    QElapsedTimer live;
    live.start();
    for (int i = 0; i < kLive; ++i) {
        r.RecordReply(0x4F, false);
        QCoreApplication::processEvents();
    }
    const double liveMs = live.nsecsElapsed() / 1e6 / kLive;
    return {ms, heap, liveMs};
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int records = argc > 1 ? atoi(argv[1]) : 1'000'000;

    // Recording: the system clock, as in the console.
    TrafficRecord record;
    size_t frameBytes = 0;
    const size_t heapBefore = HeapInUse();
    const auto start = std::chrono::steady_clock::now();
    Fill(record, records, &frameBytes);
    const double ns =
        std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    const size_t heap = HeapInUse() - heapBefore;
    const double perRecord = double(heap) / records;
    const double overhead = double(heap - frameBytes) / records;

    // The same again with the analysis window's model listening.
    TrafficRecord watched;
    TrafficModel model(watched);
    size_t ignored = 0;
    const auto start2 = std::chrono::steady_clock::now();
    Fill(watched, records, &ignored);
    const double ns2 =
        std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start2).count();
    watched.Clear();

    std::printf("traffic record, %d records (a 206-byte frame, 0x41, 0x4F, ...)\n", records);
    std::printf("  recording        %8.3f us/event alone, %8.3f us/event with the analysis model "
                "listening (goal <= 5 us)\n",
                ns / records / 1000.0, ns2 / records / 1000.0);
    std::printf("  memory           %8.1f bytes/record, of which %.1f the frame's own bytes; "
                "%.1f bytes/record beyond them (goal <= 64)\n",
                perRecord, double(frameBytes) / records, overhead);

    TrafficRecord empty;
    OpenWindow(empty); // warm-up: fonts, styles
    const WindowFigures none = OpenWindow(empty);
    const WindowFigures full = OpenWindow(record);
    std::printf("analysis window, created to the first paint of its table\n");
    std::printf("  empty record     %8.2f ms, heap %8.1f KiB; then %.3f ms per live record\n",
                none.firstPaintMs, none.heapBytes / 1024.0, none.liveMsPerRecord);
    std::printf("  %d records %8.2f ms, heap %8.1f KiB; then %.3f ms per live record (ratio "
                "%.2f to the empty window's first paint; the record itself %.1f MiB)\n",
                records, full.firstPaintMs, full.heapBytes / 1024.0, full.liveMsPerRecord,
                full.firstPaintMs / none.firstPaintMs, heap / 1048576.0);
    return 0;
}
