// A tap on the simulated chip's line, as a tap cable gives it: one more
// pseudo-terminal onto which every byte of one direction is copied (what the
// controller sends, or what the chip answers), linked as a COM name so that
// a monitor can open it like any port. A tap carries nothing back: bytes a
// monitor writes are reported and go nowhere.
#pragma once

#include "sim/port_link.h"
#include "sim/pty_line.h"

#include <string>
#include <string_view>

namespace chipsim {

class TapLine {
  public:
    // label: "host" or "chip", for the report lines.
    explicit TapLine(std::string label) : label_(std::move(label)) {}
    // A new pseudo-terminal linked as COM<n> in folder; false (with a
    // message on standard error) when either cannot be made.
    bool open(const std::string& folder, int n);
    bool isOpen() const { return line_.isOpen(); }
    // The descriptor to poll for bytes written onto the tap (-1: none).
    int master() const { return line_.master(); }
    // Copies bytes onto the tap. A monitor that reads nothing loses the
    // oldest of what it did not take, never the chip's line.
    void copy(std::string_view bytes);
    // Reads what was written onto the tap and reports it.
    void drain();
    void close();

  private:
    std::string label_;
    PtyLine line_;
    PortLink link_;
};

} // namespace chipsim
