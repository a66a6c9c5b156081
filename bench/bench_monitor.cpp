// The monitor of a tapped line at a full 38400 bit/s line in both
// directions: the window's watch (its reading thread on two
// pseudo-terminals, taken into its table every 50 ms as the window does)
// while a writer puts back-to-back 206-byte text frames on the controller's
// side and a status byte at every byte time on the chip's. Measures how
// late each row's first byte is stamped after it was written, and the
// memory the watch takes; then the window's reply to next piece alone and
// beside such a watch, in turns.
//   bench_monitor [seconds] [pieces] [rounds]
#include "bench/reply_measure.h"
#include "cli/cli_run.h"
#include "core/frame_builders.h"
#include "core/text_util.h"
#include "platform/monitor_thread.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <cerrno>
#include <deque>
#include <mutex>

namespace {

constexpr int kBytesPerSecond = 3840; // 38400 bit/s, 10 bits a byte

// What the writer wrote and when: the clock's µs at each row's first byte.
struct Written {
    std::mutex mutex;
    std::deque<int64_t> times[2]; // host frames, chip status bytes
};

// Every byte, waiting while the line's buffer is full (a byte lost would
// show as a finding of the watch's).
bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(size_t(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, 100);
    }
    return true;
}

// How late rows were stamped, in 10 µs steps up to a second: a fixed
// table, so that measuring takes no memory while the watch runs.
class Lateness {
  public:
    Lateness() : steps_(100'000, 0) {}
    void add(int64_t us) {
        ++count_;
        max_ = std::max(max_, us);
        ++steps_[size_t(std::clamp<int64_t>(us / 10, 0, int64_t(steps_.size()) - 1))];
    }
    int64_t count() const { return count_; }
    int64_t maxUs() const { return max_; }
    // The lateness below which a share of the rows were stamped, in µs.
    int64_t quantileUs(double share) const {
        int64_t seen = 0;
        for (size_t i = 0; i < steps_.size(); ++i) {
            seen += steps_[i];
            if (double(seen) >= share * double(count_))
                return int64_t(i) * 10 + 10;
        }
        return max_;
    }

  private:
    std::vector<int64_t> steps_;
    int64_t count_ = 0;
    int64_t max_ = 0;
};

// Writes both sides at the line's pace until stopped.
class Flood {
  public:
    Flood(const SteadyClock& clock, int hostFd, int chipFd)
        : clock_(clock), thread_([this, hostFd, chipFd] { run(hostFd, chipFd); }) {}
    ~Flood() {
        stop_ = true;
        thread_.join();
    }
    Written written;

