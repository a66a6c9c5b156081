#include "win32/win_comm.h"

#include "core/text_util.h"
#include "platform/files.h"
#include "platform/serial_port.h"
#include "win32/win_net_line.h"
#include "win32/win_port_binding.h"
#include "win32/win_text.h"

#include <atomic>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace {

// The calls for the window's thread and the one message that brings them
// (and the lines' bytes): shared with the threads that post, which may
// outlive the control.
struct Mailbox {
    std::atomic<HWND> window{nullptr};
    std::atomic<bool> posted{false};
    std::mutex mutex;
    std::vector<std::function<void()>> calls; // guarded by mutex

    void wake() {
        if (!posted.exchange(true))
            PostMessageW(window, WinCommControl::kDataMessage, 0, 0);
    }
    void push(std::function<void()> call) {
        {
            std::lock_guard lock(mutex);
            calls.push_back(std::move(call));
        }
        wake();
    }
    void run() {
        posted = false;
        std::vector<std::function<void()>> due;
        {
            std::lock_guard lock(mutex);
            due.swap(calls);
        }
        for (auto& call : due)
            call();
    }
};

// The serial port: its reader thread wakes the window; Deliver() takes.
class WinSerialLine : public CommLine {
  public:
    explicit WinSerialLine(std::shared_ptr<Mailbox> mailbox) {
        port_.setNotify([mailbox] { mailbox->wake(); });
    }
    SerialPort& port() { return port_; }

    void watch(std::function<void()>) override {}
    bool write(std::string_view bytes, LineError* error) override {
        return port_.write(bytes, error);
    }
    bool setRate(int rate, LineError* error) override { return port_.setRate(rate, error); }
    bool take(std::string* bytes, LineError* error) override { return port_.read(bytes, error); }
    void close() override { port_.close(); }

  private:
    SerialPort port_;
};

// The network line: its socket posts the window's message once watched.
class WinNetCommLine : public CommLine {
  public:
    WinNetCommLine(const NetAddress& address, std::shared_ptr<Mailbox> mailbox)
        : line_(address), mailbox_(std::move(mailbox)), raw_(address.protocol == NetProtocol::Raw) {
    }

    bool connect(int rate, LineError* error) override { return line_.open(rate, error); }
    void watch(std::function<void()>) override {
        if (const HWND window = mailbox_->window)
            line_.notifyWindow(window, WinCommControl::kDataMessage);
    }
    bool write(std::string_view bytes, LineError* error) override {
        return line_.write(bytes, error);
    }
    bool setRate(int rate, LineError* error) override { return line_.setRate(rate, error); }
    bool rateSettable() const override { return !raw_; }
    bool take(std::string* bytes, LineError* error) override {
        bool lost = false;
        *bytes += line_.take(&lost, error);
        return !lost;
    }
    void close() override { line_.close(); }

  private:
    WinNetLine line_;
    std::shared_ptr<Mailbox> mailbox_;
    bool raw_;
};

} // namespace

class WinCommHost : public CommHost {
  public:
    std::wstring folder = WinPortsFolder();
    std::shared_ptr<Mailbox> mailbox = std::make_shared<Mailbox>();

    PortEntry portEntry(int n) const override {
        return files::ReadPortEntry(Utf8FromUtf16(U16(folder)), n);
    }
    ports::FolderStyle folderStyle() const override { return ports::FolderStyle::Files; }
    // Without a file COM<n> is the system's port \\.\COMn.
    NumberedPort numberedPort(int n) const override {
        return {"COM" + std::to_string(n), SerialDosDevice(n)};
    }

    std::unique_ptr<CommLine> openSerial(const std::string& device, int rate,
                                         LineError* error) override {
        auto line = std::make_unique<WinSerialLine>(mailbox);
        if (line->port().open(device, rate, error) != SerialPort::OpenResult::Ok)
            return nullptr;
        return line;
    }
    std::unique_ptr<CommLine> makeNet(const NetAddress& address) override {
        return std::make_unique<WinNetCommLine>(address, mailbox);
    }

    bool post(std::function<void()> call) override {
        if (!mailbox->window)
            return false;
        mailbox->push(std::move(call));
        return true;
    }
    bool runInBackground(std::function<void()> work, std::function<void()> done) override {
        if (!mailbox->window)
            return false;
        // Given up meanwhile (closed), what done holds goes with the last
        // call; the line needs no particular thread to go.
        std::thread([work = std::move(work), done = std::move(done), box = mailbox]() mutable {
            work();
            work = nullptr;
            box->push(std::move(done));
        }).detach();
        return true;
    }
};

WinCommControl::WinCommControl()
    : LineCommControl(std::make_unique<WinCommHost>()), host_(static_cast<WinCommHost&>(host())) {}

void WinCommControl::SetWindow(HWND window) {
    host_.mailbox->window = window;
}

void WinCommControl::SetPortsFolder(std::wstring folder) {
    host_.folder = std::move(folder);
}

void WinCommControl::Deliver() {
    host_.mailbox->run();
    LineCommControl::Deliver();
}
