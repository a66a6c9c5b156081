#include "sim/options.h"

#include "sim/report.h"

#include "core/port_names.h"
#include "platform/files.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace chipsim {

namespace {

const char kUsage[] =
    "Usage: vxt4710-chipsim [options]\n"
    "\n"
    "A simulated VXT4710 chip on a pseudo-terminal. The first line printed is\n"
    "\"device /dev/pts/N\"; after it, one line per frame received and per byte sent.\n"
    "\n"
    "Options:\n"
    "  --as COM<n>       tie the console's port n (1..20) to the simulator: makes the\n"
    "                    link com<n> in the ports folder point at the pseudo-terminal,\n"
    "                    and on exit puts back exactly what was there before. A COM\n"
    "                    name that another running simulator holds is refused (exit\n"
    "                    status 1); a link left by one that was killed is replaced\n"
    "                    (the record .com<n>.owner beside the link says whose it is)\n"
    "  --tap-host COM<n> a tap of the line, as a tap cable gives it: one more\n"
    "                    pseudo-terminal, linked as COM<n>, carrying a copy of every\n"
    "                    byte the controller sends, for a monitor to read\n"
    "  --tap-chip COM<n> likewise, every byte the chip sends (answers and noise)\n"
    "  --ports-dir DIR   the ports folder (default: $XDG_CONFIG_HOME/vxt4710/ports,\n"
    "                    or ~/.config/vxt4710/ports)\n"
    "  --time-scale X    multiply every speaking time by X (default 1; 0.01 for fast\n"
    "                    tests)\n"
    "  --line-timing     time on the wire: a byte takes 10 bits' time at the line's\n"
    "                    rate (206 bytes at 9600 bit/s: 214.6 ms); the chip acts on a\n"
    "                    frame when its last byte has arrived, and its answers leave\n"
    "                    10 bits' time apart. Without it everything is instant\n"
    "  --speak           also say each text aloud through espeak-ng (Mandarin voice),\n"
    "                    at the chip's speed and volume, when it is installed\n"
    "  --wav DIR         write each spoken text as DIR/0001.wav, 0002.wav... through\n"
    "                    espeak-ng (the folder is made when missing)\n"
    "  --quit-on-eof     exit when standard input reaches its end (a parent process\n"
    "                    that dies takes the simulator with it)\n"
    "  --report-times    start every report line with the wall-clock time in\n"
    "                    milliseconds since the epoch and a blank\n"
    "  --version         print the version and exit\n"
    "  --help            show this text\n"
    "\n"
    "Faults on demand (P is a fraction from 0 to 1; each fault is reported as a\n"
    "line starting with \"fault:\"):\n"
    "  --seed N          seed of every random choice, so that a run repeats exactly\n"
    "                    (default: taken from the clock and printed)\n"
    "  --reject P        answer 0x45 to a fraction P of good frames, which the chip\n"
    "                    then ignores\n"
    "  --mute P          give no answer at all to a fraction P of frames (the chip\n"
    "                    still acts on them: a text is spoken, idle comes after it)\n"
    "  --drop-idle P     never report idle (0x4F) after a fraction P of texts\n"
    "  --garble P        flip one bit of a fraction P of the bytes sent\n"
    "  --noise BPS       random bytes on the line between answers, BPS bytes per\n"
    "                    second, at most what the line's rate carries (rate / 10)\n"
    "  --unplug-after S  the line goes away after S seconds: the pseudo-terminal\n"
    "                    closes and the link com<n> points at a name that exists\n"
    "                    nowhere (as an adapter's name vanishes with the adapter)\n"
    "  --replug-after S  S seconds after the unplug a new pseudo-terminal appears\n"
    "                    behind the same link\n"
    "\n"
    "The chip answers 0x4A once at start; 0x41 for a complete frame with header FD,\n"
    "the right length and checksum and a known command (01 02 03 04 21 31 88), else\n"
    "0x45; 0x4F when a text has been spoken or stopped; the status query (21) gets\n"
    "0x4E while speaking or paused, 0x4F when idle. After set rate (31) it listens\n"
    "only at the new rate, which it reads from the line settings the console made.\n"
    "A frame cut short is dropped after 200 ms. It starts at 9600 bit/s.\n"
    "\n"
    "Control marks, as a frame of their own or inside a text, set the attributes:\n"
    "[v0]-[v16] volume, [m0]-[m16] background volume, [t0]-[t5] speed, [o0]\n"
    "natural and [o1] word-by-word reading, [d] the defaults (v10 m4 t4 o0), [r] a\n"
    "surname; an unknown mark is reported and ignored. Speaking takes 250 ms per\n"
    "Chinese character and 100 ms per other visible character at [t4] [o0]; at\n"
    "speed t each character takes (10 - t) / 6 of that, word-by-word 1.5 times as\n"
    "long; marks take no time. Every frame's report line ends with the attributes\n"
    "after it (\"| now v10 m4 t4 o0\").\n"
    "\n"
    "Examples:\n"
    "  vxt4710-chipsim --as COM1 --line-timing --speak\n"
    "  vxt4710-chipsim --as COM1 --seed 7 --reject 0.1 --mute 0.05 --drop-idle 0.2\n"
    "  vxt4710-chipsim --as COM1 --unplug-after 10 --replug-after 5\n"
    "  vxt4710-chipsim --as COM1 --line-timing --noise 3840\n"
    "  vxt4710-chipsim --as COM1 --tap-host COM2 --tap-chip COM3\n";

[[noreturn]] void BadUsage(const std::string& why) {
    std::fprintf(stderr, "vxt4710-chipsim: %s\nTry 'vxt4710-chipsim --help'.\n", why.c_str());
    std::exit(2);
}

double Number(const std::string& option, const std::string& v, double lo, double hi,
              const char* what) {
    char* end = nullptr;
    const double x = std::strtod(v.c_str(), &end);
    if (v.empty() || *end != '\0' || !(x >= lo) || !(x <= hi))
        BadUsage(option + " wants " + what + ", not '" + v + "'");
    return x;
}

} // namespace

