// The toolkit layer's promises, through the real widgets.
#include "qt/toolkit.h"
#include "testsupport/scroll_bar_parts.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTextCursor>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

// Widget position (one separator per line) of a position in CR LF text, for
// positions that do not fall between CR and LF.
int DocPosOf(const QString& crlfText, int pos) {
    int doc = pos;
    for (int i = 0; i + 1 < pos; ++i)
        if (crlfText[i] == QLatin1Char('\r') && crlfText[i + 1] == QLatin1Char('\n'))
            --doc;
    return doc;
}

bool BetweenCrLf(const QString& t, int pos) {
    return pos > 0 && pos < t.size() && t[pos - 1] == QLatin1Char('\r') &&
           t[pos] == QLatin1Char('\n');
}

// The texts every selection test runs over: breaks at the start, the end and
// side by side, Chinese, and characters outside the basic plane (two units).
const QStringList kTexts = {
    QString(),
    QStringLiteral("a"),
    QStringLiteral("ab\r\ncd"),
    QStringLiteral("\r\n"),
    QStringLiteral("\r\n\r\nx\r\n"),
    QStringLiteral("你好\r\n世界\r\n"),
    QStringLiteral("a\U00020000\r\n\U0001F600b"),
};

} // namespace

// ---------------------------------------------------------------- TextBox

TEST(TextBox, TextAndLengthCountEveryBreakAsCrLf) {
    for (const QString& text : kTexts) {
        SCOPED_TRACE(text.toStdString());
        TextBox box;
        box.SetText(text);
        EXPECT_EQ(box.Text(), text);
        EXPECT_EQ(box.Length(), text.size());
        // What the widget holds: one separator per break.
        EXPECT_EQ(box.toPlainText().size(), text.size() - text.count(QStringLiteral("\r\n")));
    }
}

TEST(TextBox, LoneCrOrLfBecomesABreak) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {{"a\nb", "a\r\nb"}, {"a\rb", "a\r\nb"}, {"a\n\nb", "a\r\n\r\nb"}};
    for (const auto& c : cases) {
        TextBox box;
        box.SetText(QString::fromUtf8(c.in));
        EXPECT_EQ(box.Text(), QString::fromUtf8(c.out)) << c.in;
        EXPECT_EQ(box.Length(), box.Text().size()) << c.in;
    }
}

// Every start and length the program can set, including those that start or
// end between CR and LF, reads back exactly, and the widget shows it.
TEST(TextBox, ProgramSelectionsReadBackExactly) {
    for (const QString& text : kTexts) {
        TextBox box;
        box.SetText(text);
        const int n = int(text.size());
        for (int start = -1; start <= n + 1; ++start) {
            for (int length = -1; length <= n + 1 - qMax(start, 0); ++length) {
                SCOPED_TRACE(text.toStdString() + " start " + std::to_string(start) + " length " +
                             std::to_string(length));
                box.SetSelStart(start);
                const int s = qBound(0, start, n);
                ASSERT_EQ(box.SelStart(), s);
                ASSERT_EQ(box.SelLength(), 0);
                box.SetSelLength(length);
                const int l = qBound(0, length, n - s);
                ASSERT_EQ(box.SelStart(), s);
                ASSERT_EQ(box.SelLength(), l);
                ASSERT_EQ(box.SelText(), text.mid(s, l));
                if (!BetweenCrLf(text, s) && !BetweenCrLf(text, s + l)) {
                    ASSERT_EQ(box.textCursor().selectionStart(), DocPosOf(text, s));
                    ASSERT_EQ(box.textCursor().selectionEnd(), DocPosOf(text, s + l));
                }
            }
        }
    }
}

