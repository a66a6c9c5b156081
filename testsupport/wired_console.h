// The console with COM1 on the fake control or on a real pseudo-terminal, so
// that one table of cases runs on both wires.
#pragma once

#include "testsupport/form_harness.h"
#include "testsupport/pty_peer.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

enum class Wire { Fake, Pty };

class Console {
  public:
    explicit Console(Wire wire) : wire_(wire) {
        if (wire == Wire::Fake) {
            harness_ = std::make_unique<FormHarness>();
            return;
        }
        peer_ = std::make_unique<PtyPeer>();
        if (!peer_->ok())
            return;
        ports_.link(1, peer_->devicePath());
        harness_ = FormHarness::Real(ports_.path());
    }
    // False only when no pseudo-terminal could be made: tests fail then.
    bool ok() const { return harness_ != nullptr; }
    Form1Window& form() const { return *harness_->form; }
    FormHarness& harness() const { return *harness_; }

    // What reached the line since the last call. On a real line it waits for
    // `expected` bytes and a little longer, so that a surplus shows up too.
    QByteArray Sent(int expected) {
        if (wire_ == Wire::Pty) {
            QByteArray got = peer_->readAtLeast(expected, 3000);
            got += peer_->read(expected == 0 ? 150 : 60, 30);
            return got;
        }
        QCoreApplication::processEvents();
        const QByteArray all = harness_->fake->AllWritten();
        const QByteArray got = all.mid(consumed_);
        consumed_ = all.size();
        return got;
    }

    // Shows the window and makes it active, for clicks and keys.
    void Show() {
        form().show();
        QApplication::setActiveWindow(&form());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form()));
    }

  private:
    Wire wire_;
    PortsFolder ports_;
    std::unique_ptr<PtyPeer> peer_;
    std::unique_ptr<FormHarness> harness_;
    qsizetype consumed_ = 0;
};

// A test run once per wire: derive a fixture of its own from it.
class WiredTest : public ::testing::TestWithParam<Wire> {
  protected:
    void SetUp() override {
        console = std::make_unique<Console>(GetParam());
        if (!console->ok())
            FAIL() << "no pseudo-terminal could be made";
    }
    Form1Window& form() { return console->form(); }
    std::unique_ptr<Console> console;
};

// The console, shown, with COM1 on a pseudo-terminal of its own.
struct ConsoleOnPty {
    PortsFolder ports;
    PtyPeer peer;
    std::unique_ptr<FormHarness> h;
    ConsoleOnPty() {
        ports.link(1, peer.devicePath());
        h = FormHarness::Real(ports.path());
        (*h)->show();
    }
    Form1Window* operator->() const { return h->form.get(); }
};
