#include "platform/monitor_thread.h"

MonitorThread::MonitorThread(MakeSystem makeSystem, std::string host, std::string chip, int rate,
                             WindowWatch& watch) {
    thread_ = std::thread([this, makeSystem = std::move(makeSystem), host = std::move(host),
                           chip = std::move(chip), rate, &watch] {
        if (!stop_.valid()) {
            watch.failBeforeStart("the watch cannot be started: the system has no more handles");
            return;
        }
        const std::unique_ptr<CliSystem> system = makeSystem();
        std::string failure;
        if (!OpenTaps(*system, host, chip, rate, &failure, {})) {
            watch.failBeforeStart(failure);
            return;
        }
        if (stop_.isSet()) {
            watch.interrupt(0);
            return;
        }
        watch.start();
        system->runMonitor(watch, &stop_);
    });
}

MonitorThread::~MonitorThread() {
    stop();
    if (thread_.joinable())
        thread_.join();
}

void MonitorThread::stop() {
    stop_.set();
}
