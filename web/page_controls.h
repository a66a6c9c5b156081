// The page's elements as the core's controls: each adapter names its element
// (the control's name is the element's id) and hands every call to the page.
// As with the other toolkits, a scroll bar or line box given a new value and
// an option button newly selected from the program raise their event.
#pragma once

#include "core/controls.h"
#include "core/form1_events.h"
#include "core/text_util.h"
#include "web/page_bridge.h"

#include <functional>
#include <memory>
#include <string>

// Runs the handler of a control's event (nothing when it has none).
using RaiseEvent = std::function<void(const std::string& control, FormEvent event)>;

template <class Interface> class PageControl : public Interface {
  public:
    PageControl(std::string name, RaiseEvent raise)
        : name_(std::move(name)), raise_(std::move(raise)) {}
    void SetFocus() override { page::Focus(name_); }

  protected:
    int Get(const char* what) const { return page::Number(name_, what); }
    void Set(const char* what, int value) { page::SetNumber(name_, what, value); }
    std::string name_;
    RaiseEvent raise_;
};

class PageTextBox : public PageControl<ui::TextBox> {
  public:
    using PageControl::PageControl;
    std::u16string Text() const override { return Utf16FromUtf8(page::Text(name_)); }
    void SetText(std::u16string_view text) override { page::SetText(name_, Utf8FromUtf16(text)); }
    void AppendText(std::u16string_view text) override {
        page::AppendText(name_, Utf8FromUtf16(text));
    }
    int Length() const override { return page::Length(name_); }
    std::u16string Mid(int start, int length) const override {
        return Utf16FromUtf8(page::Mid(name_, start, length));
    }
    int SelStart() const override { return page::SelStart(name_); }
    int SelLength() const override { return page::SelLength(name_); }
    std::u16string SelText() const override { return Mid(SelStart(), SelLength()); }
    void SetSelStart(int start) override { page::SetSelStart(name_, start); }
    void SetSelLength(int length) override { page::SetSelLength(name_, length); }
};

class PageLineBox : public PageControl<ui::LineBox> {
  public:
    using PageControl::PageControl;
    std::u16string Text() const override { return Utf16FromUtf8(page::Text(name_)); }
    void SetText(std::u16string_view text) override {
        const std::string utf8 = Utf8FromUtf16(text);
        if (utf8 == page::Text(name_))
            return;
        page::SetText(name_, utf8);
        raise_(name_, FormEvent::Change);
    }
};

class PageComboBox : public PageControl<ui::ComboBox> {
  public:
    using PageControl::PageControl;
    int ListIndex() const override { return Get("listIndex"); }
    void SetListIndex(int index) override { Set("listIndex", index); }
    int ListCount() const override { return Get("listCount"); }
};

class PageCheckBox : public PageControl<ui::CheckBox> {
  public:
    using PageControl::PageControl;
    int Value() const override { return Get("checked"); }
    void SetValue(int value) override { Set("checked", value); }
};

class PageOptionButton : public PageControl<ui::OptionButton> {
  public:
    using PageControl::PageControl;
    bool Value() const override { return Get("checked") != 0; }
    void SetValue(bool selected) override {
        const bool was = Value();
        Set("checked", selected ? 1 : 0);
        if (selected && !was)
            raise_(name_, FormEvent::Click);
    }
};

class PageScrollBar : public PageControl<ui::HScrollBar> {
  public:
    using PageControl::PageControl;
    int Min() const override { return Get("min"); }
    int Max() const override { return Get("max"); }
    int Value() const override { return Get("value"); }
    void SetValue(int value) override {
        const int before = Value();
        Set("value", value);
        if (Value() != before)
            raise_(name_, FormEvent::Change);
    }
};

using PageLabel = PageControl<ui::Label>;
using PageFrame = PageControl<ui::Frame>;
using PageButton = PageControl<ui::CommandButton>;
