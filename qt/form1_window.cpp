// Building the window from its control table, and every connection between a
// control's notification and its handler.
#include "core/control_table.h"
#include "core/form1_events.h"
#include "core/net_address.h"
#include "qt/control_adapters.h"
#include "qt/form1.h"

#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QHash>
#include <QIcon>
#include <QAbstractItemView>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <stdexcept>

namespace {
// A designed control: the widget and the core's view of it.
struct MadeControl {
    QWidget* widget;
    std::unique_ptr<ui::Control> adapter;
};

template <class Interface> MadeControl Made(typename QtAdapter<Interface>::Widget* w) {
    return {w, std::make_unique<QtAdapter<Interface>>(w)};
}

MadeControl MakeControl(ControlKind kind, QWidget* parent, const QString& caption) {
    switch (kind) {
    case ControlKind::Frame: {
        auto* w = new Frame(parent);
        w->setTitle(caption);
        return Made<ui::Frame>(w);
    }
    case ControlKind::TextBox: {
        auto* w = new TextBox(parent);
        w->SetText(caption);
        return Made<ui::TextBox>(w);
    }
    case ControlKind::LineBox: {
        auto* w = new LineBox(parent);
        w->SetText(caption);
        return Made<ui::LineBox>(w);
    }
    case ControlKind::CommandButton: {
        auto* w = new CommandButton(parent);
        w->setText(caption);
        return Made<ui::CommandButton>(w);
    }
    case ControlKind::CheckBox: {
        auto* w = new CheckBox(parent);
        w->setText(caption);
        return Made<ui::CheckBox>(w);
    }
    case ControlKind::ComboBox:
        return Made<ui::ComboBox>(new ComboBox(parent));
    case ControlKind::Label: {
        auto* w = new Label(parent);
        w->setText(caption);
        return Made<ui::Label>(w);
    }
    case ControlKind::HScrollBar:
        return Made<ui::HScrollBar>(new HScrollBar(parent));
    case ControlKind::OptionButton: {
        auto* w = new OptionButton(parent);
        w->setText(caption);
        return Made<ui::OptionButton>(w);
    }
    }
    throw std::logic_error("Form1Window: a control of no known kind");
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
        MadeControl made = MakeControl(designed.kind, parent, ToQString(designed.caption));
        QWidget* w = made.widget;
        if (!AttachControl(*this, designed.name, made.adapter.get()))
            throw std::logic_error("Form1Window: no member for control " + designed.name);
        widgets_.push_back(w);
        adapters_.push_back(std::move(made.adapter));
        w->setObjectName(name);
        w->setGeometry(px(designed.left), px(designed.top), px(designed.width),
                       px(designed.height));
        byName.insert(name, w);
        if (designed.kind == ControlKind::ComboBox) {
            auto* combo = qobject_cast<ComboBox*>(w);
            combo->addItems(ToQStringList(ComboEntries(designed.name)));
            combo->SetText(ToQString(designed.caption));
            WidenList(combo);
        }
        if (designed.kind != ControlKind::Frame && designed.kind != ControlKind::Label)
            tabOrder.emplace_back(designed.tab, w);
    }

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
    Widget(&Form1::Label5)->lower();

    QFont bold;
    bold.setFamilies(CjkFamilies());
    bold.setPointSize(9);
    bold.setWeight(QFont::Bold);
    Widget(&Form1::Command6)->setFont(bold);
    Widget(&Form1::Command3)->setFont(bold);

    // The log is appended to for weeks: it keeps no undo history.
    TextBox* log = Widget(&Form1::Text4);
    log->setUndoRedoEnabled(false);
    QPalette logPalette = log->palette();
    logPalette.setColor(QPalette::Base, logPalette.color(QPalette::Button));
    log->setPalette(logPalette);
    log->setBackgroundRole(QPalette::Base);

    // Scroll bars take the focus by Tab like every other control.
    for (HScrollBar* bar :
         {Widget(&Form1::HScroll1), Widget(&Form1::HScroll2), Widget(&Form1::HScroll3)})
        bar->setFocusPolicy(Qt::StrongFocus);
    std::sort(tabOrder.begin(), tabOrder.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 0; i + 1 < tabOrder.size(); ++i)
        QWidget::setTabOrder(tabOrder[i].second, tabOrder[i + 1].second);
    // The window opens with the focus in the text to speak.
    Widget(&Form1::Text3)->setFocus();
}

QWidget* Form1Window::WidgetOf(const ui::Control* control) const {
    for (size_t row = 0; row < adapters_.size(); ++row) {
        if (adapters_[row].get() == control)
            return widgets_[row];
    }
    return nullptr;
}

void Form1Window::RefreshPortTips() {
    ComboBox* ports = Widget(&Form1::Combo4);
    const std::vector<std::string> devices = MSComm1->Devices(ports->count());
    for (int i = 0; i < ports->count(); ++i) {
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
        ports->setItemData(i, tip, Qt::ToolTipRole);
    }
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
    connect(Widget(&Form1::Combo4), &ComboBox::DropDown, this, [this] { RefreshPortTips(); });
    MSComm1->SetOnComm([this] { MSComm1_OnComm(); });
    // A network port's connection that failed after its open returned.
    MSComm1->SetOnPortFailure([this](const std::string& reason) { BackgroundPortFailure(reason); });
}
