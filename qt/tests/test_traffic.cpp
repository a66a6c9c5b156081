// The traffic record and its table: times, the frame each reply answers, the
// CSV export; recorded from the window's own sends and replies, shown in the
// analysis window, which the work log's context menu opens.
#include "core/frame_codec.h"
#include "qt/analysis_window.h"
#include "qt/port_doctor_window.h"
#include "qt/qt_text.h"
#include "qt/traffic_table.h"
#include "testsupport/form_harness.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QMenu>
#include <QScrollBar>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct ClockedRecord {
    int64_t now = 1'700'000'000'000;
    TrafficRecord record{[this] { return now; }};
};

QString Cell(const TrafficRecord& r, int row, int column) {
    return TrafficCell(r, row, column);
}

TEST(TrafficRecord, RepliesAnswerTheLastFrameAndTimeIt) {
    ClockedRecord c;
    TrafficRecord& r = c.record;
    r.RecordReply(0x4A, false); // before any frame: answers nothing
    r.RecordSent(StdView(Hex("FD 00 07 01 01 C4 E3 BA C3 A4")));
    c.now += 20;
    r.RecordReply(0x41, false);
    c.now += 480;
    r.RecordReply(0x4E, false);
    c.now += 520;
    r.RecordReply(0x4F, false);
    c.now += 5;
    r.RecordReply(0x4F, false); // a second idle report does not move the times
    r.RecordSent(StdView(Hex("FD 00 02 21 DE")));
    c.now += 7;
    r.RecordReply(0x58, false);

    ASSERT_EQ(r.Count(), 8);
    EXPECT_EQ(r.Answers(0), -1);
    EXPECT_EQ(r.Answers(2), 1);
    EXPECT_EQ(r.Answers(5), 1);
    EXPECT_EQ(r.Answers(7), 6);
    EXPECT_EQ(r.AcceptedBy(1), 2);
    EXPECT_EQ(r.IdleAfter(1), 4);
    EXPECT_EQ(r.AcceptedBy(6), -1);

    const FrameTimes t = TimesOf(r, 1);
    EXPECT_EQ(t.acceptMs, 20);
    EXPECT_EQ(t.idleMs, 1020);
    EXPECT_DOUBLE_EQ(t.charsPerSecond, 2.0); // 2 characters in the 1000 ms between
    EXPECT_EQ(Cell(r, 1, TrafficColumn::Elapsed).toStdString(),
              "接收 20 ms，播音 1020 ms，2.0 字/秒");
    EXPECT_EQ(Cell(r, 4, TrafficColumn::Elapsed).toStdString(), "1020 ms");
    EXPECT_EQ(Cell(r, 0, TrafficColumn::Elapsed).toStdString(), "");
    EXPECT_EQ(Cell(r, 6, TrafficColumn::Elapsed).toStdString(), "");

    EXPECT_EQ(Cell(r, 1, TrafficColumn::Direction).toStdString(), "发送");
    EXPECT_EQ(Cell(r, 2, TrafficColumn::Direction).toStdString(), "接收");
    EXPECT_EQ(Cell(r, 1, TrafficColumn::Bytes).toStdString(), "FD 00 07 01 01 C4 E3 BA C3 A4");
    EXPECT_EQ(Cell(r, 2, TrafficColumn::Meaning).toStdString(), "<-0x41  接收成功");
    EXPECT_EQ(Cell(r, 2, TrafficColumn::Check).toStdString(), "✓");
    EXPECT_EQ(Cell(r, 7, TrafficColumn::Meaning).toStdString(), "0x58 不是状态字节，已忽略");
    EXPECT_EQ(Cell(r, 7, TrafficColumn::Check).toStdString(), "✗ 不是状态字节");
    EXPECT_EQ(Cell(r, 0, TrafficColumn::Time),
              QDateTime::fromMSecsSinceEpoch(1'700'000'000'000).toString("hh:mm:ss.zzz"));
}

