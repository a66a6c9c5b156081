// Building the window from its control table, and every connection between a
// control's notification and its handler.
#include "core/control_table.h"
#include "core/form1_events.h"
#include "core/net_address.h"
#include "qt/control_adapters.h"
#include "qt/form1.h"

#include "core/form1_events.h"

#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QHash>
#include <QIcon>
#include <QAbstractItemView>
#include <QScreen>
#include <QStyle>
#include <algorithm>

namespace {
QWidget* MakeControl(ControlKind kind, QWidget* parent, const QString& caption) {
    switch (kind) {
    case ControlKind::Frame: {
        auto* w = new Frame(parent);
        w->setTitle(caption);
        return w;
    }
    case ControlKind::TextBox: {
        auto* w = new TextBox(parent);
        w->SetText(caption);
        return w;
    }
    case ControlKind::LineBox: {
        auto* w = new LineBox(parent);
        w->SetText(caption);
        return w;
    }
    case ControlKind::CommandButton: {
        auto* w = new CommandButton(parent);
        w->setText(caption);
        return w;
    }
    case ControlKind::CheckBox: {
        auto* w = new CheckBox(parent);
        w->setText(caption);
        return w;
    }
    case ControlKind::ComboBox:
        return new ComboBox(parent);
    case ControlKind::Label: {
        auto* w = new Label(parent);
        w->setText(caption);
        return w;
    }
    case ControlKind::HScrollBar:
        return new HScrollBar(parent);
    case ControlKind::OptionButton: {
        auto* w = new OptionButton(parent);
        w->setText(caption);
        return w;
    }
    }
    return nullptr;
}

// 宋体 where it exists; else the Ming face of fonts-arphic-uming, whose
// metrics match it (12 pixels a line and half-width Latin at 9 points, so
// that every caption fits its designed width); else the Noto faces, else any
// installed font that writes Chinese.
QStringList CjkFamilies() {
    QStringList families{QStringLiteral("宋体"), QStringLiteral("SimSun"), kCaptionFontFamily,
                         QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Sans CJK SC")};
    families += QFontDatabase::families(QFontDatabase::SimplifiedChinese).mid(0, 1);
    return families;
}

// The list of a combo box opens as wide as its widest entry, even where the
// designed box is narrower ("设置成9600(默认)").
void WidenList(ComboBox* combo) {
    QAbstractItemView* list = combo->view();
    const int widest = list->sizeHintForColumn(0);
    const int frame = 2 * list->frameWidth() + 2 * combo->style()->pixelMetric(QStyle::PM_ComboBoxFrameWidth);
    list->setMinimumWidth(std::max(widest + frame, combo->width()));
}

QIcon MakeIcon() {
    // The menu's icon, a chip sending out a sound wave; 16 x 16 first.
    QIcon icon;
    for (const int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/icons/vxt4710-%1.png").arg(size), QSize(size, size));
    return icon;
}
} // namespace

void Form1Window::CreateControls() {
    const double dpi = screen() ? screen()->logicalDotsPerInch() : 96.0;
    auto px = [dpi](int twips) { return TwipsToPixels(twips, dpi); };

    setObjectName(QStringLiteral("Form1"));
    // The captions are measured for a 9-point Chinese font.
    QFont plain = font();
    plain.setFamilies(CjkFamilies());
    plain.setPointSize(9);
    setFont(plain);
    setWindowTitle(ToQString(kWindowTitle));
    setWindowIcon(MakeIcon());
    setFixedSize(px(kClientWidthTwips), px(kClientHeightTwips));

    QHash<QString, QWidget*> byName;
    std::vector<std::pair<int, QWidget*>> tabOrder;
    for (const DesignedControl& designed : ControlTable()) {
        const QString name = QString::fromStdString(designed.name);
        QWidget* parent = designed.container.empty()
                              ? this
                              : byName.value(QString::fromStdString(designed.container));
        QWidget* w = MakeControl(designed.kind, parent, ToQString(designed.caption));
        w->setObjectName(name);
        w->setGeometry(px(designed.left), px(designed.top), px(designed.width),
                       px(designed.height));
        byName.insert(name, w);
        if (designed.kind == ControlKind::ComboBox) {
            auto* combo = static_cast<ComboBox*>(w);
            combo->addItems(ToQStringList(ComboEntries(designed.name)));
            combo->SetText(ToQString(designed.caption));
            WidenList(combo);
        }
        if (designed.kind != ControlKind::Frame && designed.kind != ControlKind::Label)
            tabOrder.emplace_back(designed.tab, w);
    }

    auto get = [&byName](const char* name) { return byName.value(QLatin1String(name)); };
    Frame6 = static_cast<Frame*>(get("Frame6"));
    Text3 = static_cast<TextBox*>(get("Text3"));
    Check2 = static_cast<CheckBox*>(get("Check2"));
    Check3 = static_cast<CheckBox*>(get("Check3"));
    Check4 = static_cast<CheckBox*>(get("Check4"));
    Command20 = static_cast<CommandButton*>(get("Command20"));
    Label5 = static_cast<Label*>(get("Label5"));
    Command6 = static_cast<CommandButton*>(get("Command6"));
    Command3 = static_cast<CommandButton*>(get("Command3"));
    Command7 = static_cast<CommandButton*>(get("Command7"));
    Command8 = static_cast<CommandButton*>(get("Command8"));
    Command9 = static_cast<CommandButton*>(get("Command9"));
    Command28 = static_cast<CommandButton*>(get("Command28"));
    Command21 = static_cast<CommandButton*>(get("Command21"));
    Frame10 = static_cast<Frame*>(get("Frame10"));
    Text4 = static_cast<TextBox*>(get("Text4"));
    Frame16 = static_cast<Frame*>(get("Frame16"));
    Text5 = static_cast<TextBox*>(get("Text5"));
    Command29 = static_cast<CommandButton*>(get("Command29"));
    Command30 = static_cast<CommandButton*>(get("Command30"));
    Frame4 = static_cast<Frame*>(get("Frame4"));
    Label8 = static_cast<Label*>(get("Label8"));
    Label9 = static_cast<Label*>(get("Label9"));
    Combo2 = static_cast<ComboBox*>(get("Combo2"));
    Command27 = static_cast<CommandButton*>(get("Command27"));
    Frame15 = static_cast<Frame*>(get("Frame15"));
    Combo3 = static_cast<ComboBox*>(get("Combo3"));
    Command26 = static_cast<CommandButton*>(get("Command26"));
    Combo4 = static_cast<ComboBox*>(get("Combo4"));
    Command11 = static_cast<CommandButton*>(get("Command11"));
    Combo5 = static_cast<ComboBox*>(get("Combo5"));
    Frame9 = static_cast<Frame*>(get("Frame9"));
    Combo1 = static_cast<ComboBox*>(get("Combo1"));
    Frame11 = static_cast<Frame*>(get("Frame11"));
    Label1 = static_cast<Label*>(get("Label1"));
    HScroll1 = static_cast<HScrollBar*>(get("HScroll1"));
    Label3 = static_cast<Label*>(get("Label3"));
    HScroll3 = static_cast<HScrollBar*>(get("HScroll3"));
    Label2 = static_cast<Label*>(get("Label2"));
    HScroll2 = static_cast<HScrollBar*>(get("HScroll2"));
    Label4 = static_cast<Label*>(get("Label4"));
    Option1 = static_cast<OptionButton*>(get("Option1"));
    Option2 = static_cast<OptionButton*>(get("Option2"));
    Command34 = static_cast<CommandButton*>(get("Command34"));
    Frame8 = static_cast<Frame*>(get("Frame8"));
    Command2 = static_cast<CommandButton*>(get("Command2"));
    Command31 = static_cast<CommandButton*>(get("Command31"));
    Command1 = static_cast<CommandButton*>(get("Command1"));
    Command32 = static_cast<CommandButton*>(get("Command32"));
    Check1 = static_cast<CheckBox*>(get("Check1"));
    Command4 = static_cast<CommandButton*>(get("Command4"));
    Label6 = static_cast<Label*>(get("Label6"));
    Text1 = static_cast<LineBox*>(get("Text1"));
    Label7 = static_cast<Label*>(get("Label7"));

    // Design-time values, before any handler is connected.
    for (const DesignedValue& v : DesignedValues()) {
        QWidget* w = byName.value(QString::fromLatin1(v.control.data(), qsizetype(v.control.size())));
        if (auto* bar = qobject_cast<HScrollBar*>(w)) {
            bar->setRange(v.min, v.max);
            bar->setValue(v.value);
        } else if (auto* option = qobject_cast<OptionButton*>(w)) {
            option->setChecked(v.value != 0);
        } else if (auto* check = qobject_cast<CheckBox*>(w)) {
            check->SetValue(int16_t(v.value));
        }
    }

    // Label5 lies inside Frame6's rectangle and is drawn beneath it.
    Label5->lower();

    QFont bold;
    bold.setFamilies(CjkFamilies());
    bold.setPointSize(9);
    bold.setWeight(QFont::Bold);
    Command6->setFont(bold);
    Command3->setFont(bold);

    // The log is appended to for weeks: it keeps no undo history.
    Text4->setUndoRedoEnabled(false);
    QPalette logPalette = Text4->palette();
    logPalette.setColor(QPalette::Base, logPalette.color(QPalette::Button));
    Text4->setPalette(logPalette);
    Text4->setBackgroundRole(QPalette::Base);

    // Scroll bars take the focus by Tab like every other control.
    for (HScrollBar* bar : {HScroll1, HScroll2, HScroll3})
        bar->setFocusPolicy(Qt::StrongFocus);
    std::sort(tabOrder.begin(), tabOrder.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 0; i + 1 < tabOrder.size(); ++i)
        QWidget::setTabOrder(tabOrder[i].second, tabOrder[i + 1].second);
    // The window opens with the focus in the text to speak.
    Text3->setFocus();
}

void Form1Window::RefreshPortTips() {
    const std::vector<std::string> devices = MSComm1->Devices(Combo4->count());
    for (int i = 0; i < Combo4->count(); ++i) {
        const int n = i + 1;
        const QString device =
            size_t(i) < devices.size() ? QString::fromStdString(devices[size_t(i)]) : QString();
        QString tip;
        if (device.isEmpty())
            tip = QStringLiteral("COM%1：没有对应的串口设备").arg(n);
        else if (LooksLikeNetAddress(device.toStdString()))
            tip = QStringLiteral("COM%1 → %2").arg(n).arg(device);
        else if (QFileInfo::exists(device))
            tip = QStringLiteral("COM%1 → %2").arg(n).arg(device);
        else
            tip = QStringLiteral("COM%1 → %2（设备不存在）").arg(n).arg(device);
        if (MSComm1->Connecting(n))
            tip += QStringLiteral("（正在连接）");
        Combo4->setItemData(i, tip, Qt::ToolTipRole);
    }
}

namespace {
// The core sees the widget through an adapter of its kind, owned by the window.
template <class A, class Widget, class Control>
void Adapt(std::vector<std::unique_ptr<ui::Control>>& owned, Widget* widget, Control*& core) {
    auto adapter = std::make_unique<A>(widget);
    core = adapter.get();
    owned.push_back(std::move(adapter));
}
} // namespace

// The core's handlers see each widget through an adapter of its kind.
void Form1Window::AdaptControls() {
    auto& a = adapters_;
    Adapt<FrameAdapter>(a, Frame6, Form1::Frame6);
    Adapt<TextBoxAdapter>(a, Text3, Form1::Text3);
    Adapt<CheckBoxAdapter>(a, Check2, Form1::Check2);
    Adapt<CheckBoxAdapter>(a, Check3, Form1::Check3);
    Adapt<CheckBoxAdapter>(a, Check4, Form1::Check4);
    Adapt<CommandButtonAdapter>(a, Command20, Form1::Command20);
    Adapt<LabelAdapter>(a, Label5, Form1::Label5);
    Adapt<CommandButtonAdapter>(a, Command6, Form1::Command6);
    Adapt<CommandButtonAdapter>(a, Command3, Form1::Command3);
    Adapt<CommandButtonAdapter>(a, Command7, Form1::Command7);
    Adapt<CommandButtonAdapter>(a, Command8, Form1::Command8);
    Adapt<CommandButtonAdapter>(a, Command9, Form1::Command9);
    Adapt<CommandButtonAdapter>(a, Command28, Form1::Command28);
    Adapt<CommandButtonAdapter>(a, Command21, Form1::Command21);
    Adapt<FrameAdapter>(a, Frame10, Form1::Frame10);
    Adapt<TextBoxAdapter>(a, Text4, Form1::Text4);
    Adapt<FrameAdapter>(a, Frame16, Form1::Frame16);
    Adapt<TextBoxAdapter>(a, Text5, Form1::Text5);
    Adapt<CommandButtonAdapter>(a, Command29, Form1::Command29);
    Adapt<CommandButtonAdapter>(a, Command30, Form1::Command30);
    Adapt<FrameAdapter>(a, Frame4, Form1::Frame4);
    Adapt<LabelAdapter>(a, Label8, Form1::Label8);
    Adapt<LabelAdapter>(a, Label9, Form1::Label9);
    Adapt<ComboBoxAdapter>(a, Combo2, Form1::Combo2);
    Adapt<CommandButtonAdapter>(a, Command27, Form1::Command27);
    Adapt<FrameAdapter>(a, Frame15, Form1::Frame15);
    Adapt<ComboBoxAdapter>(a, Combo3, Form1::Combo3);
    Adapt<CommandButtonAdapter>(a, Command26, Form1::Command26);
    Adapt<ComboBoxAdapter>(a, Combo4, Form1::Combo4);
    Adapt<CommandButtonAdapter>(a, Command11, Form1::Command11);
    Adapt<ComboBoxAdapter>(a, Combo5, Form1::Combo5);
    Adapt<FrameAdapter>(a, Frame9, Form1::Frame9);
    Adapt<ComboBoxAdapter>(a, Combo1, Form1::Combo1);
    Adapt<FrameAdapter>(a, Frame11, Form1::Frame11);
    Adapt<LabelAdapter>(a, Label1, Form1::Label1);
    Adapt<HScrollBarAdapter>(a, HScroll1, Form1::HScroll1);
    Adapt<LabelAdapter>(a, Label3, Form1::Label3);
    Adapt<HScrollBarAdapter>(a, HScroll3, Form1::HScroll3);
    Adapt<LabelAdapter>(a, Label2, Form1::Label2);
    Adapt<HScrollBarAdapter>(a, HScroll2, Form1::HScroll2);
    Adapt<LabelAdapter>(a, Label4, Form1::Label4);
    Adapt<OptionButtonAdapter>(a, Option1, Form1::Option1);
    Adapt<OptionButtonAdapter>(a, Option2, Form1::Option2);
    Adapt<CommandButtonAdapter>(a, Command34, Form1::Command34);
    Adapt<FrameAdapter>(a, Frame8, Form1::Frame8);
    Adapt<CommandButtonAdapter>(a, Command2, Form1::Command2);
    Adapt<CommandButtonAdapter>(a, Command31, Form1::Command31);
    Adapt<CommandButtonAdapter>(a, Command1, Form1::Command1);
    Adapt<CommandButtonAdapter>(a, Command32, Form1::Command32);
    Adapt<CheckBoxAdapter>(a, Check1, Form1::Check1);
    Adapt<CommandButtonAdapter>(a, Command4, Form1::Command4);
    Adapt<LabelAdapter>(a, Label6, Form1::Label6);
    Adapt<LineBoxAdapter>(a, Text1, Form1::Text1);
    Adapt<LabelAdapter>(a, Label7, Form1::Label7);
}

void Form1Window::ConnectHandlers() {
    for (const FormEventRow& row : Form1Events()) {
        QWidget* w = findChild<QWidget*>(QString::fromLatin1(row.control.data(), qsizetype(row.control.size())));
        const auto call = [this, handler = row.handler] { (this->*handler)(); };
        if (auto* button = qobject_cast<CommandButton*>(w))
            connect(button, &CommandButton::Click, this, call);
        else if (auto* combo = qobject_cast<ComboBox*>(w))
            connect(combo, &ComboBox::Click, this, call);
        else if (auto* bar = qobject_cast<HScrollBar*>(w))
            connect(bar, &HScrollBar::Change, this, call);
        else if (auto* option = qobject_cast<OptionButton*>(w))
            connect(option, &OptionButton::Click, this, call);
        else if (auto* line = qobject_cast<LineBox*>(w))
            connect(line, &LineBox::Change, this, call);
    }
    connect(Combo4, &ComboBox::DropDown, this, [this] { RefreshPortTips(); });
    MSComm1->SetOnComm([this] { MSComm1_OnComm(); });
    // A network port's connection that failed after its open returned.
    MSComm1->SetOnPortFailure([this](const std::string& reason) { BackgroundPortFailure(reason); });
}
