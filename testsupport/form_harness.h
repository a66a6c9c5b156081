// A Form1Window for tests: its own working directory (for the initial text file),
// messages recorded instead of shown, sleeps recorded instead of slept, and a
// fake or a real serial control.
#pragma once

#include "qt/form1.h"
#include "qt/qt_text.h"
#include "serial/serial_comm_control.h"
#include "testsupport/fake_comm_control.h"
#include "testsupport/pty_peer.h" // WaitUntil

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QMenu>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <optional>

struct FormHarness {
    QTemporaryDir workDir;
    QString oldCwd = QDir::currentPath();
    FakeCommControl* fake = nullptr;
    SerialCommControl* serial = nullptr;
    QStringList messages;
    QList<int32_t> sleeps;
    // File dialogs asked for, and the answer each gets (empty path: cancelled).
    QList<FileDialogRequest> dialogs;
    FileDialogAnswer dialogAnswer;
    std::unique_ptr<Form1Window> form;

    // With the fake control. setUp runs on it before the window is built
    // (for example to make COM1 missing). initialText: bytes of the initial
    // text file (none: no file).
    template <class SetUp>
    explicit FormHarness(SetUp setUp, std::optional<QByteArray> initialText = std::nullopt) {
        enter(initialText);
        auto comm = std::make_unique<FakeCommControl>();
        fake = comm.get();
        setUp(*fake);
        build(std::move(comm));
    }
    explicit FormHarness(std::optional<QByteArray> initialText = std::nullopt)
        : FormHarness([](FakeCommControl&) {}, initialText) {}

    // With the real control, ports looked up in portsFolder.
    static std::unique_ptr<FormHarness> Real(const QString& portsFolder,
                                             std::optional<QByteArray> initialText = std::nullopt) {
        auto h = std::unique_ptr<FormHarness>(new FormHarness(Tag{}));
        h->enter(initialText);
        auto comm = std::make_unique<SerialCommControl>(portsFolder);
        h->serial = comm.get();
        h->build(std::move(comm));
        return h;
    }

    ~FormHarness() {
        form.reset();
        QDir::setCurrent(oldCwd);
    }

    Form1Window* operator->() const { return form.get(); }
    QString log() const { return form->Widget(&Form1::Text4)->Text(); }

    // The real window shown on the chip: exposed, its port open and the
    // chip's power-up 0x4A in its log. False when any of it does not come.
    bool ShownOnTheChip(int timeoutMs) {
        form->show();
        return QTest::qWaitForWindowExposed(form.get()) && form->MSComm1->PortOpen() &&
               WaitUntil([this] { return log().contains(QStringLiteral("0x4A")); }, timeoutMs);
    }
    // Chooses the work log's menu entry of that object name.
    void ChooseLogMenu(const char* objectName) {
        std::unique_ptr<QMenu> menu(form->MakeLogMenu(QPoint()));
        menu->findChild<QAction*>(objectName)->trigger();
    }

  private:
    struct Tag {};
    explicit FormHarness(Tag) {}
    void enter(const std::optional<QByteArray>& initialText) {
        QDir::setCurrent(workDir.path());
        if (initialText) {
            QFile f(QStringLiteral("初始默认文本.txt"));
            f.open(QIODevice::WriteOnly);
            f.write(*initialText);
        }
    }
    void build(std::unique_ptr<CommControl> comm) {
        Form1Deps deps;
        deps.comm = std::move(comm);
        deps.messageBox = [this](const QString& text) { messages << text; };
        deps.sleepMs = [this](int32_t ms) { sleeps << ms; };
        deps.fileDialog = [this](const FileDialogRequest& r) {
            dialogs << r;
            return dialogAnswer;
        };
        form = std::make_unique<Form1Window>(std::move(deps));
    }
};

// "FD 00 02" -> bytes.
inline QByteArray Hex(const char* spaced) {
    return QByteArray::fromHex(QByteArray(spaced).replace(' ', ""));
}
