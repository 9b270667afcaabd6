#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

// The sound played when an update has finished: the named file where it exists,
// else the desktop's completion sound if one is installed, else silence. Playing
// never blocks the caller.
using CompletionSound = std::function<void()>;

// The file the sound comes from on the platform the tool was first made for.
inline constexpr const char* kCompletionSoundFile = "C:\\WINDOWS\\Media\\tada.wav";
// The freedesktop sound theme's "complete" event.
inline constexpr const char* kDesktopCompleteSound =
    "/usr/share/sounds/freedesktop/stereo/complete.oga";

// A player and the arguments that play one file.
struct SoundCommand {
    std::string program;
    std::vector<std::string> arguments;
};

// What plays the completion sound, given how to tell whether a file exists and how
// to find a program on the search path (empty: not installed). Nothing when no
// sound file or no player that can play it is present.
std::optional<SoundCommand> FindCompletionSoundCommand(
    const std::function<bool(const std::string&)>& fileExists,
    const std::function<std::string(const std::string&)>& findProgram);

// Plays the completion sound of this machine in a detached player process.
void PlayCompletionSound();