TEST(TrafficRecord, ASecondAcceptanceDoesNotMoveTheFirst) {
    ClockedRecord c;
    TrafficRecord& r = c.record;
    r.RecordSent(StdView(Hex("FD 00 07 01 01 C4 E3 BA C3 A4")));
    c.now += 30;
    r.RecordReply(0x41, false);
    c.now += 400;
    r.RecordReply(0x41, false); // noise or a repeat: still the first counts
    c.now += 570;
    r.RecordReply(0x4F, false);

    EXPECT_EQ(r.AcceptedBy(0), 1);
    EXPECT_EQ(r.Answers(2), 0);
    const FrameTimes t = TimesOf(r, 0);
    EXPECT_EQ(t.acceptMs, 30);
    EXPECT_EQ(t.idleMs, 1000);
    EXPECT_DOUBLE_EQ(t.charsPerSecond, 2.0 / 0.97); // between the first 0x41 and the 0x4F
    EXPECT_EQ(Cell(r, 0, TrafficColumn::Elapsed).toStdString(),
              "接收 30 ms，播音 1000 ms，2.1 字/秒");
    EXPECT_EQ(Cell(r, 1, TrafficColumn::Elapsed).toStdString(), "30 ms");
    EXPECT_EQ(Cell(r, 2, TrafficColumn::Elapsed).toStdString(), "430 ms");
}

TEST(TrafficRecord, ReplyDuringARateChangeShowsItsOwnLogText) {
    ClockedRecord c;
    c.record.RecordSent(StdView(Hex("FD 00 03 31 01 CE")));
    c.record.RecordReply(0x41, true);
    c.record.RecordReply(0x45, true);
    EXPECT_EQ(Cell(c.record, 1, TrafficColumn::Meaning).toStdString(),
              "<-0x41  接收成功   波特率已修改成功");
    EXPECT_EQ(Cell(c.record, 2, TrafficColumn::Meaning).toStdString(),
              "<-0x45  接收失败  波特率未成功修改");
}

TEST(TrafficCsv, BomHeaderQuotingAndCrLf) {
    EXPECT_EQ(CsvField("plain").toStdString(), "plain");
    EXPECT_EQ(CsvField("a,b").toStdString(), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\"").toStdString(), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("two\r\nlines").toStdString(), "\"two\r\nlines\"");

    ClockedRecord c;
    QByteArray comma = Hex("FD 00 06 01 01 61 2C 62");
    comma += char(XorOf(ToStdBytes(comma)));
    c.record.RecordSent(StdView(comma));
    c.record.RecordReply(0x41, false);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    ASSERT_TRUE(WriteTrafficCsv(c.record, out));
    const QByteArray csv = out.data();
    ASSERT_TRUE(csv.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(csv.mid(3)).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 4); // header, 2 rows, nothing after the last CR LF
    EXPECT_EQ(lines[0].toStdString(), "时间,方向,字节,含义,校验,耗时");
    EXPECT_TRUE(lines[1].contains(QStringLiteral(",发送,FD 00 06 01 01 61 2C 62 ")));
    EXPECT_TRUE(lines[1].contains(QStringLiteral(",\"合成 无背景 GBK “a,b”\",✓,")));
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral(",接收,41,<-0x41  接收成功,✓,0 ms")));
    EXPECT_EQ(lines[3], QString());
}

// ---- the window records what it sends and reads

TEST(ConsoleTraffic, SendsAndRepliesAreRecordedAndOutliveTheLog) {
    FormHarness h;
    EXPECT_EQ(h->Traffic.Count(), 0); // start-up sends nothing
    h->Command7_Click();
    h.fake->Receive(QByteArray("\x41\x4F", 2));
    ASSERT_EQ(h->Traffic.Count(), 3);
    EXPECT_EQ(QtView(h->Traffic.Bytes(0)).toByteArray(), Hex("FD 00 02 02 FD"));
    EXPECT_EQ(h->Traffic.Answers(2), 0);
    h->Command2_Click();
    EXPECT_EQ(h.log(), QString());
    EXPECT_EQ(h->Traffic.Count(), 3);

    // Replies that are not read are not recorded.
    h->Widget(&Form1::Check1)->SetValue(0);
    h.fake->Receive(QByteArray("\x41", 1));
    EXPECT_EQ(h->Traffic.Count(), 3);

    // A frame the port refused did not go out.
    h.fake->failWrites = true;
    h->Command8_Click();
    EXPECT_EQ(h->Traffic.Count(), 3);
}

