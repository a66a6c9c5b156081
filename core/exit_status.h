// The command-line program's exit statuses: each means one thing.
#pragma once

namespace ExitStatus {
constexpr int Ok = 0;
constexpr int Rejected = 1;  // the chip answered 0x45
constexpr int Findings = 1;  // monitor: the controller broke a rule of the chip's
constexpr int PortTrouble = 1; // doctor: something keeps a port from working
constexpr int Timeout = 2;   // an awaited reply did not come in time
constexpr int Port = 3;      // the port could not be opened or written
constexpr int Speaking = 10; // query: the chip answered 0x4E
// speak: a status byte came that was not awaited, so a stray 0x4F may have
// been taken for a piece's idle reply and the next piece may have cut it short.
constexpr int MaybeCut = 11;
constexpr int Usage = 64;    // bad usage, bad hex, a mark or text that cannot be sent
// The text holds bytes that are no text (nothing sent), or a capture holds
// what cannot be read (what can be is shown).
constexpr int DataError = 65;
constexpr int NoInput = 66;  // the text file, the capture or standard input could not be read
constexpr int CannotCreate = 73; // --capture's file could not be made or written
constexpr int Output = 74;   // standard output could not be written (a closed pipe)
// A termination signal ends the run with 128 + its number, as a shell reports
// a program the signal killed: SIGHUP 129, SIGINT 130, SIGTERM 143.
constexpr int SignalBase = 128;
constexpr int HungUp = 129;
constexpr int Interrupted = 130;
constexpr int Terminated = 143;
} // namespace ExitStatus
