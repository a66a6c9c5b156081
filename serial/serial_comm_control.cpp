#include "serial/serial_comm_control.h"

#include "platform/files.h"
#include "platform/system_ports.h"
#include "serial/link_owner.h"
#include "serial/net_line.h"

#include <QCoreApplication>
#include <QFile>
#include <QMetaObject>
#include <thread>

namespace {

// What a line's signals brought, until the control takes it.
class QtLine : public CommLine {
  public:
    bool take(std::string* bytes, LineError* error) override {
        *bytes += std::exchange(in_, {});
        if (!lost_)
            return true;
        lost_ = false;
        *error = error_;
        return false;
    }

  protected:
    // The signals' handlers. Told by the line's signals, the line goes from
    // inside them alike: nothing is touched after ready.
    void arrived(const QByteArray& bytes, const std::function<void()>& ready) {
        in_.append(bytes.constData(), size_t(bytes.size()));
        ready();
    }
    void lost(const LineError& error, const std::function<void()>& ready) {
        lost_ = true;
        error_ = error;
        ready();
    }

  private:
    std::string in_;
    bool lost_ = false;
    LineError error_;
};

// The one serial line of the control.
class QtSerialLine : public QtLine {
  public:
    explicit QtSerialLine(SerialLine& line) : line_(line) {}
    ~QtSerialLine() override { close(); }

    void watch(std::function<void()> ready) override {
        readyRead_ = QObject::connect(&line_, &SerialLine::readyRead, &line_,
                                      [this, ready] { arrived(line_.readAll(), ready); });
        gone_ = QObject::connect(&line_, &SerialLine::gone, &line_,
                                 [this, ready](const LineError& error) { lost(error, ready); });
    }
    bool write(std::string_view bytes, LineError* error) override {
        return line_.write(QByteArray(bytes.data(), qsizetype(bytes.size())), error);
    }
    bool setRate(int rate, LineError* error) override { return line_.setRate(rate, error); }
    void close() override {
        QObject::disconnect(readyRead_);
        QObject::disconnect(gone_);
        line_.close();
    }

  private:
    SerialLine& line_;
    QMetaObject::Connection readyRead_, gone_;
};

// A network line: a QObject of the window's thread, deleted there once the
// signal it may be inside has returned.
class QtNetLine : public QtLine {
  public:
    explicit QtNetLine(const NetAddress& address)
        : line_(new NetLine(address)), raw_(address.protocol == NetProtocol::Raw) {}
    ~QtNetLine() override {
        close();
        line_->deleteLater();
    }

    bool connect(int rate, LineError* error) override { return line_->dial(rate, error); }
    void watch(std::function<void()> ready) override {
        line_->watch();
        received_ = QObject::connect(line_, &NetLine::received, line_,
                                     [this, ready](const QByteArray& b) { arrived(b, ready); });
        failed_ = QObject::connect(line_, &NetLine::failed, line_,
                                   [this, ready](const LineError& error) { lost(error, ready); });
    }
    bool write(std::string_view bytes, LineError* error) override {
        return line_->write(bytes, error);
    }
    bool setRate(int rate, LineError* error) override { return line_->reopen(rate, error); }
    bool rateSettable() const override { return !raw_; }
    void close() override {
        QObject::disconnect(received_);
        QObject::disconnect(failed_);
        line_->close();
    }

  private:
    NetLine* line_;
    bool raw_;
    QMetaObject::Connection received_, failed_;
};

class QtCommHost : public CommHost {
  public:
    explicit QtCommHost(const QString& folder) : folder_(QFile::encodeName(folder).toStdString()) {}

    PortEntry portEntry(int n) const override { return files::ReadPortEntry(folder_, n); }
    ports::FolderStyle folderStyle() const override { return ports::FolderStyle::Links; }
    std::optional<long> staleOwner(int n, const std::string& target) const override {
        const portlink::HolderInfo owner = portlink::HolderOf(folder_, n, target);
        if (owner.holder == portlink::Holder::Gone)
            return owner.pid;
        return std::nullopt;
    }
    std::vector<std::string> systemPorts() const override {
        std::vector<std::string> devices;
        for (const SystemPort& port : ListSystemPorts())
            devices.push_back(port.name);
        return ports::SortSystemPorts(std::move(devices));
    }

    std::unique_ptr<CommLine> openSerial(const std::string& device, int rate,
                                         LineError* error) override {
        if (!serial_.open(QFile::decodeName(QByteArray::fromStdString(device)), rate, error))
            return nullptr;
        return std::make_unique<QtSerialLine>(serial_);
    }
    std::unique_ptr<CommLine> makeNet(const NetAddress& address) override {
        return std::make_unique<QtNetLine>(address);
    }

    bool post(std::function<void()> call) override {
        QMetaObject::invokeMethod(&context_, std::move(call), Qt::QueuedConnection);
        return true;
    }
    bool runInBackground(std::function<void()> work, std::function<void()> done) override {
        if (!QCoreApplication::instance())
            return false;
        std::thread([work = std::move(work), done = std::move(done)]() mutable {
            work();
            work = nullptr;
            // What done holds goes on the window's thread, where its
            // QObjects live.
            if (QCoreApplication* app = QCoreApplication::instance())
                QMetaObject::invokeMethod(app, std::move(done), Qt::QueuedConnection);
        }).detach();
        return true;
    }

    SerialLine& serial() { return serial_; }

  private:
    std::string folder_;
    SerialLine serial_;
    QObject context_; // the posted calls go with the control
};

} // namespace

SerialCommControl::SerialCommControl(QString portsFolder)
    : LineCommControl(std::make_unique<QtCommHost>(portsFolder)),
      portsFolder_(std::move(portsFolder)), serial_(&static_cast<QtCommHost&>(host()).serial()) {}
