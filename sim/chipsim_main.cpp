// vxt4710-chipsim: a simulated chip on a pseudo-terminal, so that the console
// can be tried and tested without the hardware. See --help.
#include "platform/standard_streams.h"
#include "platform/termination_watch.h"
#include "sim/chip_model.h"
#include "sim/line_sender.h"
#include "sim/options.h"
#include "sim/port_link.h"
#include "sim/pty_line.h"
#include "sim/report.h"
#include "sim/tap_line.h"
#include "sim/voice.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

using namespace chipsim;

namespace {

constexpr int64_t kUnlockEveryMs = 500;
// Bytes written by the console that are still on their way to the chip: past
// this many we stop reading, and the console's writes wait in the line.
constexpr size_t kMostInFlight = 4096;

std::string Describe(const Options& o) {
    const ChipFaults& f = o.chip.faults;
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "faults: seed %llu, reject %g, mute %g, drop-idle %g, garble %g, noise %g "
                  "bytes/s",
                  static_cast<unsigned long long>(o.chip.seed), f.reject, f.mute, f.dropIdle,
                  f.garble, o.noisePerSecond);
    return buf;
}

bool AnyFault(const Options& o) {
    const ChipFaults& f = o.chip.faults;
    return f.reject > 0 || f.mute > 0 || f.dropIdle > 0 || f.garble > 0 || o.noisePerSecond > 0;
}

int64_t AfterSeconds(int64_t from, double s) {
    return from + static_cast<int64_t>(std::llround(s * 1000));
}

} // namespace

int main(int argc, char** argv) {
    if (!OpenStandardStreams())
        return kNoStandardStreamsStatus;
    const Options opt = ParseOptions(argc, argv);

    PtyLine line;
    if (!line.open())
        return 1;
    Say("device " + line.device());
    // A termination signal arrives on this descriptor and ends the loop below.
    const int signalFd = termination::Install();
    if (signalFd < 0)
        return 1;

    PortLink link;
    if (opt.comPort > 0 && !link.make(opt.portsDir, opt.comPort, line.device()))
        return 1;

    TapLine tapHost("host"), tapChip("chip");
    if (opt.tapHost > 0 && !tapHost.open(opt.portsDir, opt.tapHost))
        return 1;
    if (opt.tapChip > 0 && !tapChip.open(opt.portsDir, opt.tapChip))
        return 1;

    Voice voice;
    voice.enable(opt.speak, opt.wavDir);

    char scale[64];
    std::snprintf(scale, sizeof scale, "time scale %g", opt.chip.timeScale);
    Say(scale);
    if (opt.chip.lineTiming)
        Say("line timing: 10 bits per byte at the line's rate");
    if (AnyFault(opt))
        Say(Describe(opt));
    if (opt.noisePerSecond > 3840)
        std::fprintf(stderr,
                     "note: --noise %g is more than any line carries; at most rate / 10 bytes "
                     "per second go out\n",
                     opt.noisePerSecond);

    ChipModel chip(opt.chip);
    LineSender sender(opt.chip.lineTiming, opt.noisePerSecond, opt.chip.seed);
    if (tapChip.isOpen())
        sender.setTap([&tapChip](std::string_view bytes) { tapChip.copy(bytes); });
    const int64_t started = NowMs();
    chip.Start(started);

    int64_t unplugAt = opt.unplugAfterS >= 0 ? AfterSeconds(started, opt.unplugAfterS) : -1;
    int64_t replugAt = -1;
    bool quit = false;
    int64_t nextUnlockMs = 0;
    int64_t masterQuietUntil = 0; // back off after a hang-up on the master
    while (!quit) {
        for (const std::string& l : chip.TakeLines())
            Say(l);
        for (const VoiceEvent& e : chip.TakeVoice())
            voice.handle(e);
        const std::string answers = chip.TakeBytes();
        if (line.isOpen()) {
            sender.queue(answers);
        } else {
            for (const char c : answers) {
                char note[64];
                std::snprintf(note, sizeof note, "dropped 0x%02X: the line is unplugged",
                              static_cast<unsigned char>(c));
                Say(note);
            }
        }
        int64_t now = NowMs();
        int timeout = line.isOpen() ? sender.pump(line.master(), line.rate(), now) : -1;
        voice.reap();

        now = NowMs();
        if (unplugAt >= 0 && now >= unplugAt) {
            unplugAt = -1;
            sender.drop();
            link.unplug();
            line.close();
            Say("unplugged: the line is gone");
            if (opt.replugAfterS >= 0)
                replugAt = AfterSeconds(now, opt.replugAfterS);
        }
        if (replugAt >= 0 && now >= replugAt) {
            replugAt = -1;
            if (!line.open())
                break;
            Say("replugged: device " + line.device());
            if (opt.comPort > 0)
                link.make(opt.portsDir, opt.comPort, line.device());
            masterQuietUntil = 0;
        }
        if (now >= nextUnlockMs) {
            // Consoles still keep out of each other's way through their lock
            // files.
            line.unlock();
            nextUnlockMs = now + kUnlockEveryMs;
        }
        auto within = [&timeout](int64_t ms) {
            const int t = static_cast<int>(std::clamp<int64_t>(ms, 0, 60000));
            timeout = timeout < 0 ? t : std::min(timeout, t);
        };
        if (const int64_t deadline = chip.NextDeadline(); deadline >= 0)
            within(deadline - now);
        for (const int64_t at : {unplugAt, replugAt})
            if (at >= 0)
                within(at - now);
        // Come back in time to reap the voice and unlock the line.
        within(nextUnlockMs - now);

        const bool watchMaster =
            line.isOpen() && now >= masterQuietUntil && chip.InFlight() < kMostInFlight;
        if (line.isOpen() && !watchMaster)
            within(chip.InFlight() >= kMostInFlight ? 5 : 100);
        pollfd fds[5] = {{signalFd, POLLIN, 0},
                         {watchMaster ? line.master() : -1, POLLIN, 0},
                         {opt.quitOnEof ? STDIN_FILENO : -1, POLLIN, 0},
                         {tapHost.master(), POLLIN, 0},
                         {tapChip.master(), POLLIN, 0}};
        const int ready = poll(fds, 5, timeout);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0 && (fds[0].revents & POLLIN))
            quit = true;
        if (ready > 0 && fds[2].revents) {
            char buf[256];
            if (read(STDIN_FILENO, buf, sizeof buf) <= 0)
                quit = true;
        }
        if (ready > 0 && fds[1].revents) {
            char buf[4096];
            const ssize_t n = read(line.master(), buf, sizeof buf);
            if (n > 0) {
                tapHost.copy(std::string_view(buf, static_cast<size_t>(n)));
                chip.Feed(std::string_view(buf, static_cast<size_t>(n)), line.rate(), NowMs());
            } else if (n < 0 && errno != EAGAIN && errno != EINTR)
                masterQuietUntil = NowMs() + 100; // no reader on the far side
        }
        if (ready > 0 && (fds[3].revents & POLLIN))
            tapHost.drain();
        if (ready > 0 && (fds[4].revents & POLLIN))
            tapChip.drain();
        chip.Tick(NowMs());
    }

    for (const std::string& l : chip.TakeLines())
        Say(l);
    voice.stop();
    link.remove();
    tapHost.close();
    tapChip.close();
    Say("bye");
    line.close();
    return 0;
}
