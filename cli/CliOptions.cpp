#include "cli/CliOptions.h"

#include <QCommandLineParser>
#include <QStringList>

namespace {

CliOptions UsageError(std::string reason) {
    CliOptions options;
    options.action = CliOptions::Action::UsageError;
    options.error = std::move(reason);
    return options;
}

struct Command {
    const char* flag;
    CliOptions::Action action;
    CliOptions::Operation operation;
};

constexpr Command kCommands[] = {
    {"update-dsp", CliOptions::Action::Run, CliOptions::Operation::UpdateDsp},
    {"update-mcu", CliOptions::Action::Run, CliOptions::Operation::UpdateMcu},
    {"read-version", CliOptions::Action::Run, CliOptions::Operation::ReadVersion},
    {"check-images", CliOptions::Action::CheckImages, CliOptions::Operation::None},
    {"list-ports", CliOptions::Action::ListPorts, CliOptions::Operation::None},
};

constexpr const char* kChooseOne =
    "choose one of --update-dsp, --update-mcu, --read-version, --check-images and --list-ports";

}  // namespace

CliOptions ParseCliArguments(const std::vector<std::string>& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption port("port", {}, "DEVICE");
    const QCommandLineOption images("images", {}, "DIR");
    const QCommandLineOption json("json");
    const QCommandLineOption trace("trace");
    const QCommandLineOption requireVerify("require-verify");
    const QCommandLineOption help(QStringList{"h", "help"});
    const QCommandLineOption version("version");
    parser.addOptions({port, images, json, trace, requireVerify, help, version});
    for (const Command& command : kCommands) {
        parser.addOption(QCommandLineOption(command.flag));
    }

    QStringList list{"tovrane-cli"};
    for (const std::string& argument : arguments) {
        list << QString::fromStdString(argument);
    }
    if (!parser.parse(list)) {
        return UsageError(parser.errorText().toStdString());
    }
    if (!parser.positionalArguments().isEmpty()) {
        return UsageError("unknown argument '" +
                          parser.positionalArguments().front().toStdString() + "'");
    }
    CliOptions options;
    if (parser.isSet(help)) {
        options.action = CliOptions::Action::Help;
        return options;
    }
    if (parser.isSet(version)) {
        options.action = CliOptions::Action::Version;
        return options;
    }
    for (const QCommandLineOption* valued : {&port, &images}) {
        if (parser.isSet(*valued) && parser.value(*valued).isEmpty()) {
            return UsageError("--" + valued->names().front().toStdString() + " needs a value");
        }
    }
    int chosen = 0;
    for (const Command& command : kCommands) {
        if (parser.isSet(command.flag)) {
            ++chosen;
            options.action = command.action;
            options.operation = command.operation;
        }
    }
    if (chosen != 1) {
        return UsageError(kChooseOne);
    }
    options.port = parser.value(port).toStdString();
    options.imageDirectory = parser.value(images).toStdString();
    options.json = parser.isSet(json);
    options.trace = parser.isSet(trace);
    options.requireVerify = parser.isSet(requireVerify);
    if (options.action == CliOptions::Action::Run && options.port.empty()) {
        return UsageError("--port DEVICE is required");
    }
    return options;
}

const char* CliUsage() {
    return R"(Usage: tovrane-cli --port DEVICE OPERATION [OPTION]...
  or:  tovrane-cli --check-images [--images DIR] [--require-verify] [--json]
  or:  tovrane-cli --list-ports
  or:  tovrane-cli --help | --version

Rewrites the firmware of the device on DEVICE, or reads its version, without a
window. It runs exactly what the window's button of the same name runs.
OPERATION is one of --update-dsp, --update-mcu and --read-version; the OPTIONs
are --images, --require-verify, --json and --trace.

  --port DEVICE     the serial port, for example /dev/ttyUSB0 or a stable
                    /dev/serial/by-id/... link
  --update-dsp      write dsp.hex into the DSP
  --update-mcu      write mcu_old.mot or mcu_new.mot (by the loader that answers)
                    into the MCU
  --read-version    read and print the device's version text
  --check-images    check dsp.hex, mcu_old.mot and mcu_new.mot (those present)
                    as an update would, without a device: one line per image
                    with its blocks, checkpoint, SHA-256 and verdict
  --list-ports      list the serial ports, one a line: path, state (usable, busy,
                    no permission), description, VID:PID, serial number, USB
                    location (the socket's path as dmesg names it, 1-2.3, with
                    the interface for a port of a dual adapter: 1-2.3:1.1), the
                    /dev/serial/by-id link, which names the same adapter on every
                    boot, and the /dev/serial/by-path link, which names the same
                    USB socket; either link can be given to --port
  --images DIR      where the image files are (default: this program's directory)
  --require-verify  refuse an image without a checkpoint record, whose flash
                    could not be verified
  --json            JSON Lines on standard output instead of the plain lines
  --trace           the serial library's diagnostic traces on standard error
  --help            this text
  --version         the program's version

Images are checked before anything is sent: an image with a record whose own
checksum is wrong, a line that cannot be sent or no block at all is refused
and the device is left untouched.

Output: every log line of the window goes to standard output as it happens,
oldest first; the text of each message box goes there as one line. When
standard error is a terminal, a live progress line (percent, blocks written of
total, elapsed time, speed, remaining time) is drawn there, and a summary
(outcome, blocks, duration, verified or not) ends the run; otherwise nothing
is written there unless --trace is given.

With --json every log line and message box is one object
{"event":"log"|"message","t_ms":...,"text":...}, a loader object
{"event":"loader","t_ms":...,"loader":"old"|"new"} says which loader answered
as soon as it is known, a progress object follows every second while
programming, and one result object ends every run:
{"event":"result","exit":...,"outcome":...,"verified":...,...}
(the README lists every field).

Exit status:
  0    the update finished, or the version was read (--check-images: every
       image present would be accepted)
  1    the tool reported a failure (port cannot be opened or set up, loader not
       found, image missing or refused, connect fail, verify fail, write fail,
       version read fail)
  2    the command line is wrong
  130  interrupted by Ctrl-C, 143 by SIGTERM: the update stops at the next
       exchange and the port is closed; a new loader resumes where it stopped
       on the next run
)";
}
