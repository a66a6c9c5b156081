#include "cli/session.h"

#include "cli/interrupt_watch.h"
#include "platform/standard_streams.h"
#include "qt/qt_text.h"

#include <QCoreApplication>
#include <functional>

LineError LineErrorOf(const LineFailure& failure) {
    return LineError{ToStdBytes(failure.reason.toUtf8()), failure.accessDenied};
}

bool QtSessionLine::write(std::string_view bytes, LineError* error) {
    LineFailure failure;
    if (line_.write(ToQBytes(bytes), &failure))
        return true;
    *error = LineErrorOf(failure);
    return false;
}

bool QtSessionLine::reopen(int rate, LineError* error) {
    LineFailure failure;
    if (line_.reopen(rate, &failure))
        return true;
    *error = LineErrorOf(failure);
    return false;
}

std::string QtSessionLine::device() const {
    return ToStdBytes(line_.device().toUtf8());
}

QtSessionTimer::QtSessionTimer(std::function<void()> wake) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, std::move(wake));
}

namespace {

// The session on any line: wire connects the line's bytes and failures to
// the session, with context as the connections' owner.
int RunOn(std::vector<PlannedFrame> frames, SessionLine& line, TrafficReport& report,
          const MonotonicClock& clock, int timeoutMs, Complaint complain,
          const std::function<void(CliSession&, QObject&)>& wire) {
    CliSession* session = nullptr;
    QtSessionTimer timer([&session] { session->onTimer(); });
    CliSession s(std::move(frames), {line, timer, clock, report, std::move(complain)}, timeoutMs,
                 [](int status) { QCoreApplication::exit(status); });
    session = &s;

    QObject context;
    wire(s, context);
    InterruptWatch watch;
    QObject::connect(&watch, &InterruptWatch::interrupted, &context,
                     [&s](int signo) { s.interrupt(signo); });
    // A reader that goes away while the chip speaks is noticed between lines,
    // not only at the next write seconds later.
    QTimer outputWatch;
    outputWatch.setInterval(100);
    QObject::connect(&outputWatch, &QTimer::timeout, &context, [&s] {
        if (StandardOutputReaderGone())
            s.onOutputGone("Broken pipe (the reader of standard output has gone)");
    });
    outputWatch.start();
    QTimer::singleShot(0, &context, [&s] { s.start(); });
    QCoreApplication::exec();
    return s.status();
}

} // namespace

int RunSession(std::vector<PlannedFrame> frames, ChipLine& line, TrafficReport& report,
               const MonotonicClock& clock, int timeoutMs, Complaint complain) {
    QtSessionLine sessionLine(line);
    return RunOn(std::move(frames), sessionLine, report, clock, timeoutMs, std::move(complain),
                 [&line](CliSession& s, QObject& context) {
                     QObject::connect(&line, &ChipLine::received, &context,
                                      [&s](const QByteArray& bytes) { s.onBytes(StdView(bytes)); });
                     QObject::connect(&line, &ChipLine::failed, &context,
                                      [&s](const LineFailure& failure) {
                                          s.onLineFailed(LineErrorOf(failure));
                                      });
                 });
}

int RunSession(std::vector<PlannedFrame> frames, NetLine& line, TrafficReport& report,
               const MonotonicClock& clock, int timeoutMs, Complaint complain) {
    return RunOn(std::move(frames), line, report, clock, timeoutMs, std::move(complain),
                 [&line](CliSession& s, QObject& context) {
                     QObject::connect(&line, &NetLine::received, &context,
                                      [&s](const QByteArray& bytes) { s.onBytes(StdView(bytes)); });
                     QObject::connect(&line, &NetLine::failed, &context,
                                      [&s](const LineError& error) { s.onLineFailed(error); });
                 });
}
