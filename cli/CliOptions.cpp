#include "cli/CliOptions.h"

#include <QCommandLineParser>
#include <QStringList>
#include <algorithm>

namespace {

using Action = CliOptions::Action;
using Operation = CliOptions::Operation;

CliOptions UsageError(std::string reason) {
    CliOptions options;
    options.action = Action::UsageError;
    options.error = std::move(reason);
    return options;
}

struct Command {
    const char* flag;
    Action action;
    Operation operation;
    bool takesBundle;  // its value is the bundle (or, for --make-bundle, the archive)
};

constexpr Command kCommands[] = {
    {"update-dsp", Action::Run, Operation::UpdateDsp, false},
    {"update-mcu", Action::Run, Operation::UpdateMcu, false},
    {"read-version", Action::Run, Operation::ReadVersion, false},
    {"bundle", Action::Run, Operation::Bundle, true},
    {"check-images", Action::CheckImages, Operation::None, false},
    {"check-bundle", Action::CheckBundle, Operation::None, true},
    {"make-bundle", Action::MakeBundle, Operation::None, true},
    {"list-ports", Action::ListPorts, Operation::None, false},
};

constexpr const char* kChooseOne =
    "choose one of --update-dsp, --update-mcu, --read-version, --bundle, --check-images, "
    "--check-bundle, --make-bundle and --list-ports";

bool IsBundleUse(const CliOptions& options) {
    return options.operation == Operation::Bundle || options.action == Action::CheckBundle;
}

// An option given with a command it does not belong to; empty when all fit.
std::string MisplacedOption(const QCommandLineParser& parser, const CliOptions& options) {
    const bool making = options.action == Action::MakeBundle;
    const struct {
        const char* option;
        bool fits;
        const char* why;
    } kRules[] = {
        {"allowed-signers", IsBundleUse(options), "only goes with --bundle and --check-bundle"},
        {"images", !IsBundleUse(options), "does not go with a bundle, which holds its images"},
        {"require-verify", !IsBundleUse(options),
         "does not go with a bundle, whose manifest says whether it is required"},
        {"name", making, "only goes with --make-bundle"},
        {"release", making, "only goes with --make-bundle"},
        {"steps", making, "only goes with --make-bundle"},
        {"version-pattern", making, "only goes with --make-bundle"},
        {"json", !making, "does not go with --make-bundle"},
    };
    for (const auto& rule : kRules) {
        if (!rule.fits && parser.isSet(rule.option)) {
            return std::string("--") + rule.option + ' ' + rule.why;
        }
    }
    if (making) {
        for (const char* needed : {"images", "name", "release"}) {
            if (!parser.isSet(needed)) {
                return std::string("--make-bundle needs --") + needed;
            }
        }
    }
    return {};
}

// "dsp,mcu,version" as steps; nullopt when a name is not a step.
std::optional<std::vector<BundleStep>> ParseSteps(const QString& list) {
    std::vector<BundleStep> steps;
    for (const QString& name : list.split(',')) {
        const BundleStep kSteps[] = {BundleStep::Dsp, BundleStep::Mcu, BundleStep::Version};
        const auto known = std::find_if(std::begin(kSteps), std::end(kSteps),
                                        [&](BundleStep step) { return name == StepName(step); });
        if (known == std::end(kSteps)) {
            return std::nullopt;
        }
        steps.push_back(*known);
    }
    return steps;
}

}  // namespace

