// The monitor window's reading thread on real lines: both taps read into the
// watch in the line's order, nothing written to either, the window's stop
// ends it at once, and a tap that fails is said once with the rows kept.
#include "cli/cli_run.h"
#include "core/text_util.h"
#include "platform/monitor_thread.h"
#include "testsupport/pty_peer.h"

#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

namespace {

const QByteArray kQuery = QByteArray::fromHex("FD000221DE");

MonitorThread::MakeSystem Linux() {
    return [] { return std::make_unique<LinuxCliSystem>(); };
}

// Takes updates into table until done(table) or 5 s passed.
// failures counts the failure texts handed over.
template <typename Done>
bool TakeUntil(WindowWatch& watch, MonitorTable& table, Done done, int* failures = nullptr,
               std::string* failure = nullptr) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 5000) {
        MonitorUpdate update = watch.take();
        if (failures && !update.failure.empty()) {
            ++*failures;
            *failure = update.failure;
        }
        table.apply(update);
        if (done(table))
            return true;
        QThread::msleep(10);
    }
    return false;
}

TEST(MonitorThread, ReadsBothTapsInOrderAndWritesNothing) {
    PtyPeer host, chip;
    ASSERT_TRUE(host.ok() && chip.ok());
    const SteadyClock clock;
    WindowWatch watch(clock, {});
    MonitorTable table;
    int base = 0;
    {
        MonitorThread thread(Linux(), host.devicePath().toStdString(),
                             chip.devicePath().toStdString(), 9600, watch);
        // The chip's power-up byte until the taps are open (what comes
        // before is not read), then three exchanges.
        ASSERT_TRUE(TakeUntil(watch, table, [&](const MonitorTable& t) {
            if (t.rowCount() == 0) {
                chip.write(QByteArray("\x4A", 1));
                QThread::msleep(50);
            }
            return t.rowCount() > 0;
        }));
        base = table.rowCount();
        for (int i = 0; i < 3; ++i) {
            host.write(kQuery);
            QThread::msleep(30);
            chip.write(QByteArray("\x4F", 1));
            QThread::msleep(30);
        }
        ASSERT_TRUE(TakeUntil(watch, table,
                              [&](const MonitorTable& t) { return t.rowCount() >= base + 6; }));
        EXPECT_TRUE(host.read(200).isEmpty());
        EXPECT_TRUE(chip.read(200).isEmpty());
        thread.stop();
        EXPECT_TRUE(TakeUntil(watch, table, [](const MonitorTable& t) { return t.ended(); }));
    }
    ASSERT_EQ(table.rowCount(), base + 6);
    for (int r = 0; r < 6; ++r)
        EXPECT_EQ(table.cell(base + r, MonitorColumn::Direction), r % 2 ? u"芯片" : u"控制器") << r;
    EXPECT_EQ(table.countsText(), u"帧 3 · 状态字节 " + Number16(base + 3) + u" · 发现 0");
    EXPECT_EQ(watch.status(), 0);
}

TEST(MonitorThread, ATapThatFailsIsSaidOnceAndTheRowsStay) {
    const SteadyClock clock;
    {
        PtyPeer host;
        WindowWatch watch(clock, {});
        MonitorThread thread(Linux(), host.devicePath().toStdString(), "/dev/no-such-tap", 9600,
                             watch);
        MonitorTable table;
        std::string failure;
        int failures = 0;
        EXPECT_TRUE(TakeUntil(
            watch, table, [](const MonitorTable& t) { return t.ended(); }, &failures, &failure));
        EXPECT_EQ(failure.rfind("chip tap: ", 0), 0u) << failure;
        EXPECT_NE(failure.find("/dev/no-such-tap"), std::string::npos) << failure;
    }
    PtyPeer host, chip;
    WindowWatch watch(clock, {});
    MonitorThread thread(Linux(), host.devicePath().toStdString(), chip.devicePath().toStdString(),
                         9600, watch);
    MonitorTable table;
    std::string failure;
    int failures = 0;
    ASSERT_TRUE(TakeUntil(watch, table, [&](const MonitorTable& t) {
        if (t.rowCount() == 0) {
            host.write(kQuery);
            QThread::msleep(100);
        }
        return t.rowCount() > 0;
    }));
    const int before = table.rowCount();
    chip.close();
    EXPECT_TRUE(TakeUntil(
        watch, table, [](const MonitorTable& t) { return t.ended(); }, &failures, &failure));
    for (int i = 0; i < 5; ++i) // nothing said twice
        table.apply(watch.take());
    EXPECT_EQ(failures, 1) << failure;
    EXPECT_EQ(failure.rfind("chip tap: ", 0), 0u) << failure;
    EXPECT_EQ(table.rowCount(), before);
    EXPECT_EQ(watch.status(), 3);
}

} // namespace
