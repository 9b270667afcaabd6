#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "app/CompletionSound.h"

namespace {

// A machine with exactly these files and programs.
std::optional<SoundCommand> FindOn(std::set<std::string> files,
                                   std::map<std::string, std::string> programs) {
    return FindCompletionSoundCommand(
        [&](const std::string& file) { return files.count(file) > 0; },
        [&](const std::string& name) {
            const auto it = programs.find(name);
            return it == programs.end() ? std::string() : it->second;
        });
}

}  // namespace

TEST(CompletionSound, NamedFileFirstThenTheDesktopSoundThenSilence) {
    const std::map<std::string, std::string> allPlayers = {{"paplay", "/usr/bin/paplay"},
                                                           {"pw-play", "/usr/bin/pw-play"},
                                                           {"aplay", "/usr/bin/aplay"}};

    auto both = FindOn({kCompletionSoundFile, kDesktopCompleteSound}, allPlayers);
    ASSERT_TRUE(both);
    EXPECT_EQ(both->program, "/usr/bin/paplay");
    EXPECT_EQ(both->arguments, std::vector<std::string>{kCompletionSoundFile});

    auto desktop = FindOn({kDesktopCompleteSound}, allPlayers);
    ASSERT_TRUE(desktop);
    EXPECT_EQ(desktop->arguments, std::vector<std::string>{kDesktopCompleteSound});

    EXPECT_FALSE(FindOn({}, allPlayers));
    EXPECT_FALSE(FindOn({kCompletionSoundFile, kDesktopCompleteSound}, {}));
}

TEST(CompletionSound, AplayIsUsedForWavFilesOnly) {
    EXPECT_FALSE(FindOn({kDesktopCompleteSound}, {{"aplay", "/usr/bin/aplay"}}));

    auto wav = FindOn({kCompletionSoundFile}, {{"aplay", "/usr/bin/aplay"}});
    ASSERT_TRUE(wav);
    EXPECT_EQ(wav->program, "/usr/bin/aplay");

    auto pipewire = FindOn({kDesktopCompleteSound}, {{"pw-play", "/bin/pw-play"}});
    ASSERT_TRUE(pipewire);
    EXPECT_EQ(pipewire->program, "/bin/pw-play");
}
