#include "sim/voice.h"

#include "sim/port_link.h"
#include "sim/report.h"

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace chipsim {

namespace {
// espeak-ng's own default rate: the chip's default speed [t4].
constexpr double kDefaultWordsPerMinute = 175;
// At most this many WAV files are written at once; beyond, we wait.
constexpr size_t kMostWriters = 4;

bool FindInPath(const char* name) {
    const char* path = std::getenv("PATH");
    std::string all = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find(':', start);
        if (end == std::string::npos)
            end = all.size();
        // An empty entry is the current folder.
        const std::string dir = end > start ? all.substr(start, end - start) : std::string(1, '.');
        if (access((dir + "/" + name).c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}
} // namespace

std::vector<std::string> VoiceArguments(const Attributes& attrs) {
    // The speaking time's factor, turned into a rate: slower speech, fewer
    // words per minute.
    const long wpm = std::lround(kDefaultWordsPerMinute / attrs.TimeFactor());
    // Volume 10 is espeak-ng's normal amplitude 100.
    return {"-v", "cmn", "-s", std::to_string(wpm), "-a", std::to_string(attrs.volume * 10)};
}

void Voice::enable(bool speak, const std::string& wavDir) {
    if (!speak && wavDir.empty())
        return;
    if (!FindInPath("espeak-ng")) {
        std::fputs(speak ? "note: espeak-ng is not installed, so --speak stays silent "
                           "(apt-get install espeak-ng)\n"
                         : "note: espeak-ng is not installed, so --wav writes no files "
                           "(apt-get install espeak-ng)\n",
                   stderr);
        if (speak && !wavDir.empty())
            std::fputs("note: nor does --wav write any files\n", stderr);
        return;
    }
    speak_ = speak;
    if (!wavDir.empty()) {
        if (MakeDirs(wavDir))
            wavDir_ = wavDir;
        else
            std::fprintf(stderr, "note: cannot create %s, so --wav writes no files\n",
                         wavDir.c_str());
    }
}

Voice::~Voice() {
    stop();
    while (!writers_.empty()) {
        waitpid(writers_.front(), nullptr, 0);
        writers_.pop_front();
    }
}

void Voice::handle(const VoiceEvent& e) {
    switch (e.kind) {
    case VoiceEvent::Start:
        if (!wavDir_.empty())
            writeWav(e);
        if (speak_) {
            stop();
            std::vector<std::string> args = VoiceArguments(e.attributes);
            args.insert(args.end(), {"--", e.utf8Text});
            pid_ = spawn(args);
        }
        break;
    case VoiceEvent::Stop:
        stop();
        break;
    case VoiceEvent::Pause:
        signal(SIGSTOP);
        break;
    case VoiceEvent::Resume:
        signal(SIGCONT);
        break;
    }
}

void Voice::writeWav(const VoiceEvent& e) {
    while (writers_.size() >= kMostWriters) {
        waitpid(writers_.front(), nullptr, 0);
        writers_.pop_front();
    }
    char name[32];
    std::snprintf(name, sizeof name, "/%04d.wav", ++wavCount_);
    const std::string file = wavDir_ + name;
    std::vector<std::string> args = VoiceArguments(e.attributes);
    args.insert(args.end(), {"-w", file, "--", e.utf8Text});
    const pid_t pid = spawn(args);
    if (pid > 0) {
        writers_.push_back(pid);
        Say("wav " + file + ": " + e.utf8Text);
    }
}

void Voice::reap() {
    if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == pid_)
        pid_ = -1;
    while (!writers_.empty() && waitpid(writers_.front(), nullptr, WNOHANG) == writers_.front())
        writers_.pop_front();
}

void Voice::stop() {
    if (pid_ <= 0)
        return;
    kill(pid_, SIGCONT);
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

void Voice::signal(int sig) {
    if (pid_ > 0)
        kill(pid_, sig);
}

pid_t Voice::spawn(const std::vector<std::string>& args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Our standard output carries the report lines only.
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("espeak-ng"));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, "espeak-ng", &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

} // namespace chipsim
