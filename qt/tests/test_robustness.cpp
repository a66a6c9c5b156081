// The console against what the world does to it: adapters pulled out, ports
// held by others, chips that babble, odd initial text files, and a chip that
// keeps answering while the repetition test holds the window's thread.
#include "serial/serial_comm_control.h"
#include "qt/form1.h"
#include "qt/initial_text.h"
#include "testsupport/chipsim_process.h"
#include "testsupport/fake_comm_control.h"
#include "testsupport/form_harness.h"
#include "testsupport/pty_peer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// A window in a working directory of its own that a test may prepare first.
struct Console {
    QTemporaryDir dir;
    QString oldCwd = QDir::currentPath();
    QStringList messages;
    std::unique_ptr<Form1Window> form;

    explicit Console(std::unique_ptr<CommControl> comm,
                     std::function<void(int32_t)> sleep = nullptr,
                     const std::function<void(const QString&)>& prepare = nullptr) {
        QDir::setCurrent(dir.path());
        if (prepare)
            prepare(dir.path());
        Form1Deps deps;
        deps.comm = std::move(comm);
        deps.messageBox = [this](const QString& text) { messages << text; };
        deps.sleepMs = std::move(sleep);
        form = std::make_unique<Form1Window>(std::move(deps));
    }
    ~Console() {
        form.reset();
        QDir::setCurrent(oldCwd);
    }
};

long ResidentKiB() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

const QStringList kStatusLines = {
    QStringLiteral("<-0x41  接收成功"),       QStringLiteral("<-0x41  接收成功   波特率已修改成功"),
    QStringLiteral("<-0x45  接收失败"),       QStringLiteral("<-0x45  接收失败  波特率未成功修改"),
    QStringLiteral("<-0x4A  初始化成功回传"), QStringLiteral("<-0x4E  芯片正在播音"),
    QStringLiteral("<-0x4F  芯片空闲"),
};

int CountReplyLines(const QString& log) {
    int n = 0;
    for (const QString& line : log.split(QStringLiteral("\r\n")))
        if (line.startsWith(QLatin1String("<-0x")))
            ++n;
    return n;
}

} // namespace

TEST(Robustness, AdapterPulledOutAndPluggedBackIn) {
    PortsFolder ports;
    auto first = std::make_unique<PtyPeer>();
    ASSERT_TRUE(first->ok());
    const QString adapter = ports.linkAdapter(1, first->devicePath());
    auto h = FormHarness::Real(ports.path());
    ASSERT_TRUE(h->form->MSComm1->PortOpen());
    ASSERT_TRUE(h->messages.isEmpty());

    QFile::remove(adapter); // the adapter is gone
    first->close();
    EXPECT_TRUE(WaitUntil([&] { return !h->form->MSComm1->PortOpen(); }, 1000));
    PumpEvents(300);
    EXPECT_TRUE(h->messages.isEmpty()) << "the control closes quietly";

    h->form->Command7_Click();
    EXPECT_EQ(h->messages, QStringList{kPortFailureMessage});
    EXPECT_TRUE(h->log().endsWith(QStringLiteral("---->0xFD 0x00 0x02 0x02 0xFD \r\n")));

    PtyPeer back; // plugged in again, behind the same name
    ASSERT_TRUE(back.ok());
    ports.linkAdapter(1, back.devicePath());
    h->form->Command7_Click();
    EXPECT_EQ(back.readAtLeast(5), Hex("FD 00 02 02 FD"));
    EXPECT_EQ(h->messages.size(), 1);
    EXPECT_TRUE(h->form->MSComm1->PortOpen());
}

