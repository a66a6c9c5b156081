// The main window as designed: every control by name, kind, container,
// caption, geometry and tab order; lists, fonts, title, size, icon; the
// controls without behaviour; clearing the work log.
#include "testsupport/form_harness.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QMenuBar>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <map>

namespace {

struct Designed {
    const char* name;
    const char* kind; // class of the toolkit layer
    const char* container;
    const char* caption;
    int twips[4]; // left, top, width, height inside the container
    int tab;
};

// Written down from the design, not from the code that builds the window.
const Designed kControls[] = {
    {"Frame6", "Frame", "Form1", "发送文本--（PC默认为GBK编码格式）", {120, 120, 7935, 4035}, 0},
    {"Command6", "CommandButton", "Form1", "  播  放   最多200字节", {120, 4320, 1215, 495}, 25},
    {"Command3", "CommandButton", "Form1", " 播  放  全部(连续) ", {1560, 4320, 1215, 495}, 44},
    {"Command7", "CommandButton", "Form1", "停止", {2880, 4320, 855, 495}, 12},
    {"Command8", "CommandButton", "Form1", "暂停", {3960, 4320, 855, 495}, 13},
    {"Command9", "CommandButton", "Form1", "恢复", {5040, 4320, 855, 495}, 14},
    {"Command28", "CommandButton", "Form1", "查询", {6120, 4320, 855, 495}, 16},
    {"Command21", "CommandButton", "Form1", "休眠", {7200, 4320, 855, 495}, 15},
    {"Frame10", "Frame", "Form1", "工作记录：", {120, 5160, 7935, 3135}, 23},
    {"Frame16",
     "Frame",
     "Form1",
     "发送文本--"
     "（用户自已自由定义要发送的16进制编码）（可测试任意编码格式）（格式严格匹配，格式为：2位16进制"
     "数值+1个空格符）",
     {120, 8520, 11175, 1815},
     28},
    {"Frame4", "Frame", "Form1", "系统设置", {8280, 120, 3015, 1455}, 7},
    {"Combo4", "ComboBox", "Form1", "COM1", {9720, 360, 1335, 300}, 49},
    {"Command11", "CommandButton", "Form1", "设置芯片", {8400, 1000, 1095, 375}, 51},
    {"Combo5", "ComboBox", "Form1", "Combo5", {9720, 1080, 1335, 300}, 50},
    {"Frame9", "Frame", "Form1", "背景音乐选择", {8280, 1560, 3015, 855}, 21},
    {"Frame11", "Frame", "Form1", "TTS属性", {8280, 2520, 3015, 2655}, 26},
    {"Frame8", "Frame", "Form1", "其它", {8280, 5160, 3015, 2775}, 17},
    {"Check1", "CheckBox", "Form1", "回传解释", {8280, 8040, 1575, 375}, 37},
    {"Command4", "CommandButton", "Form1", "重复播放--测试用", {5280, 11160, 1935, 375}, 45},
    {"Label6", "Label", "Form1", "每", {3480, 11280, 375, 255}, 46},
    {"Text1", "LineBox", "Form1", "30", {3960, 11280, 375, 270}, 48},
    {"Label7", "Label", "Form1", "秒", {4440, 11280, 375, 255}, 47},
    {"Label5", "Label", "Form1", "背景音乐:", {3840, 2040, 855, 255}, 5},
    {"Text3",
     "TextBox",
     "Frame6",
     "当前工作的重中之重，是要在重重困难中，保证重庆市的重点工程的顺利进行！\r\n",
     {120, 240, 7695, 3720},
     1},
    {"Check2", "CheckBox", "Frame6", "按姓名处理", {4560, 4200, 1215, 255}, 2},
    {"Check3", "CheckBox", "Frame6", "读标点符号", {6120, 4200, 1215, 255}, 3},
    {"Check4", "CheckBox", "Frame6", "1读成\"幺\"", {3240, 4200, 1200, 255}, 4},
    {"Command20", "CommandButton", "Frame6", "插入", {1920, 4200, 855, 340}, 6},
    {"Text4", "TextBox", "Frame10", "", {120, 240, 7695, 2775}, 24},
    {"Text5",
     "TextBox",
     "Frame16",
     "fd 00 0f 01 01 b0 a1 b0 a1 b0 a1 b0 a1 b0 a1 b0 a1\r\n",
     {120, 360, 7695, 1320},
     29},
    {"Command29", "CommandButton", "Frame16", "播放--自动加校验", {8040, 600, 1095, 705}, 30},
    {"Command30", "CommandButton", "Frame16", "播放--手动加校验", {9600, 600, 1095, 705}, 31},
    {"Label8", "Label", "Frame4", "电脑串口号", {240, 240, 975, 255}, 52},
    {"Label9", "Label", "Frame4", "电脑波特率", {240, 600, 975, 255}, 53},
    {"Combo2", "ComboBox", "Frame4", "Combo2", {1440, 600, 1335, 300}, 36},
    {"Command27", "CommandButton", "Frame4", "同时发送", {1440, 3000, 1095, 375}, 11},
    {"Frame15", "Frame", "Frame4", "输出方式选择", {120, 3000, 2055, 1305}, 8},
    {"Combo3", "ComboBox", "Frame15", "Combo3", {120, 1200, 1815, 300}, 9},
    {"Command26", "CommandButton", "Frame15", "输出方式设置", {1080, 1200, 1455, 375}, 10},
    {"Combo1", "ComboBox", "Frame9", "背景音乐选择", {240, 360, 2535, 300}, 22},
    {"Label1", "Label", "Frame11", "前景音量", {120, 360, 735, 255}, 33},
    {"HScroll1", "HScrollBar", "Frame11", "", {960, 360, 1815, 200}, 32},
    {"Label3", "Label", "Frame11", "背景音量", {120, 720, 735, 255}, 39},
    {"HScroll3", "HScrollBar", "Frame11", "", {960, 720, 1815, 200}, 40},
    {"Label2", "Label", "Frame11", "词语语速", {120, 1080, 735, 255}, 34},
    {"HScroll2", "HScrollBar", "Frame11", "", {960, 1080, 1815, 200}, 35},
    {"Label4", "Label", "Frame11", "朗读风格", {120, 1680, 735, 255}, 43},
    {"Option1", "OptionButton", "Frame11", "自然", {960, 1440, 1095, 375}, 41},
    {"Option2", "OptionButton", "Frame11", "Word-By-Word", {960, 1800, 1455, 255}, 42},
    {"Command34", "CommandButton", "Frame11", "控制标记恢复默认值", {600, 2160, 2055, 375}, 27},
    {"Command2", "CommandButton", "Frame8", "清空--工作记录", {240, 360, 2535, 450}, 18},
    {"Command31", "CommandButton", "Frame8", "载入--芯片介绍", {240, 960, 2535, 450}, 19},
    {"Command1", "CommandButton", "Frame8", "载入--智能识别展示", {240, 1560, 2535, 450}, 38},
    {"Command32", "CommandButton", "Frame8", "载入----提示音", {240, 2160, 2535, 450}, 20},
};

int Px(int twips) {
    return qRound(twips / 15.0);
} // at 96 dpi

QWidget* Find(Form1Window& form, const char* name) {
    return form.findChild<QWidget*>(QString::fromLatin1(name));
}

QString CaptionOf(QWidget* w) {
    if (auto* f = qobject_cast<QGroupBox*>(w))
        return f->title();
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->text();
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* t = qobject_cast<TextBox*>(w))
        return t->Text();
    if (auto* t = qobject_cast<LineBox*>(w))
        return t->Text();
    if (auto* c = qobject_cast<ComboBox*>(w))
        return c->Text();
    return QString();
}

