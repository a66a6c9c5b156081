// The Windows API's own controls as the core's controls: each adapter holds
// the control's window and gives the handlers the designed semantics. The
// window hands each adapter the notifications of its control (WM_COMMAND,
// WM_HSCROLL) and gets back whether the handler is to run.
#pragma once

#include "core/controls.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include <windows.h>

namespace win {

template <class Interface> class Adapter : public Interface {
  public:
    explicit Adapter(HWND hwnd) : hwnd_(hwnd) {}
    void SetFocus() override { ::SetFocus(hwnd_); }
    HWND Handle() const { return hwnd_; }

  protected:
    HWND hwnd_;
};

// Multi-line EDIT: it keeps CR LF itself and counts its selection in UTF-16
// units, as the core does; lone CR and LF are made CR LF on the way in.
//
// A line longer than kPieceLength (2048) is shown in pieces of at most
// kPieceUnits (core/text_pieces.h),
// each on a display line of its own after a seam of CR CR LF (the EDIT's own
// soft line break): the EDIT lays out a line as a whole, at a cost that grows
// with the square of its length. Text, selections, copying and cutting see
// the one line; Backspace and Delete beside a seam act on the character
// beyond it.
//
// A long text reaches the control in parts: Wine's EDIT lays out every line
// it is given at once, about 3 us a character (50 s for a megabyte of one
// line in pieces), so SetText gives it the first kFirstUnits at once and the
// rest in parts of kLoadUnits, each after a pause of four times what the
// last part cost. The core sees the whole text at once: a selection the
// program makes beyond what the control holds yet is kept as made (the
// control shows the part it holds), and a selection's start is taken in
// first.
//
// Appended text reaches the control in batches: every change of an EDIT
// lays out and repaints all of its text (under Wine it costs about as much
// as the text is long), so a work log of weeks would slow every entry down.
// The control gets what was appended at most once per interval that grows
// with what the last update cost (at least kMinIntervalMs, and four times
// the last update), and at most kChunkUnits at a time, so that the log takes
// at most a fifth of the window's time and holds no click up for long,
// however long it grows and however fast entries come. Every read,
// selection and replacement takes in all that is pending first: the core
// sees the text exactly as appended.
class TextBox : public Adapter<ui::TextBox> {
  public:
    static constexpr DWORD kMinIntervalMs = 50;
    static constexpr size_t kChunkUnits = 16 * 1024;
    static constexpr std::u16string_view kSeam = u"\r\r\n";
    // Shorter than the core's kPieceLength: Wine's EDIT wraps a piece at a
    // cost that grows with the square of its length (a megabyte of random
    // GBK on one line took 28 s to lay out in pieces of 2048).
    static constexpr size_t kPieceUnits = 512;
    static constexpr size_t kFirstUnits = 8 * 1024;
    static constexpr size_t kLoadUnits = 4 * 1024;

    explicit TextBox(HWND hwnd);
    ~TextBox() override;
    std::u16string Text() const override;
    void SetText(std::u16string_view text) override;
    void AppendText(std::u16string_view text) override;
    int Length() const override;
    std::u16string Mid(int start, int length) const override;
    int SelStart() const override;
    int SelLength() const override;
    std::u16string SelText() const override;
    void SetSelStart(int start) override;
    void SetSelLength(int length) override;

    // Puts all that was appended into the control now.
    void Flush() const;
    // Appended text not yet in the control (0 once flushed).
    size_t PendingLength() const { return pending_.size(); }
    // SetText showed a long line in pieces.
    bool Pieced() const { return pieced_; }
    // Units of the text set that the control does not hold yet.
    size_t LoadingLength() const { return loading_.size(); }
    // Puts all the text set into the control now.
    void Load() const { LoadPart(std::wstring::npos); }
    // Selects all of the text, also what the control does not hold yet.
    void SelectAll();

