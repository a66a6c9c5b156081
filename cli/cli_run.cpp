#include "cli/cli_run.h"

#include "cli/chip_line.h"
#include "cli/exit_status.h"
#include "cli/frame_plan.h"
#include "cli/interrupt_watch.h"
#include "cli/session.h"
#include "cli/traffic_report.h"
#include "serial/port_names.h"

#include <QCoreApplication>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <optional>

namespace {

void Complain(const QString& message) {
    for (const QString& l : message.split(u'\n', Qt::SkipEmptyParts))
        std::fprintf(stderr, "vxt4710-cli: %s\n", qPrintable(l));
}

int Refuse(TrafficReport& report, int status, const QString& result, const QString& message) {
    report.result(result, status, {{QStringLiteral("message"), message}});
    Complain(message);
    return status;
}

} // namespace

int RefuseUsage(const QString& message, bool json, const QElapsedTimer& clock) {
    TrafficReport report(json, stdout, clock);
    report.result(QStringLiteral("usage"), ExitStatus::Usage,
                  {{QStringLiteral("message"), message}});
    Complain(message);
    std::fprintf(stderr, "%s\n", qPrintable(UsageLine()));
    return ExitStatus::Usage;
}

int ListPorts(const CliOptions& options, const QElapsedTimer& clock) {
    TrafficReport report(options.json, stdout, clock);
    const QString folder = DefaultPortsFolder();
    // Asking the system for its ports takes a while: once for the whole list.
    std::optional<QStringList> system;
    const auto systemPorts = [&system] {
        if (!system)
            system = SystemSerialPorts();
        return *system;
    };
    for (int n = 1; n <= 20; ++n) {
        const QString name = QStringLiteral("COM%1").arg(n);
        const PortResolution r = ResolvePort(n, folder, systemPorts);
        QString text = name + u'\t' + (r.device.isEmpty() ? QStringLiteral("-") : r.device);
        QList<QPair<QString, QVariant>> fields{
            {QStringLiteral("port"), name},
            {QStringLiteral("device"), r.device.isEmpty() ? QVariant() : r.device}};
        if (r.source == PortResolution::Source::StaleLink) {
            text += QStringLiteral(" (the link to %1 of a simulated chip that has ended)")
                        .arg(r.target);
            fields.append({QStringLiteral("stale_link"), r.target});
        }
        report.line(text, fields);
    }
    return ExitStatus::Ok;
}

int RunCli(const CliOptions& options, const QElapsedTimer& clock) {
    if (options.command == CliCommand::Ports)
        return ListPorts(options, clock);
    TrafficReport report(options.json, stdout, clock);

    // Everything that can be refused is refused before the port is touched:
    // nothing goes on the line.
    const FramePlan plan = PlanFrames(options);
    if (plan.status != ExitStatus::Ok)
        return Refuse(report, plan.status,
                      plan.status == ExitStatus::NoInput     ? QStringLiteral("input")
                      : plan.status == ExitStatus::DataError ? QStringLiteral("data")
                                                             : QStringLiteral("usage"),
                      plan.error);

    const PortChoice port = ChoosePort(options.port, DefaultPortsFolder(), SystemSerialPorts);
    if (port.device.isEmpty()) {
        LineFailure failure;
        failure.reason = port.failure;
        return Refuse(report, ExitStatus::Port, QStringLiteral("port"),
                      PortFailureText(QString(), failure));
    }
    if (!port.notice.isEmpty())
        Complain(port.notice);
    const QString device = port.device;
    ChipLine line;
    LineFailure failure;
    if (!line.open(device, options.rate, &failure))
        return Refuse(report, ExitStatus::Port, QStringLiteral("port"),
                      PortFailureText(device, failure));

    const int timeoutMs = static_cast<int>(std::ceil(options.timeoutSeconds * 1000));
    Session session(plan.frames, line, report, timeoutMs);
    InterruptWatch watch;
    QObject::connect(&watch, &InterruptWatch::interrupted, &session, &Session::interrupt);
    int status = ExitStatus::Ok;
    QObject::connect(&session, &Session::finished, [&status](int s) {
        status = s;
        QCoreApplication::exit(s);
    });
    QTimer::singleShot(0, &session, &Session::start);
    QCoreApplication::exec();
    return status;
}
