#include "core/cli_options.h"

#include "core/decimal_text.h"

#include <algorithm>
#include <cmath>

namespace {

// "%1"-style filling: each {} of format takes the next value.
std::string Fill(std::string_view format, std::initializer_list<std::string_view> values) {
    std::string out;
    auto value = values.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '{' && i + 1 < format.size() && format[i + 1] == '}' &&
            value != values.end()) {
            out += *value++;
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

struct Parser {
    std::vector<std::string> args;
    std::size_t i = 0;
    std::string error;

    bool more() const { return i < args.size(); }
    // The value of option name, which must follow it.
    std::optional<std::string> value(const std::string& name) {
        if (i + 1 >= args.size()) {
            error = name + " wants a value";
            return std::nullopt;
        }
        i += 2;
        return args[i - 1];
    }
};

std::optional<int> RateOf(std::string_view text) {
    // Exactly as written in the table: no sign, blank or leading zero.
    for (const LineRate& r : kLineRates)
        if (text == std::to_string(r.bitsPerSecond))
            return r.bitsPerSecond;
    return std::nullopt;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// A decimal number, blanks around it allowed, as a user types seconds.
std::optional<double> NumberOf(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    if (text.size() > 1 && text.front() == '+' && text[1] != '-')
        text.remove_prefix(1);
    return ParseDecimal(text);
}

// Options that may stand before or after the command. Returns false when
// args[p.i] is none of them (p.error set when it is one but malformed).
bool TakeGlobal(Parser& p, CliOptions& o) {
    const std::string a = p.args[p.i];
    if (a == "--json") {
        o.json = true;
        ++p.i;
        return true;
    }
    if (a == "--help" || a == "-h") {
        o.help = true;
        ++p.i;
        return true;
    }
    if (a == "--version") {
        o.version = true;
        ++p.i;
        return true;
    }
    if (a == "--port") {
        const auto v = p.value(a);
        if (!v)
            return true;
        if (v->empty())
            p.error = "--port wants COM1 to COM20 or a device path";
        else if (ComNumberOf(*v) < 0)
            p.error = Fill("--port {} is outside COM1 to COM20 (a file of that name: --port ./{})",
                           {*v, *v});
        o.port = *v;
        o.portGiven = true;
        return true;
    }
    if (a == "--rate") {
        const auto v = p.value(a);
        if (!v)
            return true;
        const auto rate = RateOf(*v);
        if (!rate)
            p.error = Fill("--rate wants 9600, 19200 or 38400, not '{}'", {*v});
        else
            o.rate = *rate;
        return true;
    }
    if (a == "--capture") {
        const auto v = p.value(a);
        if (v && v->empty())
            p.error = "--capture wants a file";
        else if (v)
            o.capture = *v;
        return true;
    }
    if (a == "--overwrite") {
        o.overwrite = true;
        ++p.i;
        return true;
    }
    if (a == "--timeout") {
        const auto v = p.value(a);
        if (!v)
            return true;
        const auto s = NumberOf(*v);
        if (!s || !std::isfinite(*s) || *s <= 0 || *s > 86400)
            p.error = Fill("--timeout wants seconds above 0, at most 86400, not '{}'", {*v});
        else
            o.timeoutSeconds = *s;
        return true;
    }
    return false;
}

std::optional<CliCommand> CommandOf(std::string_view name) {
    static const struct {
        const char* name;
        CliCommand command;
    } kCommands[] = {
        {"speak", CliCommand::Speak},     {"stop", CliCommand::Stop},
        {"pause", CliCommand::Pause},     {"resume", CliCommand::Resume},
        {"query", CliCommand::Query},     {"sleep", CliCommand::Sleep},
        {"rate", CliCommand::Rate},       {"mark", CliCommand::Mark},
        {"hex", CliCommand::Hex},         {"ports", CliCommand::Ports},
        {"monitor", CliCommand::Monitor}, {"replay", CliCommand::Replay},
        {"doctor", CliCommand::Doctor},
    };
    for (const auto& c : kCommands) {
        if (name == c.name)
            return c.command;
    }
    return std::nullopt;
}

// 0 to 15 in one or two ASCII digits.
std::optional<int> MusicOf(std::string_view text) {
    if (text.empty() || text.size() > 2 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int n = std::stoi(std::string(text));
    return n <= 15 ? std::optional<int>(n) : std::nullopt;
}

// The command's own options and operands.
void TakeCommandArgs(Parser& p, CliOptions& o, const std::string& name) {
    std::vector<std::string> operands;
    bool onlyOperands = false;
    while (p.more() && p.error.empty()) {
        const std::string a = p.args[p.i];
        if (!onlyOperands && a == "--") {
            onlyOperands = true;
            ++p.i;
            continue;
        }
        const bool looksLikeOption = !onlyOperands && a.size() > 1 && a.front() == '-';
        if (!looksLikeOption) {
            operands.push_back(a);
            ++p.i;
            continue;
        }
        if (TakeGlobal(p, o))
            continue;
        const bool speak = o.command == CliCommand::Speak;
        if (speak && a == "-f") {
            const auto v = p.value(a);
            if (v && v->empty())
                p.error = "-f wants a file";
            else if (v)
                o.file = *v;
        } else if (speak && a == "--music") {
            const auto v = p.value(a);
            const auto music = v ? MusicOf(*v) : std::nullopt;
            if (v && !music)
                p.error = Fill("--music wants 0 to 15, not '{}'", {*v});
            else if (v)
                o.music = *music;
        } else if (speak && a == "--no-wait") {
            o.noWait = true;
            ++p.i;
        } else if (speak && a == "--confirm-idle") {
            o.confirmIdle = true;
            ++p.i;
        } else if (o.command == CliCommand::Monitor && (a == "--host" || a == "--chip")) {
            const auto v = p.value(a);
            if (v && v->empty())
                p.error = Fill("{} wants a port", {a});
            else if (v && ComNumberOf(*v) < 0)
                p.error = Fill("{} {} is outside COM1 to COM20", {a, *v});
            else if (v)
                (a == "--host" ? o.tapHost : o.tapChip) = *v;
        } else if (o.command == CliCommand::Monitor && a == "--duration") {
            const auto v = p.value(a);
            const auto s = v ? NumberOf(*v) : std::nullopt;
            if (v && (!s || !std::isfinite(*s) || *s <= 0 || *s > 31'536'000))
                p.error = Fill("--duration wants seconds above 0, not '{}'", {*v});
            else if (v)
                o.durationSeconds = *s;
        } else if (o.command == CliCommand::Hex && a == "--typed-checksum") {
            o.typedChecksum = true;
            ++p.i;
        } else {
            p.error = Fill("{}: unknown option '{}'", {name, a});
        }
    }
    if (!p.error.empty())
        return;

    switch (o.command) {
    case CliCommand::Speak:
        if (o.noWait && o.confirmIdle)
            p.error = "speak: --no-wait sends one piece only, which "
                      "--confirm-idle has nothing to confirm for";
        else if (o.file && !operands.empty())
            p.error = "speak: either -f FILE or the text, not both";
        else if (!o.file && operands == std::vector<std::string>{"-"})
            o.file = std::string(1, '-'); // not a literal: GCC 12 warns wrongly (-Wrestrict)
        else if (!o.file && operands.empty())
            p.error = "speak wants the text, -f FILE or - (standard input)";
        else
            o.words = operands;
        return;
    case CliCommand::Rate: {
        const auto rate = operands.size() == 1 ? RateOf(operands[0]) : std::nullopt;
        if (!rate)
            p.error = "rate wants 9600, 19200 or 38400";
        else
            o.newRate = *rate;
        return;
    }
    case CliCommand::Monitor:
        if (!operands.empty())
            p.error = Fill("monitor takes no text, not '{}'", {operands[0]});
        else if (o.tapHost.empty() || o.tapChip.empty())
            p.error = "monitor wants --host PORT and --chip PORT (the tap's two lines)";
        else if (o.tapHost == o.tapChip)
            p.error = "monitor wants two different ports for --host and --chip";
        return;
    case CliCommand::Replay:
        if (operands.size() != 1 || operands[0].empty())
            p.error = "replay wants one FILE (a pcapng capture)";
        else
            o.argument = operands[0];
        return;
    case CliCommand::Mark:
    case CliCommand::Hex:
        if (operands.size() != 1)
            p.error = Fill("{} wants one TEXT (quote it)", {name});
        else
            o.argument = operands[0];
        return;
    default:
        if (!operands.empty())
            p.error = Fill("{} takes no text, not '{}'", {name, operands[0]});
        return;
    }
}

} // namespace

bool JsonAsked(const std::vector<std::string>& args) {
    const auto end = std::find(args.begin(), args.end(), "--");
    return std::find(args.begin(), end, "--json") != end;
}

CliParse ParseCliArguments(const std::vector<std::string>& args) {
    Parser p;
    p.args = args;
    CliOptions o;
    std::optional<std::string> commandName;
    while (p.more() && p.error.empty()) {
        if (TakeGlobal(p, o))
            continue;
        const std::string a = p.args[p.i];
        if (!a.empty() && a.front() == '-') {
            p.error = Fill("unknown option '{}'", {a});
            break;
        }
        const auto command = CommandOf(a);
        if (!command) {
            p.error = Fill("unknown command '{}'", {a});
            break;
        }
        o.command = *command;
        commandName = a;
        ++p.i;
        TakeCommandArgs(p, o, a);
    }
    if (p.error.empty() && !commandName && !o.help && !o.version)
        p.error = "no command given";
    const bool talks = o.command != CliCommand::Ports && o.command != CliCommand::Replay &&
                       o.command != CliCommand::Doctor;
    if (p.error.empty() && commandName && !o.capture.empty() && !talks)
        p.error = Fill("--capture goes with the commands that talk to the chip, not {}",
                       {*commandName});
    if (p.error.empty() && o.overwrite && o.capture.empty())
        p.error = "--overwrite goes with --capture FILE";
    if (!p.error.empty())
        return CliParse{std::nullopt, p.error};
    return CliParse{o, std::string()};
}