// Selections the user makes in the widget (any anchor and position of its
// cursor, backwards too) count the break as two characters.
TEST(TextBox, UserSelectionsCountBreaksAsTwo) {
    for (const QString& text : kTexts) {
        TextBox box;
        box.SetText(text);
        // CR LF positions that are not between CR and LF, by widget position.
        QList<int> crlfPos;
        for (int p = 0; p <= text.size(); ++p)
            if (!BetweenCrLf(text, p))
                crlfPos << p;
        ASSERT_EQ(crlfPos.size(), box.document()->characterCount());
        for (int anchor = 0; anchor < crlfPos.size(); ++anchor) {
            for (int pos = 0; pos < crlfPos.size(); ++pos) {
                SCOPED_TRACE(text.toStdString() + " anchor " + std::to_string(anchor) + " pos " +
                             std::to_string(pos));
                QTextCursor c(box.document());
                c.setPosition(anchor);
                c.setPosition(pos, QTextCursor::KeepAnchor);
                box.setTextCursor(c);
                const int s = crlfPos[qMin(anchor, pos)];
                const int e = crlfPos[qMax(anchor, pos)];
                ASSERT_EQ(box.SelStart(), s);
                ASSERT_EQ(box.SelLength(), e - s);
                ASSERT_EQ(box.SelText(), text.mid(s, e - s));
            }
        }
    }
}

