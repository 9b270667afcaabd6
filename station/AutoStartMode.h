#pragma once

#include <QString>
#include <optional>

// When auto-start starts a slot's run: when an adapter is plugged into it, or (in
// a fixture, where the adapter stays) when a board answers on its port.
enum class AutoStartMode { Plug, Answer };

// "plug" or "answer": the command line's and the settings' name, and what the
// results file says started the run.
const char* AutoStartModeName(AutoStartMode mode);
std::optional<AutoStartMode> AutoStartModeFromName(const QString& name);
