#pragma once

#include <string>
#include <vector>

// What the command line asks for.
struct CliOptions {
    enum class Action { Run, Help, Version, ListPorts, UsageError };
    enum class Operation { None, UpdateDsp, UpdateMcu, ReadVersion };

    Action action = Action::Run;
    Operation operation = Operation::None;
    std::string port;
    std::string imageDirectory;  // empty: the executable's directory
    std::string error;           // why the command line is wrong
};

CliOptions ParseCliArguments(const std::vector<std::string>& arguments);

// The --help text.
const char* CliUsage();