  private:
    static constexpr UINT_PTR kSubclassId = 0x4710;
    static constexpr UINT_PTR kLoadTimer = 0x745A;
    static void CALLBACK OnFlushTimer(HWND hwnd, UINT, UINT_PTR, DWORD);
    // One update of at most limit units, cut after a line break when it can
    // be; then the next one is scheduled if anything is left.
    void Update(size_t limit) const;
    void Schedule() const;
    // What the control holds, seams and all.
    std::u16string Shown() const;
    // What positions are mapped through: nothing when no line is in pieces.
    std::u16string MappingText() const;
    int ShownPos(std::u16string_view shown, int pos, bool afterSeam) const;
    int TextPos(std::u16string_view shown, int shownPos) const;
    // Copying and cutting the text; Backspace and Delete beside a seam.
    static LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR self);
    bool CopySelection();
    void StepOverSeam(bool backward);
    // Puts the next part of at most limit units of the text set into the
    // control, keeping its selection and scrolling; schedules the next.
    void LoadPart(size_t limit) const;
    void LoadTo(size_t shownPos) const;
    // The program's selection, while the control's is the one it made.
    bool ProgramSelection() const;

    mutable std::wstring pending_; // with CR LF
    mutable bool timerSet_ = false;
    mutable ULONGLONG nextFlush_ = 0; // GetTickCount64 before which no update runs
    bool pieced_ = false;
    mutable std::wstring loading_; // shown text beyond the control's end
    mutable bool loadTimerSet_ = false;
    struct Selection {
        int start = 0, length = 0; // in the text
        DWORD from = 0, to = 0;    // what the control shows of it
        DWORD end = 0;             // where it ends in the shown text
    };
    mutable std::optional<Selection> programSel_;
};

class LineBox : public Adapter<ui::LineBox> {
  public:
    using Adapter::Adapter;
    std::u16string Text() const override;
    void SetText(std::u16string_view text) override;
};

// CBS_DROPDOWN: text typed into its field leaves ListIndex at -1 until an
// entry is chosen again.
class ComboBox : public Adapter<ui::ComboBox> {
  public:
    using Adapter::Adapter;
    int ListIndex() const override;
    void SetListIndex(int index) override;
    int ListCount() const override;
    // The field's text with no entry selected (the designed start text).
    void SetFieldText(std::u16string_view text);
    // A CBN_ notification code; true when it is the user's choice of an
    // entry (the Click).
    bool Notify(int code);

  private:
    bool typed_ = false;
};

class CheckBox : public Adapter<ui::CheckBox> {
  public:
    using Adapter::Adapter;
    int Value() const override;
    void SetValue(int value) override;
};

// BS_AUTORADIOBUTTON. The buttons of one group exclude each other; Click
// runs when the user selects a button that was not selected, and when the
// program does.
class OptionButton : public Adapter<ui::OptionButton> {
  public:
    OptionButton(HWND hwnd, std::function<void()> click)
        : Adapter(hwnd), click_(std::move(click)) {}
    bool Value() const override;
    void SetValue(bool selected) override;
    // The buttons it excludes.
    void SetGroup(std::vector<OptionButton*> group) { group_ = std::move(group); }
    // BN_CLICKED from the control: raises Click when it selected the button.
    void Clicked();

  private:
    std::function<void()> click_;
    std::vector<OptionButton*> group_;
    bool selected_ = false; // as last seen, to tell a new selection
};

// SBS_HORZ scroll bar; Change runs once per change of Value, by arrow,
// track, thumb release or program, never for the value it already holds.
class HScrollBar : public Adapter<ui::HScrollBar> {
  public:
    HScrollBar(HWND hwnd, std::function<void()> change)
        : Adapter(hwnd), change_(std::move(change)) {}
    void SetRange(int min, int max);
    int Min() const override { return min_; }
    int Max() const override { return max_; }
    int Value() const override;
    void SetValue(int value) override;
    // A WM_HSCROLL request (SB_ code and thumb position).
    void Scroll(int code, int thumb);

  private:
    std::function<void()> change_;
    int min_ = 0, max_ = 32767;
};

using Label = Adapter<ui::Label>;
using Frame = Adapter<ui::Frame>;
using CommandButton = Adapter<ui::CommandButton>;

// The adapter of each of the core's control interfaces.
template <class Interface>
using Of = typename ui::AdapterOf<Interface, TextBox, LineBox, ComboBox, CheckBox, OptionButton,
                                  HScrollBar, Label, Frame, CommandButton>::type;

} // namespace win
