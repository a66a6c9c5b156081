// vxt4710-cli's usage line and --help, the parts that differ by platform
// put in where the text names them.
#include "core/cli_options.h"

namespace {

void Replace(std::string& text, std::string_view from, std::string_view to) {
    const std::size_t at = text.find(from);
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
}

constexpr const char* kHelp = R"(

Drives a VXT4710 text-to-speech chip over a serial line, frame for frame as the
console window does, and prints the window's work-log text for the traffic.

Commands:
  speak TEXT...         speak the words (UTF-8), piece by piece, each later piece
                        on the chip's idle reply 0x4F
  speak -f FILE         speak a file (UTF-8, with or without byte-order mark;
                        UTF-16 with a byte-order mark; GBK otherwise)
  speak -               speak standard input <STDIN>
      --music N         background music 0-15 for every piece (default 0)
      --no-wait         send the first piece only and end once it is written
      --confirm-idle    before each later piece ask the chip's status and send
                        the piece only when it answers idle (0x4F); on 0x4E
                        wait and ask again, bounded by --timeout
  stop | pause | resume | sleep
                        the control frames
  query                 ask the chip: status 0 when idle, 10 when speaking
  rate 9600|19200|38400 change the chip's rate; on its acceptance the port
                        follows at the new rate
  mark TEXT             a control mark: "mark v10" sends "[v10]"
  hex TEXT              a frame typed in hexadecimal ("fd 00 02 21"), checksum
                        appended; waits for what its command gets, as the named
                        command would (a query: the status); a frame of no known
                        command waits for 0x41 or 0x45
      --typed-checksum  send the bytes as typed, the last one the checksum
  ports                 COM1-COM20 and the device each stands for
  monitor --host PORT --chip PORT
                        watch a tapped line, reading only: what a controller
                        sends (the tap on its transmit line, --host) and what
                        the chip answers (--chip), one line per frame, status
                        byte or run of stray bytes, decoded and checked
                        (checksum, length, command, text, answers, timing);
                        both follow an accepted rate change; ends on Ctrl+C
                        (any termination signal) or --duration with a summary
      --duration SECONDS  stop watching after this long
  replay FILE           a pcapng capture's packets shown as monitor shows a
                        watch, findings included
  doctor                why a port does not work, and the fix: <DOCTOR>;
                        with --port, that port only

Options:
<PORT>
  --rate R              the computer's rate: 9600 (default), 19200 or 38400
  --timeout SECONDS     longest wait for each reply (default 60)
  --json                one JSON object per line for each frame sent and each
                        byte received, and a final result object
  --capture FILE        also write the traffic into FILE as it comes, a pcapng
                        capture (frames and status bytes, their times and
                        directions); not over an existing file unless
      --overwrite       is given
  --help, --version

Exit status:
  0 done; 1 the chip answered 0x45 (monitor: the controller broke a rule;
  doctor: something keeps a port from working);
  2 an awaited reply did not come in time;
  3 the port could not be opened or written; 10 query: the chip is speaking;
  11 speak: a status byte came that was not awaited, so a piece that ended on
  a 0x4F may have been cut short (--json names them in may_be_cut;
  --confirm-idle avoids this);
  64 bad usage or bad hex (a lone last digit too); 65 the text holds bytes
  that are no text (nothing sent), or a capture holds what cannot be read
  (what can be is shown); 66 the text file or the capture could not be read;
  73 the capture file could not be made or written;
<SIGNALS>

Examples:
<EXAMPLES>)";

constexpr const char* kLinuxPort =
    R"(  --port COM<n>|DEVICE  COM1 to COM20 as the window names them: the link
                        com<n> in the ports folder, else the system's n-th
                        serial port (then said on standard error); or any
                        device path, relative to the current folder; default
                        COM1. The ports folder:
                        <PORTS_FOLDER>
                        rfc2217://HOST:PORT and socket://HOST:PORT: a port
                        served over TCP on another machine (the rate is set
                        through the server with rfc2217:// only))";

constexpr const char* kLinuxSignals =
    R"(  71 a closed standard stream could not be opened on /dev/null;
  74 standard output could not be written (speak sends stop first);
  129, 130, 143 ended by SIGHUP, SIGINT (Ctrl+C), SIGTERM (speak sends stop
  first and waits a second at most for its acceptance; a second signal ends
  at once))";

