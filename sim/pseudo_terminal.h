// Pseudo-terminals, made one way: the simulated chip's line, and the far ends
// of lines in the tests (a chip's end, a port server's device). POSIX, no Qt.
#pragma once

#include <string>
#include <termios.h>

namespace chipsim {

// A new pseudo-terminal's master side, opened O_RDWR | O_NOCTTY | flags,
// granted and unlocked, with the name of its far side in *device; -1 when
// none can be made (errno says why).
int OpenPseudoTerminal(int flags, std::string* device);

// A termios speed in bit/s, 0 when it is none of the rates a line here uses.
// On Linux a master reports the speed set on its far side.
int RateOf(speed_t speed);

} // namespace chipsim
