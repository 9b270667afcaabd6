#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bundle/Manifest.h"

// What the command line asks for.
struct CliOptions {
    enum class Action {
        Run,
        CheckImages,
        CheckBundle,
        MakeBundle,
        ListPorts,
        Help,
        Version,
        UsageError
    };
    enum class Operation { None, UpdateDsp, UpdateMcu, ReadVersion, Bundle };

    Action action = Action::Run;
    Operation operation = Operation::None;
    std::string port;
    std::string imageDirectory;  // empty: the executable's directory
    bool json = false;           // JSON Lines instead of the plain lines
    bool trace = false;          // the serial library's diagnostic traces on stderr
    bool requireVerify = false;  // refuse an image without a checkpoint record
    // --bundle and --check-bundle: the bundle; --make-bundle: the archive to write.
    std::string bundle;
    std::string allowedSigners;  // the trust file given; empty: the default, if it exists
    // --make-bundle's manifest.
    std::string bundleName;
    std::string release;
    std::optional<std::vector<BundleStep>> steps;  // nullopt: from the images present
    std::optional<std::string> versionPattern;
    std::string error;  // why the command line is wrong
};

CliOptions ParseCliArguments(const std::vector<std::string>& arguments);

// The --help text.
const char* CliUsage();