TEST(TextBox, KeyboardSelectionAndTyping) {
    TextBox box;
    box.SetText(QStringLiteral("ab\r\ncd"));
    box.show();
    box.setFocus();
    QTest::keyClick(&box, Qt::Key_Home, Qt::ControlModifier);
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(&box, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(box.SelStart(), 0);
    EXPECT_EQ(box.SelLength(), 4);
    EXPECT_EQ(box.SelText(), QStringLiteral("ab\r\n"));

    // The program puts the caret between CR and LF; the user types there:
    // the caret the widget shows (after the break) is where typing goes.
    box.SetSelStart(3);
    QTest::keyClicks(&box, QStringLiteral("X"));
    EXPECT_EQ(box.Text(), QStringLiteral("ab\r\nXcd"));
    EXPECT_EQ(box.SelStart(), 5);
    EXPECT_EQ(box.SelLength(), 0);

    // Delete changes the text without moving the caret: SelStart still
    // follows the widget, not the program's earlier setting.
    box.SetSelStart(3);
    QTest::keyClick(&box, Qt::Key_Delete);
    EXPECT_EQ(box.Text(), QStringLiteral("ab\r\ncd"));
    EXPECT_EQ(box.SelStart(), 4);

    // Enter and Shift+Enter both break the line as CR LF.
    box.SetSelStart(box.Length());
    QTest::keyClick(&box, Qt::Key_Return);
    QTest::keyClick(&box, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(&box, QStringLiteral("e"));
    EXPECT_EQ(box.Text(), QStringLiteral("ab\r\ncd\r\n\r\ne"));
    EXPECT_EQ(box.Length(), box.Text().size());
    EXPECT_EQ(box.SelStart(), box.Length());
}

TEST(TextBox, PastedLineSeparatorsBecomeBreaks) {
    TextBox box;
    box.show();
    QApplication::clipboard()->setText(QStringLiteral("x\u2028y\ny"));
    box.paste();
    EXPECT_EQ(box.Text(), QStringLiteral("x\r\ny\r\ny"));
    EXPECT_EQ(box.Length(), 7);
    EXPECT_EQ(box.SelStart(), 7);
}

TEST(TextBox, AppendTextKeepsTheCaretAtTheEnd) {
    TextBox box;
    box.SetText(QStringLiteral("first\r\n"));
    box.SetSelStart(2);
    box.SetSelLength(3);
    QSignalSpy changes(&box, &TextBox::Change);
    box.AppendText(QStringLiteral("二\r\n"));
    box.AppendText(QStringLiteral("three\r\n"));
    EXPECT_EQ(box.Text(), QStringLiteral("first\r\n二\r\nthree\r\n"));
    EXPECT_EQ(box.SelStart(), box.Length());
    EXPECT_EQ(box.SelLength(), 0);
    EXPECT_EQ(box.textCursor().position(), box.document()->characterCount() - 1);
    EXPECT_EQ(changes.count(), 2);
}

// ---------------------------------------------------------------- ComboBox

namespace {
struct ComboFixture {
    QWidget window;
    ComboBox* combo = new ComboBox(&window);
    QSignalSpy clicks{combo, &ComboBox::Click};
    ComboFixture() {
        combo->addItems({"COM1", "COM2", "COM3"});
        combo->SetText(QStringLiteral("COM1"));
        window.show();
        combo->setFocus();
    }
};
} // namespace

TEST(ComboBox, StartsWithTheDesignTextAndNoEntry) {
    ComboFixture f;
    EXPECT_EQ(f.combo->Text(), QStringLiteral("COM1"));
    EXPECT_EQ(f.combo->ListIndex(), -1);
}

TEST(ComboBox, TypingAndEnterNeverChooseOrAddAnEntry) {
    const char* typed[] = {"COM3", "com2", "abc", "C"};
    for (const char* t : typed) {
        SCOPED_TRACE(t);
        ComboFixture f;
        f.combo->SetListIndex(1);
        f.combo->lineEdit()->clear();
        QTest::keyClicks(f.combo->lineEdit(), QString::fromLatin1(t));
        EXPECT_EQ(f.combo->ListIndex(), -1);
        EXPECT_EQ(f.combo->Text(), QString::fromLatin1(t));
        QTest::keyClick(f.combo->lineEdit(), Qt::Key_Return);
        QTest::keyClick(f.combo, Qt::Key_Enter);
        EXPECT_EQ(f.combo->count(), 3);
        EXPECT_EQ(f.combo->ListIndex(), -1);
        EXPECT_EQ(f.combo->Text(), QString::fromLatin1(t));
        EXPECT_EQ(f.clicks.count(), 0);
    }
}

TEST(ComboBox, ProgramSelectionRaisesNoClick) {
    ComboFixture f;
    QTest::keyClicks(f.combo->lineEdit(), QStringLiteral("x"));
    f.combo->SetListIndex(2);
    EXPECT_EQ(f.combo->ListIndex(), 2);
    EXPECT_EQ(f.combo->Text(), QStringLiteral("COM3"));
    f.combo->SetListIndex(0);
    EXPECT_EQ(f.clicks.count(), 0);
}

TEST(ComboBox, UserChoiceRaisesClickOnce) {
    ComboFixture f;
    QTest::keyClicks(f.combo->lineEdit(), QStringLiteral("zz"));
    ASSERT_EQ(f.combo->ListIndex(), -1);
    // Arrow keys on the closed list choose an entry.
    QTest::keyClick(f.combo, Qt::Key_Down);
    EXPECT_EQ(f.clicks.count(), 1);
    EXPECT_GE(f.combo->ListIndex(), 0);

    // A pick from the opened list.
    QSignalSpy drops(f.combo, &ComboBox::DropDown);
    f.combo->showPopup();
    EXPECT_EQ(drops.count(), 1);
    QAbstractItemView* view = f.combo->view();
    ASSERT_TRUE(QTest::qWaitFor([view] { return view->isVisible(); }));
    // A release right after the list opened belongs to the opening click.
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    const QRect r = view->visualRect(view->model()->index(2, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(f.clicks.count(), 2);
    EXPECT_EQ(f.combo->ListIndex(), 2);
    EXPECT_EQ(f.combo->Text(), QStringLiteral("COM3"));
}

// ---------------------------------------------------------------- OptionButton

TEST(OptionButton, ClickNotifications) {
    enum Action { UserClick1, UserClick2, Program1, Program2, Deselect1, SpaceOn2 };
    const struct {
        const char* name;
        bool start1; // Option 1 selected at the start (else 2)
        Action action;
        int clicks1, clicks2;
        bool end1, end2;
    } cases[] = {
        {"user selects the other", true, UserClick2, 0, 1, false, true},
        {"user clicks the selected one", true, UserClick1, 0, 0, true, false},
        {"program selects the other", true, Program2, 0, 1, false, true},
        {"program selects the selected one", true, Program1, 0, 0, true, false},
        {"program deselects", true, Deselect1, 0, 0, false, false},
        {"space on the other", true, SpaceOn2, 0, 1, false, true},
        {"user selects back", false, UserClick1, 1, 0, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget window;
        QWidget* frame = new QWidget(&window);
        QWidget* other = new QWidget(&window);
        auto* o1 = new OptionButton(frame);
        auto* o2 = new OptionButton(frame);
        auto* elsewhere = new OptionButton(other);
        o1->setText(QStringLiteral("自然"));
        o2->setText(QStringLiteral("Word-By-Word"));
        o1->setGeometry(0, 0, 80, 20);
        o2->setGeometry(0, 30, 80, 20);
        other->move(0, 60);
        window.resize(100, 100);
        window.show();
        elsewhere->SetValue(true);
        (c.start1 ? o1 : o2)->SetValue(true);
        QSignalSpy s1(o1, &OptionButton::Click), s2(o2, &OptionButton::Click),
            s3(elsewhere, &OptionButton::Click);
        switch (c.action) {
        case UserClick1:
            QTest::mouseClick(o1, Qt::LeftButton);
            break;
        case UserClick2:
            QTest::mouseClick(o2, Qt::LeftButton);
            break;
        case Program1:
            o1->SetValue(true);
            break;
        case Program2:
            o2->SetValue(true);
            break;
        case Deselect1:
            o1->SetValue(false);
            break;
        case SpaceOn2:
            o2->setFocus();
            QTest::keyClick(o2, Qt::Key_Space);
            break;
        }
        EXPECT_EQ(s1.count(), c.clicks1);
        EXPECT_EQ(s2.count(), c.clicks2);
        EXPECT_EQ(o1->Value(), c.end1);
        EXPECT_EQ(o2->Value(), c.end2);
        // A button of another container is left alone.
        EXPECT_TRUE(elsewhere->Value());
        EXPECT_EQ(s3.count(), 0);
    }
}

// A handler that selects its own button again from inside its notification
// (as the attribute handlers do) gets no second notification.
TEST(OptionButton, SelectingItselfFromItsHandlerDoesNotRecurse) {
    QWidget frame;
    auto* o1 = new OptionButton(&frame);
    auto* o2 = new OptionButton(&frame);
    o1->SetValue(true);
    int runs = 0;
    QObject::connect(o2, &OptionButton::Click, [&] {
        ++runs;
        o1->SetValue(false);
        o2->SetValue(true);
    });
    o2->SetValue(true);
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(o1->Value());
    EXPECT_TRUE(o2->Value());
}

// ---------------------------------------------------------------- HScrollBar

namespace {
struct ScrollFixture {
    QWidget window;
    HScrollBar* bar = new HScrollBar(&window);
    std::unique_ptr<QSignalSpy> changes;
    ScrollFixture() {
        bar->setRange(1, 17);
        bar->setValue(11);
        bar->setGeometry(10, 10, 121, 13); // 1815 x 200 twips
        window.resize(200, 40);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        changes = std::make_unique<QSignalSpy>(bar, &HScrollBar::Change);
    }
    QRect part(QStyle::SubControl sc) const { return ScrollBarPart(bar, sc); }
    // Where the thumb stands when the bar holds v.
    int thumbCentreFor(int v) const {
        QStyleOptionSlider opt;
        opt.initFrom(bar);
        opt.orientation = Qt::Horizontal;
        opt.minimum = bar->minimum();
        opt.maximum = bar->maximum();
        opt.sliderPosition = v;
        opt.sliderValue = v;
        opt.singleStep = 1;
        opt.pageStep = 1;
        opt.subControls = QStyle::SC_All;
        return bar->style()
            ->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarSlider, bar)
            .center()
            .x();
    }
};
} // namespace

TEST(HScrollBar, DesignedSteps) {
    HScrollBar bar;
    EXPECT_EQ(bar.singleStep(), 1);
    EXPECT_EQ(bar.pageStep(), 1);
    EXPECT_EQ(bar.orientation(), Qt::Horizontal);
}

TEST(HScrollBar, ArrowsAndTrackChangeByOneOnce) {
    const struct {
        const char* name;
        QStyle::SubControl part;
        int start, expected;
    } cases[] = {
        {"right arrow", QStyle::SC_ScrollBarAddLine, 11, 12},
        {"left arrow", QStyle::SC_ScrollBarSubLine, 11, 10},
        {"track right of the thumb", QStyle::SC_ScrollBarAddPage, 11, 12},
        {"track left of the thumb", QStyle::SC_ScrollBarSubPage, 11, 10},
        {"right arrow at the end", QStyle::SC_ScrollBarAddLine, 17, 17},
        {"left arrow at the start", QStyle::SC_ScrollBarSubLine, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScrollFixture f;
        f.bar->SetValue(c.start);
        f.changes->clear();
        const QRect r = f.part(c.part);
        ASSERT_FALSE(r.isEmpty());
        QTest::mouseClick(f.bar, Qt::LeftButton, {}, r.center());
        EXPECT_EQ(f.bar->Value(), c.expected);
        EXPECT_EQ(f.changes->count(), c.expected == c.start ? 0 : 1);
    }
}

TEST(HScrollBar, KeysChangeOnce) {
    ScrollFixture f;
    f.bar->setFocus();
    QTest::keyClick(f.bar, Qt::Key_Right);
    EXPECT_EQ(f.bar->Value(), 12);
    QTest::keyClick(f.bar, Qt::Key_Left);
    QTest::keyClick(f.bar, Qt::Key_Left);
    EXPECT_EQ(f.bar->Value(), 10);
    EXPECT_EQ(f.changes->count(), 3);
    QTest::keyClick(f.bar, Qt::Key_End);
    EXPECT_EQ(f.bar->Value(), 17);
    EXPECT_EQ(f.changes->count(), 4);
}

TEST(HScrollBar, DraggedThumbChangesOnceOnRelease) {
    const struct {
        const char* name;
        QList<int> path; // values the thumb is dragged across, in order
        int release;
    } cases[] = {
        {"across many positions", {10, 8, 5, 3, 6, 9, 14, 16, 15}, 15},
        {"to the start", {9, 5, 1}, 1},
        {"back to where it was", {13, 16, 12, 11}, 11},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScrollFixture f;
        const QRect thumb = f.part(QStyle::SC_ScrollBarSlider);
        const int y = thumb.center().y();
        QTest::mousePress(f.bar, Qt::LeftButton, {}, thumb.center());
        for (int v : c.path) {
            QTest::mouseMove(f.bar, QPoint(f.thumbCentreFor(v), y));
            EXPECT_EQ(f.bar->sliderPosition(), v);
            // Value holds still while the thumb is dragged.
            EXPECT_EQ(f.bar->Value(), 11);
            EXPECT_EQ(f.changes->count(), 0);
        }
        QTest::mouseRelease(f.bar, Qt::LeftButton, {}, QPoint(f.thumbCentreFor(c.release), y));
        EXPECT_EQ(f.bar->Value(), c.release);
        EXPECT_EQ(f.changes->count(), c.release == 11 ? 0 : 1);
    }
}

TEST(HScrollBar, ProgramChangesOnceAndNeverForTheSameValue) {
    ScrollFixture f;
    f.bar->SetValue(4);
    EXPECT_EQ(f.changes->count(), 1);
    f.bar->SetValue(4);
    EXPECT_EQ(f.changes->count(), 1);
    f.bar->SetValue(99); // held to Max
    EXPECT_EQ(f.bar->Value(), 17);
    f.bar->SetValue(17);
    EXPECT_EQ(f.changes->count(), 2);
}

// ---------------------------------------------------------------- others

TEST(CheckBox, ValueIsZeroOrOne) {
    CheckBox box;
    EXPECT_EQ(box.Value(), 0);
    box.SetValue(1);
    EXPECT_EQ(box.Value(), 1);
    box.SetValue(0);
    EXPECT_EQ(box.Value(), 0);
}

TEST(CommandButton, ClickOncePerUserClick) {
    QWidget window;
    auto* button = new CommandButton(&window);
    button->resize(60, 20);
    window.show();
    QSignalSpy clicks(button, &CommandButton::Click);
    QTest::mouseClick(button, Qt::LeftButton);
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_EQ(clicks.count(), 2);
    // Enter on a focused button does not press it (no default button).
    QTest::keyClick(button, Qt::Key_Return);
    EXPECT_EQ(clicks.count(), 2);
}
