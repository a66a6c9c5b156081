// The simulated chip as a process, for end-to-end tests: the console's port n
// in a ports folder is tied to it, and what it reports is collected.
//
//   PortsFolder ports;
//   ChipSim chip(ports.path());            // COM1, speaking 100 times faster
//   ASSERT_TRUE(chip.started());
//   auto h = FormHarness::Real(ports.path());
//   ...
//   EXPECT_TRUE(chip.waitForLine("send 0x4F", 5000));
//
// Report lines of the simulator (one per line of its output):
//   "device /dev/pts/N"                      first, always
//   "recv FD 00 02 21 DE | query status"     one per frame received
//   "send 0x41"                              one per status byte written
//   "rate 19200 bit/s from now on"           after an accepted rate change
//   "speak <ms> ms: <text>", "done speaking", "skipped ...", "ignored ..."
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

class ChipSim {
  public:
    // Starts the built simulator as COM<n> in portsFolder, every speaking
    // time multiplied by timeScale, and waits (up to 5 s) for its device line.
    // extraArgs go to the simulator as well.
    explicit ChipSim(const QString& portsFolder, int n = 1, double timeScale = 0.01,
                     const QStringList& extraArgs = {});
    // Terminates the simulator (it removes its link) and waits for it.
    ~ChipSim();
    ChipSim(const ChipSim&) = delete;
    ChipSim& operator=(const ChipSim&) = delete;

    // The simulator runs and printed its device line.
    bool started() const { return !device_.isEmpty(); }
    // The chip has sent its power-up 0x4A: a program that opens the port
    // later finds no status byte it did not await.
    bool poweredUp(int timeoutMs = 20000) {
        return waitForLine(QStringLiteral("send 0x4A"), timeoutMs);
    }
    // "/dev/pts/N", or empty when it did not start.
    QString device() const { return device_; }
    // Every line printed so far (Qt events are processed to collect them).
    QStringList lines();
    // Processes Qt events until a line containing substr has been printed
    // (also one printed earlier), or timeoutMs passed.
    bool waitForLine(const QString& substr, int timeoutMs);

    // The process itself, for tests of the simulator (kill, exit code...).
    QProcess& process() { return process_; }
    // Everything written to standard error so far.
    QString errors();

  private:
    void collect();

    QProcess process_;
    QString device_;
    QStringList lines_;
    QByteArray partial_;
    QByteArray errors_;
};
