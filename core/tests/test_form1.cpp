// The window's handlers on plain fake controls: the same frames, log lines,
// messages and state on every platform the core builds for.
#include "core/control_table.h"
#include "core/form1.h"
#include "core/form1_events.h"
#include "core/gbk.h"
#include "core/tests/bytes.h"
#include "core/tests/fake_controls.h"
#include "core/text_util.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

std::u16string LogOf(const char* hex) {
    const std::string frame = Hex(hex);
    std::u16string log = u"发出一帧，字节数  " + Number16(int64_t(frame.size())) + u"\r\n---->";
    for (unsigned char b : frame) {
        static const char16_t kDigits[] = u"0123456789ABCDEF";
        log += u"0x";
        log += kDigits[b >> 4];
        log += kDigits[b & 15];
        log += u' ';
    }
    return log + u"\r\n";
}

struct HandlerCase {
    const char* name;
    std::function<void(Form1&)> act;
    const char* frame; // the one frame on the line, logged before it went
};

class Handlers : public testing::TestWithParam<HandlerCase> {};

TEST_P(Handlers, SendTheFrameAndLogItFirst) {
    FakeWindow w;
    w.Load();
    GetParam().act(*w.form);
    ASSERT_EQ(w.comm.written.size(), 1u);
    EXPECT_EQ(SpacedHex(w.comm.written[0]), GetParam().frame);
    EXPECT_EQ(w.Log(), LogOf(GetParam().frame));
    EXPECT_TRUE(w.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, Handlers,
    testing::Values(
        HandlerCase{"Text",
                    [](Form1& f) {
                        f.Text3->SetText(u"你好");
                        f.Command6_Click();
                    },
                    "FD 00 07 01 01 C4 E3 BA C3 A4"},
        HandlerCase{"TextWithMusic",
                    [](Form1& f) {
                        f.Text3->SetText(u"A");
                        f.Combo1->SetListIndex(15);
                        f.Command6_Click();
                    },
                    "FD 00 04 01 79 41 C0"},
        HandlerCase{"Stop", [](Form1& f) { f.Command7_Click(); }, "FD 00 02 02 FD"},
        HandlerCase{"Pause", [](Form1& f) { f.Command8_Click(); }, "FD 00 02 03 FC"},
        HandlerCase{"Resume", [](Form1& f) { f.Command9_Click(); }, "FD 00 02 04 FB"},
        HandlerCase{"Sleep", [](Form1& f) { f.Command21_Click(); }, "FD 00 02 88 77"},
        HandlerCase{"Query", [](Form1& f) { f.Command28_Click(); }, "FD 00 02 21 DE"},
        HandlerCase{"Rate19200",
                    [](Form1& f) {
                        f.Combo5->SetListIndex(1);
                        f.Command11_Click();
                    },
                    "FD 00 03 31 01 CE"},
        HandlerCase{"Volume", [](Form1& f) { f.HScroll1->SetValue(4); },
                    "FD 00 07 01 01 5B 76 33 5D B9"},
        HandlerCase{"WordByWord", [](Form1& f) { f.Option2->SetValue(true); },
                    "FD 00 07 01 01 5B 6F 31 5D A2"},
        HandlerCase{"HexAutomatic",
                    [](Form1& f) {
                        f.Text5->SetText(u"fd 00 02 21");
                        f.Command29_Click();
                    },
                    "FD 00 02 21 DE"},
        HandlerCase{"HexTyped",
                    [](Form1& f) {
                        f.Text5->SetText(u"FD 00 02 21 00");
                        f.Command30_Click();
                    },
                    "FD 00 02 21 00"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Startup, InitialFileOutcomes) {
    const struct {
        InitialFile::Outcome outcome;
        std::string bytes;
        std::u16string text;    // in Text3 afterwards ("" = the design text stays)
        std::u16string message; // "" = none
    } cases[] = {
        {InitialFile::Outcome::Read, "\xC4\xE3\xBA\xC3\r\n", u"你好\r\n", u""},
        {InitialFile::Outcome::Read, "A\xFF", u"A\uFFFD",
         u"初始默认文本.txt 按 GBK 读取，有 1 处字节不成文字（第一处在第 2 字节），已换成 �，发送时为 "
         u"?（文件未作任何改动）"},
        {InitialFile::Outcome::TooLarge, "", u"", std::u16string(kInitialTextTooLargeMessage)},
        {InitialFile::Outcome::Unavailable, "", u"", u""},
    };
    for (const auto& c : cases) {
        FakeWindow w;
        w.initial = {c.outcome, c.bytes};
        w.Load();
        EXPECT_EQ(w.form->Text3->Text(), c.text);
        EXPECT_EQ(w.messages.empty() ? std::u16string() : w.messages.front(), c.message);
        EXPECT_EQ(w.comm.Settings(), "9600,N,8,1");
        EXPECT_TRUE(w.comm.PortOpen());
    }
}

TEST(Startup, AMissingPortIsToldOnceAndEverySendTellsAgain) {
    FakeWindow w;
    w.comm.missing = true;
    w.Load();
    EXPECT_EQ(w.messages, std::vector<std::u16string>{std::u16string(kPortFailureText)});
    w.form->Command7_Click();
    EXPECT_EQ(w.messages.size(), 2u);
    // The frame was logged before the send failed.
    EXPECT_EQ(w.Log(), LogOf("FD 00 02 02 FD"));
}

// The designed message for a serial port; a port on another machine adds a
// line with its address and why it failed (no adapter would help there).
TEST(Startup, ANetworkPortsFailureAddsItsReason) {
    const struct {
        const char* device;
        const char* reason;
        std::u16string message;
    } cases[] = {
        {"/dev/ttyUSB0", "No such file or directory", std::u16string(kPortFailureText)},
        {"", "no device for COM1", std::u16string(kPortFailureText)},
        {"rfc2217://lab1:7001", "connection refused",
         std::u16string(kPortFailureText) + u"\r\nrfc2217://lab1:7001: connection refused"},
        {"socket://[::1]:7000", "timed out",
         std::u16string(kPortFailureText) + u"\r\nsocket://[::1]:7000: timed out"},
    };
    for (const auto& c : cases) {
        FakeWindow w;
        w.comm.missing = true;
        w.comm.missingReason = c.reason;
        w.comm.device = c.device;
        w.Load();
        EXPECT_EQ(w.messages, std::vector<std::u16string>{c.message}) << c.device;
        w.form->Command7_Click();
        EXPECT_EQ(w.messages.back(), c.message) << c.device;
    }
}

TEST(Replies, RateChangeCompletesOnAcceptanceOnly) {
    const struct {
        char reply;
        const char16_t* log;
        const char* settings;
    } cases[] = {
        {0x41, u"<-0x41  接收成功   波特率已修改成功\r\n", "19200,N,8,1"},
        {0x45, u"<-0x45  接收失败  波特率未成功修改\r\n", "9600,N,8,1"},
    };
    for (const auto& c : cases) {
        FakeWindow w;
        w.Load();
        w.form->Combo5->SetListIndex(1);
        w.form->Command11_Click();
        w.form->Text4->SetText(u"");
        w.comm.Receive(std::string(1, c.reply));
        EXPECT_EQ(w.Log(), c.log);
        EXPECT_EQ(w.comm.Settings(), c.settings);
        EXPECT_EQ(w.form->BaudChangePending, 0);
    }
}

TEST(Playback, EachIdleReplySendsTheNextPieceUntilTheEnd) {
    FakeWindow w;
    w.Load();
    w.form->Text3->SetText(std::u16string(450, u'a'));
    w.form->Command3_Click();
    for (int i = 0; i < 4; ++i)
        w.comm.Receive("\x41\x4F");
    ASSERT_EQ(w.comm.written.size(), 3u);
    EXPECT_EQ(w.comm.written[0].size(), 206u);
    EXPECT_EQ(w.comm.written[1].size(), 206u);
    EXPECT_EQ(w.comm.written[2].size(), 56u);
    EXPECT_EQ(w.form->PlayAllActive, 0);
}

} // namespace

namespace {

// The event and value rows every front end connects by: a row naming a
// control that does not exist, or an event its kind never raises, would
// leave a button dead on one system only.
TEST(DesignTables, EveryRowNamesAControlOfAKindThatHasIt) {
    const auto kindOf = [](std::string_view name) -> const DesignedControl* {
        for (const DesignedControl& c : ControlTable())
            if (c.name == name)
                return &c;
        return nullptr;
    };
    for (const FormEventRow& row : Form1Events()) {
        const DesignedControl* c = kindOf(row.control);
        ASSERT_NE(c, nullptr) << row.control;
        const bool clicks = c->kind == ControlKind::CommandButton || c->kind == ControlKind::ComboBox ||
                            c->kind == ControlKind::OptionButton;
        const bool changes = c->kind == ControlKind::HScrollBar || c->kind == ControlKind::LineBox;
        EXPECT_TRUE(row.event == FormEvent::Click ? clicks : changes) << row.control;
        EXPECT_EQ(Form1Handler(row.control, row.event), row.handler) << row.control;
    }
    EXPECT_EQ(Form1Handler("Command20", FormEvent::Click), nullptr);
    for (const DesignedValue& v : DesignedValues()) {
        const DesignedControl* c = kindOf(v.control);
        ASSERT_NE(c, nullptr) << v.control;
        EXPECT_TRUE(v.min <= v.value && v.value <= v.max) << v.control;
    }
}

} // namespace
