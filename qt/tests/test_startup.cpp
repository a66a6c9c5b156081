// Start-up and shut-down: the initial text file, the start values, the port
// at 9600 8N1 or one port-failure message, closing the port on the way out.
#include "testsupport/form_harness.h"
#include "testsupport/pty_peer.h"

#include <QFileInfo>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

const QString kFileName = QStringLiteral("初始默认文本.txt");
const QString kPortFailure =
    QStringLiteral("串口不存在或被占用,若电脑没有串口，请使用USB转串口设备");
const QString kDesignText =
    QStringLiteral("当前工作的重中之重，是要在重重困难中，保证重庆市的重点工程的顺利进行！\r\n");

// Every start value a finished start-up leaves, whatever the port did.
void ExpectStartValues(Form1Window& f) {
    EXPECT_EQ(f.PlayAllActive, 0);
    EXPECT_EQ(f.BaudChangePending, 0);
    EXPECT_EQ(f.RepeatIntervalMs, 30000);
    EXPECT_EQ(f.AttributeFramesEnabled, -1);
    EXPECT_EQ(f.FrameHeader, 0xFD);
    EXPECT_EQ(f.MaxTextBytes, 200);
    EXPECT_EQ(f.PortNumber, 1);
    EXPECT_TRUE(f.FrameBuffer.empty());
    EXPECT_EQ(f.LastDataIndex, 0);
    EXPECT_EQ(f.ChecksumIndex, 0);
    EXPECT_EQ(f.Checksum, 0);
    EXPECT_EQ(f.TextByteCount, 0);
    EXPECT_EQ(f.LoopIndex, 0);

    EXPECT_EQ(f.Widget(&Form1::Check1)->Value(), 1);
    EXPECT_EQ(f.Widget(&Form1::Check2)->Value(), 1);
    EXPECT_EQ(f.Widget(&Form1::Check3)->Value(), 1);
    EXPECT_EQ(f.Widget(&Form1::Check4)->Value(), 1);
    EXPECT_TRUE(f.Widget(&Form1::Option1)->Value());
    EXPECT_FALSE(f.Widget(&Form1::Option2)->Value());
    const struct {
        ComboBox* combo;
        int index;
        const char* text;
    } combos[] = {{f.Widget(&Form1::Combo1), 0, "无背景（默认）"},
                  {f.Widget(&Form1::Combo2), 0, "9600"},
                  {f.Widget(&Form1::Combo5), 0, "设置成9600(默认)"},
                  {f.Widget(&Form1::Combo3), 1, "PWM 输出(默认)"},
                  {f.Widget(&Form1::Combo4), -1, "COM1"}};
    for (const auto& c : combos) {
        EXPECT_EQ(c.combo->ListIndex(), c.index) << c.text;
        EXPECT_EQ(c.combo->Text(), QString::fromUtf8(c.text));
    }
    EXPECT_EQ(f.Widget(&Form1::HScroll1)->Value(), 11);
    EXPECT_EQ(f.Widget(&Form1::HScroll2)->Value(), 5);
    EXPECT_EQ(f.Widget(&Form1::HScroll3)->Value(), 5);
    EXPECT_EQ(f.Widget(&Form1::Text1)->Text(), QStringLiteral("30"));
    EXPECT_EQ(f.Widget(&Form1::Text4)->Text(), QString());
    EXPECT_EQ(f.Widget(&Form1::Text5)->Text(),
              QStringLiteral("fd 00 0f 01 01 b0 a1 b0 a1 b0 a1 b0 a1 b0 a1 b0 a1\r\n"));
    EXPECT_EQ(f.MSComm1->Settings(), "9600,N,8,1");
    EXPECT_EQ(f.MSComm1->InBufferSize(), 2);
    EXPECT_EQ(f.MSComm1->CommPort(), 1);
}

// Builds a window in the current directory with the given control.
struct BareForm {
    QStringList messages;
    std::unique_ptr<Form1Window> form;
    explicit BareForm(std::unique_ptr<CommControl> comm) {
        Form1Deps deps;
        deps.comm = std::move(comm);
        deps.messageBox = [this](const QString& text) { messages << text; };
        form = std::make_unique<Form1Window>(std::move(deps));
    }
};

struct InDirectory {
    QString old = QDir::currentPath();
    explicit InDirectory(const QString& path) { QDir::setCurrent(path); }
    ~InDirectory() { QDir::setCurrent(old); }
};

} // namespace

TEST(StartUp, StartValuesWithThePortOpen) {
    FormHarness h;
    ExpectStartValues(*h.form);
    EXPECT_TRUE(h.messages.isEmpty());
    EXPECT_TRUE(h.fake->PortOpen());
    // Settings and buffer first, then the port, then the open; nothing sent
    // whatever the selections notified.
    EXPECT_EQ(h.fake->calls,
              QStringList({"settings 9600,N,8,1", "port 1", "open COM1 9600,N,8,1"}));
    EXPECT_TRUE(h.fake->written.isEmpty());
}

