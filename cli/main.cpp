// vxt4710-cli: drives the chip from scripts, frame for frame as the window.
#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "cli/text_input.h"
#include "core/exit_status.h"
#include "core/session_io.h"
#include "serial/port_names.h"
#include "platform/standard_streams.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    if (!OpenStandardStreams())
        return kNoStandardStreamsStatus;
    const SteadyClock clock; // t_ms counts from here
    QCoreApplication app(argc, argv);

    // Arguments are UTF-8 whatever the locale says.
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        const auto arg = DecodeUtf8(QByteArray(argv[i]));
        if (!arg) {
            QStringList raw;
            for (int j = 1; j < argc; ++j)
                raw << QString::fromLatin1(argv[j]);
            return RefuseUsage(QStringLiteral("argument %1 is not valid UTF-8").arg(i),
                               JsonAsked(raw), clock);
        }
        args << *arg;
    }
    const CliParse parse = ParseCliArguments(args);
    if (!parse.options)
        return RefuseUsage(parse.error, JsonAsked(args), clock);
    if (parse.options->help) {
        std::fputs(qPrintable(HelpText(DefaultPortsFolder())), stdout);
        return ExitStatus::Ok;
    }
    if (parse.options->version) {
        std::printf("vxt4710-cli %s\n", VXT4710_VERSION);
        return ExitStatus::Ok;
    }
    return RunCli(*parse.options, clock);
}
