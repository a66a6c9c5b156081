// Attribute controls: every change goes to the chip at once as a control mark,
// checked byte for byte on a real pseudo-terminal line as well as on the fake,
// for what a user does in the window and for calls from the program.
#include "core/frame_codec.h"
#include "qt/qt_text.h"
#include "testsupport/scroll_bar_parts.h"
#include "testsupport/wired_console.h"

#include <QApplication>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Moves the controls, from their defaults, without sending anything.
void Preset(Console& console, const std::function<void(Form1Window&)>& set) {
    Form1Window& f = console.form();
    f.AttributeFramesEnabled = 0;
    f.Widget(&Form1::HScroll1)->SetValue(11);
    f.Widget(&Form1::HScroll2)->SetValue(5);
    f.Widget(&Form1::HScroll3)->SetValue(5);
    f.Widget(&Form1::Option1)->SetValue(true);
    f.Widget(&Form1::Option2)->SetValue(false);
    set(f);
    f.AttributeFramesEnabled = -1;
    console.Sent(0);
}

QByteArray Frames(std::initializer_list<const char*> hexFrames) {
    QByteArray all;
    for (const char* f : hexFrames)
        all += Hex(f);
    return all;
}

QString LogOf(std::initializer_list<const char*> hexFrames) {
    QString log;
    for (const char* f : hexFrames)
        log += ToQString(FrameLogText(ToStdBytes(Hex(f))));
    return log;
}

void ClickPart(QScrollBar* bar, QStyle::SubControl part) {
    const QRect r = ScrollBarPart(bar, part);
    ASSERT_FALSE(r.isEmpty());
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, r.center());
}

void PressKeyOn(QWidget* w, Qt::Key key) {
    w->setFocus(Qt::TabFocusReason);
    QTest::keyClick(w, key);
}

void ClickOption(QRadioButton* button) {
    QStyleOptionButton opt;
    opt.initFrom(button);
    const QRect indicator =
        button->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &opt, button);
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, indicator.center());
}