TEST(StartUp, NoInitialFileCreatesItEmpty) {
    FormHarness h;
    const QFileInfo file(h.workDir.path() + QLatin1Char('/') + kFileName);
    EXPECT_TRUE(file.isFile());
    EXPECT_EQ(file.size(), 0);
    EXPECT_EQ(h->Widget(&Form1::Text3)->Text(), QString());
    EXPECT_TRUE(h.messages.isEmpty());
}

TEST(StartUp, InitialFileIsDecodedFromGbk) {
    const struct {
        const char* name;
        const char* gbkHex;
        const char* text; // UTF-8
    } cases[] = {
        {"Chinese, ASCII and line breaks",
         "c4e3bac3a3accac0bde70d0a5658543437313020bfaacabc0d0a0d0ad6d0cec4",
         "你好，世界\r\nVXT4710 "
         "开始\r\n\r\n中文"},
        {"one line without a break", "cef7b0b2cad0", "西安市"},
        {"ends with a break", "410d0a", "A\r\n"},
        // A byte-order mark is no header here: it is decoded like text.
        {"leading bytes of a byte-order mark", "efbbbf41", "锘緼"},
        {"a lead byte without its trail byte", "41812042",
         "A\xEF\xBF\xBD"
         " B"},
        {"a lead byte cut off at the end", "4181", "A\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FormHarness h(std::optional<QByteArray>(QByteArray::fromHex(c.gbkHex)));
        EXPECT_EQ(h->Widget(&Form1::Text3)->Text(), QString::fromUtf8(c.text));
        EXPECT_EQ(h->Widget(&Form1::Text3)->Length(), QString::fromUtf8(c.text).size());
        // The file is only read, never written.
        QFile file(h.workDir.path() + QLatin1Char('/') + kFileName);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), QByteArray::fromHex(c.gbkHex));
    }
}

// The initial file is GBK, bytes as they are; what is no text becomes
// "\uFFFD" and a message says where, once the text is in the box.
TEST(StartUp, InitialFileFollowsTheTextFileRule) {
    const QString r(QChar(0xFFFD));
    const auto notice = [](int places, int first) {
        return QStringLiteral("初始默认文本.txt 按 GBK 读取，有 %1 处字节不成文字（第一处在第 %2 "
                              "字节），已换成 �，发送时为 ?（文件未作任何改动）")
            .arg(places)
            .arg(first);
    };
    const struct {
        const char* name;
        QByteArray bytes;
        QString text;
        QString message; // empty: none
    } cases[] = {
        // "你好" in UTF-8, then E4 B8: GBK text, whole.
        {"bytes like UTF-8 cut off at the end",
         QByteArray::fromHex("e4bda0e5a5bde4b8"),
         QStringLiteral("浣犲ソ涓"),
         {}},
        {"FF FE FD", QByteArray::fromHex("c4e3fffefd41"), QStringLiteral("你") + r + r + u'A',
         notice(2, 3)},
        {"a lead byte at the end", QByteArray::fromHex("4181"), QStringLiteral("A") + r,
         notice(1, 2)},
        {"NUL", QByteArray::fromHex("410042"), u'A' + r + u'B', notice(1, 2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FormHarness h(std::optional<QByteArray>(c.bytes));
        EXPECT_EQ(h->Widget(&Form1::Text3)->Text().toStdU16String(), c.text.toStdU16String());
        EXPECT_EQ(h.messages, c.message.isEmpty() ? QStringList() : QStringList{c.message});
        EXPECT_TRUE(h.fake->written.isEmpty());
    }
}

TEST(StartUp, ALongInitialTextArrivesWhole) {
    QByteArray gbk;
    QString text;
    for (int i = 0; i < 5000; ++i) {
        gbk += QByteArray::fromHex("d6d0cec441620d0a"); // 中文Ab CR LF
        text += QStringLiteral("中文Ab\r\n");
    }
    FormHarness h{std::optional<QByteArray>(gbk)};
    EXPECT_EQ(h->Widget(&Form1::Text3)->Text(), text);
    EXPECT_EQ(h->Widget(&Form1::Text3)->Length(), text.size());
}

TEST(StartUp, NoRegularFileInItsPlaceKeepsTheDesignText) {
    const struct {
        const char* name;
        std::function<bool(const QString& path)> make;
    } cases[] = {
        {"a directory", [](const QString& path) { return QDir().mkdir(path); }},
        // Nobody ever writes into it: reading must not wait for a writer.
        {"a pipe",
         [](const QString& path) {
             return mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(c.make(dir.path() + QLatin1Char('/') + kFileName));
        InDirectory in(dir.path());
        BareForm f(std::make_unique<FakeCommControl>());
        EXPECT_EQ(f.form->Widget(&Form1::Text3)->Text(), kDesignText);
        EXPECT_TRUE(f.messages.isEmpty());
        ExpectStartValues(*f.form);
    }
}

TEST(StartUp, AnUnreadableFileDoesNotStopStartUp) {
    QTemporaryDir dir;
    {
        QFile file(dir.path() + QLatin1Char('/') + kFileName);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromHex("c4e3bac3"));
        file.setPermissions(QFileDevice::Permissions());
    }
    InDirectory in(dir.path());
    BareForm f(std::make_unique<FakeCommControl>());
    // The superuser reads it all the same; anyone else keeps the design text.
    EXPECT_EQ(f.form->Widget(&Form1::Text3)->Text(), geteuid() == 0 ? QStringLiteral("你好") : kDesignText);
    EXPECT_TRUE(f.messages.isEmpty());
    ExpectStartValues(*f.form);
}

TEST(StartUp, AFileThatCannotBeCreatedKeepsTheDesignText) {
    const QString old = QDir::currentPath();
    {
        QTemporaryDir dir;
        ASSERT_TRUE(QDir::setCurrent(dir.path()));
    } // the working directory vanishes under us
    {
        BareForm f(std::make_unique<FakeCommControl>());
        EXPECT_EQ(f.form->Widget(&Form1::Text3)->Text(), kDesignText);
        EXPECT_TRUE(f.messages.isEmpty());
        ExpectStartValues(*f.form);
    }
    QDir::setCurrent(old);
}

TEST(StartUp, MissingCom1GivesOneMessageAndEveryStartValue) {
    FormHarness h([](FakeCommControl& fake) { fake.missingPorts << 1; });
    EXPECT_EQ(h.messages, QStringList{kPortFailure});
    ExpectStartValues(*h.form);
    EXPECT_FALSE(h.fake->PortOpen());
    EXPECT_TRUE(h.fake->written.isEmpty());
    EXPECT_EQ(h.log(), QString());
}

// A control that opens without complaint but reads back closed.
class SilentlyClosedPort : public FakeCommControl {
  public:
    void SetPortOpen(bool) override {}
};

TEST(StartUp, APortThatReadsBackClosedGivesOneMessage) {
    QTemporaryDir dir;
    InDirectory in(dir.path());
    BareForm f(std::make_unique<SilentlyClosedPort>());
    EXPECT_EQ(f.messages, QStringList{kPortFailure});
    ExpectStartValues(*f.form);
}

TEST(StartUp, RealPortOnAPseudoTerminal) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    PortsFolder ports;
    ports.link(1, peer.devicePath());
    auto h = FormHarness::Real(ports.path());
    Form1Window& form = *h->form;
    EXPECT_TRUE(h->messages.isEmpty());
    ExpectStartValues(form);
    ASSERT_TRUE(form.MSComm1->PortOpen());
    form.show();
    EXPECT_EQ(peer.baudRate(), 9600);
    const int port = h->serial->Line().port().handle();
    EXPECT_EQ(LineSettingsOn(port), QStringLiteral("9600 8N1"));
    termios tio{};
    ASSERT_EQ(tcgetattr(port, &tio), 0);
    EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB), tcflag_t(0));
    // Nothing goes out at start-up.
    EXPECT_TRUE(peer.read(300).isEmpty());

    form.close();
    EXPECT_FALSE(h->serial->Line().isOpen());
    EXPECT_FALSE(form.MSComm1->PortOpen());
}

