// The monitor window on the simulated chip's taps while the console's own
// window drives the chip on COM1: both run together, the monitor sees every
// frame and status byte the console logs, in order, and exports them; a tap
// that fails says so once and keeps the rows. Also run under Xvfb (see
// CMakeLists.txt).
#include "core/capture_file.h"
#include "core/tests/row_name.h"
#include "core/traffic_report.h" // SpacedHex
#include "platform/files.h"
#include "qt/monitor_window.h"
#include "testsupport/chipsim_process.h"
#include "testsupport/form_harness.h"
#include "testsupport/loopback_listener.h"
#include "testsupport/pty_peer.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

constexpr int kWaitMs = 20000;

// The chip on COM1 with its taps on COM2 (what the console sends) and COM3
// (what the chip answers), in a ports folder of the test's own that the
// monitor's command-line services find as the user's; the console's window
// on COM1 once the chip has powered up; the monitor window from the work
// log's menu.
struct TappedChip {
    QTemporaryDir config;
    QString ports;
    std::unique_ptr<ChipSim> chip;
    std::unique_ptr<FormHarness> h;
    MonitorWindow* w = nullptr;

    void SetUp() {
        ASSERT_TRUE(config.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        ports = QString::fromStdString(files::PortsFolder());
        ASSERT_TRUE(QDir().mkpath(ports));
        chip = std::make_unique<ChipSim>(
            ports, 1, 0.01,
            QStringList{QStringLiteral("--tap-host"), QStringLiteral("COM2"),
                        QStringLiteral("--tap-chip"), QStringLiteral("COM3")});
        ASSERT_TRUE(chip->started()) << chip->errors().toStdString();
        ASSERT_TRUE(chip->poweredUp());
        h = FormHarness::Real(ports);
        ASSERT_TRUE(h->ShownOnTheChip(kWaitMs));
        h->ChooseLogMenu("actionMonitor");
        w = h->form->Monitor();
        ASSERT_NE(w, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    }

    QPushButton* button(const char* name) const { return w->findChild<QPushButton*>(name); }
    QString status() const { return w->findChild<QLabel*>("statusLabel")->text(); }
    QString counts() const { return w->findChild<QLabel*>("countsLabel")->text(); }
    QString tap(int n) const {
        return QFile::symLinkTarget(ports + QStringLiteral("/com%1").arg(n));
    }

    void start(const QString& host, const QString& chipSide) {
        w->findChild<QComboBox*>("hostPort")->setCurrentText(host);
        w->findChild<QComboBox*>("chipPort")->setCurrentText(chipSide);
        QTest::mouseClick(button("startButton"), Qt::LeftButton);
    }

    // "控制器 FD 00 …" per row of the monitor.
    QStringList rows() const {
        QStringList rows;
        const MonitorModel* m = w->model();
        for (int r = 0; r < m->rowCount(); ++r)
            rows << m->index(r, MonitorColumn::Direction).data().toString() + u' ' +
                        m->index(r, MonitorColumn::Bytes).data().toString();
        return rows;
    }

    // The console plays the chip introduction, every frame answered.
    void playIntroduction() {
        Form1Window& f = *h->form;
        const int before = f.Traffic.Count();
        QTest::mouseClick(f.Widget(&Form1::Command31), Qt::LeftButton);
        QTest::mouseClick(f.Widget(&Form1::Command3), Qt::LeftButton);
        ASSERT_TRUE(WaitUntil(
            [&] { return f.Traffic.Count() - before >= 15 && f.PlayAllActive == 0; }, kWaitMs));
    }
};

// Whether this process holds device open.
bool Holds(const QString& device) {
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot))
        if (QFile::symLinkTarget(fds.filePath(fd)) == device)
            return true;
    return false;
}

