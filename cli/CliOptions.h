#pragma once

#include <string>
#include <vector>

// What the command line asks for.
struct CliOptions {
    enum class Action { Run, CheckImages, ListPorts, Help, Version, UsageError };
    enum class Operation { None, UpdateDsp, UpdateMcu, ReadVersion };

    Action action = Action::Run;
    Operation operation = Operation::None;
    std::string port;
    std::string imageDirectory;  // empty: the executable's directory
    bool json = false;           // JSON Lines instead of the plain lines
    bool trace = false;          // the serial library's diagnostic traces on stderr
    bool requireVerify = false;  // refuse an image without a checkpoint record
    std::string error;           // why the command line is wrong
};

CliOptions ParseCliArguments(const std::vector<std::string>& arguments);

// The --help text.
const char* CliUsage();