TEST(Robustness, PortHeldByAnotherProgram) {
    PortsFolder ports;
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    ports.link(1, peer.devicePath());
    QProcess holder;
    holder.start(QStringLiteral(VXT_PORT_HOLDER_PATH), {peer.devicePath()});
    ASSERT_TRUE(holder.waitForReadyRead(5000)) << holder.readAllStandardError().constData();
    ASSERT_EQ(holder.readLine().trimmed(), QByteArray("held"));

    auto h = FormHarness::Real(ports.path());
    EXPECT_EQ(h->messages, QStringList{kPortFailureMessage});
    EXPECT_FALSE(h->form->MSComm1->PortOpen());
    EXPECT_TRUE(h->log().isEmpty());

    // Every later send tries again and gets the one message, nothing else.
    h->form->Command28_Click();
    EXPECT_EQ(h->messages.size(), 2);
    EXPECT_TRUE(peer.read(200).isEmpty());

    holder.closeWriteChannel();
    ASSERT_TRUE(holder.waitForFinished(5000));
    h->form->Command28_Click();
    EXPECT_EQ(peer.readAtLeast(5), Hex("FD 00 02 21 DE"));
    EXPECT_EQ(h->messages.size(), 2);
}

TEST(Robustness, BabblingChip) {
    PortsFolder ports;
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    ports.link(1, peer.devicePath());
    auto h = FormHarness::Real(ports.path());
    ASSERT_TRUE(h->form->MSComm1->PortOpen());
    PumpEvents(100);
    const long rssBefore = ResidentKiB();

    std::atomic<bool> stop{false};
    std::atomic<long long> babbled{0};
    std::thread chip([&] {
        QRandomGenerator random(4710);
        QByteArray chunk(512, '\0');
        while (!stop) {
            for (char& c : chunk)
                c = char(random.bounded(256));
            const qsizetype n = peer.writeSome(chunk);
            babbled += n;
            if (n == 0)
                QThread::usleep(100); // the line is full: the console is behind
        }
    });

    int ticks = 0;
    qint64 mostHeld = 0; // bytes the control holds for the reply handler
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        mostHeld = std::max(mostHeld, h->serial->Line().bytesAvailable());
    });
    timer.start(20);
    PumpEvents(3000);
    stop = true;
    chip.join();
    timer.stop();
    PumpEvents(300);

    EXPECT_GT(babbled.load(), 10000);
    // The event loop kept turning (a stalled loop would give a handful).
    EXPECT_GT(ticks, 30);
#if !defined(__SANITIZE_ADDRESS__)
    // (The address sanitizer keeps freed memory in quarantine: no measure there.)
    EXPECT_LT(ResidentKiB() - rssBefore, 64 * 1024) << "memory stays bounded";
#else
    Q_UNUSED(rssBefore);
#endif
    EXPECT_LE(mostHeld, 64 * 1024) << "the rest waits in the line, not in the console";
    const QStringList lines = h->log().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    EXPECT_FALSE(lines.isEmpty());
    for (const QString& line : lines)
        ASSERT_TRUE(kStatusLines.contains(line)) << line.toStdString();
    EXPECT_TRUE(h->messages.isEmpty());

    // Still a working console afterwards.
    peer.read(300, 100);
    h->form->Command28_Click();
    EXPECT_TRUE(peer.readAtLeast(5).endsWith(Hex("FD 00 02 21 DE")));
}

