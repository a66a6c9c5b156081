// The toolkit's widgets as the core's controls: each adapter hands the
// handlers' calls to its widget, converting the text between the core's
// UTF-16 strings and Qt's (the same units, so positions carry over as they are).
#pragma once

#include "core/controls.h"
#include "qt/qt_text.h"
#include "qt/toolkit.h"

template <class Interface, class W>
class Adapter : public Interface {
  public:
    using Widget = W;
    explicit Adapter(Widget* w) : w_(w) {}
    void SetFocus() override { w_->setFocus(); }

  protected:
    Widget* w_;
};

class TextBoxAdapter : public Adapter<ui::TextBox, TextBox> {
  public:
    using Adapter::Adapter;
    std::u16string Text() const override { return ToU16(w_->Text()); }
    void SetText(std::u16string_view text) override { w_->SetText(ToQString(text)); }
    void AppendText(std::u16string_view text) override { w_->AppendText(ToQString(text)); }
    int Length() const override { return w_->Length(); }
    std::u16string Mid(int start, int length) const override {
        return ToU16(QStringView(w_->Text()).mid(start, length));
    }
    int SelStart() const override { return w_->SelStart(); }
    int SelLength() const override { return w_->SelLength(); }
    std::u16string SelText() const override { return ToU16(w_->SelText()); }
    void SetSelStart(int start) override { w_->SetSelStart(start); }
    void SetSelLength(int length) override { w_->SetSelLength(length); }
};

class LineBoxAdapter : public Adapter<ui::LineBox, LineBox> {
  public:
    using Adapter::Adapter;
    std::u16string Text() const override { return ToU16(w_->Text()); }
    void SetText(std::u16string_view text) override { w_->SetText(ToQString(text)); }
};

class ComboBoxAdapter : public Adapter<ui::ComboBox, ComboBox> {
  public:
    using Adapter::Adapter;
    int ListIndex() const override { return w_->ListIndex(); }
    void SetListIndex(int index) override { w_->SetListIndex(index); }
    int ListCount() const override { return w_->count(); }
};

class CheckBoxAdapter : public Adapter<ui::CheckBox, CheckBox> {
  public:
    using Adapter::Adapter;
    int Value() const override { return w_->Value(); }
    void SetValue(int value) override { w_->SetValue(value); }
};

class OptionButtonAdapter : public Adapter<ui::OptionButton, OptionButton> {
  public:
    using Adapter::Adapter;
    bool Value() const override { return w_->Value(); }
    void SetValue(bool selected) override { w_->SetValue(selected); }
};

class HScrollBarAdapter : public Adapter<ui::HScrollBar, HScrollBar> {
  public:
    using Adapter::Adapter;
    int Min() const override { return w_->Min(); }
    int Max() const override { return w_->Max(); }
    int Value() const override { return w_->Value(); }
    void SetValue(int value) override { w_->SetValue(value); }
};

using LabelAdapter = Adapter<ui::Label, Label>;
using FrameAdapter = Adapter<ui::Frame, Frame>;
using CommandButtonAdapter = Adapter<ui::CommandButton, CommandButton>;

// The adapter of each of the core's control interfaces; its Widget is the
// toolkit's widget behind it.
template <class Interface>
using QtAdapter =
    typename ui::AdapterOf<Interface, TextBoxAdapter, LineBoxAdapter, ComboBoxAdapter,
                           CheckBoxAdapter, OptionButtonAdapter, HScrollBarAdapter, LabelAdapter,
                           FrameAdapter, CommandButtonAdapter>::type;