  private:
    void run(int hostFd, int chipFd) {
        std::u16string text;
        while (text.size() < 100)
            text += u"监听两条线路";
        const std::string frame = TextFrame(text.substr(0, 100)); // 206 bytes
        const int64_t startUs = clock_.nowUs();
        int64_t sent[2] = {0, 0};
        size_t inFrame = 0;
        bool answer = false;
        while (!stop_) {
            const int64_t due = (clock_.nowUs() - startUs) * kBytesPerSecond / 1'000'000;
            std::string host, chip;
            std::vector<int64_t> starts[2];
            const int64_t now = clock_.nowUs();
            for (; sent[0] < due; ++sent[0]) {
                if (inFrame == 0)
                    starts[0].push_back(now);
                host += frame[inFrame];
                if (++inFrame == frame.size()) {
                    inFrame = 0;
                    answer = true;
                }
            }
            for (; sent[1] < due; ++sent[1]) {
                starts[1].push_back(now);
                chip += answer ? '\x41' : '\x4E'; // accepted, then speaking
                answer = false;
            }
            {
                const std::lock_guard lock(written.mutex);
                for (int i = 0; i < 2; ++i)
                    written.times[i].insert(written.times[i].end(), starts[i].begin(),
                                            starts[i].end());
            }
            if (!WriteAll(hostFd, host) || !WriteAll(chipFd, chip))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    const SteadyClock& clock_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The window's side of a watch: a fresh watch and thread on the two ptys,
// taken every 50 ms on the event loop; each new row's stamp compared with
// its write.
class WatchBeside {
  public:
    WatchBeside(const SteadyClock& clock, const BenchPty& host, const BenchPty& chip)
        : clock_(clock), watch_(clock, options()),
          thread_([] { return std::make_unique<LinuxCliSystem>(); }, host.device.toStdString(),
                  chip.device.toStdString(), 38400, watch_),
          flood_(clock, host.master, chip.master) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { take(); });
        timer_.start(50);
    }
    void take() {
        const MonitorUpdate update = watch_.take();
        const int64_t origin = watch_.startedAtUs();
        const std::lock_guard lock(flood_.written.mutex);
        for (const auto& [number, item] : update.rows) {
            if (number <= last_)
                continue; // a row changed later: stamped already
            last_ = number;
            const int side = item.side == TapSide::Host ? 0 : 1;
            const bool expected =
                side == 0 ? item.kind == TapItem::Kind::Frame : item.kind == TapItem::Kind::Status;
            std::deque<int64_t>& times = flood_.written.times[side];
            if (!expected || times.empty()) {
                ++unexpected_;
                continue;
            }
            late_.add(origin + item.startUs - times.front());
            times.pop_front();
        }
        table_.apply(update);
    }
    const Lateness& late() const { return late_; }
    int64_t unexpected() const { return unexpected_; }
    const MonitorTable& table() const { return table_; }

  private:
    static TapMonitor::Options options() {
        TapMonitor::Options o;
        o.rateIndex = 2;
        return o;
    }
    const SteadyClock& clock_;
    WindowWatch watch_;
    MonitorThread thread_;
    Flood flood_;
    MonitorTable table_;
    QTimer timer_;
    int64_t last_ = -1;
    int64_t unexpected_ = 0;
    Lateness late_;
};

void Wait(QApplication& app, int ms) {
    QTimer::singleShot(ms, &app, &QCoreApplication::quit);
    app.exec();
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? atoi(argv[1]) : 60;
    const int pieces = argc > 2 ? atoi(argv[2]) : 500;
    const int rounds = argc > 3 ? atoi(argv[3]) : 3;
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    const SteadyClock clock;

    BenchPty host, chip, console;
    if (!host.ok() || !chip.ok() || !console.ok()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    {
        WatchBeside watch(clock, host, chip);
        const long before = ResidentKiB(); // the measuring's own table in
        long peak = before;
        std::vector<long> at;
        for (int s = 1; s <= seconds; ++s) {
            Wait(app, 1000);
            peak = std::max(peak, ResidentKiB());
            if (s % 10 == 0 || s == seconds)
                at.push_back(ResidentKiB() - before);
        }
        const Lateness& late = watch.late();
        if (late.count() == 0) {
            std::printf("the watch stamped no row\n");
            return 1;
        }
        const auto ms = [](int64_t us) { return double(us) / 1000.0; };
        // Steps of 10 µs: the figures are the step's upper end.
        std::printf("watch of both sides at 38400 bit/s for %d s: %lld rows compared, %lld "
                    "unexpected, %d kept in the table (%s)\n",
                    seconds, static_cast<long long>(late.count()),
                    static_cast<long long>(watch.unexpected()), watch.table().rowCount(),
                    Utf8FromUtf16(watch.table().countsText()).c_str());
        std::printf("  stamp after write: median %.3f ms, 99th percentile %.3f ms, max %.3f ms "
                    "(goal: median <= 1 ms)\n",
                    ms(late.quantileUs(0.5)), ms(late.quantileUs(0.99)), ms(late.maxUs()));
        std::printf("  resident memory growth every 10 s:");
        for (const long kib : at)
            std::printf(" %+.1f", double(kib) / 1024.0);
        std::printf(" MB; peak %+.1f MB (goal: < 20 MB)\n", double(peak - before) / 1024.0);
    }

    // The window's reply to next piece alone and beside a watch, in turns
    // (the order swapped every round: what runs first is measured slower).
    std::vector<double> alone, beside;
    for (int round = 0; round < rounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool withWatch = (turn == 0) == (round % 2 == 1);
            std::unique_ptr<WatchBeside> watch;
            if (withWatch)
                watch = std::make_unique<WatchBeside>(clock, host, chip);
            const std::vector<double> l = reply_bench::Measure(app, console, pieces);
            const double median = reply_bench::Median(l);
            (withWatch ? beside : alone).push_back(median);
            std::printf("round %d, %s: reply to next piece median %.3f ms over %zu pieces\n",
                        round + 1, withWatch ? "beside a watch" : "alone", median, l.size());
        }
    }
    std::sort(alone.begin(), alone.end());
    std::sort(beside.begin(), beside.end());
    if (!alone.empty() && !beside.empty())
        std::printf("reply to next piece, median of the rounds: alone %.3f ms, beside a watch "
                    "%.3f ms (ratio %.2f)\n",
                    alone[alone.size() / 2], beside[beside.size() / 2],
                    beside[beside.size() / 2] / alone[alone.size() / 2]);
    return 0;
}
