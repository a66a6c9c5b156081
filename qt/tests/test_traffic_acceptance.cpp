// The whole road through the real window: the simulated chip on COM1, the
// chip introduction played continuously, the analysis window opened from the
// work log's menu, its times against the times the chip reports, and the CSV
// read back by another program. Also run under Xvfb (see CMakeLists.txt).
#include "qt/analysis_window.h"
#include "qt/traffic_table.h"
#include "testsupport/chipsim_process.h"
#include "testsupport/form_harness.h"
#include "testsupport/pty_peer.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

constexpr int kWaitMs = 20000;

struct ChipTime {
    int64_t ms;
    QString what;
};

// "1765000000123 send 0x41" (or "... recv 7e00...") lines of the chip, in
// order; what follows the word.
QList<ChipTime> ChipEvents(const QStringList& lines, QLatin1String word) {
    QList<ChipTime> events;
    for (const QString& line : lines) {
        const qsizetype blank = line.indexOf(QLatin1Char(' '));
        if (blank < 0 || !line.mid(blank + 1).startsWith(word))
            continue;
        events << ChipTime{line.left(blank).toLongLong(),
                           line.mid(blank + 1 + word.size()).trimmed()};
    }
    return events;
}

QList<ChipTime> ChipSends(const QStringList& lines) {
    QList<ChipTime> bytes;
    for (const ChipTime& e : ChipEvents(lines, QLatin1String("send ")))
        if (e.what.startsWith(QLatin1String("0x")))
            bytes << e;
    return bytes;
}

TEST(TrafficAcceptance, ChipIntroductionTimedAgainstTheChipAndExported) {
    PortsFolder ports;
    ChipSim chip(ports.path(), 1, 0.02, {QStringLiteral("--report-times")});
    ASSERT_TRUE(chip.started()) << chip.errors().toStdString();
    auto h = FormHarness::Real(ports.path());
    Form1Window& f = *h->form;
    ASSERT_TRUE(h->ShownOnTheChip(kWaitMs));
    h->ChooseLogMenu("actionTrafficAnalysis");
    AnalysisWindow* w = f.findChild<AnalysisWindow*>("AnalysisWindow");
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    w->findChild<QPushButton*>("clearButton")->click(); // the start-up report goes
    const int chipSendsBefore = int(ChipSends(chip.lines()).size());
    const int chipRecvsBefore = int(ChipEvents(chip.lines(), QLatin1String("recv ")).size());

    QTest::mouseClick(f.Widget(&Form1::Command31), Qt::LeftButton);
    QTest::mouseClick(f.Widget(&Form1::Command3), Qt::LeftButton);
    const auto replies = [&] {
        int n = 0;
        for (int row = 0; row < f.Traffic.Count(); ++row)
            n += f.Traffic.At(row).direction == TrafficRecord::Direction::Received;
        return n;
    };
    ASSERT_TRUE(WaitUntil([&] { return replies() >= 10 && f.PlayAllActive == 0; }, kWaitMs))
        << replies() << " replies";
    QTest::qWait(300); // nothing more comes
    QApplication::processEvents();

    TrafficModel* model = w->model();
    ASSERT_EQ(model->rowCount(), 15);
    QList<int> frames;
    for (int row = 0; row < 15; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(model->index(row, TrafficColumn::Check).data().toString().toStdString(), "✓");
        if (f.Traffic.At(row).direction == TrafficRecord::Direction::Sent)
            frames << row;
    }
    ASSERT_EQ(frames.size(), 5);
    const int sizes[] = {200, 199, 200, 199, 187};
    const QList<ChipTime> sends = ChipSends(chip.lines()).mid(chipSendsBefore);
    ASSERT_EQ(sends.size(), 10);
    const QList<ChipTime> recvs =
        ChipEvents(chip.lines(), QLatin1String("recv ")).mid(chipRecvsBefore);
    ASSERT_EQ(recvs.size(), 5);
    for (int k = 0; k < 5; ++k) {
        SCOPED_TRACE(k);
        const int row = frames[k];
        EXPECT_EQ(int(f.Traffic.Bytes(row).size()), sizes[k] + 6);
        EXPECT_EQ(sends[2 * k].what.toStdString(), "0x41");
        EXPECT_EQ(sends[2 * k + 1].what.toStdString(), "0x4F");
        const FrameTimes t = TimesOf(f.Traffic, row);
        ASSERT_GE(t.acceptMs, 0);
        ASSERT_GE(t.idleMs, t.acceptMs);
        // The console's times of the replies between the chip's, by cause and
        // effect alone (both on the wall clock), so that no load can move them
        // out: the chip reports a byte right after writing it and a frame
        // after reading it, the console a reply as it reads it. 0x4F of the
        // frame before goes out before this frame's 0x41 comes in; the chip's
        // 0x41 goes out before its 0x4F; the next frame leaves after 0x4F came
        // in. (A frame's own time is taken once it is written, which a loaded
        // machine may delay past the chip's reading it.)
        const int64_t sentAt = f.Traffic.At(row).timeMs;
        if (k > 0) {
            EXPECT_LE(sends[2 * k - 1].ms, sentAt + t.acceptMs);
        }
        EXPECT_LE(sends[2 * k].ms, sentAt + t.idleMs);
        if (k < 4) {
            EXPECT_LE(sentAt + t.idleMs, recvs[k + 1].ms);
        }
        const QString elapsed = model->index(row, TrafficColumn::Elapsed).data().toString();
        EXPECT_TRUE(elapsed.startsWith(
            QStringLiteral("接收 %1 ms，播音 %2 ms，").arg(t.acceptMs).arg(t.idleMs)))
            << elapsed.toStdString();
    }

    const QString csv = h->workDir.filePath("traffic.csv");
    h->dialogAnswer = {csv, 0};
    w->findChild<QPushButton*>("exportButton")->click();
    QProcess python;
    python.start(
        QStringLiteral("python3"),
        {QStringLiteral("-c"),
         QStringLiteral(
             "import csv, sys\n"
             "rows = list(csv.reader(open(sys.argv[1], encoding='utf-8-sig', newline='')))\n"
             "print(len(rows) - 1, ','.join(rows[0]), set(len(r) for r in rows),\n"
             "      sum(r[4] == '✓' for r in rows[1:]), sum(r[1] == '发送' for r in rows[1:]))\n"),
         csv});
    ASSERT_TRUE(python.waitForFinished(20000));
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    EXPECT_EQ(QString::fromUtf8(python.readAllStandardOutput()).trimmed().toStdString(),
              "15 时间,方向,字节,含义,校验,耗时 {6} 15 5");
}

