// The console when a port-failure message runs its nested event loop inside
// the reply handler, when the window is unloaded inside that loop, and when
// termination signals come while it is busy.
#include "qt/form1.h"
#include "qt/toolkit.h"
#include "testsupport/fake_comm_control.h"

#include <QDir>
#include <QTemporaryDir>
#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QByteArray kIdle("\x4F");

// A window on the fake control whose message box is a function of the test:
// what it does runs where the box's nested event loop would run.
struct Nested {
    QTemporaryDir dir;
    QString oldCwd = QDir::currentPath();
    FakeCommControl* fake = nullptr;
    QStringList messages;
    std::function<void()> insideBox;
    std::unique_ptr<Form1Window> form;

    Nested() {
        QDir::setCurrent(dir.path());
        auto comm = std::make_unique<FakeCommControl>();
        fake = comm.get();
        Form1Deps deps;
        deps.comm = std::move(comm);
        deps.messageBox = [this](const QString& text) {
            messages << text;
            if (auto inside = std::exchange(insideBox, nullptr))
                inside();
        };
        deps.sleepMs = [](int32_t) {};
        form = std::make_unique<Form1Window>(std::move(deps));
        form->Widget(&Form1::Text4)->SetText(QString());
    }
    ~Nested() {
        form.reset();
        QDir::setCurrent(oldCwd);
    }
    // Continuous playback of 450 bytes, its first piece sent.
    void StartPlayback() {
        QString text;
        for (int i = 0; i < 225; ++i)
            text += QChar(0x4E00 + i);
        form->Widget(&Form1::Text3)->SetText(text);
        form->Command3_Click();
        ASSERT_EQ(fake->written.size(), 1);
        ASSERT_EQ(form->PlayAllActive, -1);
        fake->calls.clear();
    }
    // What the control was asked to do after the window was closed.
    QStringList CallsAfterClose() const {
        const qsizetype at = fake->calls.indexOf(QStringLiteral("close"));
        return at < 0 ? QStringList{QStringLiteral("never closed")} : fake->calls.mid(at + 1);
    }
};

