// The analysis window's capture files: its export reads back packet for
// packet, a capture opens in a window of its own showing the rows the live
// traffic showed (also once Wireshark's editcap rewrote it), and a bad or
// cut file shows what could be read and says what could not.
#include "core/traffic_capture.h"
#include "core/traffic_table.h"
#include "qt/analysis_window.h"
#include "qt/qt_text.h"
#include "testsupport/form_harness.h"

#include <QApplication>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace {

// A frame sent and answered, a reply read during a rate change, a byte that
// is no status byte.
void MakeTraffic(FormHarness& h) {
    h->Command7_Click();
    h.fake->Receive(QByteArray("\x41\x4F", 2));
    h->Traffic.RecordReply(0x41, true);
    h->Traffic.RecordReply(0x77, false);
    h->Command28_Click();
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every cell of the two windows' tables alike.
void ExpectSameRows(AnalysisWindow* shown, AnalysisWindow* live) {
    ASSERT_NE(shown, nullptr);
    ASSERT_EQ(shown->model()->rowCount(), live->model()->rowCount());
    for (int row = 0; row < live->model()->rowCount(); ++row)
        for (int column = 0; column < TrafficColumn::Count; ++column)
            EXPECT_EQ(shown->model()->index(row, column).data().toString(),
                      live->model()->index(row, column).data().toString())
                << row << " " << column;
}

TEST(AnalysisCapture, ExportWritesEveryRowAndOpenShowsThemInAWindowOfItsOwn) {
    FormHarness h;
    MakeTraffic(h);
    h->OpenAnalysis();
    AnalysisWindow* live = h->Analysis();
    const QString path = h.workDir.filePath("traffic.pcapng");
    h.dialogAnswer = {path, 0};
    live->findChild<QPushButton*>("exportCaptureButton")->click();
    ASSERT_EQ(h.dialogs.size(), 1);
    EXPECT_TRUE(h.dialogs[0].save);
    EXPECT_EQ(h.dialogs[0].filters, QStringList{QStringLiteral("抓包文件 (*.pcapng)")});

    const QByteArray file = ReadAll(path);
    const CaptureContents c = ReadCapture(std::string_view(file.constData(), size_t(file.size())));
    EXPECT_TRUE(c.problems.empty());
    ASSERT_EQ(c.interfaces.size(), 1u);
    EXPECT_EQ(c.interfaces[0].name, "COM1");
    EXPECT_EQ(c.interfaces[0].rate, 9600);
    const TrafficRecord& r = h->Traffic;
    ASSERT_EQ(int(c.packets.size()), r.Count());
    for (int row = 0; row < r.Count(); ++row) {
        EXPECT_EQ(c.packets[size_t(row)].bytes, r.Bytes(row));
        EXPECT_EQ(c.packets[size_t(row)].timeUs, r.TimeUs(row));
        EXPECT_EQ(QString::fromStdString(c.packets[size_t(row)].comment),
                  live->model()->index(row, TrafficColumn::Meaning).data().toString());
    }

    // Opened: a window of its own with the file's name; the live one keeps
    // its rows.
    live->findChild<QPushButton*>("openCaptureButton")->click();
    ASSERT_EQ(h.dialogs.size(), 2);
    EXPECT_FALSE(h.dialogs[1].save);
    auto* shown = live->findChild<AnalysisWindow*>("AnalysisWindow");
    ExpectSameRows(shown, live);
    EXPECT_TRUE(shown->isVisible());
    EXPECT_EQ(shown->windowTitle().toStdString(), "通信分析 - traffic.pcapng");
    EXPECT_EQ(live->windowTitle().toStdString(), "通信分析");
    EXPECT_EQ(live->model()->rowCount(), r.Count());
    EXPECT_TRUE(h.messages.isEmpty());
    // The capture's window exports what it shows.
    EXPECT_TRUE(shown->WriteCapture(h.workDir.filePath("again.pcapng")));
    ExpectSameRows(live->ShowCapture(h.workDir.filePath("again.pcapng")), live);
    // Live traffic goes on in the live window only.
    h->Command28_Click();
    QApplication::processEvents();
    EXPECT_EQ(shown->model()->rowCount() + 1, live->model()->rowCount());
}

TEST(AnalysisCapture, ACaptureRewrittenByEditcapReadsTheSame) {
    const QString editcap = QStandardPaths::findExecutable(QStringLiteral("editcap"));
    if (editcap.isEmpty())
        GTEST_SKIP() << "editcap is not installed";
    FormHarness h;
    MakeTraffic(h);
    h->OpenAnalysis();
    AnalysisWindow* live = h->Analysis();
    const QString path = h.workDir.filePath("traffic.pcapng");
    const QString rewritten = h.workDir.filePath("rewritten.pcapng");
    ASSERT_TRUE(live->WriteCapture(path));
    ASSERT_EQ(QProcess::execute(editcap,
                                {QStringLiteral("-F"), QStringLiteral("pcapng"), path, rewritten}),
              0);
    ExpectSameRows(live->ShowCapture(rewritten), live);
    EXPECT_TRUE(h.messages.isEmpty()) << h.messages.join('\n').toStdString();
}

// A file spoiled after its export: the rows that could be read, or none,
// and a message saying what could not.
struct SpoiledRow {
    const char* name;
    std::function<QByteArray(const QByteArray&)> spoil;
    int missingRows; // -1: no window
    const char* message;
};

TEST(AnalysisCapture, ABadOrCutFileShowsWhatCouldBeReadAndSaysWhatNot) {
    const SpoiledRow rows[] = {
        {"cut in its last packet", [](const QByteArray& f) { return f.left(f.size() - 3); }, 1,
         "抓包文件 spoiled.pcapng 有些内容无法读取：\nthe file is cut off at byte"},
        {"no capture at all", [](const QByteArray&) { return QByteArray("hello, world\n"); }, -1,
         "无法读取抓包文件 spoiled.pcapng：\nthis is no pcapng capture file"},
        {"empty", [](const QByteArray&) { return QByteArray(); }, -1,
         "抓包文件 spoiled.pcapng 中没有数据包。"},
    };
    FormHarness h;
    MakeTraffic(h);
    h->OpenAnalysis();
    AnalysisWindow* live = h->Analysis();
    const QString path = h.workDir.filePath("traffic.pcapng");
    ASSERT_TRUE(live->WriteCapture(path));
    const QByteArray good = ReadAll(path);
    const QString spoiled = h.workDir.filePath("spoiled.pcapng");
    for (const SpoiledRow& row : rows) {
        SCOPED_TRACE(row.name);
        h.messages.clear();
        QFile f(spoiled);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(row.spoil(good));
        f.close();
        AnalysisWindow* shown = live->ShowCapture(spoiled);
        if (row.missingRows < 0)
            EXPECT_EQ(shown, nullptr);
        else {
            ASSERT_NE(shown, nullptr);
            EXPECT_EQ(shown->model()->rowCount(), h->Traffic.Count() - row.missingRows);
        }
        ASSERT_EQ(h.messages.size(), 1);
        EXPECT_TRUE(h.messages[0].startsWith(QString::fromUtf8(row.message)))
            << h.messages[0].toStdString();
    }
    h.messages.clear();
    EXPECT_EQ(live->ShowCapture(h.workDir.filePath("missing.pcapng")), nullptr);
    ASSERT_EQ(h.messages.size(), 1);
    EXPECT_TRUE(h.messages[0].startsWith(QStringLiteral("无法读取 ")));
}

} // namespace
