#include "sim/report.h"

#include <chrono>
#include <cstdio>

namespace chipsim {

namespace {
bool g_reportTimes = false;
}

void SetReportTimes(bool on) {
    g_reportTimes = on;
}

void Say(const std::string& line) {
    if (g_reportTimes) {
        // Wall-clock time, so that a test can set the chip's view of the
        // traffic beside the console's.
        using namespace std::chrono;
        const auto wall =
            duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
        std::fprintf(stdout, "%lld ", static_cast<long long>(wall));
    }
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace chipsim
