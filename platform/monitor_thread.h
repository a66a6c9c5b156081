// The monitor window's reading thread: it opens both taps by the names the
// user gave (through the system's command-line services, as vxt4710-cli
// monitor does) and runs the watch until stopped, so that reading never
// waits for the window. A tap that cannot be opened ends the watch with its
// message (WindowWatch::take).
#pragma once

#include "core/cli_run.h"
#include "core/monitor_view.h"
#include "platform/wake_event.h"

#include <functional>
#include <memory>
#include <string>
#include <thread>

class MonitorThread {
  public:
    using MakeSystem = std::function<std::unique_ptr<CliSystem>()>;

    // Starts at once; rate in bit/s.
    MonitorThread(MakeSystem makeSystem, std::string host, std::string chip, int rate,
                  WindowWatch& watch);
    // Stops the watch and waits for the thread (a network tap still
    // connecting is waited for).
    ~MonitorThread();
    MonitorThread(const MonitorThread&) = delete;
    MonitorThread& operator=(const MonitorThread&) = delete;

    // Asks the watch to end; take() shows ended once it has.
    void stop();

  private:
    WakeEvent stop_;
    std::thread thread_;
};
