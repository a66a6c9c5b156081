#include "sim/tap_line.h"

#include "sim/chip_model.h"
#include "sim/report.h"

#include <unistd.h>

namespace chipsim {

bool TapLine::open(const std::string& folder, int n) {
    if (!line_.open())
        return false;
    if (!link_.make(folder, n, line_.device())) {
        line_.close();
        return false;
    }
    Say("tap " + label_ + " device " + line_.device() + " as COM" + std::to_string(n));
    return true;
}

void TapLine::copy(std::string_view bytes) {
    if (!line_.isOpen() || bytes.empty())
        return;
    // Non-blocking: when the monitor's side is full, the rest is not copied.
    (void)::write(line_.master(), bytes.data(), bytes.size());
}

void TapLine::drain() {
    char buf[256];
    const ssize_t n = line_.isOpen() ? ::read(line_.master(), buf, sizeof buf) : -1;
    if (n > 0)
        Say("tap " + label_ + ": the monitor wrote " +
            ChipModel::HexOf(std::string(buf, static_cast<size_t>(n))) +
            " (a tap carries nothing back)");
}

void TapLine::close() {
    link_.remove();
    line_.close();
}

} // namespace chipsim
