#pragma once

// Ctrl-C and SIGTERM ask the front end to stop: the signal is remembered, and a
// byte on a pipe wakes an event loop that watches StopSignalFd().
// Installs the handlers; false when that fails.
bool InstallStopSignals();
// The signal that asked to stop (SIGINT or SIGTERM); 0 while none did.
int StopSignal();
// The pipe's reading end, readable once a stop was asked for.
int StopSignalFd();
