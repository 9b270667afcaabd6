#pragma once

// Runs tovrane-station; returns the process's exit status.
int RunStation(int argc, char** argv);
