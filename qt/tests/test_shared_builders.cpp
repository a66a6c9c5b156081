// Every button of the window puts on the line exactly the frame the shared
// builder makes for the same input, leaves the frame state the designed steps
// leave, and the reply handler logs what the shared explanation says for
// every byte.
#include "core/frame_builders.h"
#include "core/reply_status.h"
#include "testsupport/form_harness.h"
#include "testsupport/log_entry.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

// A harness whose port is open and whose log and call record are empty.
struct Ready : FormHarness {
    Ready() {
        fake->written.clear();
        fake->calls.clear();
        form->Widget(&Form1::Text4)->SetText(QString());
    }
};

struct HandlerCase {
    const char* name;
    std::function<void(Form1Window&)> act;
    QByteArray frame;      // the builder's frame for the same input
    bool keepsFrameBuffer; // the handler leaves its frame in FrameBuffer
};

void PrintTo(const HandlerCase& c, std::ostream* os) {
    *os << c.name;
}

void Select(Form1Window& f, const QString& text, int music) {
    f.Widget(&Form1::Text3)->SetText(text);
    f.Widget(&Form1::Text3)->SetSelStart(0);
    f.Widget(&Form1::Text3)->SetSelLength(0);
    f.Widget(&Form1::Combo1)->SetListIndex(music);
    f.Command6_Click();
}

void Type(Form1Window& f, const QString& hex, bool automatic) {
    f.Widget(&Form1::Text5)->SetText(hex);
    automatic ? f.Command29_Click() : f.Command30_Click();
}

void Scroll(Form1Window& f, int value) {
    f.AttributeFramesEnabled = 0;
    f.Widget(&Form1::HScroll2)->SetValue(value);
    f.AttributeFramesEnabled = -1;
    f.HScroll2_Change();
}

void SetRate(Form1Window& f, int index) {
    f.Widget(&Form1::Combo5)->SetListIndex(index);
    f.Command11_Click();
}

// 101 double-byte characters: the frame carries 100 of them (200 bytes).
const QString kLong = QString(101, QChar(0x4E2D));
// 199 ASCII bytes and a double-byte character that would make 201.
const QString kStraddle = QString(199, u'a') + QChar(0x4E2D);

const HandlerCase kCases[] = {
    {"text ascii", [](Form1Window& f) { Select(f, QStringLiteral("abc"), 0); }, ToQBytes(TextFrame(u"abc", 0)),
     true},
    {"text chinese music 15", [](Form1Window& f) { Select(f, QStringLiteral("你好"), 15); },
     ToQBytes(TextFrame(u"你好", 15)), true},
    {"text with CR LF", [](Form1Window& f) { Select(f, QStringLiteral("a\r\nb"), 3); },
     ToQBytes(TextFrame(u"a\r\nb", 3)), true},
    {"text surrogate pair", [](Form1Window& f) { Select(f, QStringLiteral("x\U0001F600y"), 1); },
     ToQBytes(TextFrame(u"x\U0001F600y", 1)), true},
    {"text cut at 200 bytes", [](Form1Window& f) { Select(f, kLong, 2); },
     ToQBytes(TextFrame(std::u16string(100, u'\u4E2D'), 2)), true},
    {"text cut at 199 bytes", [](Form1Window& f) { Select(f, kStraddle, 0); },
     ToQBytes(TextFrame(std::u16string(199, u'a'), 0)), true},
    {"stop", [](Form1Window& f) { f.Command7_Click(); }, ToQBytes(ControlFrame(FrameCommand::Stop)), false},
    {"pause", [](Form1Window& f) { f.Command8_Click(); }, ToQBytes(ControlFrame(FrameCommand::Pause)), false},
    {"resume", [](Form1Window& f) { f.Command9_Click(); }, ToQBytes(ControlFrame(FrameCommand::Resume)), false},
    {"sleep", [](Form1Window& f) { f.Command21_Click(); }, ToQBytes(ControlFrame(FrameCommand::Sleep)), false},
    {"query", [](Form1Window& f) { f.Command28_Click(); }, ToQBytes(ControlFrame(FrameCommand::Query)), false},
    {"rate 9600", [](Form1Window& f) { SetRate(f, 0); }, ToQBytes(SetRateFrame(0)), false},
    {"rate 38400", [](Form1Window& f) { SetRate(f, 2); }, ToQBytes(SetRateFrame(2)), false},
    {"mark speed", [](Form1Window& f) { Scroll(f, 3); }, ToQBytes(ControlMarkFrame("[t2]")), false},
    {"mark option 1", [](Form1Window& f) { f.Option1_Click(); }, ToQBytes(ControlMarkFrame("[o0]")), false},
    {"mark defaults", [](Form1Window& f) { f.Command34_Click(); }, ToQBytes(ControlMarkFrame("[d]")), false},
    {"hex automatic", [](Form1Window& f) { Type(f, QStringLiteral("FD 00 02 21"), true); },
     ToQBytes(HexFrame(ToStdBytes(Hex("FD 00 02 21")), ChecksumMode::Automatic)), true},
    {"hex automatic one byte", [](Form1Window& f) { Type(f, QStringLiteral("fd"), true); },
     ToQBytes(HexFrame(ToStdBytes(Hex("FD")), ChecksumMode::Automatic)), true},
    {"hex typed", [](Form1Window& f) { Type(f, QStringLiteral("FD 00 02 21 DE"), false); },
     ToQBytes(HexFrame(ToStdBytes(Hex("FD 00 02 21 DE")), ChecksumMode::Typed)), true},
    {"hex typed one byte", [](Form1Window& f) { Type(f, QStringLiteral("FD"), false); },
     ToQBytes(HexFrame(ToStdBytes(Hex("FD")), ChecksumMode::Typed)), true},
};

