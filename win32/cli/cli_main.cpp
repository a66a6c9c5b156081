// vxt4710-cli.exe: drives the chip from batch files and scripts, frame for
// frame as the window, with the Linux program's commands and statuses. The
// run is the core's (core/cli_run.h); this supplies Windows's services.
#include "core/session_io.h"
#include "core/text_util.h"
#include "win32/cli/win_cli_io.h"
#include "win32/cli/win_cli_run.h"
#include "win32/win_text.h"

int wmain(int argc, wchar_t** argv) {
    const SteadyClock clock; // t_ms counts from here
    int bad = 0;
    CliArguments arguments;
    if (const auto args = ArgumentsOf(argc, argv, &bad)) {
        arguments.args = *args;
    } else {
        // Whether --json was asked, from what can be read of them.
        for (int i = 1; i < argc; ++i)
            arguments.args.push_back(Utf8FromUtf16(U16(argv[i])));
        arguments.undecodable = "argument " + std::to_string(bad) + " is not valid UTF-16";
    }
    WinCliSystem system;
    return RunCli(arguments, system, clock);
}
