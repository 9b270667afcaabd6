#include "station/AutoStartMode.h"

#include "cli/JsonLines.h"

const char* AutoStartModeName(AutoStartMode mode) {
    return mode == AutoStartMode::Answer ? jsonl::kStartedByAnswer : jsonl::kStartedByPlug;
}

std::optional<AutoStartMode> AutoStartModeFromName(const QString& name) {
    for (const AutoStartMode mode : {AutoStartMode::Plug, AutoStartMode::Answer}) {
        if (name == QLatin1String(AutoStartModeName(mode))) {
            return mode;
        }
    }
    return std::nullopt;
}
