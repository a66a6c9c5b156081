// The multi-line EDIT's text and selections, long lines shown in pieces
// (core/text_pieces.h): what the control holds has a seam of CR CR LF between
// the pieces of a long line; what the core sees has none.
#include "core/text_pieces.h"
#include "win32/win_controls.h"
#include "win32/win_text.h"

#include <algorithm>
#include <commctrl.h>

namespace win {

std::u16string TextBox::Shown() const {
    Flush();
    return WindowText(hwnd_);
}

int TextBox::ShownPos(std::u16string_view shown, int pos, bool afterSeam) const {
    return pieced_ ? int(ShownPosition(shown, size_t(pos), kSeam, afterSeam)) : pos;
}

int TextBox::TextPos(std::u16string_view shown, int shownPos) const {
    return pieced_ ? int(TextPosition(shown, size_t(shownPos), kSeam)) : shownPos;
}

std::u16string TextBox::Text() const {
    const std::u16string shown = Shown();
    return pieced_ ? UnpiecedText(shown, kSeam) : shown;
}

void TextBox::SetText(std::u16string_view text) {
    pending_.clear();
    Flush(); // stops the timer
    const std::u16string crlf = WithCrLf(text);
    const std::u16string shown = PiecedText(crlf, kSeam);
    pieced_ = shown.size() != crlf.size();
    SetWindowTextW(hwnd_, Wide(shown).c_str());
}

int TextBox::Length() const {
    if (pieced_)
        return int(Text().size());
    return GetWindowTextLengthW(hwnd_) + int(pending_.size());
}

std::u16string TextBox::Mid(int start, int length) const {
    const std::u16string text = Text();
    const size_t from = size_t(std::clamp(start, 0, int(text.size())));
    return text.substr(from, size_t(std::max(length, 0)));
}

int TextBox::SelStart() const {
    const std::u16string shown = Shown();
    DWORD start = 0, end = 0;
    SendMessageW(hwnd_, EM_GETSEL, WPARAM(&start), LPARAM(&end));
    return TextPos(shown, int(start));
}

int TextBox::SelLength() const {
    const std::u16string shown = Shown();
    DWORD start = 0, end = 0;
    SendMessageW(hwnd_, EM_GETSEL, WPARAM(&start), LPARAM(&end));
    return TextPos(shown, int(end)) - TextPos(shown, int(start));
}

std::u16string TextBox::SelText() const {
    return Mid(SelStart(), SelLength());
}

void TextBox::SetSelStart(int start) {
    const std::u16string shown = Shown();
    start = std::clamp(start, 0, Length());
    const int at = ShownPos(shown, start, true);
    SendMessageW(hwnd_, EM_SETSEL, at, at);
    SendMessageW(hwnd_, EM_SCROLLCARET, 0, 0);
}

void TextBox::SetSelLength(int length) {
    const std::u16string shown = Shown();
    const int start = SelStart();
    const int end = std::clamp(start + std::max(length, 0), start, Length());
    const int from = ShownPos(shown, start, true);
    // A selection that ends at a seam ends before it, on the piece it is in.
    SendMessageW(hwnd_, EM_SETSEL, from, end == start ? from : ShownPos(shown, end, false));
}

bool TextBox::CopySelection() {
    const std::u16string text = SelText();
    if (text.empty() || !OpenClipboard(hwnd_))
        return false;
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    if (memory) {
        auto* units = static_cast<char16_t*>(GlobalLock(memory));
        std::copy(text.begin(), text.end(), units);
        units[text.size()] = u'\0';
        GlobalUnlock(memory);
        if (!SetClipboardData(CF_UNICODETEXT, memory))
            GlobalFree(memory);
    }
    CloseClipboard();
    return true;
}

// A seam is no character: the caret steps over it first, so that Backspace
// at a piece's start and Delete at a piece's end take the character beyond.
void TextBox::StepOverSeam(bool backward) {
    DWORD start = 0, end = 0;
    SendMessageW(hwnd_, EM_GETSEL, WPARAM(&start), LPARAM(&end));
    if (start != end)
        return;
    const std::u16string shown = Shown();
    const size_t n = kSeam.size();
    if (backward && start >= n && shown.compare(start - n, n, kSeam) == 0)
        SendMessageW(hwnd_, EM_SETSEL, start - n, start - n);
    else if (!backward && shown.compare(start, n, kSeam) == 0)
        SendMessageW(hwnd_, EM_SETSEL, start + n, start + n);
}

LRESULT CALLBACK TextBox::EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                   DWORD_PTR self) {
    auto* box = reinterpret_cast<TextBox*>(self);
    if (box->pieced_) {
        const bool writable = !(GetWindowLongW(hwnd, GWL_STYLE) & ES_READONLY);
        const bool plain = GetKeyState(VK_SHIFT) >= 0 && GetKeyState(VK_CONTROL) >= 0;
        switch (msg) {
        case WM_COPY:
            box->CopySelection();
            return 0;
        case WM_CUT: // as the EDIT's own: a read-only box only copies
            if (box->CopySelection() && writable)
                SendMessageW(hwnd, EM_REPLACESEL, TRUE, LPARAM(L""));
            return 0;
        case WM_CHAR:
            if (wParam == VK_BACK && writable)
                box->StepOverSeam(true);
            break;
        case WM_KEYDOWN:
            if (wParam == VK_DELETE && writable && plain)
                box->StepOverSeam(false);
            break;
        default:
            break;
        }
    }
    if (msg == WM_NCDESTROY)
        RemoveWindowSubclass(hwnd, &TextBox::EditProc, kSubclassId);
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

} // namespace win
