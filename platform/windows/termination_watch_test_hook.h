// For the tests only: the console control handler called directly, as the
// system calls it on a thread of its own. GenerateConsoleCtrlEvent raises
// Ctrl+C and Ctrl+Break only, and only with a console attached; a closed
// console, log-off and shut-down have no way to be raised at all.
#pragma once

namespace termination::test {

// ctrlType is CTRL_C_EVENT ... CTRL_SHUTDOWN_EVENT; returns what the handler
// tells the system (nonzero: handled, zero: the next handler's turn).
int DeliverControlEvent(unsigned long ctrlType);

// Whether the system's list of control handlers holds the watch's handler.
bool HandlerRegistered();

} // namespace termination::test
