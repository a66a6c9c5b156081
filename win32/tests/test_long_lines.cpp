// The EDIT shows a line longer than kPieceLength in pieces, each starting a
// display line, while the core sees the one line: its text, selections,
// copying, cutting and the keys that delete.
#include "core/text_pieces.h"
#include "win32/win_controls.h"
#include "win32/win_text.h"

#include <gtest/gtest.h>

namespace {

constexpr int kPiece = int(kPieceLength);              // a longer line is cut
constexpr int kUnits = int(win::TextBox::kPieceUnits); // into pieces of this

std::u16string Repeat(std::u16string_view unit, int count) {
    std::u16string s;
    for (int i = 0; i < count; ++i)
        s += unit;
    return s;
}

class LongLines : public ::testing::Test {
  protected:
    void SetUp() override {
        parent_ = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(parent_, nullptr);
        edit_ = CreateWindowExW(
            0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_WANTRETURN | WS_VSCROLL, 0,
            0, 500, 300, parent_, nullptr, GetModuleHandleW(nullptr), nullptr);
        box_ = std::make_unique<win::TextBox>(edit_);
    }
    void TearDown() override {
        box_.reset();
        DestroyWindow(parent_);
    }
    // The longest line of what the EDIT holds, between any CR and LF.
    int LongestHeldLine() const {
        int longest = 0, length = 0;
        for (const char16_t c : WindowText(edit_)) {
            length = c == u'\r' || c == u'\n' ? 0 : length + 1;
            longest = std::max(longest, length);
        }
        return longest;
    }
    static std::u16string Clipboard() {
        std::u16string text;
        if (!OpenClipboard(nullptr))
            return u"(no clipboard)";
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            text = reinterpret_cast<const char16_t*>(GlobalLock(data));
            GlobalUnlock(data);
        }
        CloseClipboard();
        return text;
    }
    HWND parent_ = nullptr, edit_ = nullptr;
    std::unique_ptr<win::TextBox> box_;
};

