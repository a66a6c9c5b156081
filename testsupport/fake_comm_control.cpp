#include "testsupport/fake_comm_control.h"

void FakeCommControl::SetCommPort(int16_t port) {
    commPort_ = port;
    calls << QStringLiteral("port %1").arg(port);
}

void FakeCommControl::SetSettings(const std::string& settings) {
    settings_ = settings;
    calls << QStringLiteral("settings %1").arg(QString::fromStdString(settings));
}

void FakeCommControl::SetPortOpen(bool open) {
    if (!open) {
        if (open_)
            calls << QStringLiteral("close");
        open_ = false;
        return;
    }
    if (open_)
        return;
    if (missingPorts.contains(commPort_)) {
        calls << QStringLiteral("open COM%1 failed").arg(commPort_);
        throw CommError("port missing");
    }
    open_ = true;
    calls << QStringLiteral("open COM%1 %2").arg(commPort_).arg(QString::fromStdString(settings_));
}

void FakeCommControl::Output(std::string_view bytes) {
    if (!open_ || failWrites) {
        calls << QStringLiteral("write refused");
        throw CommError("write refused");
    }
    written << QByteArray(bytes.data(), qsizetype(bytes.size()));
    calls << QStringLiteral("write %1").arg(bytes.size());
}

std::string FakeCommControl::Input() {
    ++inputCalls;
    const int n = inBufferSize_ > 0 ? qMin<int>(inBufferSize_, buffer_.size()) : buffer_.size();
    const QByteArray out = buffer_.left(n);
    buffer_.remove(0, n);
    return out.toStdString();
}

void FakeCommControl::Receive(const QByteArray& bytes) {
    buffer_ += bytes;
    event_ = CommEvents::Receive;
    for (;;) {
        const int before = inputCalls;
        RaiseOnComm();
        if (inputCalls == before || buffer_.isEmpty())
            break;
    }
}

void FakeCommControl::RaiseEvent(int16_t code) {
    event_ = code;
    RaiseOnComm();
    event_ = CommEvents::Receive;
}

QByteArray FakeCommControl::AllWritten() const {
    QByteArray all;
    for (const QByteArray& w : written)
        all += w;
    return all;
}
