// A text at the size limit of the initial text file (1,048,576 bytes) in
// three shapes: one line without a break opportunity, lines of 50
// characters, random GBK characters on one line. For each: start-up (a new
// process of this program, from its start to the window's first paint, the
// file read on the way), the same text opened through 打开文本文件 in a shown
// window, and then in that text a typed key, a selection and a playback
// step, each to the next paint.
#include "bench/paint_watch.h"
#include "qt/qt_text.h"
#include "qt/form1.h"
#include "qt/initial_text.h"
#include "testsupport/fake_comm_control.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextCursor>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr int kBytes = 1024 * 1024;

QByteArray OneLine() {
    return QByteArray(kBytes, 'a');
}

QByteArray FiftyCharacterLines() {
    QByteArray b;
    while (b.size() < kBytes)
        b += QByteArray(48, 'a' + char(b.size() % 26)) + "\r\n";
    b.truncate(kBytes);
    return b;
}

// Random Chinese characters from two areas where every GBK pair is a
// character (lead 0x81-0xA0 with trail 0x40-0xFE but 0x7F; lead 0xB0-0xD6 with
// trail 0xA1-0xFE), so the text opens without a message, with a random ASCII
// character now and then; no line break.
QByteArray RandomGbk() {
    std::mt19937 rng(4710);
    QByteArray b;
    b.reserve(kBytes);
    while (b.size() < kBytes) {
        if (rng() % 8 == 0 || b.size() == kBytes - 1) {
            b += char(0x21 + rng() % 94);
        } else if (rng() % 2 == 0) {
            b += char(0x81 + rng() % 32);
            int trail = 0x40 + int(rng() % 191);
            if (trail == 0x7F)
                trail = 0x80;
            b += char(trail);
        } else {
            b += char(0xB0 + rng() % 39);
            b += char(0xA1 + rng() % 94);
        }
    }
    return b;
}

// Runs act() and waits for the next paint of w; milliseconds.
double ToNextPaint(QWidget* w, const std::function<void()>& act) {
    PaintWatch watch;
    w->installEventFilter(&watch);
    QElapsedTimer t;
    t.start();
    act();
    w->update();
    while (!watch.painted)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    const double ms = t.nsecsElapsed() / 1e6;
    w->removeEventFilter(&watch);
    return ms;
}

std::unique_ptr<Form1Window> MakeForm1(const QString& openPath) {
    Form1Deps deps;
    deps.comm = std::make_unique<FakeCommControl>();
    deps.messageBox = [](const QString& text) { std::printf("  message: %s\n", qPrintable(text)); };
    deps.sleepMs = [](int32_t) {};
    deps.fileDialog = [openPath](const FileDialogRequest&) {
        FileDialogAnswer a;
        a.path = openPath;
        return a;
    };
    return std::make_unique<Form1Window>(std::move(deps));
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

// Child mode: this process's start to the first paint of the window that
// reads the initial text file in the current folder; prints milliseconds.
int StartUp(int argc, char* argv[]) {
    QElapsedTimer t;
    t.start();
    QApplication app(argc, argv);
    std::unique_ptr<Form1Window> form = MakeForm1(QString());
    PaintWatch watch;
    form->installEventFilter(&watch);
    form->show();
    while (!watch.painted)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    const double ms = t.nsecsElapsed() / 1e6;
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    const double cpuMs = (use.ru_utime.tv_sec + use.ru_stime.tv_sec) * 1e3 +
                         (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e3;
    std::printf("%.1f %.1f\n", ms, cpuMs);
    return 0;
}

// Wall and processor milliseconds of one start-up in a new process.
std::pair<double, double> StartUpInNewProcess(const QString& folder) {
    QProcess child;
    child.setWorkingDirectory(folder);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--startup")});
    child.waitForFinished(600000);
    const QList<QByteArray> f = child.readAllStandardOutput().simplified().split(' ');
    return {f.value(0).toDouble(), f.value(1).toDouble()};
}

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc > 1 && QByteArray(argv[1]) == "--startup")
        return StartUp(argc, argv);
    QApplication app(argc, argv);
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    const QString other = work.filePath(QStringLiteral("other.txt"));

    const struct {
        const char* name;
        QByteArray bytes;
    } shapes[] = {{"1 MB on one line, no break", OneLine()},
                  {"1 MB of 50-character lines", FiftyCharacterLines()},
                  {"1 MB of random GBK, one line", RandomGbk()}};
    std::printf("a 1,048,576-byte text in the window, median of %d runs (offscreen), ms;\n"
                "start-up: a new process each time, to the window's first paint\n",
                runs);
    std::printf("  %-30s %9s %9s %9s %9s %9s %9s\n", "text", "start-up", "(cpu)", "open", "type",
                "select", "play");
    for (const auto& shape : shapes) {
        for (const QString& name : {ToQString(kInitialTextFileName), other}) {
            QFile f(name);
            f.open(QIODevice::WriteOnly | QIODevice::Truncate);
            f.write(shape.bytes);
        }
        std::vector<double> startup, startupCpu, open, type, select, play;
        for (int i = 0; i < runs; ++i) {
            const auto [wall, cpu] = StartUpInNewProcess(work.path());
            startup.push_back(wall);
            startupCpu.push_back(cpu);
            std::unique_ptr<Form1Window> form = MakeForm1(other);
            form->show();
            QCoreApplication::processEvents();

            TextBox* box = form->Widget(&Form1::Text3);
            QWidget* view = box->viewport();
            open.push_back(ToNextPaint(view, [&] { form->OpenTextFile(); }));
            const int middle = box->Length() / 2;
            type.push_back(ToNextPaint(view, [&] {
                box->SetSelStart(middle);
                QKeyEvent key(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
                QApplication::sendEvent(box, &key);
            }));
            select.push_back(ToNextPaint(view, [&] {
                box->SetSelStart(middle + 1000);
                box->SetSelLength(300);
            }));
            // A step of continuous playback: the rest of the text selected,
            // the next piece cut to 200 bytes and sent.
            play.push_back(ToNextPaint(view, [&] {
                box->SetSelStart(middle + 2000);
                box->SetSelLength(box->Length() - box->SelStart());
                form->Command6_Click();
            }));
        }
        std::printf("  %-30s %9.1f %9.1f %9.1f %9.1f %9.1f %9.1f\n", shape.name, Median(startup),
                    Median(startupCpu), Median(open), Median(type), Median(select), Median(play));
    }
    std::printf("  goal: start-up and open under 1000 ms; type, select, play under 100 ms\n");
    return 0;
}