constexpr const char* kLinuxExamples = R"(  vxt4710-cli --port /dev/ttyUSB0 speak -f intro.txt
  vxt4710-cli --port COM3 --rate 19200 speak --music 3 你好，欢迎使用
  vxt4710-cli query && echo idle
  vxt4710-cli --json hex "fd 00 02 21"
  vxt4710-cli mark v10
  vxt4710-cli monitor --host /dev/ttyUSB1 --chip /dev/ttyUSB2 --duration 60
  vxt4710-cli --port COM3 --capture talk.pcapng speak -f intro.txt
  vxt4710-cli replay talk.pcapng
  vxt4710-cli doctor --port /dev/ttyUSB0
)";

constexpr const char* kLinuxDoctor =
    R"(an adapter the braille daemon brltty
                        claimed or no driver serves, a port you may not open
                        (the group dialout), one another program holds or
                        ModemManager probes, an FTDI latency timer above 1 ms,
                        a COM name bound to a device that is gone)";

constexpr const char* kWindowsDoctor =
    R"(an adapter whose driver is missing,
                        a COM port another program holds, a COM name bound to
                        a device that is gone)";

constexpr const char* kWindowsPort =
    R"(  --port COM<n>|DEVICE  COM1 to COM20: the address in the file com<n> of the
                        ports folder, else the system's own port of that name
                        (\\.\COM<n>); or any other device name as given;
                        default COM1. The ports folder:
                        <PORTS_FOLDER>
                        rfc2217://HOST:PORT and socket://HOST:PORT: a port
                        served over TCP on another machine (the rate is set
                        through the server with rfc2217:// only))";

constexpr const char* kWindowsSignals =
    R"(  74 standard output could not be written (speak sends stop first);
  130 Ctrl+C, 143 Ctrl+Break, log-off or shut-down, 129 the console window
  closed (speak sends stop first and waits a second at most for its
  acceptance; a second Ctrl+C or Ctrl+Break ends at once)

Text: the command line is taken as typed, in any language; standard input
is read as UTF-8 unless it is the console itself (typed text then, ended by
Ctrl+Z and Enter). Output is UTF-8 into a file or a pipe, and the console's
own characters on the console; its lines end in LF.)";

constexpr const char* kWindowsExamples = R"(  vxt4710-cli --port COM3 speak -f intro.txt
  vxt4710-cli --port COM3 --rate 19200 speak --music 3 你好，欢迎使用
  vxt4710-cli query && echo idle
  vxt4710-cli --json hex "fd 00 02 21"
  vxt4710-cli mark v10
  vxt4710-cli monitor --host COM4 --chip COM5 --duration 60
  vxt4710-cli --port COM3 --capture talk.pcapng speak -f intro.txt
  vxt4710-cli replay talk.pcapng
  vxt4710-cli doctor --port COM3
)";

} // namespace

std::string UsageLine() {
    return "usage: vxt4710-cli [--port COM<n>|DEVICE] [--rate 9600|19200|38400] [--timeout "
           "SECONDS] "
           "[--json] [--capture FILE [--overwrite]] COMMAND [ARGS]";
}

std::string HelpText(CliPlatform platform, std::string_view portsFolder) {
    const bool windows = platform == CliPlatform::Windows;
    std::string text = UsageLine() + kHelp;
    Replace(text, "<STDIN>", windows ? "(UTF-8, or typed in the console)" : "(UTF-8)");
    Replace(text, "<DOCTOR>", windows ? kWindowsDoctor : kLinuxDoctor);
    Replace(text, "<PORT>", windows ? kWindowsPort : kLinuxPort);
    Replace(text, "<SIGNALS>", windows ? kWindowsSignals : kLinuxSignals);
    Replace(text, "<EXAMPLES>", windows ? kWindowsExamples : kLinuxExamples);
    Replace(text, "<PORTS_FOLDER>", portsFolder);
    return text;
}
