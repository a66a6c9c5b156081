#include "cli/cli_options.h"

#include "core/line_rates.h"
#include "serial/port_names.h"

#include <QRegularExpression>
#include <cmath>

QString UsageLine() {
    return QStringLiteral(
        "usage: vxt4710-cli [--port COM<n>|DEVICE] [--rate 9600|19200|38400] [--timeout SECONDS] "
        "[--json] COMMAND [ARGS]");
}

QString HelpText(const QString& portsFolder) {
    QString text = UsageLine() + QStringLiteral(R"(

Drives a VXT4710 text-to-speech chip over a serial line, frame for frame as the
console window does, and prints the window's work-log text for the traffic.

Commands:
  speak TEXT...         speak the words (UTF-8), piece by piece, each later piece
                        on the chip's idle reply 0x4F
  speak -f FILE         speak a file (UTF-8, with or without byte-order mark;
                        UTF-16 with a byte-order mark; GBK otherwise)
  speak -               speak standard input (UTF-8)
      --music N         background music 0-15 for every piece (default 0)
      --no-wait         send the first piece only and end once it is written
      --confirm-idle    before each later piece ask the chip's status and send
                        the piece only when it answers idle (0x4F); on 0x4E
                        wait and ask again, bounded by --timeout
  stop | pause | resume | sleep
                        the control frames
  query                 ask the chip: status 0 when idle, 10 when speaking
  rate 9600|19200|38400 change the chip's rate; on its acceptance the port
                        follows at the new rate
  mark TEXT             a control mark: "mark v10" sends "[v10]"
  hex TEXT              a frame typed in hexadecimal ("fd 00 02 21"), checksum
                        appended; waits for what its command gets, as the named
                        command would (a query: the status); a frame of no known
                        command waits for 0x41 or 0x45
      --typed-checksum  send the bytes as typed, the last one the checksum
  ports                 COM1-COM20 and the device each stands for

Options:
  --port COM<n>|DEVICE  COM1 to COM20 as the window names them: the link
                        com<n> in the ports folder, else the system's n-th
                        serial port (then said on standard error); or any
                        device path, relative to the current folder; default
                        COM1. The ports folder:
                        <PORTS_FOLDER>
                        rfc2217://HOST:PORT and socket://HOST:PORT: a port
                        served over TCP on another machine (the rate is set
                        through the server with rfc2217:// only)
  --rate R              the computer's rate: 9600 (default), 19200 or 38400
  --timeout SECONDS     longest wait for each reply (default 60)
  --json                one JSON object per line for each frame sent and each
                        byte received, and a final result object
  --help, --version

Exit status:
  0 done; 1 the chip answered 0x45; 2 an awaited reply did not come in time;
  3 the port could not be opened or written; 10 query: the chip is speaking;
  64 bad usage or bad hex (a lone last digit too); 65 the text holds bytes
  that are no text (nothing sent); 66 the text file could not be read;
  71 a closed standard stream could not be opened on /dev/null;
  74 standard output could not be written (speak sends stop first);
  129, 130, 143 ended by SIGHUP, SIGINT (Ctrl+C), SIGTERM (speak sends stop
  first and waits a second at most for its acceptance; a second signal ends
  at once)

Examples:
  vxt4710-cli --port /dev/ttyUSB0 speak -f intro.txt
  vxt4710-cli --port COM3 --rate 19200 speak --music 3 你好，欢迎使用
  vxt4710-cli query && echo idle
  vxt4710-cli --json hex "fd 00 02 21"
  vxt4710-cli mark v10
)");
    return text.replace(QStringLiteral("<PORTS_FOLDER>"), portsFolder);
}

namespace {

struct Parser {
    QStringList args;
    qsizetype i = 0;
    QString error;

    bool more() const { return i < args.size(); }
    // The value of option name, which must follow it.
    std::optional<QString> value(const QString& name) {
        if (i + 1 >= args.size()) {
            error = name + QStringLiteral(" wants a value");
            return std::nullopt;
        }
        i += 2;
        return args[i - 1];
    }
};

std::optional<int> RateOf(const QString& text) {
    // Exactly as written in the table: no sign, blank or leading zero.
    for (const LineRate& r : kLineRates)
        if (text == QString::number(r.bitsPerSecond))
            return r.bitsPerSecond;
    return std::nullopt;
}

// Options that may stand before or after the command. Returns false when
// args[p.i] is none of them (p.error set when it is one but malformed).
bool TakeGlobal(Parser& p, CliOptions& o) {
    const QString a = p.args[p.i];
    if (a == QLatin1String("--json")) {
        o.json = true;
        ++p.i;
        return true;
    }
    if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
        o.help = true;
        ++p.i;
        return true;
    }
    if (a == QLatin1String("--version")) {
        o.version = true;
        ++p.i;
        return true;
    }
    if (a == QLatin1String("--port")) {
        const auto v = p.value(a);
        if (!v)
            return true;
        if (v->isEmpty())
            p.error = QStringLiteral("--port wants COM1 to COM20 or a device path");
        else if (ComNumberOf(*v) < 0)
            p.error = QStringLiteral("--port %1 is outside COM1 to COM20 (a file of that name: "
                                     "--port ./%1)")
                          .arg(*v);
        o.port = *v;
        return true;
    }
    if (a == QLatin1String("--rate")) {
        const auto v = p.value(a);
        if (!v)
            return true;
        const auto rate = RateOf(*v);
        if (!rate)
            p.error = QStringLiteral("--rate wants 9600, 19200 or 38400, not '%1'").arg(*v);
        else
            o.rate = *rate;
        return true;
    }
    if (a == QLatin1String("--timeout")) {
        const auto v = p.value(a);
        if (!v)
            return true;
        bool ok = false;
        const double s = v->toDouble(&ok);
        if (!ok || !std::isfinite(s) || s <= 0 || s > 86400)
            p.error =
                QStringLiteral("--timeout wants seconds above 0, at most 86400, not '%1'").arg(*v);
        else
            o.timeoutSeconds = s;
        return true;
    }
    return false;
}

std::optional<CliCommand> CommandOf(const QString& name) {
    static const struct {
        const char* name;
        CliCommand command;
    } kCommands[] = {
        {"speak", CliCommand::Speak},   {"stop", CliCommand::Stop},   {"pause", CliCommand::Pause},
        {"resume", CliCommand::Resume}, {"query", CliCommand::Query}, {"sleep", CliCommand::Sleep},
        {"rate", CliCommand::Rate},     {"mark", CliCommand::Mark},   {"hex", CliCommand::Hex},
        {"ports", CliCommand::Ports},
    };
    for (const auto& c : kCommands) {
        if (name == QLatin1String(c.name))
            return c.command;
    }
    return std::nullopt;
}

// The command's own options and operands.
void TakeCommandArgs(Parser& p, CliOptions& o, const QString& name) {
    QStringList operands;
    bool onlyOperands = false;
    while (p.more() && p.error.isEmpty()) {
        const QString a = p.args[p.i];
        if (!onlyOperands && a == QLatin1String("--")) {
            onlyOperands = true;
            ++p.i;
            continue;
        }
        const bool looksLikeOption = !onlyOperands && a.size() > 1 && a.startsWith(u'-');
        if (!looksLikeOption) {
            operands << a;
            ++p.i;
            continue;
        }
        if (TakeGlobal(p, o))
            continue;
        if (o.command == CliCommand::Speak && a == QLatin1String("-f")) {
            const auto v = p.value(a);
            if (v && v->isEmpty())
                p.error = QStringLiteral("-f wants a file");
            else if (v)
                o.file = *v;
        } else if (o.command == CliCommand::Speak && a == QLatin1String("--music")) {
            const auto v = p.value(a);
            static const QRegularExpression digits(QStringLiteral("^\\d{1,2}$"));
            if (v && (!digits.match(*v).hasMatch() || v->toInt() > 15))
                p.error = QStringLiteral("--music wants 0 to 15, not '%1'").arg(*v);
            else if (v)
                o.music = v->toInt();
        } else if (o.command == CliCommand::Speak && a == QLatin1String("--no-wait")) {
            o.noWait = true;
            ++p.i;
        } else if (o.command == CliCommand::Speak && a == QLatin1String("--confirm-idle")) {
            o.confirmIdle = true;
            ++p.i;
        } else if (o.command == CliCommand::Hex && a == QLatin1String("--typed-checksum")) {
            o.typedChecksum = true;
            ++p.i;
        } else {
            p.error = QStringLiteral("%1: unknown option '%2'").arg(name, a);
        }
    }
    if (!p.error.isEmpty())
        return;

    switch (o.command) {
    case CliCommand::Speak:
        if (o.noWait && o.confirmIdle)
            p.error = QStringLiteral("speak: --no-wait sends one piece only, which "
                                     "--confirm-idle has nothing to confirm for");
        else if (o.file && !operands.isEmpty())
            p.error = QStringLiteral("speak: either -f FILE or the text, not both");
        else if (!o.file && operands == QStringList{QStringLiteral("-")})
            o.file = QStringLiteral("-");
        else if (!o.file && operands.isEmpty())
            p.error = QStringLiteral("speak wants the text, -f FILE or - (standard input)");
        else
            o.words = operands;
        return;
    case CliCommand::Rate: {
        const auto rate = operands.size() == 1 ? RateOf(operands[0]) : std::nullopt;
        if (!rate)
            p.error = QStringLiteral("rate wants 9600, 19200 or 38400");
        else
            o.newRate = *rate;
        return;
    }
    case CliCommand::Mark:
    case CliCommand::Hex:
        if (operands.size() != 1)
            p.error = QStringLiteral("%1 wants one TEXT (quote it)").arg(name);
        else
            o.argument = operands[0];
        return;
    default:
        if (!operands.isEmpty())
            p.error = QStringLiteral("%1 takes no text, not '%2'").arg(name, operands[0]);
        return;
    }
}

} // namespace

bool JsonAsked(const QStringList& args) {
    const qsizetype end = args.indexOf(QStringLiteral("--"));
    return args.mid(0, end < 0 ? args.size() : end).contains(QStringLiteral("--json"));
}

CliParse ParseCliArguments(const QStringList& args) {
    Parser p;
    p.args = args;
    CliOptions o;
    std::optional<QString> commandName;
    while (p.more() && p.error.isEmpty()) {
        if (TakeGlobal(p, o))
            continue;
        const QString a = p.args[p.i];
        if (a.startsWith(u'-')) {
            p.error = QStringLiteral("unknown option '%1'").arg(a);
            break;
        }
        const auto command = CommandOf(a);
        if (!command) {
            p.error = QStringLiteral("unknown command '%1'").arg(a);
            break;
        }
        o.command = *command;
        commandName = a;
        ++p.i;
        TakeCommandArgs(p, o, a);
    }
    if (p.error.isEmpty() && !commandName && !o.help && !o.version)
        p.error = QStringLiteral("no command given");
    if (!p.error.isEmpty())
        return CliParse{std::nullopt, p.error};
    return CliParse{o, QString()};
}
