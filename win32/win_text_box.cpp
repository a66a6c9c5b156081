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
    std::u16string shown = WindowText(hwnd_);
    if (!loading_.empty())
        shown += U16(loading_);
    return shown;
}

std::u16string TextBox::MappingText() const {
    if (pieced_)
        return Shown();
    Flush();
    return {}; // positions map one to one
}

int TextBox::ShownPos(std::u16string_view shown, int pos, bool afterSeam) const {
    return pieced_ ? int(ShownPosition(shown, size_t(pos), kSeam, afterSeam)) : pos;
}

int TextBox::TextPos(std::u16string_view shown, int shownPos) const {
    return pieced_ ? int(TextPosition(shown, size_t(shownPos), kSeam)) : shownPos;
}

bool TextBox::ProgramSelection() const {
    if (!programSel_)
        return false;
    DWORD start = 0, end = 0;
    SendMessageW(hwnd_, EM_GETSEL, WPARAM(&start), LPARAM(&end));
    return start == programSel_->from && end == programSel_->to;
}

void TextBox::LoadPart(size_t limit) const {
    if (loadTimerSet_) {
        KillTimer(hwnd_, kLoadTimer);
        loadTimerSet_ = false;
    }
    if (loading_.empty())
        return;
    size_t cut = loading_.size();
    if (cut > limit) {
        // After a line break or seam (one comes at least every 2051 units).
        const size_t lf = loading_.rfind(L'\n', limit - 1);
        cut = lf != std::wstring::npos ? lf + 1 : limit;
        if (lf == std::wstring::npos && IS_HIGH_SURROGATE(loading_[cut - 1]))
            --cut;
    }
    const ULONGLONG begin = GetTickCount64();
    const bool programSel = ProgramSelection();
    DWORD from = 0, to = 0;
    SendMessageW(hwnd_, EM_GETSEL, WPARAM(&from), LPARAM(&to));
    const LRESULT top = SendMessageW(hwnd_, EM_GETFIRSTVISIBLELINE, 0, 0);
    // The part goes in at the end, out of sight: no scrolling there and back.
    const bool visible = GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE;
    if (visible)
        SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
    const int end = GetWindowTextLengthW(hwnd_);
    SendMessageW(hwnd_, EM_SETSEL, end, end);
    const std::wstring part = loading_.substr(0, cut);
    loading_.erase(0, cut);
    SendMessageW(hwnd_, EM_REPLACESEL, FALSE, LPARAM(part.c_str()));
    if (programSel) {
        // The program's selection shows as far as the control holds it.
        to = std::min<DWORD>(programSel_->end, DWORD(GetWindowTextLengthW(hwnd_)));
        programSel_->to = to;
    }
    SendMessageW(hwnd_, EM_SETSEL, from, to);
    SendMessageW(hwnd_, EM_LINESCROLL, 0, top - SendMessageW(hwnd_, EM_GETFIRSTVISIBLELINE, 0, 0));
    if (visible) {
        SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(hwnd_, nullptr, TRUE);
    }
    if (loading_.empty())
        return;
    const ULONGLONG cost = GetTickCount64() - begin;
    loadTimerSet_ = SetTimer(hwnd_, kLoadTimer, UINT(std::max<ULONGLONG>(kMinIntervalMs, 4 * cost)),
                             nullptr) != 0;
    if (!loadTimerSet_)
        LoadPart(std::wstring::npos); // no timer to be had: all of it now
}

void TextBox::LoadTo(size_t shownPos) const {
    while (!loading_.empty() && size_t(GetWindowTextLengthW(hwnd_)) < shownPos)
        LoadPart(shownPos - size_t(GetWindowTextLengthW(hwnd_)) + kLoadUnits);
}

std::u16string TextBox::Text() const {
    const std::u16string shown = Shown();
    return pieced_ ? UnpiecedText(shown, kSeam) : shown;
}

void TextBox::SetText(std::u16string_view text) {
    pending_.clear();
    Flush(); // stops the timer
    const std::u16string crlf = WithCrLf(text);
    const std::u16string shown = PiecedText(crlf, kSeam, kPieceUnits);
    pieced_ = shown.size() != crlf.size();
    size_t first = shown.size();
    if (first > kFirstUnits) {
        const size_t lf = shown.rfind(u'\n', kFirstUnits - 1);
        first = lf != std::u16string::npos ? lf + 1 : kFirstUnits;
        if (lf == std::u16string::npos && IS_HIGH_SURROGATE(shown[first - 1]))
            --first;
    }
    SetWindowTextW(hwnd_, Wide(shown.substr(0, first)).c_str()); // drops what was loading
    if (first == shown.size())
        return;
    loading_ = Wide(std::u16string_view(shown).substr(first));
    loadTimerSet_ = SetTimer(hwnd_, kLoadTimer, kMinIntervalMs, nullptr) != 0;
    if (!loadTimerSet_)
        Load();
}

