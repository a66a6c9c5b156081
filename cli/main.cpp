// vxt4710-cli: drives the chip from scripts, frame for frame as the window.
// The run is the core's (core/cli_run.h); this supplies Linux's services.
#include "cli/cli_run.h"
#include "core/session_io.h"
#include "core/text_input.h"
#include "platform/standard_streams.h"

int main(int argc, char* argv[]) {
    // Descriptor 1 is /dev/null from here on (so that no port or file becomes
    // it), but output the user closed is no output: 74, as on Windows.
    bool outputMissing = false;
    if (!OpenStandardStreams(&outputMissing))
        return kNoStandardStreamsStatus;
    IgnoreBrokenPipes();
    const SteadyClock clock; // t_ms counts from here

    // Arguments are UTF-8 whatever the locale says.
    CliArguments arguments{std::vector<std::string>(argv + 1, argv + argc), {}};
    for (int i = 1; i < argc; ++i) {
        if (!DecodeUtf8(argv[i])) {
            arguments.undecodable = "argument " + std::to_string(i) + " is not valid UTF-8";
            break;
        }
    }
    LinuxCliSystem system(outputMissing);
    return RunCli(arguments, system, clock);
}