bool TakesFocus(const Designed& c) {
    return std::string(c.kind) != "Frame" && std::string(c.kind) != "Label";
}

// A window whose working directory vanished: the initial text file can be
// neither opened nor created, so Text3 keeps its design text.
struct DesignForm {
    QString oldCwd = QDir::currentPath();
    QStringList messages;
    std::unique_ptr<Form1Window> form;
    DesignForm() {
        {
            QTemporaryDir gone;
            QDir::setCurrent(gone.path());
        }
        Form1Deps deps;
        deps.comm = std::make_unique<FakeCommControl>();
        deps.messageBox = [this](const QString& text) { messages << text; };
        form = std::make_unique<Form1Window>(std::move(deps));
    }
    ~DesignForm() {
        form.reset();
        QDir::setCurrent(oldCwd);
    }
};

} // namespace

TEST(Window, ScreenIsAt96Dpi) {
    // Every pixel figure below assumes it.
    ASSERT_DOUBLE_EQ(QApplication::primaryScreen()->logicalDotsPerInch(), 96.0);
}

TEST(Window, EveryControlAsDesigned) {
    DesignForm d;
    Form1Window& form = *d.form;
    EXPECT_TRUE(d.messages.isEmpty());
    for (const Designed& c : kControls) {
        SCOPED_TRACE(c.name);
        QWidget* w = Find(form, c.name);
        ASSERT_NE(w, nullptr);
        EXPECT_STREQ(w->metaObject()->className(), c.kind);
        ASSERT_NE(w->parentWidget(), nullptr);
        EXPECT_EQ(w->parentWidget()->objectName(), QString::fromLatin1(c.container));
        EXPECT_EQ(w->geometry(),
                  QRect(Px(c.twips[0]), Px(c.twips[1]), Px(c.twips[2]), Px(c.twips[3])));
        EXPECT_TRUE(w->isEnabled());
        EXPECT_FALSE(w->isHidden());
        // Start-up fills the combo boxes but Combo4.
        if (std::string(c.kind) != "ComboBox" || std::string(c.name) == "Combo4") {
            EXPECT_EQ(CaptionOf(w), QString::fromUtf8(c.caption));
        }
        if (TakesFocus(c)) {
            EXPECT_TRUE(w->focusPolicy() & Qt::TabFocus);
        }
    }
}