void DragTo(QScrollBar* bar, QPoint to) {
    QMouseEvent move(QEvent::MouseMove, QPointF(to), bar->mapToGlobal(QPointF(to)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &move);
}

class AttributeLine : public WiredTest {};

// ------------------------------------------------------------ start-up

TEST_P(AttributeLine, StartUpSendsAndLogsNothing) {
    EXPECT_EQ(console->Sent(0), QByteArray());
    EXPECT_EQ(console->harness().log(), QString());
    EXPECT_EQ(form().AttributeFramesEnabled, -1);
    EXPECT_EQ(form().Widget(&Form1::HScroll1)->Value(), 11);
    EXPECT_EQ(form().Widget(&Form1::HScroll2)->Value(), 5);
    EXPECT_EQ(form().Widget(&Form1::HScroll3)->Value(), 5);
    EXPECT_TRUE(form().Widget(&Form1::Option1)->Value());
    EXPECT_FALSE(form().Widget(&Form1::Option2)->Value());
}

// ------------------------------------------------------------ the user in the window

struct UserCase {
    const char* what;
    std::function<void(Form1Window&)> preset;
    std::function<void(Form1Window&)> act;
    const char* frame;
};

TEST_P(AttributeLine, WhatTheUserDoesSendsItsMarkAtOnce) {
    const auto noPreset = [](Form1Window&) {};
    const UserCase cases[] = {
        {"HScroll1 right arrow 10 -> 11", [](Form1Window& f) { f.Widget(&Form1::HScroll1)->SetValue(10); },
         [](Form1Window& f) { ClickPart(f.Widget(&Form1::HScroll1), QStyle::SC_ScrollBarAddLine); },
         "FD 00 08 01 01 5B 76 31 30 5D 84"},
        {"HScroll1 left arrow 2 -> 1", [](Form1Window& f) { f.Widget(&Form1::HScroll1)->SetValue(2); },
         [](Form1Window& f) { ClickPart(f.Widget(&Form1::HScroll1), QStyle::SC_ScrollBarSubLine); },
         "FD 00 07 01 01 5B 76 30 5D BA"},
        {"HScroll1 key Right 16 -> 17", [](Form1Window& f) { f.Widget(&Form1::HScroll1)->SetValue(16); },
         [](Form1Window& f) { PressKeyOn(f.Widget(&Form1::HScroll1), Qt::Key_Right); },
         "FD 00 08 01 01 5B 76 31 36 5D 82"},
        {"HScroll1 key Left 11 -> 10", noPreset,
         [](Form1Window& f) { PressKeyOn(f.Widget(&Form1::HScroll1), Qt::Key_Left); }, "FD 00 07 01 01 5B 76 39 5D B3"},
        {"HScroll2 key Right 5 -> 6", noPreset,
         [](Form1Window& f) { PressKeyOn(f.Widget(&Form1::HScroll2), Qt::Key_Right); }, "FD 00 07 01 01 5B 74 35 5D BD"},
        {"HScroll2 track left of the thumb 6 -> 5", [](Form1Window& f) { f.Widget(&Form1::HScroll2)->SetValue(6); },
         [](Form1Window& f) { ClickPart(f.Widget(&Form1::HScroll2), QStyle::SC_ScrollBarSubPage); },
         "FD 00 07 01 01 5B 74 34 5D BC"},
        {"HScroll3 track right of the thumb 4 -> 5", [](Form1Window& f) { f.Widget(&Form1::HScroll3)->SetValue(4); },
         [](Form1Window& f) { ClickPart(f.Widget(&Form1::HScroll3), QStyle::SC_ScrollBarAddPage); },
         "FD 00 07 01 01 5B 6D 34 5D A5"},
        {"HScroll3 right arrow 16 -> 17", [](Form1Window& f) { f.Widget(&Form1::HScroll3)->SetValue(16); },
         [](Form1Window& f) { ClickPart(f.Widget(&Form1::HScroll3), QStyle::SC_ScrollBarAddLine); },
         "FD 00 08 01 01 5B 6D 31 36 5D 99"},
        {"Option2 clicked", noPreset, [](Form1Window& f) { ClickOption(f.Widget(&Form1::Option2)); },
         "FD 00 07 01 01 5B 6F 31 5D A2"},
        {"Option1 clicked while Option2 selected", [](Form1Window& f) { f.Option2_Click(); },
         [](Form1Window& f) { ClickOption(f.Widget(&Form1::Option1)); }, "FD 00 07 01 01 5B 6F 30 5D A3"},
        {"Command34 clicked", noPreset,
         [](Form1Window& f) { QTest::mouseClick(f.Widget(&Form1::Command34), Qt::LeftButton); },
         "FD 00 06 01 01 5B 64 5D 99"},
    };
    console->Show();
    for (const UserCase& c : cases) {
        SCOPED_TRACE(c.what);
        Preset(*console, c.preset);
        form().Command2_Click();
        form().PlayAllActive = -1;
        c.act(form());
        EXPECT_EQ(console->Sent(Hex(c.frame).size()).toHex(' ').toStdString(),
                  Hex(c.frame).toHex(' ').toStdString());
        EXPECT_EQ(console->harness().log(), ToQString(FrameLogText(ToStdBytes(Hex(c.frame)))));
        EXPECT_EQ(form().PlayAllActive, 0);
    }
    EXPECT_TRUE(console->harness().messages.isEmpty());
}

TEST_P(AttributeLine, ClickingAnOptionMovesTheSelection) {
    console->Show();
    ClickOption(form().Widget(&Form1::Option2));
    EXPECT_TRUE(form().Widget(&Form1::Option2)->Value());
    EXPECT_FALSE(form().Widget(&Form1::Option1)->Value());
    ClickOption(form().Widget(&Form1::Option1));
    EXPECT_TRUE(form().Widget(&Form1::Option1)->Value());
    EXPECT_FALSE(form().Widget(&Form1::Option2)->Value());
    EXPECT_EQ(console->Sent(20),
              Frames({"FD 00 07 01 01 5B 6F 31 5D A2", "FD 00 07 01 01 5B 6F 30 5D A3"}));
}

TEST_P(AttributeLine, DraggingTheThumbSendsOneFrameForTheReleasePosition) {
    console->Show();
    HScrollBar* bar = form().Widget(&Form1::HScroll1);
    const QRect thumb = ScrollBarPart(bar, QStyle::SC_ScrollBarSlider);
    const QRect groove = ScrollBarPart(bar, QStyle::SC_ScrollBarGroove);
    ASSERT_FALSE(thumb.isEmpty());
    const int y = thumb.center().y();
    QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, thumb.center());
    // Across the whole track to the right end and back to the left end.
    QList<int> seen;
    for (int x = thumb.center().x(); x <= groove.right() + 5; x += 2) {
        DragTo(bar, {x, y});
        seen << bar->sliderPosition();
    }
    for (int x = groove.right() + 5; x >= groove.left() - 5; x -= 2) {
        DragTo(bar, {x, y});
        seen << bar->sliderPosition();
    }
    EXPECT_TRUE(seen.contains(17));
    EXPECT_TRUE(seen.contains(5));
    EXPECT_EQ(bar->Value(), 11) << "the value moves on release only";
    EXPECT_EQ(console->Sent(0), QByteArray());
    QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, {groove.left() - 5, y});
    EXPECT_EQ(bar->Value(), 1);
    EXPECT_EQ(console->Sent(10), Hex("FD 00 07 01 01 5B 76 30 5D BA"));
    EXPECT_EQ(console->harness().log(), LogOf({"FD 00 07 01 01 5B 76 30 5D BA"}));
}