CliOptions ParseCliArguments(const std::vector<std::string>& arguments) {
    QCommandLineParser parser;
    const QStringList valued{"port",    "images", "allowed-signers", "name",
                             "release", "steps",  "version-pattern"};
    for (const QString& name : valued) {
        parser.addOption(QCommandLineOption(name, {}, "VALUE"));
    }
    for (const char* flag : {"json", "trace", "require-verify", "version"}) {
        parser.addOption(QCommandLineOption(flag));
    }
    parser.addOption(QCommandLineOption(QStringList{"h", "help"}));
    for (const Command& command : kCommands) {
        parser.addOption(command.takesBundle ? QCommandLineOption(command.flag, {}, "BUNDLE")
                                             : QCommandLineOption(command.flag));
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
    if (parser.isSet("help")) {
        options.action = Action::Help;
        return options;
    }
    if (parser.isSet("version")) {
        options.action = Action::Version;
        return options;
    }
    int chosen = 0;
    for (const Command& command : kCommands) {
        if (parser.isSet(command.flag)) {
            ++chosen;
            options.action = command.action;
            options.operation = command.operation;
            if (command.takesBundle) {
                options.bundle = parser.value(command.flag).toStdString();
                if (options.bundle.empty()) {
                    return UsageError(std::string("--") + command.flag + " needs a value");
                }
            }
        }
    }
    for (const QString& name : valued) {
        if (parser.isSet(name) && parser.value(name).isEmpty()) {
            return UsageError("--" + name.toStdString() + " needs a value");
        }
    }
    if (chosen != 1) {
        return UsageError(kChooseOne);
    }
    if (const std::string misplaced = MisplacedOption(parser, options); !misplaced.empty()) {
        return UsageError(misplaced);
    }
    options.port = parser.value("port").toStdString();
    options.imageDirectory = parser.value("images").toStdString();
    options.json = parser.isSet("json");
    options.trace = parser.isSet("trace");
    options.requireVerify = parser.isSet("require-verify");
    options.allowedSigners = parser.value("allowed-signers").toStdString();
    options.bundleName = parser.value("name").toStdString();
    options.release = parser.value("release").toStdString();
    if (parser.isSet("steps")) {
        options.steps = ParseSteps(parser.value("steps"));
        if (!options.steps) {
            return UsageError("--steps takes dsp, mcu and version, separated by commas");
        }
    }
    if (parser.isSet("version-pattern")) {
        options.versionPattern = parser.value("version-pattern").toStdString();
    }
    if (options.action == Action::Run && options.port.empty()) {
        return UsageError("--port DEVICE is required");
    }
    return options;
}

const char* CliUsage() {
    return R"(Usage: tovrane-cli --port DEVICE OPERATION [OPTION]...
  or:  tovrane-cli --port DEVICE --bundle BUNDLE [--allowed-signers FILE] [--json]
                   [--trace]
  or:  tovrane-cli --check-images [--images DIR] [--require-verify] [--json]
  or:  tovrane-cli --check-bundle BUNDLE [--allowed-signers FILE] [--json]
  or:  tovrane-cli --make-bundle OUT.tar --images DIR --name TEXT --release TEXT
                   [--steps dsp,mcu,version] [--version-pattern RE] [--require-verify]
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
  --bundle BUNDLE   run a release bundle's steps in order (DSP, MCU, version, as
                    its manifest lists them), each as its button runs it, from a
                    private copy of the bundle; the run stops at the first step
                    that fails and passes only when every step passed and the
                    version read matches the release's pattern
  --check-bundle BUNDLE
                    check a release bundle as --bundle would, without a device:
                    one line per image, then one for the bundle (name, release,
                    steps, signer, accepted or why it is refused)
  --make-bundle OUT.tar
                    write a release bundle of the images in --images DIR with a
                    manifest naming each image's SHA-256 (gzip-compressed when OUT
                    ends in .tar.gz or .tgz); images that an update would refuse
                    make nothing
  --name TEXT, --release TEXT
                    the bundle's name and release (required by --make-bundle)
  --steps LIST      the bundle's steps in order, of dsp, mcu and version separated
                    by commas (default: dsp where dsp.hex is present, mcu where an
                    MCU image is, then version when --version-pattern is given)
  --version-pattern RE
                    a regular expression the version text read by the bundle's
                    version step must match somewhere
  --allowed-signers FILE
                    the trust file (OpenSSH allowed_signers format) a bundle's
                    signature must verify against; without it
                    /etc/tovrane/allowed_signers when that file exists, otherwise
                    signatures are not checked
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
                    could not be verified (with --make-bundle: written into the
                    bundle's manifest)
  --json            JSON Lines on standard output instead of the plain lines
  --trace           the serial library's diagnostic traces on standard error
  --help            this text
  --version         the program's version

Images are checked before anything is sent: an image with a record whose own
checksum is wrong, a line that cannot be sent or no block at all is refused
and the device is left untouched. A bundle (a folder or a tar archive, plain or
gzip, holding manifest.json, optionally its signature manifest.json.sig, and the
images) is refused before anything is sent when an image's SHA-256 differs from
the manifest, an image is missing or refused, the manifest breaks a rule, an
archive entry is a link, device or FIFO or leaves the bundle, or, with a trust
file in force, the signature is missing, bad or by an unknown signer.

Output: every log line of the window goes to standard output as it happens,
oldest first; the text of each message box goes there as one line. When
standard error is a terminal, a live progress line (percent, blocks written of
total, elapsed time, speed, remaining time) is drawn there, and a summary
(outcome, blocks, duration, verified or not) ends the run; otherwise nothing
is written there unless --trace is given. A bundle run ends with a line naming
the bundle's outcome.

With --json every log line and message box is one object
{"event":"log"|"message","t_ms":...,"text":...}, a loader object
{"event":"loader","t_ms":...,"loader":"old"|"new"} says which loader answered
as soon as it is known, a progress object follows every second while
programming, a bundle's step begins with a step object
{"event":"step","step":...,"index":...,"count":...} (the step is dsp, mcu or
version), and one result object ends every run:
{"event":"result","exit":...,"outcome":...,"verified":...,...}
(the README lists every field).

Exit status:
  0    the update finished, or the version was read, or every step of the
       bundle passed (--check-images: every image present would be accepted;
       --check-bundle: the bundle would run; --make-bundle: it was written)
  1    the tool reported a failure (port cannot be opened or set up, loader not
       found, image missing or refused, connect fail, verify fail, write fail,
       version read fail, version mismatch, bundle refused)
  2    the command line is wrong
  130  interrupted by Ctrl-C, 143 by SIGTERM, 129 by SIGHUP (the terminal
       closed): the update stops at the next exchange and the port is closed;
       a new loader resumes where it stopped on the next run
)";
}