TEST(ConsoleTraffic, HandTypedWrongChecksumShowsTheRightOneAndLogsAsBefore) {
    FormHarness h;
    h->Widget(&Form1::Text5)->SetText(QStringLiteral("fd 00 0f 01 01 b0 a1 b0 a1 b0 a1 b0 a1 b0 a1 b0 a1 00"));
    QTest::mouseClick(h->Widget(&Form1::Command30), Qt::LeftButton);
    const QByteArray typed = Hex("FD 00 0F 01 01 B0 A1 B0 A1 B0 A1 B0 A1 B0 A1 B0 A1 00");
    EXPECT_EQ(h.log(), ToQString(FrameLogText(ToStdBytes(typed))));
    ASSERT_EQ(h->Traffic.Count(), 1);
    EXPECT_EQ(Cell(h->Traffic, 0, TrafficColumn::Check).toStdString(), "✗ 应为 0xF2");
}

TEST(ConsoleTraffic, HexEntryTooltipFollowsTheText) {
    FormHarness h;
    EXPECT_TRUE(h->Widget(&Form1::Text5)->toolTip().contains(QStringLiteral("17 字节")));
    h->Widget(&Form1::Text5)->SetText(QStringLiteral("fd 0x"));
    EXPECT_TRUE(h->Widget(&Form1::Text5)->toolTip().contains(QStringLiteral("第 5 个字符 “x”")))
        << h->Widget(&Form1::Text5)->toolTip().toStdString();
    h->Widget(&Form1::Text5)->SetText(QStringLiteral("fd 00 02 02 fd"));
    EXPECT_TRUE(h->Widget(&Form1::Text5)->toolTip().contains(QStringLiteral("末字节 0xFD ✓ — 停止")));
}

// ---- the menus and the analysis window

QList<QAction*> Entries(QMenu* menu) {
    QList<QAction*> entries;
    for (QAction* a : menu->actions())
        if (!a->isSeparator())
            entries << a;
    return entries;
}

TEST(ConsoleMenus, LogAndTextMenusKeepQtsEntriesAndAddTheirOwn) {
    FormHarness h;
    std::unique_ptr<QMenu> log(h->MakeLogMenu(QPoint(5, 5)));
    std::unique_ptr<QMenu> standard(h->Widget(&Form1::Text4)->createStandardContextMenu());
    const QList<QAction*> entries = Entries(log.get());
    ASSERT_EQ(entries.size(), Entries(standard.get()).size() + 4);
    EXPECT_EQ(entries[entries.size() - 4]->text().toStdString(), "通信分析(&I)…");
    EXPECT_EQ(entries[entries.size() - 3]->text().toStdString(), "监听两条线路…");
    EXPECT_EQ(entries[entries.size() - 2]->text().toStdString(), "保存工作记录(&S)…");
    EXPECT_EQ(entries.back()->text().toStdString(), "端口诊断…");

    std::unique_ptr<QMenu> text(h->MakeTextMenu(QPoint(5, 5)));
    const QList<QAction*> textEntries = Entries(text.get());
    ASSERT_GE(textEntries.size(), 2);
    EXPECT_EQ(textEntries[textEntries.size() - 2]->text().toStdString(), "打开文本文件(&O)…");
    EXPECT_EQ(textEntries.back()->text().toStdString(), "另存为(&A)…");
    EXPECT_EQ(h->Widget(&Form1::Text4)->contextMenuPolicy(), Qt::CustomContextMenu);
    EXPECT_EQ(h->Widget(&Form1::Text3)->contextMenuPolicy(), Qt::CustomContextMenu);
}

// "端口诊断…": the findings vxt4710-cli doctor shows, in a window of their
// own, copied to the clipboard by its button; looked for again on each
// opening.
TEST(PortDoctorWindow, OpensFromTheLogMenuShowsTheFindingsAndCopiesThem) {
    QTemporaryDir root; // a system with nothing in it: COM1 stands for nothing
    ASSERT_TRUE(root.isValid());
    qputenv("VXT4710_ROOT", root.path().toUtf8());
    FormHarness h;
    h.ChooseLogMenu("actionPortDoctor");
    PortDoctorWindow* w = h->PortDoctor();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->windowTitle().toStdString(), "端口诊断");
    const std::string shown = w->findings()->toPlainText().toStdString();
    EXPECT_NE(shown.find("com-link: COM1 stands for no device"), std::string::npos) << shown;
    EXPECT_NE(shown.find("could not read /sys/class/tty"), std::string::npos) << shown;

    w->findChild<QPushButton*>("copyButton")->click();
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), shown);

    // Plugged in meanwhile: the next opening looks again.
    QDir(root.path()).mkpath("sys/class/tty");
    h.ChooseLogMenu("actionPortDoctor");
    EXPECT_EQ(h->PortDoctor(), w);
    EXPECT_EQ(w->findings()->toPlainText().toStdString().find("could not read /sys/class/tty"),
              std::string::npos);
    qunsetenv("VXT4710_ROOT");
}