// ------------------------------------------------------------ calls from the program

struct ProgramCase {
    const char* what;
    std::function<void(Form1Window&)> preset;
    std::function<void(Form1Window&)> act;
    std::vector<const char*> frames;
};

TEST_P(AttributeLine, ProgramSettingAndCallingFollowsTheNotifications) {
    const auto noPreset = [](Form1Window&) {};
    const ProgramCase cases[] = {
        {"new scroll value then the handler: twice",
         noPreset,
         [](Form1Window& f) {
             f.Widget(&Form1::HScroll1)->SetValue(3);
             f.HScroll1_Change();
         },
         {"FD 00 07 01 01 5B 76 32 5D B8", "FD 00 07 01 01 5B 76 32 5D B8"}},
        {"same scroll value then the handler: once",
         noPreset,
         [](Form1Window& f) {
             f.Widget(&Form1::HScroll2)->SetValue(5);
             f.HScroll2_Change();
         },
         {"FD 00 07 01 01 5B 74 34 5D BC"}},
        {"HScroll2 at its minimum",
         noPreset,
         [](Form1Window& f) { f.Widget(&Form1::HScroll2)->SetValue(1); },
         {"FD 00 07 01 01 5B 74 30 5D B8"}},
        {"HScroll3 handler called as it stands",
         noPreset,
         [](Form1Window& f) { f.HScroll3_Change(); },
         {"FD 00 07 01 01 5B 6D 34 5D A5"}},
        {"Option1_Click while Option2 selected: inner run first, twice",
         [](Form1Window& f) { f.Option2_Click(); },
         [](Form1Window& f) { f.Option1_Click(); },
         {"FD 00 07 01 01 5B 6F 30 5D A3", "FD 00 07 01 01 5B 6F 30 5D A3"}},
        {"Option2_Click while Option1 selected: twice",
         noPreset,
         [](Form1Window& f) { f.Option2_Click(); },
         {"FD 00 07 01 01 5B 6F 31 5D A2", "FD 00 07 01 01 5B 6F 31 5D A2"}},
        {"Option1_Click while Option1 selected: once",
         noPreset,
         [](Form1Window& f) { f.Option1_Click(); },
         {"FD 00 07 01 01 5B 6F 30 5D A3"}},
        {"Command34 at the defaults",
         noPreset,
         [](Form1Window& f) { f.Command34_Click(); },
         {"FD 00 06 01 01 5B 64 5D 99"}},
        {"Command34 with every control moved",
         [](Form1Window& f) {
             f.Widget(&Form1::HScroll1)->SetValue(1);
             f.Widget(&Form1::HScroll2)->SetValue(6);
             f.Widget(&Form1::HScroll3)->SetValue(17);
             f.Option2_Click();
         },
         [](Form1Window& f) { f.Command34_Click(); },
         {"FD 00 06 01 01 5B 64 5D 99"}},
        {"background music does not reach the mark",
         [](Form1Window& f) { f.Widget(&Form1::Combo1)->SetListIndex(15); },
         [](Form1Window& f) { f.Widget(&Form1::HScroll1)->SetValue(17); },
         {"FD 00 08 01 01 5B 76 31 36 5D 82"}},
    };
    for (const ProgramCase& c : cases) {
        SCOPED_TRACE(c.what);
        Preset(*console, c.preset);
        form().Command2_Click();
        c.act(form());
        QByteArray wire;
        QString log;
        for (const char* f : c.frames) {
            wire += Hex(f);
            log += ToQString(FrameLogText(ToStdBytes(Hex(f))));
        }
        EXPECT_EQ(console->Sent(wire.size()).toHex(' ').toStdString(),
                  wire.toHex(' ').toStdString());
        EXPECT_EQ(console->harness().log(), log);
    }
}

