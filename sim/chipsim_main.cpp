// vxt4710-chipsim: a simulated chip on a pseudo-terminal, so that the console
// can be tried and tested without the hardware. See --help.
#include "sim/chip_model.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

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
    "                    and removes it again on exit (a link that was there before\n"
    "                    is put back)\n"
    "  --ports-dir DIR   the ports folder (default: $XDG_CONFIG_HOME/vxt4710/ports,\n"
    "                    or ~/.config/vxt4710/ports)\n"
    "  --time-scale X    multiply every speaking time by X (default 1; 0.01 for fast\n"
    "                    tests). Speaking takes 250 ms per Chinese character and\n"
    "                    100 ms per other visible character; control marks such as\n"
    "                    [v10] take no time\n"
    "  --speak           also say each text aloud through espeak-ng (Mandarin voice),\n"
    "                    when it is installed\n"
    "  --quit-on-eof     exit when standard input reaches its end (a parent process\n"
    "                    that dies takes the simulator with it)\n"
    "  --report-times    start every report line with the wall-clock time in\n"
    "                    milliseconds since the epoch and a blank\n"
    "  --version         print the version and exit\n"
    "  --help            show this text\n"
    "\n"
    "The chip answers 0x4A once at start; 0x41 for a complete frame with header FD,\n"
    "the right length and checksum and a known command (01 02 03 04 21 31 88), else\n"
    "0x45; 0x4F when a text has been spoken or stopped; the status query (21) gets\n"
    "0x4E while speaking or paused, 0x4F when idle. After set rate (31) it listens\n"
    "only at the new rate, which it reads from the line settings the console made.\n"
    "A frame cut short is dropped after 200 ms. It starts at 9600 bit/s.\n";

int g_signalPipe[2] = {-1, -1};

void OnSignal(int sig) {
    const unsigned char b = static_cast<unsigned char>(sig);
    [[maybe_unused]] ssize_t r = write(g_signalPipe[1], &b, 1);
}

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// --report-times: every report line starts with the wall-clock time in
// milliseconds since the epoch, so that a test can set the chip's view of the
// traffic beside the console's.
bool g_reportTimes = false;

void Say(const std::string& line) {
    if (g_reportTimes) {
        using namespace std::chrono;
        const auto wall =
            duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
        std::fprintf(stdout, "%lld ", static_cast<long long>(wall));
    }
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int RateOf(speed_t s) {
    switch (s) {
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    default:
        return 0;
    }
}

// On Linux the master side reports the settings the console made on its side.
int LineRate(int master) {
    termios tio{};
    if (tcgetattr(master, &tio) != 0)
        return 0;
    return RateOf(cfgetospeed(&tio));
}

bool FindInPath(const char* name) {
    const char* path = std::getenv("PATH");
    std::string all = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find(':', start);
        if (end == std::string::npos)
            end = all.size();
        std::string dir = all.substr(start, end - start);
        if (dir.empty())
            dir = ".";
        if (access((dir + "/" + name).c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

// The voice: one espeak-ng process at a time, never waited for.
class Voice {
  public:
    void enable() {
        enabled_ = FindInPath("espeak-ng");
        if (!enabled_)
            std::fputs("note: espeak-ng is not installed, so --speak stays silent "
                       "(apt-get install espeak-ng)\n",
                       stderr);
    }
    void handle(const chipsim::VoiceEvent& e) {
        if (!enabled_)
            return;
        switch (e.kind) {
        case chipsim::VoiceEvent::Start:
            stop();
            start(e.utf8Text);
            break;
        case chipsim::VoiceEvent::Stop:
            stop();
            break;
        case chipsim::VoiceEvent::Pause:
            signal(SIGSTOP);
            break;
        case chipsim::VoiceEvent::Resume:
            signal(SIGCONT);
            break;
        }
    }
    void reap() {
        if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == pid_)
            pid_ = -1;
    }
    void stop() {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGCONT);
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

  private:
    void signal(int sig) {
        if (pid_ > 0)
            kill(pid_, sig);
    }
    void start(const std::string& text) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        // Our standard output carries the report lines only.
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        const char* argv[] = {"espeak-ng", "-v", "cmn", "--", text.c_str(), nullptr};
        pid_t pid = -1;
        if (posix_spawnp(&pid, "espeak-ng", &actions, nullptr, const_cast<char* const*>(argv),
                         environ) == 0)
            pid_ = pid;
        posix_spawn_file_actions_destroy(&actions);
    }
    bool enabled_ = false;
    pid_t pid_ = -1;
};

// The link com<n> in the ports folder, put in place and taken away again.
class PortLink {
  public:
    bool make(const std::string& folder, int n, const std::string& device) {
        if (!MakeDirs(folder)) {
            std::fprintf(stderr, "vxt4710-chipsim: cannot create the ports folder %s: %s\n",
                         folder.c_str(), std::strerror(errno));
            return false;
        }
        path_ = folder + "/com" + std::to_string(n);
        device_ = device;
        struct stat st {};
        if (lstat(path_.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                std::fprintf(stderr,
                             "vxt4710-chipsim: %s exists and is no link; not replacing it\n",
                             path_.c_str());
                return false;
            }
            const std::string old = ReadLink(path_);
            // A pseudo-terminal of an earlier run is gone; anything else (a
            // real adapter) is put back when we exit.
            if (old.rfind("/dev/pts/", 0) != 0)
                previous_ = old;
            unlink(path_.c_str());
        }
        if (symlink(device.c_str(), path_.c_str()) != 0) {
            std::fprintf(stderr, "vxt4710-chipsim: cannot link %s: %s\n", path_.c_str(),
                         std::strerror(errno));
            path_.clear();
            return false;
        }
        Say("linked COM" + std::to_string(n) + ": " + path_ + " -> " + device);
        if (!previous_.empty())
            Say("(the earlier link to " + previous_ + " comes back on exit)");
        return true;
    }
    void remove() {
        if (path_.empty())
            return;
        // Only our own link: another simulator may have taken the port over.
        if (ReadLink(path_) == device_) {
            unlink(path_.c_str());
            if (!previous_.empty()) [[maybe_unused]]
                int r = symlink(previous_.c_str(), path_.c_str());
        }
        path_.clear();
    }

  private:
    static std::string ReadLink(const std::string& path) {
        char buf[PATH_MAX];
        const ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
        return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
    }
    static bool MakeDirs(const std::string& dir) {
        for (size_t i = 1; i <= dir.size(); ++i) {
            if (i == dir.size() || dir[i] == '/') {
                const std::string part = dir.substr(0, i);
                if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
                    return false;
            }
        }
        struct stat st {};
        return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    std::string path_, device_, previous_;
};

std::string DefaultPortsFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg && *xdg) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home ? home : "") + "/.config";
    }
    return base + "/vxt4710/ports";
}

