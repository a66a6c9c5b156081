// The Windows console's figures, under Wine or on Windows: creating the
// window with its 54 controls to its first paint (median of runs; start-up's
// port open and initial file are left out), and the work log's cost per
// entry, the first against the last 1,000 of 100,000 frame entries through
// LogFrame into the real Text4, the window's messages (its paints and the
// log's batched updates) handled after each entry, as between the chip's
// replies. Arguments: [runs] [entries].
#include "win32/win_controls.h"
#include "win32/win_window.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}
} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    const int entries = argc > 2 ? std::atoi(argv[2]) : 100000;
    SetProcessDPIAware();
    HINSTANCE instance = GetModuleHandleW(nullptr);

    std::vector<double> startup;
    for (int i = 0; i < runs; ++i) {
        const double t0 = Now();
        Form1Window window(instance);
        ShowWindow(window.Handle(), SW_SHOWNOACTIVATE);
        UpdateWindow(window.Handle()); // paints the window and its controls now
        startup.push_back(Now() - t0);
        Pump();
    }
    std::sort(startup.begin(), startup.end());
    std::printf("window creation to first paint: median %.2f ms, min %.2f ms, max %.2f ms (%d runs)\n",
                startup[startup.size() / 2], startup.front(), startup.back(), runs);

    Form1Window window(instance);
    ShowWindow(window.Handle(), SW_SHOWNOACTIVATE);
    UpdateWindow(window.Handle());
    // The frame of the text 你好.
    const std::string frame("\xFD\x00\x07\x01\x01\xC4\xE3\xBA\xC3\xA4", 10);
    window.LastDataIndex = int16_t(frame.size() - 2);
    const int block = std::min(1000, entries / 2);
    auto* log = static_cast<win::TextBox*>(window.Text4);
    // Entries as fast as LogFrame makes them, the window's messages handled
    // after each; every 1,000 entries all of them are put on the screen, so
    // that each block pays for its own display.
    double first = 0, last = 0, longest = 0;
    const double begin = Now();
    double blockStart = begin;
    for (int i = 0; i < entries; ++i) {
        window.LogFrame(frame);
        const double logged = Now();
        Pump();
        longest = std::max(longest, Now() - logged);
        if (i % block == block - 1) {
            log->Flush();
            const double now = Now();
            if (i < block)
                first = now - blockStart;
            else if (i >= entries - block)
                last = now - blockStart;
            blockStart = now;
        }
    }
    std::printf("work log, %d frame entries (%d characters) as fast as they come: first %d: "
                "%.1f us/entry; last %d: %.1f us/entry; ratio %.2f; all in %.1f s; longest "
                "message handling between entries %.1f ms\n",
                entries, window.Text4->Length(), block, first * 1000 / block, block,
                last * 1000 / block, last / first, (Now() - begin) / 1000, longest);

    // One at a time, each shown before the next: what one update of the
    // control costs on a fresh log and on the long one.
    const auto oneByOne = [&](int count) {
        const double t0 = Now();
        for (int i = 0; i < count; ++i) {
            window.LogFrame(frame);
            log->Flush();
            Pump();
        }
        return (Now() - t0) / count;
    };
    const int few = 200;
    const double late = oneByOne(few);
    window.Text4->SetText(u"");
    const double early = oneByOne(few);
    std::printf("work log, each entry shown before the next (%d entries): on an empty log %.2f "
                "ms/entry; on the log of %d entries %.2f ms/entry; ratio %.2f\n",
                few, early, entries, late, late / early);
    return 0;
}