Options ParseOptions(int argc, char** argv) {
    Options o;
    constexpr const char* kFraction = "a fraction from 0 to 1";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                BadUsage(a + " needs a value");
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (a == "--version") {
            std::printf("vxt4710-chipsim %s\n", VXT4710_VERSION);
            std::exit(0);
        } else if (a == "--as") {
            const std::string v = value();
            const int n = ComNumberOf(v);
            if (n <= 0)
                BadUsage("--as wants COM1 to COM20, not '" + v + "'");
            o.comPort = n;
        } else if (a == "--tap-host" || a == "--tap-chip") {
            const std::string v = value();
            const int n = ComNumberOf(v);
            if (n <= 0)
                BadUsage(a + " wants COM1 to COM20, not '" + v + "'");
            (a == "--tap-host" ? o.tapHost : o.tapChip) = n;
        } else if (a == "--ports-dir") {
            o.portsDir = value();
            if (o.portsDir.empty())
                BadUsage("--ports-dir wants a folder");
        } else if (a == "--time-scale") {
            o.chip.timeScale = Number(a, value(), 0, 1000, "a number from 0 to 1000");
        } else if (a == "--line-timing") {
            o.chip.lineTiming = true;
        } else if (a == "--speak") {
            o.speak = true;
        } else if (a == "--wav") {
            o.wavDir = value();
            if (o.wavDir.empty())
                BadUsage("--wav wants a folder");
        } else if (a == "--quit-on-eof") {
            o.quitOnEof = true;
        } else if (a == "--report-times") {
            SetReportTimes(true);
        } else if (a == "--seed") {
            const std::string v = value();
            char* end = nullptr;
            const unsigned long long n = std::strtoull(v.c_str(), &end, 10);
            if (v.empty() || v[0] == '-' || *end != '\0')
                BadUsage("--seed wants a whole number from 0, not '" + v + "'");
            o.chip.seed = n;
            o.seedGiven = true;
        } else if (a == "--reject") {
            o.chip.faults.reject = Number(a, value(), 0, 1, kFraction);
        } else if (a == "--mute") {
            o.chip.faults.mute = Number(a, value(), 0, 1, kFraction);
        } else if (a == "--drop-idle") {
            o.chip.faults.dropIdle = Number(a, value(), 0, 1, kFraction);
        } else if (a == "--garble") {
            o.chip.faults.garble = Number(a, value(), 0, 1, kFraction);
        } else if (a == "--noise") {
            o.noisePerSecond = Number(a, value(), 0, 1e9, "bytes per second (0 or more)");
        } else if (a == "--unplug-after") {
            o.unplugAfterS = Number(a, value(), 0, 1e7, "seconds (0 or more)");
        } else if (a == "--replug-after") {
            o.replugAfterS = Number(a, value(), 0, 1e7, "seconds (0 or more)");
        } else {
            BadUsage("unknown option '" + a + "'");
        }
    }
    const bool clash = (o.tapHost > 0 && (o.tapHost == o.comPort || o.tapHost == o.tapChip)) ||
                       (o.tapChip > 0 && o.tapChip == o.comPort);
    if (clash)
        BadUsage("the line and its taps want different COM names");
    if (o.replugAfterS >= 0 && o.unplugAfterS < 0)
        BadUsage("--replug-after needs --unplug-after");
    if (o.portsDir.empty())
        o.portsDir = files::PortsFolder();
    if (!o.seedGiven)
        o.chip.seed =
            static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
    return o;
}

} // namespace chipsim
