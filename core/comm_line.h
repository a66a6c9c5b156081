// What the serial control (core/line_comm_control.h) stands on: one line to
// the chip, a serial port or a link to a port server, and the window's
// services that open lines, name the ports and carry calls to the window's
// thread. Each front end supplies its own; tests supply fakes.
#pragma once

#include "core/file_read.h"
#include "core/net_address.h"
#include "core/port_names.h"
#include "core/session_io.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// An open line. A line tells that bytes or its loss wait through the ready
// call given to watch(), on the window's thread and never from inside a
// call of this interface. The control may destroy a line from inside that
// call: the front end's line survives its own notification.
class CommLine {
  public:
    virtual ~CommLine() = default;
    // A network line: connects and, where the server sets the rate, agrees
    // on rate. Runs on a thread of its own while nothing else uses the line.
    // A serial line is open already.
    virtual bool connect(int rate, LineError* error) {
        (void)rate;
        (void)error;
        return true;
    }
    // From now on tells of bytes and of the loss through ready.
    virtual void watch(std::function<void()> ready) = 0;
    // Hands every byte on; false when the line refused them.
    virtual bool write(std::string_view bytes, LineError* error) = 0;
    // The line settings at rate (over rfc2217:// the server's confirmation
    // is waited for).
    virtual bool setRate(int rate, LineError* error) = 0;
    // False for a socket:// line: its rate is the server's.
    virtual bool rateSettable() const { return true; }
    // Appends what arrived to *bytes. False, once, when the line is lost
    // (the device went away, the connection ended), with *error its reason.
    virtual bool take(std::string* bytes, LineError* error) = 0;
    virtual void close() = 0;
};

// A port that nothing in the ports folder names: the system's own port n.
struct NumberedPort {
    std::string name;  // what opens it; empty when the system has none
    std::string shown; // what the user reads for it
};

class CommHost {
  public:
    virtual ~CommHost() = default;

    // The ports folder's com<n>, and how the system names its ports.
    virtual PortEntry portEntry(int n) const = 0;
    virtual ports::FolderStyle folderStyle() const = 0;
    // The simulated chip that made a link to target and has ended.
    virtual std::optional<long> staleOwner(int n, const std::string& target) const {
        (void)n;
        (void)target;
        return std::nullopt;
    }
    // The system's serial ports in order: port n is the n-th of them.
    virtual std::vector<std::string> systemPorts() const { return {}; }
    virtual NumberedPort numberedPort(int n) const {
        (void)n;
        return {};
    }

    // Opens a serial device at rate; null with *error on failure.
    virtual std::unique_ptr<CommLine> openSerial(const std::string& device, int rate,
                                                 LineError* error) = 0;
    // A network line to address, not yet connected.
    virtual std::unique_ptr<CommLine> makeNet(const NetAddress& address) = 0;

    // Runs call on the window's thread once the current event is done;
    // false when there is no window to run it.
    virtual bool post(std::function<void()> call) = 0;
    // Runs work on a thread of its own, then done on the window's thread;
    // false (and nothing runs) when there is no window to run done.
    virtual bool runInBackground(std::function<void()> work, std::function<void()> done) = 0;
};
