// The termination signals (SIGINT, SIGTERM, SIGHUP) as a Qt signal, delivered
// on the event loop. While it lives, SIGPIPE is ignored: a closed standard
// output shows as a failed write, which the run handles.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

class InterruptWatch : public QObject {
    Q_OBJECT
  public:
    explicit InterruptWatch(QObject* parent = nullptr);
    ~InterruptWatch() override;

  signals:
    // signo: SIGINT, SIGTERM or SIGHUP; once per signal received.
    void interrupted(int signo);

  private:
    std::unique_ptr<QSocketNotifier> notifier_;
};
