#include "cli/CliOptions.h"

namespace {

struct OperationFlag {
    const char* flag;
    CliOptions::Operation operation;
};

constexpr OperationFlag kOperationFlags[] = {
    {"--update-dsp", CliOptions::Operation::UpdateDsp},
    {"--update-mcu", CliOptions::Operation::UpdateMcu},
    {"--read-version", CliOptions::Operation::ReadVersion},
};

CliOptions UsageError(std::string reason) {
    CliOptions options;
    options.action = CliOptions::Action::UsageError;
    options.error = std::move(reason);
    return options;
}

}  // namespace

CliOptions ParseCliArguments(const std::vector<std::string>& arguments) {
    CliOptions options;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            options.action = CliOptions::Action::Help;
            return options;
        }
        if (argument == "--version") {
            options.action = CliOptions::Action::Version;
            return options;
        }
        if (argument == "--port" || argument == "--images") {
            if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
                return UsageError(argument + " needs a value");
            }
            (argument == "--port" ? options.port : options.imageDirectory) = arguments[++i];
            continue;
        }
        bool known = false;
        for (const OperationFlag& flag : kOperationFlags) {
            if (argument == flag.flag) {
                if (options.operation != CliOptions::Operation::None) {
                    return UsageError(
                        "choose exactly one of --update-dsp, --update-mcu and "
                        "--read-version");
                }
                options.operation = flag.operation;
                known = true;
            }
        }
        if (!known) {
            return UsageError("unknown argument '" + argument + "'");
        }
    }
    if (options.port.empty()) {
        return UsageError("--port DEVICE is required");
    }
    if (options.operation == CliOptions::Operation::None) {
        return UsageError("choose one of --update-dsp, --update-mcu and --read-version");
    }
    return options;
}

const char* CliUsage() {
    return R"(Usage: tovrane-cli --port DEVICE OPERATION [--images DIR]
  or:  tovrane-cli --help | --version

Rewrites the firmware of the device on DEVICE, or reads its version, without a
window. It runs exactly what the window's button of the same name runs.
OPERATION is one of --update-dsp, --update-mcu and --read-version.

  --port DEVICE    the serial port, for example /dev/ttyUSB0
  --update-dsp     write dsp.hex into the DSP
  --update-mcu     write mcu_old.mot or mcu_new.mot (by the loader that answers)
                   into the MCU
  --read-version   read and print the device's version text
  --images DIR     where the image files are (default: this program's directory)
  --help           this text
  --version        the program's version

Output: every log line of the window goes to standard output as it happens,
oldest first; the text of each message box goes there as one line. When
standard error is a terminal, a live progress line (percent, blocks written of
total, elapsed time, speed, remaining time) is drawn there.

Exit status:
  0    the update finished, or the version was read
  1    the tool reported a failure (port cannot be opened or set up, loader not
       found, image missing, connect fail, verify fail, write fail, version read
       fail)
  2    the command line is wrong
  130  interrupted by Ctrl-C, 143 by SIGTERM: the update stops at the next
       exchange and the port is closed; a new loader resumes where it stopped
       on the next run
)";
}