TEST(Window, KindsOfTextBoxesAndScrollBars) {
    FormHarness h;
    for (TextBox* t : {h->Widget(&Form1::Text3), h->Widget(&Form1::Text4), h->Widget(&Form1::Text5)}) {
        EXPECT_EQ(t->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn)
            << t->objectName().toStdString();
        EXPECT_FALSE(t->isReadOnly());
    }
    EXPECT_FALSE(h->Widget(&Form1::Text1)->isReadOnly());
    const struct {
        HScrollBar* bar;
        int min, max, value;
    } bars[] = {{h->Widget(&Form1::HScroll1), 1, 17, 11}, {h->Widget(&Form1::HScroll3), 1, 17, 5}, {h->Widget(&Form1::HScroll2), 1, 6, 5}};
    for (const auto& b : bars) {
        SCOPED_TRACE(b.bar->objectName().toStdString());
        EXPECT_EQ(b.bar->Min(), b.min);
        EXPECT_EQ(b.bar->Max(), b.max);
        EXPECT_EQ(b.bar->Value(), b.value);
        EXPECT_EQ(b.bar->singleStep(), 1);
        EXPECT_EQ(b.bar->pageStep(), 1);
    }
}

TEST(Window, ListEntries) {
    FormHarness h;
    QStringList com, music;
    for (int i = 1; i <= 20; ++i)
        com << QStringLiteral("COM") + QString::number(i);
    music << QStringLiteral("无背景（默认）");
    for (const char* n :
         {"01", "02", "03", "04", "05", "06", "07", "08", "09", "10", "11", "12", "13", "14", "15"})
        music << QStringLiteral("背景音乐") + QString::fromLatin1(n);
    const std::map<std::string, QStringList> lists = {
        {"Combo4", com},
        {"Combo2", {"9600", "19200", "38400"}},
        {"Combo5", {"设置成9600(默认)", "设置成19200", "设置成38400"}},
        {"Combo1", music},
        {"Combo3", {"DA输出", "PWM 输出(默认)"}},
    };
    for (const auto& [name, entries] : lists) {
        SCOPED_TRACE(name);
        auto* combo = qobject_cast<ComboBox*>(Find(*h.form, name.c_str()));
        ASSERT_NE(combo, nullptr);
        QStringList actual;
        for (int i = 0; i < combo->count(); ++i)
            actual << combo->itemText(i);
        EXPECT_EQ(actual, entries);
        EXPECT_TRUE(combo->isEditable());
    }
    // Combo4 shows its design text, no entry chosen.
    EXPECT_EQ(h->Widget(&Form1::Combo4)->Text(), QStringLiteral("COM1"));
    EXPECT_EQ(h->Widget(&Form1::Combo4)->ListIndex(), -1);
}

