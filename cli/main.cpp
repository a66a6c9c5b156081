// vxt4710-cli: drives the chip from scripts, frame for frame as the window.
#include "cli/cli_run.h"
#include "core/cli_options.h"
#include "core/cli_session.h"
#include "core/exit_status.h"
#include "core/session_io.h"
#include "core/text_input.h"
#include "platform/standard_streams.h"
#include "qt/qt_text.h"
#include "serial/port_names.h"

#include <QCoreApplication>
#include <cstdio>

namespace {
// --help and --version: 74 when standard output cannot take them (a full
// disk, a pipe whose reader has gone).
int Print(const std::string& text) {
    FileOutput out(stdout);
    std::string failure;
    if (out.write(text, &failure))
        return ExitStatus::Ok;
    ComplainOnStandardError("standard output could not be written: " + failure);
    return ExitStatus::Output;
}
} // namespace

int main(int argc, char* argv[]) {
    if (!OpenStandardStreams())
        return kNoStandardStreamsStatus;
    IgnoreBrokenPipes();
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
    if (parse.options->help)
        return Print(HelpText(CliPlatform::Linux, ToStdBytes(DefaultPortsFolder().toUtf8())));
    if (parse.options->version)
        return Print(std::string("vxt4710-cli ") + VXT4710_VERSION + "\n");
    return RunCli(*parse.options, clock);
}
