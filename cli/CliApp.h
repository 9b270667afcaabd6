#pragma once

// Runs the headless front end; returns the process's exit status.
int RunCli(int argc, char** argv);