class HandlerFrames : public ::testing::TestWithParam<HandlerCase> {};

TEST_P(HandlerFrames, LineLogAndStateMatchTheBuilder) {
    const HandlerCase& c = GetParam();
    ASSERT_FALSE(c.frame.isEmpty());
    Ready h;
    c.act(*h.form);
    ASSERT_EQ(h.fake->written.size(), 1);
    EXPECT_EQ(h.fake->written[0], c.frame);
    // Logged before it was sent, in the log's own layout.
    EXPECT_EQ(h.log(), Entry(c.frame));
    EXPECT_EQ(h->LastDataIndex, c.frame.size() - 2);
    if (c.keepsFrameBuffer) {
        EXPECT_EQ(ToQBytes(h->FrameBuffer), c.frame);
    }
    EXPECT_TRUE(h.messages.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(EveryHandler, HandlerFrames, ::testing::ValuesIn(kCases),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (char& ch : n)
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return n;
                         });

// The text frame's counts: the checksum's index and the GBK bytes carried.
TEST(HandlerFrames, TextFrameCounts) {
    Ready h;
    Select(*h.form, kStraddle, 0);
    EXPECT_EQ(h->TextByteCount, 199);
    EXPECT_EQ(h->ChecksumIndex, 199 + 5);
    EXPECT_EQ(h->Checksum, static_cast<uint8_t>(h->FrameBuffer.back()));
}

// Every byte the chip may send, with and without a rate change waiting: the
// log says what ExplainReply says, and a waiting change ends as it says.
TEST(ReplyHandler, LogsTheSharedExplanationForEveryByte) {
    for (int pending = 0; pending <= 1; ++pending) {
        for (int b = 0; b <= 0xFF; ++b) {
            Ready h;
            h->BaudChangePending = static_cast<int16_t>(pending);
            h->PendingBaudIndex = pending ? 1 : -1;
            const ReplyExplanation e = ExplainReply(static_cast<uint8_t>(b), pending == 1);
            h.fake->Receive(QByteArray(1, static_cast<char>(b)));
            const QString expected = e.log.empty() ? QString() : ToQString(e.log) + QStringLiteral("\r\n");
            EXPECT_EQ(h.log(), expected) << b << " pending " << pending;
            const bool ends = e.rate != RateChange::None;
            EXPECT_EQ(h->BaudChangePending, ends ? 0 : pending) << b << " pending " << pending;
            if (e.rate == RateChange::Done) {
                EXPECT_EQ(h.fake->Settings(), "19200,N,8,1");
            }
        }
    }
}

} // namespace