TEST(Hardening, UnloadedInsideTheMessageNothingReopensOrSends) {
    // Each case: what comes after the failing piece, in the same read or later.
    const struct {
        const char* name;
        std::function<void(Nested&)> after;
    } cases[] = {
        {"the second idle of the same read", [](Nested&) {}},
        {"a later idle report", [](Nested& n) { n.fake->Receive(kIdle); }},
        {"a later click of play", [](Nested& n) { n.form->Command6_Click(); }},
        {"a later choice of port", [](Nested& n) { n.form->Combo4_Click(); }},
        {"the repetition test",
         [](Nested& n) {
             n.form->RepeatCycles = 3;
             n.form->Command4_Click();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Nested n;
        n.StartPlayback();
        n.fake->failWrites = true;
        n.insideBox = [&n] {
            n.fake->failWrites = false; // the line would work again...
            n.form->close();            // ...but a termination signal closed the window
        };
        n.fake->Receive(kIdle + kIdle);
        c.after(n);
        EXPECT_TRUE(n.form->Unloaded());
        EXPECT_EQ(n.messages.size(), 1);
        EXPECT_EQ(n.CallsAfterClose(), QStringList{});
        EXPECT_EQ(n.fake->written.size(), 1) << "only the first piece went out";
        EXPECT_FALSE(n.fake->PortOpen());
    }
}

TEST(Hardening, APieceThatFailsEndsPlaybackWithOneMessage) {
    Nested n;
    n.StartPlayback();
    n.fake->failWrites = true;
    // The chip's idle reports keep coming; each used to send the next piece
    // into the failed port and bring the message once more.
    n.fake->Receive(kIdle + kIdle);
    n.fake->Receive(kIdle);
    n.fake->Receive(kIdle);
    EXPECT_EQ(n.messages.size(), 1);
    EXPECT_EQ(n.form->PlayAllActive, 0);
    EXPECT_EQ(n.fake->calls.filter(QStringLiteral("write refused")).size(), 1);
    // 播放全部 starts again from the beginning once the port works.
    n.fake->failWrites = false;
    n.form->Command3_Click();
    EXPECT_EQ(n.fake->written.size(), 2);
    EXPECT_EQ(n.form->PlayAllActive, -1);
}

TEST(Hardening, RepliesInsideTheMessageStartNoSecondStep) {
    Nested n;
    n.StartPlayback();
    n.fake->failWrites = true;
    n.insideBox = [&n] {
        n.fake->failWrites = false;
        n.fake->Receive(kIdle); // handled inside the box's nested event loop
    };
    n.fake->Receive(kIdle);
    EXPECT_EQ(n.messages.size(), 1);
    EXPECT_EQ(n.fake->written.size(), 1) << "no piece sent from inside the failing step";
    EXPECT_EQ(n.form->Widget(&Form1::Text4)->Text().count(QStringLiteral("<-0x4F  芯片空闲")), 2);
    EXPECT_FALSE(n.form->PlaybackStepRunning);
}

TEST(Hardening, AFailureInsideTheMessageAddsNoSecondBox) {
    Nested n;
    n.fake->failWrites = true;
    n.insideBox = [&] {
        // A rate change completes inside the box, and the port cannot be
        // opened again.
        n.form->BaudChangePending = 1;
        n.fake->missingPorts.insert(1);
        n.fake->Receive(QByteArray("\x41"));
    };
    n.form->Command28_Click();
    EXPECT_EQ(n.messages.size(), 1) << n.messages.join('|').toStdString();
    EXPECT_EQ(n.form->PortFailures(), 2);
    EXPECT_EQ(n.form->BaudChangePending, 0);
    // Later failures are told again.
    n.form->Command28_Click();
    EXPECT_EQ(n.messages.size(), 2);
}

// Runs body in a child process; returns its wait status.
int InChild(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0)
        _exit(body());
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

std::set<int> OpenFds() {
    std::set<int> fds;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.')
                fds.insert(atoi(e->d_name));
        closedir(d);
    }
    return fds;
}

TEST(TerminationSignals, TheHandlerKeepsErrno) {
    // The write in the handler fails when its pipe is full: that must not
    // change the errno of the code the signal interrupted.
    const int status = InChild([] {
        const std::set<int> before = OpenFds();
        CatchTerminationSignals();
        int writeEnd = -1;
        for (const int fd : OpenFds())
            if (!before.count(fd) && (fcntl(fd, F_GETFL) & O_ACCMODE) == O_WRONLY)
                writeEnd = fd;
        if (writeEnd < 0)
            return 3;
        const char fill[512] = {};
        while (write(writeEnd, fill, sizeof fill) > 0) {
        }
        errno = EDOM;
        raise(SIGTERM);
        return errno == EDOM ? 0 : 1;
    });
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(TerminationSignals, ASecondOfAnyKindEndsTheProcessAtOnce) {
    // The first is caught (the window would close once the event loop runs);
    // a busy window never gets there, so the second, of whatever kind, ends
    // the process.
    const int pairs[][2] = {
        {SIGTERM, SIGINT}, {SIGINT, SIGHUP}, {SIGHUP, SIGTERM}, {SIGTERM, SIGTERM}};
    for (const auto& p : pairs) {
        const int status = InChild([&p] {
            CatchTerminationSignals();
            raise(p[0]);
            raise(p[1]);
            return 0; // still alive: the second was swallowed too
        });
        ASSERT_TRUE(WIFSIGNALED(status)) << p[0] << " then " << p[1];
        EXPECT_EQ(WTERMSIG(status), p[1]);
    }
    // One alone is only caught.
    const int status = InChild([] {
        CatchTerminationSignals();
        raise(SIGINT);
        return 0;
    });
    EXPECT_TRUE(WIFEXITED(status));
}

} // namespace
