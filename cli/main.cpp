// vxt4710-cli: drives the chip from scripts, frame for frame as the window.
#include "cli/cli_run.h"
#include "core/cli_options.h"
#include "core/exit_status.h"
#include "core/session_io.h"
#include "core/text_input.h"
#include "platform/standard_streams.h"
#include "qt/qt_text.h"
#include "serial/port_names.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    if (!OpenStandardStreams())
        return kNoStandardStreamsStatus;
    const SteadyClock clock; // t_ms counts from here
    QCoreApplication app(argc, argv);

    // Arguments are UTF-8 whatever the locale says.
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (int i = 1; i < argc; ++i) {
        if (!DecodeUtf8(argv[i]))
            return RefuseUsage("argument " + std::to_string(i) + " is not valid UTF-8",
                               JsonAsked(args), clock);
    }
    const CliParse parse = ParseCliArguments(args);
    if (!parse.options)
        return RefuseUsage(parse.error, JsonAsked(args), clock);
    if (parse.options->help) {
        std::fputs(HelpText(CliPlatform::Linux, ToStdBytes(DefaultPortsFolder().toUtf8())).c_str(),
                   stdout);
        return ExitStatus::Ok;
    }
    if (parse.options->version) {
        std::printf("vxt4710-cli %s\n", VXT4710_VERSION);
        return ExitStatus::Ok;
    }
    return RunCli(*parse.options, clock);
}
