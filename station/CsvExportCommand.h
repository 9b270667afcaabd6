#pragma once

struct StationOptions;

// tovrane-station --export-csv: writes the CSV without a window. The results
// file is --results, else the one the station used last. Exit status 0 when the
// file is written, 1 with the reason on standard error otherwise.
int RunCsvExportCommand(const StationOptions& options);
