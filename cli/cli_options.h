// The command line of vxt4710-cli: what to do, where, and how to report it.
#pragma once

#include "core/line_rates.h"

#include <QString>
#include <QStringList>
#include <optional>

enum class CliCommand { Speak, Stop, Pause, Resume, Query, Sleep, Rate, Mark, Hex, Ports };

struct CliOptions {
    QString port = QStringLiteral("COM1"); // COM<n> or a device path
    int rate = kDefaultLineRate;           // the computer's side of the line
    double timeoutSeconds = 60;            // bounds every wait for a reply
    bool json = false;
    bool help = false;
    bool version = false;

    CliCommand command = CliCommand::Speak;
    // speak: the words (joined by blanks), or the file to read; "-" is
    // standard input.
    QStringList words;
    std::optional<QString> file;
    int music = 0;
    bool noWait = false;
    bool confirmIdle = false; // query before each later piece, send it on 0x4F
    int newRate = 0;  // rate
    QString argument; // mark, hex
    bool typedChecksum = false;
};

// The options, or a message that says what is wrong (bad usage).
struct CliParse {
    std::optional<CliOptions> options;
    QString error;
};
// args without the program name, as UTF-8 decoded by the caller.
CliParse ParseCliArguments(const QStringList& args);

// Whether args ask for --json (as an option, before any "--"), also when
// they cannot be parsed: a usage error then ends with a JSON result too.
bool JsonAsked(const QStringList& args);

// One line: the synopsis.
QString UsageLine();
// --help: synopsis, commands, options, exit statuses and examples, with the
// ports folder in use.
QString HelpText(const QString& portsFolder);
