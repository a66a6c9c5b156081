// Controls and a serial control for driving the core's Form1 without any
// toolkit: plain values, the designed semantics that the handlers rely on.
#pragma once

#include "core/comm_control.h"
#include "core/controls.h"
#include "core/form1.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

class FakeTextBox : public ui::TextBox {
  public:
    void SetFocus() override {}
    std::u16string Text() const override { return text_; }
    void SetText(std::u16string_view text) override {
        text_.clear();
        AppendText(text);
        start_ = length_ = 0;
    }
    // A lone CR or LF becomes CR LF, as in the window's boxes.
    void AppendText(std::u16string_view text) override {
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char16_t c = text[i];
            if (c == u'\r' || c == u'\n') {
                text_ += u"\r\n";
                if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                    ++i;
            } else {
                text_ += c;
            }
        }
        start_ = Length();
        length_ = 0;
    }
    int Length() const override { return static_cast<int>(text_.size()); }
    std::u16string Mid(int start, int length) const override {
        start = std::clamp(start, 0, Length());
        return text_.substr(static_cast<std::size_t>(start),
                            static_cast<std::size_t>(std::max(0, length)));
    }
    int SelStart() const override { return start_; }
    int SelLength() const override { return length_; }
    std::u16string SelText() const override { return Mid(start_, length_); }
    void SetSelStart(int start) override {
        start_ = std::clamp(start, 0, Length());
        length_ = 0;
    }
    void SetSelLength(int length) override { length_ = std::clamp(length, 0, Length() - start_); }

  private:
    std::u16string text_;
    int start_ = 0, length_ = 0;
};

class FakeLineBox : public ui::LineBox {
  public:
    void SetFocus() override {}
    std::u16string Text() const override { return text; }
    void SetText(std::u16string_view t) override { text = t; }
    std::u16string text;
};

class FakeComboBox : public ui::ComboBox {
  public:
    void SetFocus() override {}
    int ListIndex() const override { return index; }
    void SetListIndex(int i) override { index = i; }
    int ListCount() const override { return count; }
    int index = -1, count = 20;
};

class FakeCheckBox : public ui::CheckBox {
  public:
    void SetFocus() override {}
    int Value() const override { return value; }
    void SetValue(int v) override { value = v ? 1 : 0; }
    int value = 1;
};

// Selecting a button from the program raises its Click when it was not
// selected; the form's handler is what that Click runs.
class FakeOptionButton : public ui::OptionButton {
  public:
    void SetFocus() override {}
    bool Value() const override { return value; }
    void SetValue(bool selected) override {
        const bool raise = selected && !value;
        value = selected;
        if (raise && onClick)
            onClick();
    }
    bool value = false;
    std::function<void()> onClick;
};

// SetValue to a new value raises Change.
class FakeScrollBar : public ui::HScrollBar {
  public:
    FakeScrollBar(int min, int max, int v) : min_(min), max_(max), value_(v) {}
    void SetFocus() override {}
    int Min() const override { return min_; }
    int Max() const override { return max_; }
    int Value() const override { return value_; }
    void SetValue(int v) override {
        v = std::clamp(v, min_, max_);
        if (v == value_)
            return;
        value_ = v;
        if (onChange)
            onChange();
    }
    std::function<void()> onChange;

  private:
    int min_, max_, value_;
};

class FakeComm : public CommControl {
  public:
    void SetCommPort(int16_t port) override { port_ = port; }
    int16_t CommPort() const override { return port_; }
    void SetSettings(const std::string& s) override { settings = s; }
    std::string Settings() const override { return settings; }
    void SetInBufferSize(int16_t n) override { inBuffer_ = n; }
    int16_t InBufferSize() const override { return inBuffer_; }
    bool PortOpen() const override { return open_; }
    void SetPortOpen(bool open) override {
        if (open && missing)
            throw CommError(missingReason);
        open_ = open;
    }
    void Output(std::string_view bytes) override {
        if (!open_)
            throw CommError("closed");
        written.emplace_back(bytes);
    }
    std::string Input() override {
        const std::size_t n = std::min<std::size_t>(waiting_.size(), std::size_t(inBuffer_));
        std::string out = waiting_.substr(0, n);
        waiting_.erase(0, n);
        return out;
    }
    int16_t CommEvent() const override { return CommEvents::Receive; }

    // The chip answers: one notification per read, while bytes are read.
    void Receive(std::string_view bytes) {
        waiting_ += bytes;
        while (!waiting_.empty()) {
            const std::size_t before = waiting_.size();
            RaiseOnComm();
            if (waiting_.size() == before)
                break;
        }
    }

    std::string DeviceFor(int n) const override { return n == port_ ? device : std::string(); }

    bool missing = false;
    std::string missingReason = "missing";
    std::string device; // what DeviceFor says of the current port
    std::string settings;
    std::vector<std::string> written;

  private:
    int16_t port_ = 1, inBuffer_ = 1024;
    bool open_ = false;
    std::string waiting_;
};

// A Form1 on fakes: every control made, every notification wired, loaded.
struct FakeWindow {
    FakeComm comm;
    std::vector<std::u16string> messages;
    std::vector<int32_t> sleeps;
    InitialFile initial;
    // Fills the services a test supplies beyond the ones above.
    std::function<void(Form1Services&)> moreServices;
    std::vector<std::unique_ptr<ui::Control>> owned;
    std::unique_ptr<Form1> form;

    template <class T, class... Args>
    T* Make(Args&&... args) {
        auto c = std::make_unique<T>(std::forward<Args>(args)...);
        T* raw = c.get();
        owned.push_back(std::move(c));
        return raw;
    }

    void Load() {
        Form1Services s;
        s.comm = &comm;
        s.messageBox = [this](std::u16string_view t) { messages.emplace_back(t); };
        s.sleepMs = [this](int32_t ms) { sleeps.push_back(ms); };
        s.readInitialFile = [this] { return initial; };
        s.clockMs = [] { return int64_t(0); };
        if (moreServices)
            moreServices(s);
        form = std::make_unique<Form1>(std::move(s));
        Form1& f = *form;
        f.Text3 = Make<FakeTextBox>();
        f.Text4 = Make<FakeTextBox>();
        f.Text5 = Make<FakeTextBox>();
        f.Text1 = Make<FakeLineBox>();
        for (ui::ComboBox** c : {&f.Combo1, &f.Combo2, &f.Combo3, &f.Combo4, &f.Combo5})
            *c = Make<FakeComboBox>();
        for (ui::CheckBox** c : {&f.Check1, &f.Check2, &f.Check3, &f.Check4})
            *c = Make<FakeCheckBox>();
        auto* o1 = Make<FakeOptionButton>();
        auto* o2 = Make<FakeOptionButton>();
        o1->value = true;
        o1->onClick = [&f] { f.Option1_Click(); };
        o2->onClick = [&f] { f.Option2_Click(); };
        f.Option1 = o1;
        f.Option2 = o2;
        auto* h1 = Make<FakeScrollBar>(1, 17, 11);
        auto* h2 = Make<FakeScrollBar>(1, 6, 5);
        auto* h3 = Make<FakeScrollBar>(1, 17, 5);
        h1->onChange = [&f] { f.HScroll1_Change(); };
        h2->onChange = [&f] { f.HScroll2_Change(); };
        h3->onChange = [&f] { f.HScroll3_Change(); };
        f.HScroll1 = h1;
        f.HScroll2 = h2;
        f.HScroll3 = h3;
        comm.SetOnComm([&f] { f.MSComm1_OnComm(); });
        f.Form_Load();
    }

    std::u16string Log() const { return form->Text4->Text(); }
};