struct Options {
    int comPort = 0; // 0: no link
    std::string portsDir;
    double timeScale = 1.0;
    bool speak = false;
    bool quitOnEof = false;
};

[[noreturn]] void BadUsage(const std::string& why) {
    std::fprintf(stderr, "vxt4710-chipsim: %s\nTry 'vxt4710-chipsim --help'.\n", why.c_str());
    std::exit(2);
}

Options ParseOptions(int argc, char** argv) {
    Options o;
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
            char* end = nullptr;
            const bool com =
                v.size() > 3 && (v.compare(0, 3, "COM") == 0 || v.compare(0, 3, "com") == 0);
            const long n = com ? std::strtol(v.c_str() + 3, &end, 10) : 0;
            if (!com || *end != '\0' || n < 1 || n > 20)
                BadUsage("--as wants COM1 to COM20, not '" + v + "'");
            o.comPort = static_cast<int>(n);
        } else if (a == "--ports-dir") {
            o.portsDir = value();
            if (o.portsDir.empty())
                BadUsage("--ports-dir wants a folder");
        } else if (a == "--time-scale") {
            const std::string v = value();
            char* end = nullptr;
            o.timeScale = std::strtod(v.c_str(), &end);
            if (v.empty() || *end != '\0' || !(o.timeScale >= 0) || o.timeScale > 1000)
                BadUsage("--time-scale wants a number from 0 to 1000, not '" + v + "'");
        } else if (a == "--speak") {
            o.speak = true;
        } else if (a == "--quit-on-eof") {
            o.quitOnEof = true;
        } else if (a == "--report-times") {
            g_reportTimes = true;
        } else {
            BadUsage("unknown option '" + a + "'");
        }
    }
    if (o.portsDir.empty())
        o.portsDir = DefaultPortsFolder();
    return o;
}

// Status bytes on their way to the console. Bounded: a console that never
// reads must not make us grow without end.
constexpr size_t kOutputLimit = 4096;
constexpr int64_t kUnlockEveryMs = 500;

} // namespace

