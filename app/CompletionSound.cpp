#include "app/CompletionSound.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

namespace {

struct Player {
    const char* program;
    bool playsOgg;  // aplay takes WAV (and raw) data only
};

// Sound servers first: they mix with what else is playing.
const Player kPlayers[] = {{"paplay", true}, {"pw-play", true}, {"aplay", false}};

bool IsWav(const std::string& file) {
    return QFileInfo(QString::fromStdString(file)).suffix().compare("wav", Qt::CaseInsensitive) ==
           0;
}

}  // namespace

std::optional<SoundCommand> FindCompletionSoundCommand(
    const std::function<bool(const std::string&)>& fileExists,
    const std::function<std::string(const std::string&)>& findProgram) {
    for (const char* file : {kCompletionSoundFile, kDesktopCompleteSound}) {
        if (!fileExists(file)) {
            continue;
        }
        for (const Player& player : kPlayers) {
            if (!player.playsOgg && !IsWav(file)) {
                continue;
            }
            const std::string program = findProgram(player.program);
            if (!program.empty()) {
                return SoundCommand{program, {file}};
            }
        }
    }
    return std::nullopt;
}

void PlayCompletionSound() {
    const auto command = FindCompletionSoundCommand(
        [](const std::string& file) { return QFileInfo(QString::fromStdString(file)).isFile(); },
        [](const std::string& program) {
            return QStandardPaths::findExecutable(QString::fromStdString(program)).toStdString();
        });
    if (!command) {
        return;
    }
    QStringList arguments;
    for (const std::string& argument : command->arguments) {
        arguments << QString::fromStdString(argument);
    }
    // The player runs on its own; the window goes on at once.
    QProcess::startDetached(QString::fromStdString(command->program), arguments);
}
