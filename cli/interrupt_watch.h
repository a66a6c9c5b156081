// Ctrl+C (SIGINT) as a Qt signal, delivered on the event loop.
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
    void interrupted();

  private:
    std::unique_ptr<QSocketNotifier> notifier_;
};