TEST(MonitorWindow, WatchesTheConsolePlayingTheIntroductionAndExportsIt) {
    TappedChip t;
    ASSERT_NO_FATAL_FAILURE(t.SetUp());
    Form1Window& f = *t.h->form;
    EXPECT_EQ(t.w->windowTitle(), ToQString(kMonitorTitle));
    const QString log = t.h->log();
    t.start(QStringLiteral("COM2"), QStringLiteral("COM3"));
    ASSERT_TRUE(WaitUntil([&] { return Holds(t.tap(2)) && Holds(t.tap(3)); }, kWaitMs))
        << t.status().toStdString();
    EXPECT_FALSE(t.button("startButton")->isEnabled());
    EXPECT_TRUE(t.button("stopButton")->isEnabled());
    EXPECT_EQ(t.status().toStdString(), "正在监听：控制器一侧 COM2，芯片一侧 COM3，9600 bit/s");

    const int before = f.Traffic.Count();
    ASSERT_NO_FATAL_FAILURE(t.playIntroduction());
    QStringList logged;
    for (int row = before; row < f.Traffic.Count(); ++row)
        logged << QString::fromUtf8(f.Traffic.At(row).direction == TrafficRecord::Direction::Sent
                                        ? "控制器 "
                                        : "芯片 ") +
                      QString::fromStdString(SpacedHex(f.Traffic.Bytes(row)));
    ASSERT_TRUE(WaitUntil([&] { return t.rows().size() >= logged.size(); }, kWaitMs));
    PumpEvents(300); // nothing more comes

    QStringList watched = t.rows();
    // The power-up 0x4A waited in the chip's tap until the monitor opened it.
    const bool powerUp = !watched.isEmpty() && watched.first() == QStringLiteral("芯片 4A");
    if (powerUp)
        watched.removeFirst();
    EXPECT_EQ(watched.join(u'\n').toStdString(), logged.join(u'\n').toStdString());
    EXPECT_EQ(logged.count(QStringLiteral("芯片 4F")), 5);
    const MonitorModel* m = t.w->model();
    for (int r = 0; r < m->rowCount(); ++r) {
        SCOPED_TRACE(r);
        EXPECT_FALSE(m->index(r, 0).data(Qt::BackgroundRole).isValid());
        const QString verdict = m->index(r, MonitorColumn::Verdict).data().toString();
        EXPECT_EQ(verdict.toStdString(),
                  m->table().item(r).kind == TapItem::Kind::Frame ? "✓" : "");
    }
    EXPECT_EQ(t.counts().toStdString(),
              "帧 5 · 状态字节 " + std::to_string(powerUp ? 11 : 10) + " · 发现 0");

    // A frame's fields below the table.
    const int frame = int(powerUp);
    t.w->table()->selectRow(frame);
    ASSERT_EQ(t.w->fields()->rowCount(), int(m->table().fields(frame).size()));
    EXPECT_GT(t.w->fields()->rowCount(), 3);
    EXPECT_EQ(t.w->fields()->item(0, 2)->text().toStdString(), "FD");

    QTest::mouseClick(t.button("stopButton"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return t.button("startButton")->isEnabled(); }, kWaitMs));
    EXPECT_FALSE(t.button("stopButton")->isEnabled());
    EXPECT_EQ(t.status().toStdString(), "已停止");
    EXPECT_EQ(m->rowCount(), watched.size() + int(powerUp));
    EXPECT_FALSE(Holds(t.tap(2)) || Holds(t.tap(3)));

    const QString csv = t.h->workDir.filePath("monitor.csv");
    t.h->dialogAnswer = {csv, 0};
    QTest::mouseClick(t.button("exportButton"), Qt::LeftButton);
    ASSERT_FALSE(t.h->dialogs.isEmpty());
    EXPECT_EQ(t.h->dialogs.last().fileName.toStdString(), "监听.csv");
    EXPECT_TRUE(t.h->dialogs.last().save);
    QProcess python;
    python.start(
        QStringLiteral("python3"),
        {QStringLiteral("-c"),
         QStringLiteral(
             "import csv, sys\n"
             "raw = open(sys.argv[1], 'rb').read()\n"
             "rows = list(csv.reader(open(sys.argv[1], encoding='utf-8-sig', newline='')))\n"
             "print(raw.startswith(b'\\xef\\xbb\\xbf'), raw.count(b'\\r\\n') == len(rows))\n"
             "print(','.join(rows[0]))\n"
             "for r in rows[1:]: print(r[0], r[2], r[4] or '-')\n"),
         csv});
    ASSERT_TRUE(python.waitForFinished(20000));
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    QStringList expected{QStringLiteral("True True"),
                         QStringLiteral("方向,时间,字节,含义,判定,时序")};
    for (int r = 0; r < m->rowCount(); ++r) {
        const QString verdict = m->index(r, MonitorColumn::Verdict).data().toString();
        expected << t.rows()[r] + u' ' + (verdict.isEmpty() ? QStringLiteral("-") : verdict);
    }
    EXPECT_EQ(QString::fromUtf8(python.readAllStandardOutput()).trimmed().toStdString(),
              expected.join(u'\n').toStdString());
    // The capture beside it: one interface per tap, each row a packet.
    const QString pcapng = t.h->workDir.filePath("monitor.pcapng");
    t.h->dialogAnswer = {pcapng, 0};
    QTest::mouseClick(t.button("exportCaptureButton"), Qt::LeftButton);
    EXPECT_EQ(t.h->dialogs.last().fileName.toStdString(), "监听.pcapng");
    QFile file(pcapng);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const CaptureContents c =
        ReadCapture(std::string_view(bytes.constData(), size_t(bytes.size())));
    EXPECT_TRUE(c.problems.empty());
    ASSERT_EQ(c.interfaces.size(), 2u);
    EXPECT_EQ(c.interfaces[0].name, "COM2");
    EXPECT_EQ(c.interfaces[1].name, "COM3");
    EXPECT_EQ(c.interfaces[1].rate, 9600);
    ASSERT_EQ(int(c.packets.size()), m->rowCount());
    const int64_t nowUs = QDateTime::currentMSecsSinceEpoch() * 1000;
    EXPECT_LT(std::abs(nowUs - c.packets[0].timeUs), int64_t(120'000'000)); // the wall clock
    for (int r = 0; r < m->rowCount(); ++r) {
        const TapItem& item = m->table().item(r);
        const CapturePacket& p = c.packets[size_t(r)];
        EXPECT_EQ(p.bytes, item.bytes) << r;
        EXPECT_EQ(p.interface, item.side == TapSide::Host ? 0u : 1u) << r;
        EXPECT_EQ(p.timeUs - c.packets[0].timeUs, item.startUs - m->table().item(0).startUs);
    }
    EXPECT_TRUE(t.h->messages.isEmpty()) << t.h->messages.join(u'\n').toStdString();
    EXPECT_EQ(t.h->log().left(log.size()), log); // the work log gained only the traffic

    // One window: the menu shows it again.
    t.w->close();
    t.h->ChooseLogMenu("actionMonitor");
    EXPECT_EQ(f.Monitor(), t.w);
    EXPECT_TRUE(t.w->isVisible());
    EXPECT_EQ(m->rowCount(), watched.size() + int(powerUp));
}