TEST(Window, TitleSizeIconNoMenu) {
    FormHarness h;
    Form1Window& form = *h.form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Orvanta-VXT4710E中文语音合成芯片-PC端演示程序"));
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.size(), QSize(796, 701));
    EXPECT_EQ(form.geometry().size(), QSize(796, 701));
    const QIcon icon = form.windowIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_TRUE(icon.availableSizes().contains(QSize(16, 16)));
    EXPECT_EQ(icon.pixmap(16, 16).size(), QSize(16, 16));
    EXPECT_TRUE(form.findChildren<QMenuBar*>().isEmpty());
    // Saved for a look by eye when asked for.
    const QString shot = qEnvironmentVariable("VXT_WINDOW_SHOT");
    if (!shot.isEmpty()) {
        EXPECT_TRUE(form.grab().save(shot));
    }
}

TEST(Window, FontsAndTheLogBackground) {
    ASSERT_FALSE(QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty())
        << "no font for Chinese is installed (scripts/install-deps installs fonts-noto-cjk)";
    FormHarness h;
    for (CommandButton* b : {h->Widget(&Form1::Command6), h->Widget(&Form1::Command3)}) {
        SCOPED_TRACE(b->objectName().toStdString());
        const QFont f = b->font();
        EXPECT_TRUE(f.bold());
        EXPECT_EQ(f.weight(), QFont::Bold);
        EXPECT_EQ(f.pointSize(), 9);
        const QFontInfo shown(f);
        EXPECT_TRUE(QFontDatabase::writingSystems(shown.family())
                        .contains(QFontDatabase::SimplifiedChinese))
            << shown.family().toStdString();
    }
    for (QWidget* w :
         std::initializer_list<QWidget*>{h->Widget(&Form1::Command7), h->Widget(&Form1::Command2), h->Widget(&Form1::Label1), h->Widget(&Form1::Frame6), h->Widget(&Form1::Text3)})
        EXPECT_FALSE(w->font().bold()) << w->objectName().toStdString();
    const QPalette p = h->Widget(&Form1::Text4)->palette();
    EXPECT_EQ(p.color(QPalette::Base), p.color(QPalette::Button));
    EXPECT_EQ(h->Widget(&Form1::Text4)->viewport()->palette().color(h->Widget(&Form1::Text4)->viewport()->backgroundRole()),
              p.color(QPalette::Button));
    EXPECT_NE(h->Widget(&Form1::Text3)->palette().color(QPalette::Base), p.color(QPalette::Button));
}

TEST(Window, StackingOfOverlappingControls) {
    FormHarness h;
    const QObjectList& top = h.form->children();
    // Label5 is drawn beneath Frame6; Combo4, Command11 and Combo5 above Frame4.
    EXPECT_LT(top.indexOf(h->Widget(&Form1::Label5)), top.indexOf(h->Widget(&Form1::Frame6)));
    for (QWidget* w : std::initializer_list<QWidget*>{h->Widget(&Form1::Combo4), h->Widget(&Form1::Command11), h->Widget(&Form1::Combo5)})
        EXPECT_GT(top.indexOf(w), top.indexOf(h->Widget(&Form1::Frame4))) << w->objectName().toStdString();
}

