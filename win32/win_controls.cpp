#include "win32/win_controls.h"

#include "win32/win_text.h"

#include <commctrl.h>

#include <algorithm>

namespace win {

// ---------------------------------------------------------------- TextBox

namespace {
const wchar_t kTextBoxProp[] = L"VXT4710.TextBox";
constexpr UINT_PTR kFlushTimer = 0x7458;
} // namespace

TextBox::TextBox(HWND hwnd) : Adapter(hwnd) {
    // The work log grows for weeks: lift the 32 K default limit.
    SendMessageW(hwnd_, EM_SETLIMITTEXT, 0, 0);
    SetPropW(hwnd_, kTextBoxProp, this);
    SetWindowSubclass(hwnd_, &TextBox::EditProc, kSubclassId, DWORD_PTR(this));
}

TextBox::~TextBox() {
    if (IsWindow(hwnd_)) {
        KillTimer(hwnd_, kFlushTimer);
        KillTimer(hwnd_, kLoadTimer);
        RemovePropW(hwnd_, kTextBoxProp);
        RemoveWindowSubclass(hwnd_, &TextBox::EditProc, kSubclassId);
    }
}

void CALLBACK TextBox::OnFlushTimer(HWND hwnd, UINT, UINT_PTR, DWORD) {
    auto* box = static_cast<TextBox*>(GetPropW(hwnd, kTextBoxProp));
    if (!box) {
        KillTimer(hwnd, kFlushTimer);
        return;
    }
    KillTimer(hwnd, kFlushTimer);
    box->timerSet_ = false;
    box->Update(kChunkUnits);
}

void TextBox::Update(size_t limit) const {
    if (pending_.empty())
        return;
    size_t cut = pending_.size();
    if (cut > limit) {
        // After the last line break within the limit, else at the limit
        // without parting a surrogate pair.
        const size_t lf = pending_.rfind(L'\n', limit - 1);
        cut = lf != std::wstring::npos ? lf + 1 : limit;
        if (lf == std::wstring::npos && IS_HIGH_SURROGATE(pending_[cut - 1]))
            --cut;
    }
    const ULONGLONG start = GetTickCount64();
    const int end = GetWindowTextLengthW(hwnd_);
    SendMessageW(hwnd_, EM_SETSEL, end, end);
    if (cut == pending_.size()) {
        SendMessageW(hwnd_, EM_REPLACESEL, FALSE, LPARAM(pending_.c_str()));
        pending_.clear();
    } else {
        const std::wstring part = pending_.substr(0, cut);
        SendMessageW(hwnd_, EM_REPLACESEL, FALSE, LPARAM(part.c_str()));
        pending_.erase(0, cut);
    }
    SendMessageW(hwnd_, EM_SCROLLCARET, 0, 0);
    const ULONGLONG done = GetTickCount64();
    nextFlush_ = done + std::max<ULONGLONG>(kMinIntervalMs, 4 * (done - start));
    Schedule();
}

void TextBox::Schedule() const {
    if (timerSet_ || pending_.empty())
        return;
    const ULONGLONG now = GetTickCount64();
    const UINT wait = now >= nextFlush_ ? USER_TIMER_MINIMUM : UINT(nextFlush_ - now);
    timerSet_ = SetTimer(hwnd_, kFlushTimer, wait, OnFlushTimer) != 0;
}

void TextBox::Flush() const {
    if (timerSet_) {
        KillTimer(hwnd_, kFlushTimer);
        timerSet_ = false;
    }
    Update(std::wstring::npos);
}

void TextBox::AppendText(std::u16string_view text) {
    Load(); // all of a text set goes before what is appended
    pending_ += Wide(WithCrLf(text));
    if (timerSet_)
        return;
    if (GetTickCount64() >= nextFlush_ && pending_.size() <= kChunkUnits) {
        Update(kChunkUnits); // a quiet line's entry shows at once
        return;
    }
    Schedule();
    if (!timerSet_)
        Flush(); // no timer to be had: show it now rather than never
}

// ---------------------------------------------------------------- LineBox

std::u16string LineBox::Text() const {
    return WindowText(hwnd_);
}

void LineBox::SetText(std::u16string_view text) {
    SetWindowTextW(hwnd_, Wide(text).c_str());
}

// ---------------------------------------------------------------- ComboBox

int ComboBox::ListIndex() const {
    return typed_ ? -1 : int(SendMessageW(hwnd_, CB_GETCURSEL, 0, 0));
}

void ComboBox::SetListIndex(int index) {
    typed_ = false;
    SendMessageW(hwnd_, CB_SETCURSEL, WPARAM(index), 0);
}

int ComboBox::ListCount() const {
    return int(SendMessageW(hwnd_, CB_GETCOUNT, 0, 0));
}

void ComboBox::SetFieldText(std::u16string_view text) {
    SendMessageW(hwnd_, CB_SETCURSEL, WPARAM(-1), 0);
    SetWindowTextW(hwnd_, Wide(text).c_str());
    typed_ = false;
}

bool ComboBox::Notify(int code) {
    if (code == CBN_EDITCHANGE) {
        typed_ = true;
        return false;
    }
    if (code == CBN_SELCHANGE) {
        typed_ = false;
        return true;
    }
    return false;
}

// ---------------------------------------------------------------- CheckBox

int CheckBox::Value() const {
    return SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

void CheckBox::SetValue(int value) {
    SendMessageW(hwnd_, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
}

// ---------------------------------------------------------------- OptionButton

bool OptionButton::Value() const {
    return SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void OptionButton::SetValue(bool selected) {
    const bool was = Value();
    SendMessageW(hwnd_, BM_SETCHECK, selected ? BST_CHECKED : BST_UNCHECKED, 0);
    selected_ = selected;
    if (!selected)
        return;
    for (OptionButton* other : group_) {
        if (other != this) {
            SendMessageW(other->hwnd_, BM_SETCHECK, BST_UNCHECKED, 0);
            other->selected_ = false;
        }
    }
    if (!was && click_)
        click_();
}

void OptionButton::Clicked() {
    // The control has already checked itself and cleared its group.
    const bool now = Value();
    const bool isNew = now && !selected_;
    for (OptionButton* b : group_)
        b->selected_ = b->Value();
    selected_ = now;
    if (isNew && click_)
        click_();
}

// ---------------------------------------------------------------- HScrollBar

void HScrollBar::SetRange(int min, int max) {
    min_ = min;
    max_ = max;
    // No page size: every value from min to max is a thumb position.
    SCROLLINFO info{sizeof info, SIF_RANGE, min, max, 0, 0, 0};
    SetScrollInfo(hwnd_, SB_CTL, &info, TRUE);
}

int HScrollBar::Value() const {
    return GetScrollPos(hwnd_, SB_CTL);
}

void HScrollBar::SetValue(int value) {
    value = std::clamp(value, min_, max_);
    if (value == Value())
        return;
    SetScrollPos(hwnd_, SB_CTL, value, TRUE);
    if (change_)
        change_();
}

void HScrollBar::Scroll(int code, int thumb) {
    int value = Value();
    switch (code) {
    case SB_LINELEFT:
    case SB_PAGELEFT:
        --value;
        break;
    case SB_LINERIGHT:
    case SB_PAGERIGHT:
        ++value;
        break;
    case SB_LEFT:
        value = min_;
        break;
    case SB_RIGHT:
        value = max_;
        break;
    case SB_THUMBPOSITION:
        value = thumb; // the thumb released: dragging alone changes nothing
        break;
    default:
        return;
    }
    SetValue(value);
}

} // namespace win