TEST(Robustness, OddInitialTextFiles) {
    const QString designText = QStringLiteral(
        "当前工作的重中之重，是要在重重困难中，保证重庆市的重点工程的顺利进行！\r\n");
    const QString fileName = QStringLiteral("初始默认文本.txt");
    auto writeFile = [&](const QByteArray& bytes) {
        return [=](const QString& dir) {
            QFile f(dir + QLatin1Char('/') + fileName);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        };
    };
    // 10 MB of Chinese, ASCII and line breaks.
    const QByteArray line = QByteArray::fromHex("D6D0CEC4") + "ABC\r\n"; // 中文ABC
    const int lines = 10 * 1024 * 1024 / line.size() + 1;
    struct Case {
        const char* name;
        std::function<void(const QString&)> prepare;
        std::function<void(const QString& text)> check;
    };
    const Case cases[] = {
        {"10 MB of text", writeFile(line.repeated(lines)),
         [&](const QString& text) { EXPECT_EQ(text, designText); }},
        {"just under the limit", writeFile(line.repeated(kInitialTextMaxBytes / line.size())),
         [&](const QString& text) {
             EXPECT_EQ(text.size(), kInitialTextMaxBytes / line.size() * 7);
             EXPECT_TRUE(text.startsWith(QStringLiteral("中文ABC\r\n中文ABC\r\n")));
         }},
        {"invalid GBK bytes",
         writeFile(QByteArray("ab\x81\x20"
                              "cd\xFF",
                              7)),
         [](const QString& text) {
             EXPECT_TRUE(text.startsWith(QLatin1String("ab")));
             EXPECT_TRUE(text.contains(QChar(0xFFFD)));
             EXPECT_TRUE(text.contains(QLatin1String("cd")));
         }},
        {"a directory in its place", [&](const QString& dir) { QDir(dir).mkdir(fileName); },
         [&](const QString& text) { EXPECT_EQ(text, designText); }},
        {"a pipe in its place",
         [&](const QString& dir) {
             ASSERT_EQ(
                 mkfifo(QFile::encodeName(dir + QLatin1Char('/') + fileName).constData(), 0644), 0);
         },
         [&](const QString& text) { EXPECT_EQ(text, designText); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Console console(std::make_unique<FakeCommControl>(), nullptr, c.prepare);
        console.form->show();
        PumpEvents(50);
        EXPECT_TRUE(console.form->isVisible());
        c.check(console.form->Widget(&Form1::Text3)->Text());
        if (QByteArrayView(c.name) == "10 MB of text")
            EXPECT_EQ(console.messages, QStringList{ToQString(kInitialTextTooLargeMessage)});
        else if (QByteArrayView(c.name) == "invalid GBK bytes")
            EXPECT_EQ(console.messages,
                      QStringList{QStringLiteral(
                          "初始默认文本.txt 按 GBK 读取，有 2 处字节不成文字（第一处在第 3 "
                          "字节），已换成 �，发送时为 ?（文件未作任何改动）")});
        else
            EXPECT_TRUE(console.messages.isEmpty());
    }
}

TEST(Robustness, UnreadableInitialTextFile) {
    // Run where the permission bits count: as root, in a child that gave up
    // its rights.
    QTemporaryDir dir;
    ASSERT_EQ(chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
    const QString path = dir.path() + QStringLiteral("/初始默认文本.txt");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("secret");
    }
    ASSERT_EQ(chmod(QFile::encodeName(path).constData(), 0), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
        if (chdir(QFile::encodeName(dir.path()).constData()) != 0)
            _exit(4);
        _exit(ReadInitialFile().outcome == InitialFile::Outcome::Read ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "an unreadable file gives no text (keeps the design text)";
}

TEST(Robustness, RepetitionTestWhileTheChipKeepsAnswering) {
    PortsFolder ports;
    ChipSim chip(ports.path(), 1, 0.001);
    ASSERT_TRUE(chip.started());
    // Each wait of the test really passes, 50 times faster, so that the chip
    // answers while the window's thread is held.
    Console console(std::make_unique<SerialCommControl>(ports.path()),
                    [](int32_t ms) { QThread::msleep(ms / 50); });
    Form1Window& form = *console.form;
    ASSERT_TRUE(form.MSComm1->PortOpen());
    PumpEvents(200);
    form.Widget(&Form1::Text4)->SetText(QString());
    form.Widget(&Form1::Text3)->SetText(QStringLiteral("你好，世界"));
    form.Widget(&Form1::Text1)->SetText(QStringLiteral("6"));
    form.RepeatCycles = 1;

    const int sentBefore = int(chip.lines().filter(QRegularExpression("^send 0x")).size());
    form.Command4_Click();
    // Every reply the chip sent meanwhile waits in the line; all of them are
    // handled once the test returns, none lost.
    auto chipSent = [&] {
        return int(chip.lines().filter(QRegularExpression("^send 0x")).size()) - sentBefore;
    };
    int last = -1;
    for (int i = 0; i < 40 && chipSent() != last; ++i) {
        last = chipSent();
        PumpEvents(100);
    }
    EXPECT_GT(chipSent(), 20);
    EXPECT_TRUE(WaitUntil([&] { return CountReplyLines(form.Widget(&Form1::Text4)->Text()) == chipSent(); }, 3000))
        << CountReplyLines(form.Widget(&Form1::Text4)->Text()) << " reply lines for " << chipSent()
        << " bytes sent";
    EXPECT_EQ(chip.process().state(), QProcess::Running);
    EXPECT_TRUE(console.messages.isEmpty());
}