// Without a test's answer the dialog is Qt's own, with the name field focused.
TEST(TrafficAcceptance, RealSaveDialogIsQtsOwnWithTheNameFieldFocused) {
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    Form1Deps deps;
    deps.comm = std::make_unique<FakeCommControl>();
    QStringList messages;
    deps.messageBox = [&](const QString& text) { messages << text; };
    Form1Window f(std::move(deps));
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    f.Widget(&Form1::Text4)->SetText(QStringLiteral("记录\r\n"));
    const QString path = dir.filePath("saved.txt");
    bool seen = false, native = true;
    QString focused;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || seen || !dialog->isVisible())
            return;
        QTest::qWait(100);
        seen = true;
        native = !dialog->testOption(QFileDialog::DontUseNativeDialog);
        if (QWidget* w = QApplication::focusWidget())
            focused = w->objectName();
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (edit)
            edit->setText(path);
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    });
    poll.start(50);
    f.SaveLog();
    poll.stop();
    EXPECT_TRUE(seen);
    EXPECT_FALSE(native);
    EXPECT_EQ(focused.toStdString(), "fileNameEdit");
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), QStringLiteral("记录\r\n").toUtf8());
    EXPECT_TRUE(messages.isEmpty());
}

// A right click on the work log and on the text box opens their menus.
TEST(TrafficAcceptance, RightClickOpensTheMenus) {
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    Form1Deps deps;
    deps.comm = std::make_unique<FakeCommControl>();
    deps.messageBox = [](const QString&) {};
    Form1Window f(std::move(deps));
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    for (TextBox* box : {f.Widget(&Form1::Text4), f.Widget(&Form1::Text3)}) {
        QStringList entries;
        QTimer::singleShot(300, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (QAction* a : menu->actions())
                    if (!a->isSeparator())
                        entries << a->text();
                menu->close();
            }
        });
        const QPoint at(20, 20);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, box->viewport()->mapToGlobal(at));
        QApplication::sendEvent(box->viewport(), &event);
        ASSERT_GE(entries.size(), 4) << entries.join(" | ").toStdString();
        if (box == f.Widget(&Form1::Text4))
            EXPECT_EQ(entries.mid(entries.size() - 4).join(" | ").toStdString(),
                      "通信分析(&I)… | 监听两条线路… | 保存工作记录(&S)… | 端口诊断…");
        else
            EXPECT_EQ(entries.mid(entries.size() - 2).join(" | ").toStdString(),
                      "打开文本文件(&O)… | 另存为(&A)…");
    }
}

} // namespace
