// Work-log memory: the growth of resident memory while 100,000 frame entries
// go into the console's log, beside a bare QPlainTextEdit given the same text
// in the same run. Each side runs in a child process of its own, so that
// neither inherits the other's freed memory.
#include "bench/bench_pty.h"
#include "core/frame_codec.h"
#include "qt/qt_text.h"
#include "qt/form1.h"
#include "testsupport/fake_comm_control.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <unistd.h>

namespace {

QByteArray Frame(int i) {
    // A text frame of 20 to 60 bytes, different each time.
    QByteArray f = QByteArray::fromHex("FD0000 0101");
    const int n = 20 + i % 41;
    for (int k = 0; k < n; ++k)
        f += char('A' + (i + k) % 26);
    f[2] = char(n + 3);
    f += char(XorOf(ToStdBytes(f)));
    return f;
}

int RunSide(const QString& side, int entries) {
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    long before = 0;
    long long characters = 0;
    if (side == QLatin1String("console")) {
        Form1Deps deps;
        deps.comm = std::make_unique<FakeCommControl>();
        deps.messageBox = [](const QString&) {};
        Form1Window form(std::move(deps));
        form.show();
        QCoreApplication::processEvents();
        before = ResidentKiB();
        for (int i = 0; i < entries; ++i) {
            const QByteArray f = Frame(i);
            form.LastDataIndex = int16_t(f.size() - 2);
            form.LogFrame(ToStdBytes(f));
        }
        QCoreApplication::processEvents();
        characters = form.Widget(&Form1::Text4)->Length();
    } else {
        QPlainTextEdit edit;
        edit.resize(513, 185);
        edit.show();
        QCoreApplication::processEvents();
        before = ResidentKiB();
        for (int i = 0; i < entries; ++i) {
            edit.moveCursor(QTextCursor::End);
            edit.insertPlainText(ToQString(FrameLogText(ToStdBytes(Frame(i)))));
        }
        QCoreApplication::processEvents();
        characters = edit.document()->characterCount() + edit.document()->blockCount();
    }
    std::printf("%ld %lld\n", ResidentKiB() - before, characters);
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int entries = 100000;
    if (args.size() > 1)
        return RunSide(args[1], entries);

    long growth[2] = {0, 0};
    long long characters[2] = {0, 0};
    const char* sides[2] = {"console", "bare"};
    for (int s = 0; s < 2; ++s) {
        QProcess child;
        child.start(app.applicationFilePath(), {QString::fromLatin1(sides[s])});
        if (!child.waitForFinished(600000) || child.exitCode() != 0) {
            std::fprintf(stderr, "%s side failed\n", sides[s]);
            return 1;
        }
        std::sscanf(child.readAllStandardOutput().constData(), "%ld %lld", &growth[s],
                    &characters[s]);
    }
    std::printf("work-log memory over %d frame entries (%lld characters)\n", entries,
                characters[0]);
    std::printf("  console log        +%8ld KiB  %6.1f bytes per character\n", growth[0],
                growth[0] * 1024.0 / characters[0]);
    std::printf("  bare QPlainTextEdit +%7ld KiB  %6.1f bytes per character\n", growth[1],
                growth[1] * 1024.0 / characters[1]);
    std::printf("  ratio console / bare %.2f (goal <= 1.1)\n", double(growth[0]) / growth[1]);
    return 0;
}