TEST(AnalysisWindow, OpensFromTheLogMenuFollowsTheTrafficAndClears) {
    FormHarness h;
    h->Command7_Click();
    h.ChooseLogMenu("actionTrafficAnalysis");
    AnalysisWindow* w = h->Analysis();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(w->isModal());
    EXPECT_EQ(w->windowTitle().toStdString(), "通信分析");
    EXPECT_EQ(h->findChild<AnalysisWindow*>("AnalysisWindow"), w);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    EXPECT_EQ(w->model()->rowCount(), 1);

    // Live: rows join and the end stays in view...
    for (int i = 0; i < 300; ++i)
        h->Command28_Click();
    QApplication::processEvents();
    EXPECT_EQ(w->model()->rowCount(), 301);
    QScrollBar* bar = w->table()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    // ...unless the user has scrolled up.
    bar->setValue(10);
    for (int i = 0; i < 50; ++i)
        h->Command28_Click();
    QApplication::processEvents();
    EXPECT_EQ(w->model()->rowCount(), 351);
    EXPECT_EQ(bar->value(), 10);

    // A row selected shows its fields; a reply later fills its times in.
    h->Widget(&Form1::Text3)->SetText(QStringLiteral("你好"));
    h->Command6_Click();
    QApplication::processEvents();
    w->table()->selectRow(351);
    EXPECT_EQ(w->fields()->rowCount(),
              7); // header, length, command, parameter, 2 characters, checksum
    EXPECT_EQ(w->fields()->item(4, 3)->text().toStdString(), "你");
    h.fake->Receive(QByteArray("\x41", 1));
    QApplication::processEvents();
    EXPECT_TRUE(w->model()
                    ->index(351, TrafficColumn::Elapsed)
                    .data()
                    .toString()
                    .startsWith(QStringLiteral("接收 ")));

    // 清空 empties the record, not the log; the same window opens again.
    const QString log = h.log();
    w->findChild<QPushButton*>("clearButton")->click();
    EXPECT_EQ(h->Traffic.Count(), 0);
    EXPECT_EQ(w->model()->rowCount(), 0);
    EXPECT_EQ(w->fields()->rowCount(), 0);
    EXPECT_EQ(h.log(), log);
    h->OpenAnalysis();
    EXPECT_EQ(h->Analysis(), w);
}

// A babbling line: the table keeps pace with the record's newest rows and
// the title says how many older ones were let go; 清空 starts afresh.
TEST(AnalysisWindow, ShowsThatOlderRecordsWereLetGo) {
    FormHarness h;
    h->OpenAnalysis();
    AnalysisWindow* w = h->Analysis();
    ASSERT_NE(w, nullptr);
    for (int i = 0; i < TrafficRecord::kMaxRecords + 10; ++i)
        h->Traffic.RecordReply(0x4E, false);
    QApplication::processEvents();
    EXPECT_EQ(w->model()->rowCount(), h->Traffic.Count());
    EXPECT_EQ(w->windowTitle().toStdString(),
              "通信分析（较早的 " + std::to_string(TrafficRecord::kDropBatch) + " 条记录未保留）");
    w->findChild<QPushButton*>("clearButton")->click();
    EXPECT_EQ(w->windowTitle().toStdString(), "通信分析");
}

TEST(AnalysisWindow, ExportAsksForAFileAndWritesEveryRow) {
    FormHarness h;
    h->Command7_Click();
    h.fake->Receive(QByteArray("\x41", 1));
    h->OpenAnalysis();
    const QString path = h.workDir.filePath("traffic.csv");
    h.dialogAnswer = {path, 0};
    h->Analysis()->findChild<QPushButton*>("exportButton")->click();
    ASSERT_EQ(h.dialogs.size(), 1);
    EXPECT_TRUE(h.dialogs[0].save);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().count("\r\n"), 3);

    // A folder that cannot be written: a message, no crash.
    h.dialogAnswer = {h.workDir.filePath("no/such/folder/x.csv"), 0};
    h->Analysis()->ExportCsv();
    ASSERT_EQ(h.messages.size(), 1);
    EXPECT_TRUE(h.messages[0].startsWith(QStringLiteral("无法写入")));
}

} // namespace