TEST_F(LongLines, HeldInPiecesThatStartDisplayLinesReadBackWhole) {
    const struct {
        const char* name;
        std::u16string text;
        bool pieced;
    } cases[] = {
        {"no break anywhere", Repeat(u"a", 3 * kPiece + 17), true},
        {"Chinese", Repeat(u"中文语音合成", kPiece), true},
        {"short lines around a long one, lone CR and LF",
         u"ab\n\r" + Repeat(u"speak ", kPiece / 2) + u"\r\ncd\r\n", true},
        {"ordinary lines", u"第一行\r\n第二行", false},
        {"a line of exactly the piece length", Repeat(u"a", kPiece), false},
        {"one unit more", Repeat(u"a", kPiece + 1), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        box_->SetText(c.text);
        const std::u16string expected = WithCrLf(c.text);
        EXPECT_EQ(box_->Text(), expected);
        EXPECT_EQ(box_->Length(), int(expected.size()));
        EXPECT_LE(LongestHeldLine(), c.pieced ? kUnits : kPiece);
        // The EDIT starts a display line at every piece.
        const std::u16string held = WindowText(edit_);
        EXPECT_EQ(held.find(win::TextBox::kSeam) != std::u16string::npos, c.pieced);
        for (size_t s = held.find(win::TextBox::kSeam); s != std::u16string::npos;
             s = held.find(win::TextBox::kSeam, s + 1)) {
            const LPARAM next = LPARAM(s + win::TextBox::kSeam.size());
            const LRESULT line = SendMessageW(edit_, EM_LINEFROMCHAR, next, 0);
            EXPECT_EQ(SendMessageW(edit_, EM_LINEINDEX, line, 0), next);
        }
    }
}

TEST_F(LongLines, SelectionsCountNoSeam) {
    const std::u16string text = u"你好\r\n" + Repeat(u"abc好", 3 * kPiece / 4) + u"\r\nend";
    box_->SetText(text);
    const int seam = 4 + kUnits; // the first piece of the long line is whole ("好" is wide)
    const int n = int(text.size());
    for (const int start : {0, 2, 3, 4, seam - 1, seam, seam + 1, n - 4, n}) {
        for (const int length : {0, 1, 2, 200, kUnits + 3, kPiece + 3}) {
            SCOPED_TRACE(std::to_string(start) + "+" + std::to_string(length));
            box_->SetSelStart(start);
            box_->SetSelLength(length);
            const int expected = std::min(length, n - start);
            EXPECT_EQ(box_->SelStart(), start);
            EXPECT_EQ(box_->SelLength(), expected);
            EXPECT_EQ(box_->SelText(), text.substr(size_t(start), size_t(expected)));
        }
    }
    // A selection the user made in the EDIT across the seam.
    const int held = seam + 3; // where the second piece starts in the EDIT
    SendMessageW(edit_, EM_SETSEL, held - 3 - 2, held + 3);
    EXPECT_EQ(box_->SelStart(), seam - 2);
    EXPECT_EQ(box_->SelLength(), 5);
    EXPECT_EQ(box_->SelText(), text.substr(size_t(seam - 2), 5));
}

TEST_F(LongLines, EditingBesideASeamActsOnTheText) {
    const std::u16string line = Repeat(u"0123456789", kPiece / 5);
    const int seam = kUnits; // no wide character or space: cut at the length
    const struct {
        const char* name;
        int caret; // in the EDIT: the seam stands at [seam, seam + 3)
        UINT msg;
        WPARAM key;
        std::u16string expected;
        std::u16string clipboard; // empty: not looked at
    } cases[] = {
        {"Backspace at a piece's start takes the character before", seam + 3, WM_CHAR, VK_BACK,
         std::u16string(line).erase(size_t(seam - 1), 1), u""},
        {"Delete at a piece's end takes the character after", seam, WM_KEYDOWN, VK_DELETE,
         std::u16string(line).erase(size_t(seam), 1), u""},
        {"typing at a piece's start", seam + 3, WM_CHAR, L'x',
         std::u16string(line).insert(size_t(seam), u"x"), u""},
        {"copying across the seam", -1, WM_COPY, 0, line, line.substr(size_t(seam - 4), 8)},
        {"cutting across the seam", -1, WM_CUT, 0, std::u16string(line).erase(size_t(seam - 4), 8),
         line.substr(size_t(seam - 4), 8)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        box_->SetText(line);
        if (c.caret >= 0) {
            SendMessageW(edit_, EM_SETSEL, c.caret, c.caret);
        } else {
            box_->SetSelStart(seam - 4);
            box_->SetSelLength(8);
        }
        SendMessageW(edit_, c.msg, c.key, 0);
        EXPECT_EQ(box_->Text(), c.expected);
        if (!c.clipboard.empty()) {
            EXPECT_EQ(Clipboard(), c.clipboard);
        }
    }
}

TEST_F(LongLines, ALongTextReachesTheControlInPartsTheCoreSeesItWhole) {
    const std::u16string text = Repeat(u"speak ", 12000) + u"\r\n" + Repeat(u"好", 9000);
    const int n = int(text.size());
    const auto held = [this] { return GetWindowTextLengthW(edit_); };
    box_->SetText(text);
    EXPECT_LE(held(), int(win::TextBox::kFirstUnits));
    EXPECT_GT(box_->LoadingLength(), 0u);
    EXPECT_EQ(box_->Text(), text);
    EXPECT_EQ(box_->Length(), n);
    // Playback's selections: the rest of the text from a place, then a
    // start beyond what the control holds.
    const struct {
        int start, length;
    } selections[] = {{100, n - 100}, {0, n}, {n - 10, 10}, {n / 2, 7}, {n, 0}};
    for (const auto& c : selections) {
        SCOPED_TRACE(std::to_string(c.start) + "+" + std::to_string(c.length));
        box_->SetSelStart(c.start);
        box_->SetSelLength(c.length);
        EXPECT_EQ(box_->SelStart(), c.start);
        EXPECT_EQ(box_->SelLength(), c.length);
        EXPECT_EQ(box_->SelText(), text.substr(size_t(c.start), size_t(c.length)));
    }
    // Select all while the text is on its way, then copy.
    box_->SetText(text);
    box_->SelectAll();
    EXPECT_EQ(box_->SelStart(), 0);
    EXPECT_EQ(box_->SelLength(), n);
    SendMessageW(edit_, WM_COPY, 0, 0);
    EXPECT_EQ(Clipboard(), text);
    // The rest comes by the window's timer, the program's selection with it.
    box_->SetText(text);
    box_->SetSelStart(3);
    box_->SetSelLength(n - 3);
    for (int i = 0; i < 3000 && box_->LoadingLength() > 0; ++i) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
    EXPECT_EQ(box_->LoadingLength(), 0u);
    EXPECT_EQ(UnpiecedText(WindowText(edit_), win::TextBox::kSeam), text);
    EXPECT_EQ(box_->SelText(), text.substr(3));
    DWORD from = 0, to = 0;
    SendMessageW(edit_, EM_GETSEL, WPARAM(&from), LPARAM(&to));
    EXPECT_EQ(to, DWORD(held()));
    // A text set from outside the adapter ends the loading of the last one.
    box_->SetText(text);
    SetWindowTextW(edit_, L"x");
    EXPECT_EQ(box_->LoadingLength(), 0u);
    EXPECT_EQ(box_->Text(), u"x");
}

} // namespace
