// The termination watch on its own: no Qt, no event loop.
#include "platform/termination_watch.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class TerminationWatch : public ::testing::TestWithParam<int> {
  protected:
    void TearDown() override { termination::Restore(); }
};

TEST_P(TerminationWatch, EachSignalArrivesAsItsNumberAndKeepsErrno) {
    const int signo = GetParam();
    ASSERT_GE(termination::Install(), 0);
    errno = EDOM;
    ASSERT_EQ(::raise(signo), 0);
    EXPECT_EQ(errno, EDOM);
    int got[4] = {};
    ASSERT_EQ(termination::ReadPending(got, 4), 1);
    EXPECT_EQ(got[0], signo);

    // With the pipe full the handler's write fails; the interrupted code
    // still sees its own errno. A one-page pipe fills quickly.
    const int size = ::fcntl(termination::Descriptor(), F_SETPIPE_SZ, 4096);
    const int fill = (size > 0 ? size : 1 << 20) + 16;
    for (int i = 0; i < fill; ++i)
        ::raise(signo);
    errno = 0;
    ::raise(signo);
    EXPECT_EQ(errno, 0);
}

TEST_P(TerminationWatch, RestorePutsTheDefaultBack) {
    const int signo = GetParam();
    ASSERT_GE(termination::Install(), 0);
    termination::Restore();
    struct sigaction now {};
    ::sigaction(signo, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
    EXPECT_EQ(termination::Descriptor(), -1);
}

TEST_P(TerminationWatch, SecondSignalEndsTheProcessWhenAsked) {
    const int signo = GetParam();
    for (const bool ends : {false, true}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            termination::Install({.secondSignalEnds = ends});
            ::raise(signo);
            ::raise(signo);
            int got[4] = {};
            ::_exit(termination::ReadPending(got, 4));
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (ends) {
            ASSERT_TRUE(WIFSIGNALED(status)) << status;
            EXPECT_EQ(WTERMSIG(status), signo);
        } else {
            ASSERT_TRUE(WIFEXITED(status)) << status;
            EXPECT_EQ(WEXITSTATUS(status), 2);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Signals, TerminationWatch, ::testing::Values(SIGINT, SIGTERM, SIGHUP), [](const auto& info) {
        return std::string(info.param == SIGINT ? "Int" : info.param == SIGTERM ? "Term" : "Hup");
    });

TEST(TerminationWatchPipe, SigpipeIsIgnoredSoAClosedReaderFailsTheWrite) {
    ASSERT_GE(termination::Install(), 0);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    const char b = 'x';
    EXPECT_EQ(::write(fds[1], &b, 1), -1);
    EXPECT_EQ(errno, EPIPE);
    ::close(fds[1]);
    termination::Restore();
}

TEST(TerminationWatchPipe, InstallingTwiceKeepsOneDescriptor) {
    const int fd = termination::Install();
    ASSERT_GE(fd, 0);
    EXPECT_EQ(termination::Install({.secondSignalEnds = true}), fd);
    EXPECT_EQ(termination::Descriptor(), fd);
    termination::Restore();
}

} // namespace
