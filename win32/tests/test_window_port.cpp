// The Windows window on a fake port: the user's actions arrive as the
// Windows controls' own notifications (WM_COMMAND, WM_HSCROLL), so each row
// checks the window's wiring from control to handler to the bytes on the line.
#include "core/tests/bytes.h"
#include "core/tests/fake_controls.h"
#include "core/tests/row_name.h"
#include "win32/win_window.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

class WindowOnAFakePort {
  public:
    explicit WindowOnAFakePort(bool missingPort = false) {
        auto comm = std::make_unique<FakeComm>();
        comm_ = comm.get();
        comm_->missing = missingPort;
        WindowServices services;
        services.comm = std::move(comm);
        services.messageBox = [this](std::u16string_view text) { said.emplace_back(text); };
        services.readInitialFile = [] { return InitialFile{InitialFile::Outcome::Read, ""}; };
        window_ = std::make_unique<Form1Window>(GetModuleHandleW(nullptr), std::move(services));
        window_->Show(SW_HIDE);
    }

    HWND Control(const char* name) const { return window_->ControlHandle(name); }
    void Type(const char* name, const wchar_t* text) const { SetWindowTextW(Control(name), text); }
    void Notify(const char* name, int code) const {
        HWND control = Control(name);
        SendMessageW(window_->Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code),
                     LPARAM(control));
    }
    void Click(const char* name) const { Notify(name, BN_CLICKED); }
    // An option button checks itself before it tells its parent.
    void Press(const char* name) const { SendMessageW(Control(name), BM_CLICK, 0, 0); }
    void Pick(const char* combo, int index) const {
        SendMessageW(Control(combo), CB_SETCURSEL, WPARAM(index), 0);
        Notify(combo, CBN_SELCHANGE);
    }
    void Scroll(const char* bar, int position) const {
        SendMessageW(window_->Handle(), WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, position),
                     LPARAM(Control(bar)));
    }
    std::u16string Log() const { return window_->Text4->Text(); }
    FakeComm& Port() const { return *comm_; }
    Form1Window& Window() const { return *window_; }

    std::vector<std::u16string> said;

  private:
    FakeComm* comm_ = nullptr;
    std::unique_ptr<Form1Window> window_;
};

struct UserCase {
    const char* name;
    std::function<void(const WindowOnAFakePort&)> act;
    const char* frame; // the one frame on the line
};

class UserActions : public testing::TestWithParam<UserCase> {};

TEST_P(UserActions, SendTheFrameAndLogIt) {
    WindowOnAFakePort w;
    ASSERT_TRUE(w.Port().PortOpen());
    EXPECT_EQ(w.Port().Settings(), "9600,N,8,1");
    GetParam().act(w);
    ASSERT_EQ(w.Port().written.size(), 1u);
    EXPECT_EQ(SpacedHex(w.Port().written[0]), GetParam().frame);
    EXPECT_NE(w.Log().find(u"发出一帧"), std::u16string::npos);
    EXPECT_TRUE(w.said.empty());
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, UserActions,
    testing::Values(
        UserCase{"Text",
                 [](const WindowOnAFakePort& w) {
                     w.Type("Text3", L"你好");
                     w.Click("Command6");
                 },
                 "FD 00 07 01 01 C4 E3 BA C3 A4"},
        UserCase{"TextWithMusic",
                 [](const WindowOnAFakePort& w) {
                     w.Type("Text3", L"A");
                     w.Pick("Combo1", 15);
                     w.Click("Command6");
                 },
                 "FD 00 04 01 79 41 C0"},
        UserCase{"Stop", [](const WindowOnAFakePort& w) { w.Click("Command7"); }, "FD 00 02 02 FD"},
        UserCase{"Pause", [](const WindowOnAFakePort& w) { w.Click("Command8"); }, "FD 00 02 03 FC"},
        UserCase{"Resume", [](const WindowOnAFakePort& w) { w.Click("Command9"); }, "FD 00 02 04 FB"},
        UserCase{"Sleep", [](const WindowOnAFakePort& w) { w.Click("Command21"); }, "FD 00 02 88 77"},
        UserCase{"Query", [](const WindowOnAFakePort& w) { w.Click("Command28"); }, "FD 00 02 21 DE"},
        UserCase{"Rate19200",
                 [](const WindowOnAFakePort& w) {
                     w.Pick("Combo5", 1);
                     w.Click("Command11");
                 },
                 "FD 00 03 31 01 CE"},
        UserCase{"Volume", [](const WindowOnAFakePort& w) { w.Scroll("HScroll1", 4); },
                 "FD 00 07 01 01 5B 76 33 5D B9"},
        UserCase{"WordByWord", [](const WindowOnAFakePort& w) { w.Press("Option2"); },
                 "FD 00 07 01 01 5B 6F 31 5D A2"},
        UserCase{"HexAutomatic",
                 [](const WindowOnAFakePort& w) {
                     w.Type("Text5", L"fd 00 02 21");
                     w.Click("Command29");
                 },
                 "FD 00 02 21 DE"},
        UserCase{"HexTyped",
                 [](const WindowOnAFakePort& w) {
                     w.Type("Text5", L"FD 00 02 21 00");
                     w.Click("Command30");
                 },
                 "FD 00 02 21 00"}),
    vxt_test::RowName());

TEST(WindowOnAFakePortReplies, TheRateChangesOnlyWhenTheChipAccepts) {
    const struct {
        char reply;
        const char16_t* log;
        const char* settings;
    } cases[] = {
        {0x41, u"<-0x41  接收成功   波特率已修改成功\r\n", "19200,N,8,1"},
        {0x45, u"<-0x45  接收失败  波特率未成功修改\r\n", "9600,N,8,1"},
    };
    for (const auto& c : cases) {
        WindowOnAFakePort w;
        w.Pick("Combo5", 1);
        w.Click("Command11");
        w.Window().Text4->SetText(u"");
        w.Port().Receive(std::string(1, c.reply));
        EXPECT_EQ(w.Log(), c.log);
        EXPECT_EQ(w.Port().Settings(), c.settings);
    }
}

TEST(WindowOnAFakePortReplies, ContinuousPlaybackSendsAPieceForEachIdleReply) {
    WindowOnAFakePort w;
    w.Type("Text3", std::wstring(450, L'a').c_str());
    w.Click("Command3");
    for (int i = 0; i < 4; ++i)
        w.Port().Receive("\x41\x4F");
    ASSERT_EQ(w.Port().written.size(), 3u);
    EXPECT_EQ(w.Port().written[0].size(), 206u);
    EXPECT_EQ(w.Port().written[1].size(), 206u);
    EXPECT_EQ(w.Port().written[2].size(), 56u);
}

TEST(WindowOnAFakePortFailure, AMissingPortIsToldInTheWindowsBoxAtStartAndOnEachSend) {
    WindowOnAFakePort w(true);
    EXPECT_EQ(w.said, std::vector<std::u16string>{std::u16string(kPortFailureText)});
    w.Click("Command7");
    EXPECT_EQ(w.said.size(), 2u);
    EXPECT_TRUE(w.Port().written.empty());
}

} // namespace
