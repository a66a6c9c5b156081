// The window's controls as its handlers see them: exactly the properties the
// handlers read and set, whatever toolkit draws them. Text is UTF-16 and
// positions count its units, as the designed controls count characters.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>

namespace ui {

class Control {
  public:
    virtual ~Control() = default;
    virtual void SetFocus() = 0;
};

// Multi-line text box. Every line break is CR LF (two characters); a lone CR
// or LF given to SetText or AppendText becomes one.
class TextBox : public Control {
  public:
    virtual std::u16string Text() const = 0;
    virtual void SetText(std::u16string_view text) = 0;
    // Appends at the end; the caret then stands at the end.
    virtual void AppendText(std::u16string_view text) = 0;
    virtual int Length() const = 0;
    // length characters of Text() from start, clamped to the text: the part
    // the handler looks at, without copying the whole text.
    virtual std::u16string Mid(int start, int length) const = 0;

    virtual int SelStart() const = 0;
    virtual int SelLength() const = 0;
    virtual std::u16string SelText() const = 0;
    // Also collapses the selection, like the classic box.
    virtual void SetSelStart(int start) = 0;
    // From SelStart, clamped to the text.
    virtual void SetSelLength(int length) = 0;
};

class LineBox : public Control {
  public:
    virtual std::u16string Text() const = 0;
    virtual void SetText(std::u16string_view text) = 0;
};

// Drop-down combo box with an editable field: ListIndex() is -1 once the
// user has typed into the field. SetListIndex raises no Click.
class ComboBox : public Control {
  public:
    virtual int ListIndex() const = 0;
    virtual void SetListIndex(int index) = 0;
    virtual int ListCount() const = 0;
};

class CheckBox : public Control {
  public:
    virtual int Value() const = 0; // 1 checked, 0 not
    virtual void SetValue(int value) = 0;
};

// Option buttons of one container exclude each other. Selecting one from the
// program while it was not selected raises its Click.
class OptionButton : public Control {
  public:
    virtual bool Value() const = 0;
    virtual void SetValue(bool selected) = 0;
};

// Horizontal scroll bar: SetValue to a new value raises its Change.
class HScrollBar : public Control {
  public:
    virtual int Min() const = 0;
    virtual int Max() const = 0;
    virtual int Value() const = 0;
    virtual void SetValue(int value) = 0;
};

// Controls the handlers never read: they are there, with their captions.
class Label : public Control {};
class Frame : public Control {};
class CommandButton : public Control {};

// The first of a front end's adapters that is an Interface: its adapter of
// that kind of control (no type when none is).
template <class Interface, class... Adapters> struct AdapterOf;
template <class Interface, class First, class... Rest>
struct AdapterOf<Interface, First, Rest...>
    : std::conditional_t<std::is_base_of_v<Interface, First>, std::type_identity<First>,
                         AdapterOf<Interface, Rest...>> {};

} // namespace ui