// An update of rows [from, to) of query frames, as the watch hands them over.
MonitorUpdate Frames(int64_t from, int64_t to, int64_t first = 0) {
    MonitorUpdate update;
    update.first = first;
    for (int64_t n = from; n < to; ++n) {
        TapItem item;
        item.startUs = n * 1000;
        item.endUs = item.startUs + 5000;
        item.bytes = std::string("\xFD\x00\x02\x21\xDE", 5);
        update.rows.emplace_back(n, item);
    }
    update.frames = to;
    return update;
}

// The view follows new rows until the user scrolls away; a row given a
// finding later is marked where it stands; a gap (rows let go between two
// takes) redraws the table.
TEST(MonitorWindow, FollowsTheEndMarksFindingsAndRedrawsAfterAGap) {
    MonitorWindow w(nullptr, nullptr, nullptr);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    MonitorModel* m = w.model();
    QScrollBar* bar = w.table()->verticalScrollBar();
    m->Apply(Frames(0, 200));
    QApplication::processEvents();
    ASSERT_EQ(m->rowCount(), 200);
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    m->Apply(Frames(200, 210));
    QApplication::processEvents();
    EXPECT_EQ(bar->value(), bar->maximum());

    bar->setValue(0); // the user looks at the first rows
    m->Apply(Frames(210, 220));
    QApplication::processEvents();
    EXPECT_EQ(m->rowCount(), 220);
    EXPECT_EQ(bar->value(), 0);

    w.table()->selectRow(5);
    const int fieldsBefore = w.fields()->rowCount();
    QSignalSpy changed(m, &QAbstractItemModel::dataChanged);
    MonitorUpdate late = Frames(5, 6);
    late.rows[0].second.findings = {TapFinding::NoAnswer};
    late.frames = 220;
    late.counts[int(TapFinding::NoAnswer)] = 1;
    m->Apply(late);
    EXPECT_EQ(m->rowCount(), 220);
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex().row(), 5);
    EXPECT_TRUE(m->index(5, 0).data(Qt::BackgroundRole).isValid());
    EXPECT_FALSE(m->index(4, 0).data(Qt::BackgroundRole).isValid());
    EXPECT_TRUE(m->index(5, MonitorColumn::Verdict).data().toString().endsWith(u"没有应答"))
        << m->index(5, MonitorColumn::Verdict).data().toString().toStdString();
    EXPECT_EQ(w.fields()->rowCount(), fieldsBefore + 1); // the finding below the fields

    QSignalSpy reset(m, &QAbstractItemModel::modelReset);
    m->Apply(Frames(1000, 1001, 1000));
    EXPECT_EQ(reset.size(), 1);
    EXPECT_EQ(m->rowCount(), 1);
    EXPECT_EQ(w.fields()->rowCount(), 0);
}

