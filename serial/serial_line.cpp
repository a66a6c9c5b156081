#include "serial/serial_line.h"

#include <QFile>
#include <QMetaObject>
#include <QSocketNotifier>

SerialLine::SerialLine(QObject* parent) : QObject(parent) {}

SerialLine::~SerialLine() {
    close();
}

bool SerialLine::open(const QString& device, qint32 rate, LineError* error, Waiting waiting) {
    close();
    device_ = device;
    if (port_.open(QFile::encodeName(device).toStdString(), rate, error, waiting) !=
        SerialPort::OpenResult::Ok)
        return false;
    notifier_ = new QSocketNotifier(port_.handle(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SerialLine::onReadable);
    return true;
}

bool SerialLine::setRate(qint32 rate, LineError* error) {
    return port_.setRate(rate, error);
}

bool SerialLine::write(const QByteArray& bytes, LineError* error) {
    LineError why;
    if (port_.write(std::string_view(bytes.constData(), size_t(bytes.size())), &why))
        return true;
    if (port_.lost())
        lose(why);
    if (error)
        *error = why;
    return false;
}

QByteArray SerialLine::read(qint64 maxBytes) {
    const QByteArray bytes = buffer_.left(maxBytes);
    buffer_.remove(0, bytes.size());
    return bytes;
}

void SerialLine::close() {
    if (notifier_) {
        // Perhaps inside its own notification: it goes once that returned.
        notifier_->setEnabled(false);
        notifier_->deleteLater();
        notifier_ = nullptr;
    }
    port_.close();
    buffer_.clear();
    lost_ = false;
    ++generation_;
}

void SerialLine::onReadable() {
    std::string bytes;
    LineError error;
    const bool alive = port_.read(&bytes, &error);
    const unsigned generation = generation_;
    if (!bytes.empty()) {
        buffer_.append(bytes.data(), qsizetype(bytes.size()));
        emit readyRead();
    }
    // The handler may have closed or opened the port meanwhile: the loss
    // was the old one's.
    if (!alive && generation == generation_)
        lose(error);
}

void SerialLine::lose(const LineError& error) {
    if (lost_ || !port_.isOpen())
        return;
    // Unusable from now on and no longer watched (a hung-up descriptor reads
    // as ready for ever); the close waits for the event loop, but no longer.
    lost_ = true;
    if (notifier_)
        notifier_->setEnabled(false);
    const unsigned generation = generation_;
    QMetaObject::invokeMethod(
        this,
        [this, generation, error] {
            // A close or a new open since then has dealt with the loss.
            if (!lost_ || generation != generation_)
                return;
            close();
            emit gone(error);
        },
        Qt::QueuedConnection);
}