int TextBox::Length() const {
    if (pieced_)
        return int(Text().size());
    return GetWindowTextLengthW(hwnd_) + int(loading_.size() + pending_.size());
}

std::u16string TextBox::Mid(int start, int length) const {
    const std::u16string text = Text();
    const size_t from = size_t(std::clamp(start, 0, int(text.size())));
    return text.substr(from, size_t(std::max(length, 0)));
}

int TextBox::SelStart() const {
    if (ProgramSelection())
        return programSel_->start;
    const std::u16string shown = MappingText();
    DWORD start = 0, end = 0;
    SendMessageW(hwnd_, EM_GETSEL, WPARAM(&start), LPARAM(&end));
    return TextPos(shown, int(start));
}

int TextBox::SelLength() const {
    if (ProgramSelection())
        return programSel_->length;
    const std::u16string shown = MappingText();
    DWORD start = 0, end = 0;
    SendMessageW(hwnd_, EM_GETSEL, WPARAM(&start), LPARAM(&end));
    return TextPos(shown, int(end)) - TextPos(shown, int(start));
}

std::u16string TextBox::SelText() const {
    return Mid(SelStart(), SelLength());
}

void TextBox::SetSelStart(int start) {
    start = std::clamp(start, 0, Length());
    const std::u16string shown = MappingText();
    const int at = ShownPos(shown, start, true);
    LoadTo(size_t(at));
    SendMessageW(hwnd_, EM_SETSEL, at, at);
    SendMessageW(hwnd_, EM_SCROLLCARET, 0, 0);
    programSel_ = Selection{start, 0, DWORD(at), DWORD(at), DWORD(at)};
}

void TextBox::SetSelLength(int length) {
    const int start = SelStart();
    const int end = std::clamp(start + std::max(length, 0), start, Length());
    const std::u16string shown = MappingText();
    const int from = ShownPos(shown, start, true);
    // A selection that ends at a seam ends before it, on the piece it is in.
    const int target = end == start ? from : ShownPos(shown, end, false);
    LoadTo(size_t(from));
    const int to = std::min(target, GetWindowTextLengthW(hwnd_));
    SendMessageW(hwnd_, EM_SETSEL, from, to);
    programSel_ = Selection{start, end - start, DWORD(from), DWORD(to), DWORD(target)};
}

void TextBox::SelectAll() {
    const int length = Length();
    const DWORD held = DWORD(GetWindowTextLengthW(hwnd_));
    SendMessageW(hwnd_, EM_SETSEL, 0, held);
    programSel_ = Selection{0, length, 0, held, held + DWORD(loading_.size())};
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
    switch (msg) {
    case WM_TIMER:
        if (wParam != kLoadTimer)
            break;
        box->loadTimerSet_ = false;
        box->LoadPart(kLoadUnits);
        return 0;
    case WM_SETTEXT: // a new text: nothing more of the old one comes
        box->loading_.clear();
        KillTimer(hwnd, kLoadTimer);
        box->loadTimerSet_ = false;
        box->programSel_.reset();
        break;
    case WM_CHAR:
    case WM_KEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_PASTE:
    case WM_CLEAR:
    case WM_UNDO:
        box->programSel_.reset(); // the user's own selection from here on
        break;
    default:
        break;
    }
    if (box->pieced_ || !box->loading_.empty()) {
        const bool writable = !(GetWindowLongW(hwnd, GWL_STYLE) & ES_READONLY);
        const bool plain = GetKeyState(VK_SHIFT) >= 0 && GetKeyState(VK_CONTROL) >= 0;
        switch (msg) {
        case WM_COPY:
            box->CopySelection();
            return 0;
        case WM_CUT: // as the EDIT's own: a read-only box only copies
            if (box->ProgramSelection() && box->programSel_->to < box->programSel_->end) {
                box->LoadTo(box->programSel_->end);
                box->programSel_->to = box->programSel_->end;
                SendMessageW(hwnd, EM_SETSEL, box->programSel_->from, box->programSel_->to);
            }
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