int main(int argc, char** argv) {
    const Options opt = ParseOptions(argc, argv);

    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::fprintf(stderr, "vxt4710-chipsim: no pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    const char* slaveName = ptsname(master);
    const std::string device = slaveName ? slaveName : "";
    // Our own descriptor of the console's side keeps the line up while the
    // console opens and closes its port, and holds the line settings.
    const int keeper = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (device.empty() || keeper < 0) {
        std::fprintf(stderr, "vxt4710-chipsim: cannot open %s: %s\n", device.c_str(),
                     std::strerror(errno));
        return 1;
    }
    termios tio{};
    tcgetattr(keeper, &tio);
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    tcsetattr(keeper, TCSANOW, &tio);

    Say("device " + device);

    if (pipe(g_signalPipe) != 0)
        return 1;
    fcntl(g_signalPipe[0], F_SETFL, O_NONBLOCK);
    fcntl(g_signalPipe[1], F_SETFL, O_NONBLOCK);
    // The voice process gets none of our descriptors.
    for (const int fd : {master, keeper, g_signalPipe[0], g_signalPipe[1]})
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    PortLink link;
    if (opt.comPort > 0 && !link.make(opt.portsDir, opt.comPort, device))
        return 1;

    Voice voice;
    if (opt.speak)
        voice.enable();

    char scale[64];
    std::snprintf(scale, sizeof scale, "time scale %g", opt.timeScale);
    Say(scale);

    chipsim::ChipModel chip(opt.timeScale);
    chip.Start(NowMs());

    std::deque<unsigned char> outQueue;
    bool quit = false;
    int64_t nextUnlockMs = 0;
    int64_t masterQuietUntil = 0; // back off after a hang-up on the master
    while (!quit) {
        for (const std::string& line : chip.TakeLines())
            Say(line);
        for (const chipsim::VoiceEvent& e : chip.TakeVoice())
            voice.handle(e);
        for (const char c : chip.TakeBytes()) {
            if (outQueue.size() >= kOutputLimit) {
                char note[64];
                std::snprintf(note, sizeof note, "dropped 0x%02X: the console reads nothing",
                              static_cast<unsigned char>(c));
                Say(note);
                continue;
            }
            outQueue.push_back(static_cast<unsigned char>(c));
        }
        while (!outQueue.empty()) {
            const unsigned char b = outQueue.front();
            if (write(master, &b, 1) != 1)
                break; // full (EAGAIN): try again shortly
            outQueue.pop_front();
            char sent[32];
            std::snprintf(sent, sizeof sent, "send 0x%02X", b);
            Say(sent);
        }
        voice.reap();

        const int64_t now = NowMs();
        if (now >= nextUnlockMs) {
            // A console that was killed leaves its side of the line marked
            // exclusive, and only root could open it again. Consoles still
            // keep out of each other's way through their lock files.
            ioctl(keeper, TIOCNXCL);
            nextUnlockMs = now + kUnlockEveryMs;
        }
        int timeout = -1;
        const int64_t deadline = chip.NextDeadline();
        if (deadline >= 0)
            timeout =
                static_cast<int>(std::min<int64_t>(std::max<int64_t>(deadline - now, 0), 60000));
        if (!outQueue.empty())
            timeout = timeout < 0 ? 20 : std::min(timeout, 20);
        // Come back in time to reap the voice and unlock the line.
        const int housekeeping = static_cast<int>(std::max<int64_t>(nextUnlockMs - now, 0));
        timeout = timeout < 0 ? housekeeping : std::min(timeout, housekeeping);

        pollfd fds[3];
        nfds_t nfds = 0;
        const bool watchMaster = now >= masterQuietUntil;
        if (!watchMaster)
            timeout = timeout < 0 ? 100 : std::min(timeout, 100);
        fds[nfds++] = {g_signalPipe[0], POLLIN, 0};
        const nfds_t masterSlot = nfds;
        fds[nfds++] = {watchMaster ? master : -1, POLLIN, 0};
        const nfds_t stdinSlot = nfds;
        fds[nfds++] = {opt.quitOnEof ? STDIN_FILENO : -1, POLLIN, 0};

        const int ready = poll(fds, nfds, timeout);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0 && (fds[0].revents & POLLIN))
            quit = true;
        if (ready > 0 && fds[stdinSlot].revents) {
            char buf[256];
            const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
            if (n <= 0)
                quit = true;
        }
        if (ready > 0 && fds[masterSlot].revents) {
            char buf[4096];
            const ssize_t n = read(master, buf, sizeof buf);
            if (n > 0)
                chip.Feed(std::string_view(buf, static_cast<size_t>(n)), LineRate(master), NowMs());
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                masterQuietUntil = NowMs() + 100; // no reader on the far side
        }
        chip.Tick(NowMs());
    }

    for (const std::string& line : chip.TakeLines())
        Say(line);
    voice.stop();
    link.remove();
    Say("bye");
    close(keeper);
    close(master);
    return 0;
}
