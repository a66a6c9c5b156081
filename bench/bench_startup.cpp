// Start-up: time from creating the window to its first paint (offscreen),
// beside a bare Qt window and beside the same controls built straight from
// stock Qt widgets, all in one run. Medians over repeated runs, after one
// warm-up of each, so that no kind pays the process's one-time costs.
#include "bench/paint_watch.h"
#include "qt/qt_text.h"
#include "core/control_table.h"
#include "qt/form1.h"
#include "testsupport/fake_comm_control.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

// Creates a window with make(), shows it and waits for its first paint.
double TimeToFirstPaint(const std::function<QWidget*()>& make) {
    QElapsedTimer t;
    t.start();
    std::unique_ptr<QWidget> w(make());
    PaintWatch watch;
    w->installEventFilter(&watch);
    w->show();
    while (!watch.painted)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    const double ms = t.nsecsElapsed() / 1e6;
    w->removeEventFilter(&watch);
    return ms;
}

QWidget* MakeForm1() {
    Form1Deps deps;
    deps.comm = std::make_unique<FakeCommControl>();
    deps.messageBox = [](const QString&) {};
    return new Form1Window(std::move(deps));
}

QWidget* MakeBareWindow() {
    auto* w = new QWidget;
    w->setWindowTitle(ToQString(kWindowTitle));
    w->setFixedSize(796, 701);
    return w;
}

// The same control table with stock widgets: what Qt alone costs for it.
QWidget* MakeStockReplica() {
    auto* w = MakeBareWindow();
    QHash<QString, QWidget*> byName;
    for (const DesignedControl& s : ControlTable()) {
        QWidget* parent =
            s.container.empty() ? w : byName.value(QString::fromStdString(s.container));
        const QString caption = ToQString(s.caption);
        QWidget* c = nullptr;
        switch (s.kind) {
        case ControlKind::Frame:
            c = new QGroupBox(caption, parent);
            break;
        case ControlKind::TextBox:
            c = new QPlainTextEdit(caption, parent);
            break;
        case ControlKind::LineBox:
            c = new QLineEdit(caption, parent);
            break;
        case ControlKind::CommandButton:
            c = new QPushButton(caption, parent);
            break;
        case ControlKind::CheckBox:
            c = new QCheckBox(caption, parent);
            break;
        case ControlKind::Label:
            c = new QLabel(caption, parent);
            break;
        case ControlKind::OptionButton:
            c = new QRadioButton(caption, parent);
            break;
        case ControlKind::HScrollBar:
            c = new QScrollBar(Qt::Horizontal, parent);
            break;
        case ControlKind::ComboBox: {
            auto* combo = new QComboBox(parent);
            combo->setEditable(true);
            combo->addItems(ToQStringList(ComboEntries(s.name)));
            c = combo;
            break;
        }
        }
        c->setGeometry(s.left / 15, s.top / 15, s.width / 15, s.height / 15);
        byName.insert(QString::fromStdString(s.name), c);
    }
    return w;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir work; // the initial text file is created here
    QDir::setCurrent(work.path());
    const int runs = argc > 1 ? atoi(argv[1]) : 20;

    struct Kind {
        const char* name;
        QWidget* (*make)();
        std::vector<double> ms;
    } kinds[] = {{"console window (Form1Window)", MakeForm1, {}},
                 {"bare Qt window", MakeBareWindow, {}},
                 {"same controls, stock Qt widgets", MakeStockReplica, {}}};
    for (Kind& k : kinds)
        TimeToFirstPaint(k.make); // warm-up
    for (int i = 0; i < runs; ++i)
        for (Kind& k : kinds)
            k.ms.push_back(TimeToFirstPaint(k.make));

    const double console = Median(kinds[0].ms);
    const double bare = Median(kinds[1].ms);
    const double stock = Median(kinds[2].ms);
    std::printf("start-up to first paint, median of %d runs (offscreen)\n", runs);
    for (const Kind& k : kinds)
        std::printf("  %-34s %8.2f ms\n", k.name, Median(k.ms));
    std::printf("  ratio console / bare Qt window          %6.2f\n", console / bare);
    std::printf("  ratio console / same controls, stock Qt %6.2f\n", console / stock);
    std::printf("  goal: ratio <= 2\n");
    return 0;
}
