// The command line of vxt4710-cli: what to do, where, and how to report it.
// The same on every platform; texts are UTF-8.
#pragma once

#include "core/line_rates.h"
#include "core/port_names.h" // ComNumberOf

#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class CliCommand {
    Speak,
    Stop,
    Pause,
    Resume,
    Query,
    Sleep,
    Rate,
    Mark,
    Hex,
    Ports,
    Monitor,
    Replay,
    Doctor
};

struct CliOptions {
    std::string port = "COM1";   // COM<n> or a device path
    bool portGiven = false;      // --port was given (doctor then looks at that port only)
    int rate = kDefaultLineRate; // the computer's side of the line
    double timeoutSeconds = 60;  // bounds every wait for a reply
    bool json = false;
    bool help = false;
    bool version = false;

    CliCommand command = CliCommand::Speak;
    // speak: the words (joined by blanks), or the file to read; "-" is
    // standard input.
    std::vector<std::string> words;
    std::optional<std::string> file;
    int music = 0;
    bool noWait = false;
    bool confirmIdle = false; // query before each later piece, send it on 0x4F
    int newRate = 0;          // rate
    std::string argument;     // mark, hex
    bool typedChecksum = false;
    // monitor: the ports of the tap's two lines, and how long to watch (0:
    // until a signal).
    std::string tapHost;
    std::string tapChip;
    double durationSeconds = 0;
    // --capture: the traffic also goes into this pcapng file, as it comes;
    // an existing file is replaced only with --overwrite. replay: the file
    // read (argument).
    std::string capture;
    bool overwrite = false;
};

// The options, or a message that says what is wrong (bad usage).
struct CliParse {
    std::optional<CliOptions> options;
    std::string error;
};
// args without the program name, as UTF-8 decoded by the caller.
CliParse ParseCliArguments(const std::vector<std::string>& args);

// Whether args ask for --json (as an option, before any "--"), also when
// they cannot be parsed: a usage error then ends with a JSON result too.
bool JsonAsked(const std::vector<std::string>& args);

// The platform the help describes: its ports, signals and examples differ.
enum class CliPlatform { Linux, Windows };

// One line: the synopsis.
std::string UsageLine();
// --help: synopsis, commands, options, exit statuses and examples, with the
// ports folder in use (its real path, as the user finds it).
std::string HelpText(CliPlatform platform, std::string_view portsFolder = {});
