// The termination watch on Windows, run under Wine. Without a console
// GenerateConsoleCtrlEvent fails there (and it cannot raise a close,
// log-off or shut-down at all), so the tests call the control handler
// through the test hook, on a thread of their own as the system does.
#include "platform/termination_watch.h"
#include "platform/windows/termination_watch_test_hook.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <thread>
#include <windows.h>

namespace {

using namespace std::chrono_literals;
using termination::test::DeliverControlEvent;

bool IsSet(void* event, DWORD waitMs = 0) {
    return ::WaitForSingleObject(static_cast<HANDLE>(event), waitMs) == WAIT_OBJECT_0;
}

struct EventCase {
    const char* name;
    DWORD ctrlType;
    int signo;
    bool waitsForRestore; // the system ends the process when the handler returns
};

// Failures name the event instead of dumping the struct's bytes.
void PrintTo(const EventCase& c, std::ostream* os) {
    *os << c.name;
}

// clang-format off
const EventCase kEvents[] = {
    {"CtrlC",     CTRL_C_EVENT,        2,  false},
    {"CtrlBreak", CTRL_BREAK_EVENT,    15, false},
    {"Close",     CTRL_CLOSE_EVENT,    1,  true},
    {"Logoff",    CTRL_LOGOFF_EVENT,   15, true},
    {"Shutdown",  CTRL_SHUTDOWN_EVENT, 15, true},
};
// clang-format on

class TerminationWatchWindows : public ::testing::TestWithParam<EventCase> {
  protected:
    void TearDown() override { termination::Restore(); }
};

TEST_P(TerminationWatchWindows, EachEventArrivesAsItsSignalAndSetsTheWaitHandle) {
    const EventCase& c = GetParam();
    ASSERT_GE(termination::Install(), 0);
    EXPECT_TRUE(termination::test::HandlerRegistered());
    void* const handle = termination::WaitHandle();
    ASSERT_NE(handle, nullptr);
    EXPECT_FALSE(IsSet(handle));

    auto handled = std::async(std::launch::async, [&] { return DeliverControlEvent(c.ctrlType); });
    ASSERT_TRUE(IsSet(handle, 10000));
    int got[4] = {};
    ASSERT_EQ(termination::ReadPending(got, 4), 1);
    EXPECT_EQ(got[0], c.signo);
    EXPECT_FALSE(IsSet(handle)) << "all read: the event must be reset";
    EXPECT_EQ(termination::ReadPending(got, 4), 0) << "an empty pipe must not block";

    // A closing event holds the system back until the program has cleaned up.
    if (c.waitsForRestore) {
        EXPECT_EQ(handled.wait_for(300ms), std::future_status::timeout);
        termination::Restore();
    }
    ASSERT_EQ(handled.wait_for(10s), std::future_status::ready);
    EXPECT_NE(handled.get(), 0);
}

TEST_P(TerminationWatchWindows, AfterRestoreTheEventIsLeftToTheDefault) {
    ASSERT_GE(termination::Install(), 0);
    termination::Restore();
    EXPECT_FALSE(termination::test::HandlerRegistered());
    EXPECT_EQ(termination::Descriptor(), -1);
    EXPECT_EQ(termination::WaitHandle(), nullptr);
    auto handled =
        std::async(std::launch::async, [&] { return DeliverControlEvent(GetParam().ctrlType); });
    ASSERT_EQ(handled.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(handled.get(), 0);
}

INSTANTIATE_TEST_SUITE_P(Events, TerminationWatchWindows, ::testing::ValuesIn(kEvents),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TerminationWatchWindowsPipe, APartialReadLeavesTheEventSet) {
    ASSERT_GE(termination::Install(), 0);
    for (int i = 0; i < 3; ++i)
        ASSERT_NE(DeliverControlEvent(CTRL_C_EVENT), 0);
    int got[4] = {};
    EXPECT_EQ(termination::ReadPending(got, 2), 2);
    EXPECT_TRUE(IsSet(termination::WaitHandle()));
    EXPECT_EQ(termination::ReadPending(got, 4), 1);
    EXPECT_FALSE(IsSet(termination::WaitHandle()));
    termination::Restore();
}

TEST(TerminationWatchWindowsPipe, OtherEventsAreNotOurs) {
    ASSERT_GE(termination::Install(), 0);
    EXPECT_EQ(DeliverControlEvent(7), 0);
    EXPECT_FALSE(IsSet(termination::WaitHandle()));
    termination::Restore();
}

TEST(TerminationWatchWindowsPipe, AFullPipeNeverBlocksTheHandler) {
    ASSERT_GE(termination::Install(), 0);
    // Far more than the pipe holds: the unread ones beyond are dropped.
    auto flood = std::async(std::launch::async, [] {
        for (int i = 0; i < 20000; ++i)
            DeliverControlEvent(CTRL_C_EVENT);
    });
    if (flood.wait_for(30s) != std::future_status::ready) {
        // The blocked handler holds the watch's lock: nothing else can end.
        ADD_FAILURE() << "the handler blocked on the full pipe";
        std::fflush(stdout);
        ::ExitProcess(1);
    }
    int got[64];
    int total = 0;
    for (int n; (n = termination::ReadPending(got, 64)) > 0;)
        total += n;
    EXPECT_GT(total, 0);
    EXPECT_FALSE(IsSet(termination::WaitHandle()));
    termination::Restore();
}

TEST(TerminationWatchWindowsPipe, InstallingTwiceKeepsOneDescriptorAndAgainAfterRestore) {
    const int fd = termination::Install();
    ASSERT_GE(fd, 0);
    void* const handle = termination::WaitHandle();
    EXPECT_EQ(termination::Install({.secondSignalEnds = true}), fd);
    EXPECT_EQ(termination::WaitHandle(), handle);
    termination::Restore();
    ASSERT_GE(termination::Install(), 0);
    ASSERT_NE(DeliverControlEvent(CTRL_C_EVENT), 0);
    int got[4] = {};
    EXPECT_EQ(termination::ReadPending(got, 4), 1);
    termination::Restore();
}

// ------------------------------------------------ the second event, in a child

constexpr const char* kChildVariable = "VXT4710_WATCH_CHILD";

// Runs only as the child the next test starts: two events, then the number
// read as the exit code (unless the second one ended the process).
TEST(TerminationWatchChild, Run) {
    const char* setting = std::getenv(kChildVariable);
    if (!setting)
        GTEST_SKIP() << "started by SecondEventEndsTheProcessWhenAsked";
    const bool ends = setting[0] == '1';
    const auto ctrlType = static_cast<DWORD>(std::atoi(setting + 2));
    termination::Install({.secondSignalEnds = ends});
    int read = 0;
    for (int i = 0; i < 2; ++i) {
        // Closing events wait for Restore, so each comes on its own thread.
        std::thread([ctrlType] { DeliverControlEvent(ctrlType); }).detach();
        int got[4];
        for (int tries = 0; read <= i && tries < 100; ++tries) {
            ::WaitForSingleObject(static_cast<HANDLE>(termination::WaitHandle()), 100);
            read += termination::ReadPending(got, 4);
        }
    }
    termination::Restore();
    ::ExitProcess(static_cast<UINT>(read));
}

TEST(TerminationWatchChildren, SecondEventEndsTheProcessWhenAsked) {
    wchar_t self[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    for (const EventCase& c : kEvents) {
        for (const bool ends : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (ends ? " ends" : " does not end"));
            const std::string setting =
                std::string(ends ? "1" : "0") + " " + std::to_string(c.ctrlType);
            ASSERT_TRUE(::SetEnvironmentVariableA(kChildVariable, setting.c_str()));
            std::wstring command = L"\"" + std::wstring(self) +
                                   L"\" --gtest_filter=TerminationWatchChild.Run --gtest_brief=1";
            // The child's own test report would only clutter this one's.
            SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
            const HANDLE null = ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit,
                                              OPEN_EXISTING, 0, nullptr);
            STARTUPINFOW si{};
            si.cb = sizeof si;
            si.dwFlags = STARTF_USESTDHANDLES;
            si.hStdOutput = si.hStdError = null;
            PROCESS_INFORMATION pi{};
            const BOOL started = ::CreateProcessW(self, command.data(), nullptr, nullptr, TRUE, 0,
                                                  nullptr, nullptr, &si, &pi);
            ::SetEnvironmentVariableA(kChildVariable, nullptr);
            ::CloseHandle(null);
            ASSERT_TRUE(started);
            ::CloseHandle(pi.hThread);
            const DWORD waited = ::WaitForSingleObject(pi.hProcess, 60000);
            DWORD code = 0;
            ::GetExitCodeProcess(pi.hProcess, &code);
            if (waited != WAIT_OBJECT_0)
                ::TerminateProcess(pi.hProcess, 1);
            ::CloseHandle(pi.hProcess);
            ASSERT_EQ(waited, WAIT_OBJECT_0);
            EXPECT_EQ(code, ends ? DWORD(128 + c.signo) : 2u);
        }
    }
}

} // namespace