TEST_P(AttributeLine, RestoreDefaultsPutsEveryControlBack) {
    Preset(*console, [](Form1Window& f) {
        f.Widget(&Form1::HScroll1)->SetValue(2);
        f.Widget(&Form1::HScroll2)->SetValue(1);
        f.Widget(&Form1::HScroll3)->SetValue(16);
        f.Option2_Click();
    });
    form().PlayAllActive = -1;
    form().Command34_Click();
    EXPECT_EQ(form().Widget(&Form1::HScroll1)->Value(), 11);
    EXPECT_EQ(form().Widget(&Form1::HScroll2)->Value(), 5);
    EXPECT_EQ(form().Widget(&Form1::HScroll3)->Value(), 5);
    EXPECT_TRUE(form().Widget(&Form1::Option1)->Value());
    EXPECT_FALSE(form().Widget(&Form1::Option2)->Value());
    EXPECT_EQ(form().AttributeFramesEnabled, -1);
    EXPECT_EQ(form().PlayAllActive, 0);
    EXPECT_EQ(console->Sent(9), Hex("FD 00 06 01 01 5B 64 5D 99"));
}

INSTANTIATE_TEST_SUITE_P(Wires, AttributeLine, ::testing::Values(Wire::Fake, Wire::Pty),
                         [](const auto& info) {
                             return info.param == Wire::Fake ? std::string("Fake")
                                                             : std::string("Pty");
                         });

// ------------------------------------------------------------ state and failure

TEST(Attributes, EveryHandlerEndsContinuousPlaybackAlsoWithFramesOff) {
    const std::pair<const char*, void (Form1::*)()> handlers[] = {
        {"HScroll1", &Form1::HScroll1_Change}, {"HScroll2", &Form1::HScroll2_Change},
        {"HScroll3", &Form1::HScroll3_Change}, {"Option1", &Form1::Option1_Click},
        {"Option2", &Form1::Option2_Click},    {"Command34", &Form1::Command34_Click},
    };
    for (const int16_t enabled : {int16_t(-1), int16_t(0)}) {
        for (const auto& [name, handler] : handlers) {
            SCOPED_TRACE(std::string(name) + (enabled ? " frames on" : " frames off"));
            FormHarness h;
            h->AttributeFramesEnabled = enabled;
            h->PlayAllActive = -1;
            (h.form.get()->*handler)();
            EXPECT_EQ(h->PlayAllActive, 0);
            const bool sends = enabled || handler == &Form1::Command34_Click;
            EXPECT_EQ(h.fake->written.isEmpty(), !sends);
        }
    }
}

TEST(Attributes, WithFramesOffTheOptionHandlersStillMoveTheSelection) {
    FormHarness h;
    h->AttributeFramesEnabled = 0;
    h->Option2_Click();
    EXPECT_TRUE(h->Widget(&Form1::Option2)->Value());
    EXPECT_FALSE(h->Widget(&Form1::Option1)->Value());
    h->Option1_Click();
    EXPECT_TRUE(h->Widget(&Form1::Option1)->Value());
    EXPECT_FALSE(h->Widget(&Form1::Option2)->Value());
    h->Widget(&Form1::HScroll1)->SetValue(4);
    EXPECT_TRUE(h.fake->written.isEmpty());
    EXPECT_EQ(h.log(), QString());
}

TEST(Attributes, APortThatFailsKeepsTheLogEntryAndTheNewValue) {
    FormHarness h([](FakeCommControl& fake) { fake.missingPorts.insert(1); });
    ASSERT_EQ(h.messages.size(), 1);
    h->Widget(&Form1::HScroll2)->SetValue(6);
    EXPECT_EQ(h->Widget(&Form1::HScroll2)->Value(), 6);
    EXPECT_EQ(h.log(), ToQString(FrameLogText(ToStdBytes(Hex("FD 00 07 01 01 5B 74 35 5D BD")))));
    EXPECT_EQ(h.messages.size(), 2);
    EXPECT_EQ(h.messages.last(), kPortFailureMessage);
    EXPECT_TRUE(h.fake->written.isEmpty());
}

} // namespace