TEST(StartUp, RealPortLinkedToNothing) {
    PortsFolder ports;
    ports.link(1, QStringLiteral("/dev/vxt4710-absent"));
    auto h = FormHarness::Real(ports.path());
    EXPECT_EQ(h->messages, QStringList{kPortFailure});
    ExpectStartValues(*h->form);
    EXPECT_FALSE(h->form->MSComm1->PortOpen());
    EXPECT_EQ(h->log(), QString());
    // Closing the window with the port closed does nothing.
    h->form->close();
    EXPECT_EQ(h->messages.size(), 1);
}

TEST(ShutDown, ClosingClosesAnOpenPortOnly) {
    FormHarness h;
    ASSERT_TRUE(h.fake->PortOpen());
    h.fake->calls.clear();
    h->close();
    EXPECT_FALSE(h.fake->PortOpen());
    EXPECT_EQ(h.fake->calls, QStringList{"close"});

    FormHarness closed([](FakeCommControl& fake) { fake.missingPorts << 1; });
    closed.fake->calls.clear();
    closed->close();
    EXPECT_TRUE(closed.fake->calls.isEmpty());
}

// The device goes away while the window is open: the port reads closed, and
// the next frame tries to open it again and shows the message once.
TEST(ShutDown, ADeviceThatGoesAwayLeavesThePortClosed) {
    PtyPeer peer;
    PortsFolder ports;
    const QString adapter = ports.linkAdapter(1, peer.devicePath());
    auto h = FormHarness::Real(ports.path());
    ASSERT_TRUE(h->form->MSComm1->PortOpen());
    peer.close();
    QFile::remove(adapter);
    EXPECT_TRUE(WaitUntil([&] { return !h->form->MSComm1->PortOpen(); }, 1000));
    EXPECT_TRUE(h->messages.isEmpty());
    EXPECT_FALSE(h->form->SendBytes(ToStdBytes(Hex("FD 00 01 22 DC"))));
    EXPECT_EQ(h->messages, QStringList{kPortFailure});
}
