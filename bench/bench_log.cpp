// How an entry of the work log costs as the log grows: 100,000 frame
// entries through LogFrame into the real window's Text4, the event loop run
// after each one as between user actions. Prints the time per entry over the
// first and the last 1,000 entries and their ratio.
#include "qt/qt_text.h"
#include "qt/form1.h"
#include "testsupport/fake_comm_control.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <sys/resource.h>

namespace {
constexpr int kEntries = 100000;
constexpr int kWindow = 1000;
} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // The window reads (and creates) its initial text file here.
    QTemporaryDir workDir;
    QDir::setCurrent(workDir.path());

    Form1Deps deps;
    deps.comm = std::make_unique<FakeCommControl>();
    deps.messageBox = [](const QString&) {};
    Form1Window form(std::move(deps));
    form.show();
    QCoreApplication::processEvents();

    // The frame of the text 你好.
    const QByteArray frame = QByteArray::fromHex("FD000701"
                                                 "01C4E3BAC3A4");
    form.LastDataIndex = static_cast<int16_t>(frame.size() - 2);

    // Per window: LogFrame alone, and LogFrame with the event loop that
    // follows it (layout and repaint of the box).
    qint64 appendNs[2] = {0, 0};
    qint64 withLoopNs[2] = {0, 0};
    QElapsedTimer total;
    total.start();
    QElapsedTimer timer;
    for (int i = 0; i < kEntries; ++i) {
        const int window = i < kWindow ? 0 : i >= kEntries - kWindow ? 1 : -1;
        timer.start();
        form.LogFrame(ToStdBytes(frame));
        const qint64 appended = timer.nsecsElapsed();
        // Between the windows the loop runs now and then only, to keep the run short.
        if (window >= 0 || i % 100 == 0)
            QCoreApplication::processEvents();
        if (window >= 0) {
            appendNs[window] += appended;
            withLoopNs[window] += timer.nsecsElapsed();
        }
    }

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("log append: %d entries, log %lld characters, %.1f s in all, peak memory %ld MB\n",
                kEntries, static_cast<long long>(form.Widget(&Form1::Text4)->Length()), total.elapsed() / 1000.0,
                usage.ru_maxrss / 1024);
    const auto report = [](const char* what, const qint64 ns[2]) {
        const double first = double(ns[0]) / kWindow / 1000.0;
        const double last = double(ns[1]) / kWindow / 1000.0;
        const double ratio = first > 0 ? last / first : 0;
        std::printf("%s: first %d %.1f us/entry, last %d %.1f us/entry, ratio %.2f\n", what,
                    kWindow, first, kWindow, last, ratio);
        return ratio;
    };
    const double ratio = report("log append (LogFrame)", appendNs);
    report("log append with event loop", withLoopNs);
    std::printf("log append: goal ratio <= 2: %s\n", ratio <= 2.0 ? "met" : "NOT met");
    return 0;
}
