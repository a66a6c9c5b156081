// The simulator's report: one line per event on standard output, which
// tests and people read.
#pragma once

#include <cstdint>
#include <string>

namespace chipsim {

// --report-times: every line starts with the wall-clock time in milliseconds
// since the epoch and a blank.
void SetReportTimes(bool on);
void Say(const std::string& line);
// Monotonic milliseconds, the chip's clock.
int64_t NowMs();

} // namespace chipsim