// A tap that cannot be opened, or vanishes while watched: its failure shows
// once, in the status line alone; the rows stay and the watch can start again.
struct FailureCase {
    const char* name;
    const char* host; // "refused": a network port nobody listens on
    const char* chip;
    bool killChip;    // the simulated chip goes away while the console plays
    const char* says; // what the status line begins with
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class MonitorFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(MonitorFailure, SaysItOnceKeepsTheRowsAndCanStartAgain) {
    const FailureCase& c = GetParam();
    TappedChip t;
    ASSERT_NO_FATAL_FAILURE(t.SetUp());
    QString host = QString::fromUtf8(c.host);
    if (host == QStringLiteral("refused")) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const uint16_t port = ListenOnLoopback(fd);
        ::close(fd); // a port just freed: nobody listens on it
        ASSERT_NE(port, 0);
        host = QStringLiteral("socket://127.0.0.1:%1").arg(port);
    }
    t.start(host, QString::fromUtf8(c.chip));
    int rowsBefore = 0;
    if (c.killChip) {
        ASSERT_TRUE(WaitUntil([&] { return Holds(t.tap(2)) && Holds(t.tap(3)); }, kWaitMs));
        QTest::mouseClick(t.h->form->Widget(&Form1::Command31), Qt::LeftButton);
        QTest::mouseClick(t.h->form->Widget(&Form1::Command3), Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([&] { return t.w->model()->rowCount() >= 4; }, kWaitMs));
        rowsBefore = t.w->model()->rowCount();
        t.chip->process().kill();
    }
    ASSERT_TRUE(WaitUntil([&] { return t.button("startButton")->isEnabled(); }, kWaitMs))
        << t.status().toStdString();
    PumpEvents(300); // the timer turns on: nothing is said again
    const QString status = t.status();
    EXPECT_TRUE(status.startsWith(QString::fromUtf8(c.says))) << status.toStdString();
    EXPECT_EQ(status.count(QStringLiteral("tap: ")), 1) << status.toStdString();
    EXPECT_FALSE(t.button("stopButton")->isEnabled());
    EXPECT_FALSE(t.w->Watching());
    EXPECT_GE(t.w->model()->rowCount(), rowsBefore);
    EXPECT_FALSE(t.h->log().contains(QStringLiteral("tap: ")));
    for (const QString& message : t.h->messages)
        EXPECT_FALSE(message.contains(QStringLiteral("tap: "))) << message.toStdString();
}

const FailureCase kFailures[] = {
    {"empty name", "", "COM3", false, "host tap: "},
    {"missing device", "/dev/vxt4710-nothing-here", "COM3", false, "host tap: "},
    {"refused network tap", "refused", "COM3", false, "host tap: "},
    {"chip side missing", "COM2", "/dev/vxt4710-nothing-here", false, "chip tap: "},
    {"chip killed mid-stream", "COM2", "COM3", true, ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, MonitorFailure, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return vxt_test::CaseName(info.param.name); });

} // namespace
