// The Windows controls hold the semantics the handlers were written for.
#include "win32/win_controls.h"
#include "core/text_util.h"
#include "win32/win_text.h"
#include "win32/win_window.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace {

// A hidden top-level window that holds the controls of one test.
class Parent : public ::testing::Test {
  protected:
    void SetUp() override {
        parent_ = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(parent_, nullptr);
    }
    void TearDown() override { DestroyWindow(parent_); }
    HWND Make(const wchar_t* cls, DWORD style) {
        return CreateWindowExW(0, cls, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 200, 100, parent_,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    HWND parent_ = nullptr;
};

TEST(WithCrLf, EveryLineBreakBecomesCrLf) {
    const struct {
        std::u16string in, out;
    } cases[] = {
        {u"a\nb", u"a\r\nb"},     {u"a\rb", u"a\r\nb"},   {u"a\r\nb", u"a\r\nb"},
        {u"\n\r", u"\r\n\r\n"},   {u"\r\r\n", u"\r\n\r\n"}, {u"", u""},
        {u"末\n", u"末\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WithCrLf(c.in), c.out);
}

using TextBoxTest = Parent;

TEST_F(TextBoxTest, KeepsCrLfAndCountsSelectionInCharacters) {
    win::TextBox box(Make(L"EDIT", ES_MULTILINE | ES_WANTRETURN | WS_VSCROLL));
    box.SetText(u"第一行\n第二行");
    EXPECT_EQ(box.Text(), u"第一行\r\n第二行");
    EXPECT_EQ(box.Length(), 8);
    box.SetSelStart(3);
    box.SetSelLength(4);
    EXPECT_EQ(box.SelStart(), 3);
    EXPECT_EQ(box.SelLength(), 4);
    EXPECT_EQ(box.SelText(), u"\r\n第二");
    // SetSelStart collapses; lengths are clamped to the text.
    box.SetSelStart(6);
    EXPECT_EQ(box.SelLength(), 0);
    box.SetSelLength(100);
    EXPECT_EQ(box.SelLength(), 2);
    box.SetSelStart(100);
    EXPECT_EQ(box.SelStart(), 8);
    EXPECT_EQ(box.Mid(2, 3), u"行\r\n");
    EXPECT_EQ(box.Mid(7, 10), u"行");
}

TEST_F(TextBoxTest, AppendsPastTheDefaultLimitWithTheCaretAtTheEnd) {
    win::TextBox box(Make(L"EDIT", ES_MULTILINE | ES_WANTRETURN | WS_VSCROLL));
    const std::u16string line(1000, u'字');
    for (int i = 0; i < 40; ++i)
        box.AppendText(line + u"\n");
    EXPECT_EQ(box.Length(), 40 * 1002); // over the 32 K an EDIT takes by default
    EXPECT_EQ(box.SelStart(), box.Length());
    EXPECT_EQ(box.Mid(1000, 2), u"\r\n");
}

// A burst of entries reaches the control in one update; whatever the core
// asks meanwhile answers as if each had arrived at once, and the control
// gets the rest on its own once the interval has passed.
TEST_F(TextBoxTest, BatchedAppendsAreSeenWholeByEveryRead) {
    const auto control = [](const win::TextBox& box) { return WindowText(box.Handle()); };
    const struct {
        const char* name;
        std::function<std::u16string(win::TextBox&)> read;
        std::u16string expected;
    } reads[] = {
        {"Text", [](win::TextBox& b) { return b.Text(); }, u"a\r\nb\r\nc\r\n"},
        {"Length", [](win::TextBox& b) { return Number16(b.Length()); }, u"9"},
        {"Mid", [](win::TextBox& b) { return b.Mid(6, 3); }, u"c\r\n"},
        {"SelStart", [](win::TextBox& b) { return Number16(b.SelStart()); }, u"9"},
        {"SetSelStart", [](win::TextBox& b) { b.SetSelStart(3); b.SetSelLength(3); return b.SelText(); },
         u"b\r\n"},
    };
    for (const auto& r : reads) {
        SCOPED_TRACE(r.name);
        win::TextBox box(Make(L"EDIT", ES_MULTILINE | ES_WANTRETURN | WS_VSCROLL));
        for (const char16_t* line : {u"a\n", u"b\n", u"c\n"})
            box.AppendText(line);
        EXPECT_EQ(control(box), u"a\r\n"); // the first shows at once, the others wait
        EXPECT_EQ(r.read(box), r.expected);
    }

    win::TextBox box(Make(L"EDIT", ES_MULTILINE | ES_WANTRETURN | WS_VSCROLL));
    box.AppendText(u"1");
    box.AppendText(u"2");
    box.SetText(u"new"); // replaces what was pending too
    EXPECT_EQ(control(box), u"new");
    box.AppendText(u"x");
    box.AppendText(u"y");
    const ULONGLONG until = GetTickCount64() + 60000; // a box that never empties
    while (box.PendingLength() && GetTickCount64() < until) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        Sleep(5);
    }
    EXPECT_EQ(control(box), u"newxy");
}

// However much comes at once, one update takes at most a chunk, cut after a
// line break, and the rest follows on its own.
TEST_F(TextBoxTest, ALargeBurstReachesTheControlInChunks) {
    win::TextBox box(Make(L"EDIT", ES_MULTILINE | ES_WANTRETURN | WS_VSCROLL));
    std::u16string burst;
    for (int i = 0; burst.size() < 3 * win::TextBox::kChunkUnits; ++i) {
        burst += u"第";
        burst += Number16(i);
        burst += u"行 fd 00 07 01 01 c4 e3 ba c3 a4\n";
    }
    box.AppendText(burst);
    const std::u16string all = WithCrLf(burst);
    size_t updates = 0, shown = 0;
    // The pace follows what each update cost: a loaded machine takes longer,
    // so the deadline only ends a box that never empties.
    const ULONGLONG until = GetTickCount64() + 120000;
    while (box.PendingLength() && GetTickCount64() < until) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        const std::u16string now = WindowText(box.Handle());
        if (now.size() != shown) {
            ++updates;
            EXPECT_LE(now.size() - shown, win::TextBox::kChunkUnits);
            EXPECT_EQ(now.back(), u'\n'); // whole lines each time
            EXPECT_EQ(now, all.substr(0, now.size()));
            shown = now.size();
        }
        Sleep(5);
    }
    EXPECT_GE(updates, 3u);
    EXPECT_EQ(WindowText(box.Handle()), all);
}

using ComboBoxTest = Parent;

TEST_F(ComboBoxTest, TypedTextGivesNoEntryUntilOneIsChosen) {
    win::ComboBox combo(Make(L"COMBOBOX", CBS_DROPDOWN));
    for (const wchar_t* entry : {L"9600", L"19200", L"38400"})
        SendMessageW(combo.Handle(), CB_ADDSTRING, 0, LPARAM(entry));
    combo.SetListIndex(1);
    EXPECT_EQ(combo.ListIndex(), 1);
    EXPECT_EQ(combo.ListCount(), 3);
    // The user types, even the text of an entry: no entry.
    EXPECT_FALSE(combo.Notify(CBN_EDITCHANGE));
    EXPECT_EQ(combo.ListIndex(), -1);
    // Choosing from the list is the Click and gives the entry again.
    SendMessageW(combo.Handle(), CB_SETCURSEL, 2, 0);
    EXPECT_TRUE(combo.Notify(CBN_SELCHANGE));
    EXPECT_EQ(combo.ListIndex(), 2);
    combo.SetFieldText(u"Combo2");
    EXPECT_EQ(combo.ListIndex(), -1);
    EXPECT_EQ(WindowText(combo.Handle()), u"Combo2");
}

using OptionButtonTest = Parent;

TEST_F(OptionButtonTest, ClickOnNewSelectionByUserOrProgram) {
    int clicks1 = 0, clicks2 = 0;
    win::OptionButton o1(Make(L"BUTTON", BS_AUTORADIOBUTTON | WS_GROUP), [&] { ++clicks1; });
    win::OptionButton o2(Make(L"BUTTON", BS_AUTORADIOBUTTON), [&] { ++clicks2; });
    o1.SetGroup({&o1, &o2});
    o2.SetGroup({&o1, &o2});
    const struct {
        const char* step;
        std::function<void()> act;
        bool v1, v2;
        int c1, c2;
    } steps[] = {
        {"program selects 1", [&] { o1.SetValue(true); }, true, false, 1, 0},
        {"program selects 1 again", [&] { o1.SetValue(true); }, true, false, 1, 0},
        {"user clicks 2", [&] { SendMessageW(o2.Handle(), BM_CLICK, 0, 0); o2.Clicked(); }, false, true, 1, 1},
        {"user clicks 2 again", [&] { SendMessageW(o2.Handle(), BM_CLICK, 0, 0); o2.Clicked(); }, false, true, 1, 1},
        {"program selects 1", [&] { o1.SetValue(true); }, true, false, 2, 1},
        {"program clears 1", [&] { o1.SetValue(false); }, false, false, 2, 1},
        {"user clicks 1", [&] { SendMessageW(o1.Handle(), BM_CLICK, 0, 0); o1.Clicked(); }, true, false, 3, 1},
    };
    for (const auto& s : steps) {
        s.act();
        EXPECT_EQ(o1.Value(), s.v1) << s.step;
        EXPECT_EQ(o2.Value(), s.v2) << s.step;
        EXPECT_EQ(clicks1, s.c1) << s.step;
        EXPECT_EQ(clicks2, s.c2) << s.step;
    }
}

using HScrollBarTest = Parent;

TEST_F(HScrollBarTest, ChangeOncePerNewValue) {
    int changes = 0;
    win::HScrollBar bar(Make(L"SCROLLBAR", SBS_HORZ), [&] { ++changes; });
    bar.SetRange(1, 6);
    SetScrollPos(bar.Handle(), SB_CTL, 5, FALSE);
    const struct {
        const char* step;
        int code, thumb, value, changes;
    } steps[] = {
        {"arrow right", SB_LINERIGHT, 0, 6, 1},
        {"arrow right at max", SB_LINERIGHT, 0, 6, 1},
        {"page left", SB_PAGELEFT, 0, 5, 2},
        {"thumb dragged", SB_THUMBTRACK, 2, 5, 2},
        {"thumb released", SB_THUMBPOSITION, 2, 2, 3},
        {"end of scroll", SB_ENDSCROLL, 0, 2, 3},
        {"to the left end", SB_LEFT, 0, 1, 4},
        {"arrow left at min", SB_LINELEFT, 0, 1, 4},
    };
    for (const auto& s : steps) {
        bar.Scroll(s.code, s.thumb);
        EXPECT_EQ(bar.Value(), s.value) << s.step;
        EXPECT_EQ(changes, s.changes) << s.step;
    }
    bar.SetValue(4);
    bar.SetValue(4);
    bar.SetValue(99); // clamped to Max
    EXPECT_EQ(bar.Value(), 6);
    EXPECT_EQ(changes, 6);
}

} // namespace

namespace {

TEST(FontFace, TheChosenFaceWritesChinese) {
    HDC dc = GetDC(nullptr);
    const std::wstring face = Form1Window::ChooseFontFace(dc);
    HFONT font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0,
                             0, face.c_str());
    HGDIOBJ old = SelectObject(dc, font);
    wchar_t used[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, used);
    WORD glyphs[3] = {};
    const DWORD got = GetGlyphIndicesW(dc, L"宋体字", 3, glyphs, GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    EXPECT_EQ(std::wstring(used), face);
    ASSERT_EQ(got, 3u);
    for (const WORD g : glyphs)
        EXPECT_NE(g, 0xFFFF) << Utf8FromUtf16(U16(face));
    std::printf("font face: %s\n", Utf8FromUtf16(U16(face)).c_str());
}

} // namespace
