// The Windows console's figures, under Wine or on Windows: creating the
// window with its 54 controls to its first paint (median of runs; start-up's
// port open and initial file are left out), and the work log's cost per
// entry, the first against the last 1,000 of 100,000 frame entries through
// LogFrame into the real Text4, the window's messages (its paints and the
// log's batched updates) handled after each entry, as between the chip's
// replies. Arguments: [runs] [entries].
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
    double first = 0, last = 0, longest = 0;
    const double begin = Now();
    for (int i = 0; i < entries; ++i) {
        const double t0 = Now();
        window.LogFrame(frame);
        const double logged = Now();
        Pump();
        const double spent = Now() - t0;
        longest = std::max(longest, Now() - logged);
        if (i < block)
            first += spent;
        else if (i >= entries - block)
            last += spent;
    }
    std::printf("work log, %d frame entries (%d characters): first %d: %.1f us/entry; last %d: "
                "%.1f us/entry; ratio %.2f\n",
                entries, window.Text4->Length(), block, first * 1000 / block, block,
                last * 1000 / block, last / first);
    // The log reaches the screen in batches: the longest the window was busy
    // with them at a time is how long a user's click may wait.
    const double flushStart = Now();
    (void)window.Text4->Text(); // everything on the screen
    std::printf("work log: all %d entries logged and shown in %.1f s (the last update %.1f ms); "
                "longest message handling between entries %.1f ms\n",
                entries, (Now() - begin) / 1000, Now() - flushStart, longest);
    return 0;
}