TEST(Window, TabWalksEveryControlInTabOrder) {
    FormHarness h;
    Form1Window& form = *h.form;
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    auto focused = [&form]() -> QString {
        for (QWidget* w = QApplication::focusWidget(); w && w != &form; w = w->parentWidget())
            if (Find(form, w->objectName().toLatin1().constData()) == w)
                return w->objectName();
        return QString();
    };
    ASSERT_EQ(focused(), QStringLiteral("Text3"));

    std::vector<const Designed*> order;
    for (const Designed& c : kControls)
        if (TakesFocus(c))
            order.push_back(&c);
    std::sort(order.begin(), order.end(), [](auto* a, auto* b) { return a->tab < b->tab; });
    ASSERT_EQ(order.front()->name, std::string("Text3"));

    QStringList expected, walked;
    for (size_t i = 1; i <= order.size(); ++i)
        expected << QString::fromLatin1(order[i % order.size()]->name);
    for (size_t i = 0; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        walked << focused();
    }
    EXPECT_EQ(walked.join(QLatin1Char(' ')).toStdString(),
              expected.join(QLatin1Char(' ')).toStdString());
    // Shift+Tab walks back.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(focused(), QString::fromLatin1(order.back()->name));
}

// Command20, Command26, Command27, Check2, Check3, Check4 and Combo3 have no
// behaviour: using them changes nothing.
TEST(Window, ControlsWithoutBehaviourDoNothing) {
    FormHarness h;
    Form1Window& form = *h.form;
    form.show();
    h->AppendLog(QStringLiteral("entry"));
    h.fake->calls.clear();
    auto snapshot = [&] {
        return QStringList{h.log(),
                           h->Widget(&Form1::Text3)->Text(),
                           h->Widget(&Form1::Text5)->Text(),
                           QString::number(h->PlayAllActive),
                           QString::number(h->BaudChangePending),
                           QString::number(h->PortNumber),
                           QString::number(h->AttributeFramesEnabled),
                           QString::number(h->RepeatIntervalMs),
                           QString::number(h->Widget(&Form1::HScroll1)->Value()),
                           QString::number(h->Widget(&Form1::Option1)->Value()),
                           QString::number(h->Widget(&Form1::Combo1)->ListIndex()),
                           QString::number(h->Widget(&Form1::Combo2)->ListIndex()),
                           QString::fromStdString(h.fake->Settings()),
                           QString::number(h.fake->PortOpen())};
    };
    const QStringList before = snapshot();
    for (CommandButton* b : {h->Widget(&Form1::Command20), h->Widget(&Form1::Command26), h->Widget(&Form1::Command27)}) {
        QTest::mouseClick(b, Qt::LeftButton);
        b->click();
    }
    for (CheckBox* c : {h->Widget(&Form1::Check2), h->Widget(&Form1::Check3), h->Widget(&Form1::Check4)}) {
        QTest::mouseClick(c, Qt::LeftButton);
        c->click();
    }
    h->Widget(&Form1::Combo3)->setFocus();
    QTest::keyClick(h->Widget(&Form1::Combo3), Qt::Key_Up);
    EXPECT_EQ(h->Widget(&Form1::Combo3)->ListIndex(), 0);
    EXPECT_EQ(snapshot(), before);
    EXPECT_TRUE(h.fake->calls.isEmpty()) << h.fake->calls.join(", ").toStdString();
    EXPECT_TRUE(h.fake->written.isEmpty());
    EXPECT_TRUE(h.messages.isEmpty());
}

TEST(Window, Command2ClearsTheWorkLogAndNothingElse) {
    FormHarness h;
    h->AppendLog(QStringLiteral("FD 00 02 21 DE"));
    h->AppendLog(QStringLiteral("<-0x41  接收成功"));
    h->PlayAllActive = -1;
    h->BaudChangePending = 1;
    h.fake->calls.clear();
    QTest::mouseClick(h->Widget(&Form1::Command2), Qt::LeftButton);
    EXPECT_EQ(h.log(), QString());
    EXPECT_EQ(h->PlayAllActive, -1);
    EXPECT_EQ(h->BaudChangePending, 1);
    EXPECT_TRUE(h.fake->calls.isEmpty());
    // An empty log stays empty; the next entry starts the box afresh.
    h->Command2_Click();
    EXPECT_EQ(h.log(), QString());
    h->AppendLog(QStringLiteral("next"));
    EXPECT_EQ(h.log(), QStringLiteral("next\r\n"));
    EXPECT_EQ(h->Widget(&Form1::Text4)->SelStart(), 6);
}
