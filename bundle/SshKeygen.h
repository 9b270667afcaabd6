#pragma once

#include <QByteArray>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <string>

// One run of ssh-keygen: how it ended and what it printed.
struct SshKeygenRun {
    bool finished = false;  // it exited by itself
    int exitCode = -1;
    QByteArray out;
    std::string trouble;  // why it did not run to its end or failed; empty when it succeeded
};

// Runs ssh-keygen with `arguments` and the file `inputPath` (or nothing, when empty) on
// its standard input, for at most
// `limitMs`; `stopped` (Ctrl-C or SIGTERM) ends it early. What it prints is kept up to
// a bound. It is started with posix_spawn rather than QProcess: Qt 6.4 starts a child
// with a vfork-like clone whose child runs Qt's code in this process's memory, which
// ThreadSanitizer takes for a fork of a threaded process, and stops checking the
// starting thread's locks from then on.
SshKeygenRun RunSshKeygen(const QStringList& arguments, const std::string& inputPath,
                          uint32_t limitMs, const std::function<bool()>& stopped = {});

// The first line of `text` that is not blank; "no reason given" when there is none.
std::string FirstLine(const QByteArray& text);
