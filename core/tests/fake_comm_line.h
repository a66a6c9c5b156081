// A line and a window of the test's own for the serial control
// (core/line_comm_control.h): what the lines did, and what they are to do.
#pragma once

#include "core/line_comm_control.h"

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace fake_comm {

// What the lines did and are to do; outlives the control.
struct World {
    std::map<int, PortEntry> entries;
    std::vector<std::string> system;
    std::string numbered;                       // the system's own name for a port nothing names
    std::map<std::string, std::string> refused; // device -> why its open fails
    std::vector<std::string> opened;            // serial devices and addresses
    std::vector<std::string> written;
    std::vector<int> rates; // asked of an open line
    std::string rateRefusal;
    std::string writeRefusal;
    std::string connectRefusal;
    int closes = 0;
    bool window = true;
    std::deque<std::function<void()>> posted;
    std::vector<std::pair<std::function<void()>, std::function<void()>>> background;
    // The open line's: bytes waiting, its loss, and its ready call.
    std::string arriving;
    bool loss = false;
    std::function<void()> ready;

    void arrive(const std::string& bytes) {
        arriving += bytes;
        ready();
    }
    void runPosted() {
        while (!posted.empty()) {
            auto call = std::move(posted.front());
            posted.pop_front();
            call();
        }
    }
    void finishConnects() {
        for (auto& [work, done] : std::exchange(background, {})) {
            work();
            posted.push_back(done);
        }
        runPosted();
    }
};

class FakeLine : public CommLine {
  public:
    FakeLine(World& w, bool raw) : w_(w), raw_(raw) {}
    bool connect(int, LineError* error) override {
        *error = LineError{w_.connectRefusal};
        return w_.connectRefusal.empty();
    }
    void watch(std::function<void()> ready) override { w_.ready = std::move(ready); }
    bool write(std::string_view bytes, LineError* error) override {
        *error = LineError{w_.writeRefusal};
        if (w_.writeRefusal.empty())
            w_.written.emplace_back(bytes);
        return w_.writeRefusal.empty();
    }
    bool setRate(int rate, LineError* error) override {
        *error = LineError{w_.rateRefusal};
        w_.rates.push_back(rate);
        return w_.rateRefusal.empty();
    }
    bool rateSettable() const override { return !raw_; }
    bool take(std::string* bytes, LineError* error) override {
        *bytes += std::exchange(w_.arriving, {});
        *error = LineError{"the device is gone"};
        return !std::exchange(w_.loss, false);
    }
    void close() override { ++w_.closes; }

  private:
    World& w_;
    bool raw_;
};

class FakeHost : public CommHost {
  public:
    explicit FakeHost(World& w) : w_(w) {}
    PortEntry portEntry(int n) const override {
        const auto it = w_.entries.find(n);
        return it == w_.entries.end() ? PortEntry{} : it->second;
    }
    ports::FolderStyle folderStyle() const override { return ports::FolderStyle::Files; }
    std::vector<std::string> systemPorts() const override { return w_.system; }
    NumberedPort numberedPort(int n) const override {
        return {w_.numbered, w_.numbered.empty() ? "" : "shown " + std::to_string(n)};
    }
    std::unique_ptr<CommLine> openSerial(const std::string& device, int rate,
                                         LineError* error) override {
        if (w_.refused.count(device)) {
            *error = LineError{w_.refused[device]};
            return nullptr;
        }
        w_.opened.push_back(device + "@" + std::to_string(rate));
        return std::make_unique<FakeLine>(w_, false);
    }
    std::unique_ptr<CommLine> makeNet(const NetAddress& address) override {
        w_.opened.push_back(FormatNetAddress(address));
        return std::make_unique<FakeLine>(w_, address.protocol == NetProtocol::Raw);
    }
    bool post(std::function<void()> call) override {
        if (w_.window)
            w_.posted.push_back(std::move(call));
        return w_.window;
    }
    bool runInBackground(std::function<void()> work, std::function<void()> done) override {
        if (w_.window)
            w_.background.emplace_back(std::move(work), std::move(done));
        return w_.window;
    }

  private:
    World& w_;
};

inline PortEntry Bound(const std::string& address) {
    PortEntry e;
    e.kind = PortEntry::Kind::File;
    e.path = "ports/com1";
    e.content.outcome = FileRead::Outcome::Read;
    e.content.bytes = address;
    return e;
}

inline PortEntry Linked(const std::string& device) {
    PortEntry e;
    e.kind = PortEntry::Kind::Link;
    e.path = "ports/com1";
    e.target = e.device = device;
    return e;
}

struct Control {
    World w;
    LineCommControl comm{std::make_unique<FakeHost>(w)};
    std::vector<std::string> failures;
    std::string input;
    int events = 0;
    Control() {
        comm.SetOnPortFailure([this](const std::string& why) { failures.push_back(why); });
        comm.SetOnComm([this] {
            ++events;
            input += comm.Input();
        });
    }
};

} // namespace fake_comm
