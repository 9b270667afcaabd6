// tovrane-demo: the Tovrane window against a simulated device on a pseudo-terminal,
// listed first among the ports, with sample images in a temporary directory.
// "Update DSP", "Update MCU" and "Read Version" then run whole operations, paced
// as on a real 9600-baud line so the erase, the blocks, the speed and the
// remaining time can be watched.

#include <QApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "app/CompletionSound.h"
#include "app/Resource.h"
#include "app/TovraneDlg.h"
#include "app/demo/DemoImages.h"
#include "tools/devsim/DeviceSimulator.h"
#include "update/ImageFiles.h"

namespace {

// About 20 s of programming at 9600 baud.
constexpr int kDemoRecords = 320;
constexpr std::chrono::milliseconds kEraseTime{4000};

constexpr const char* kUsage =
    "Usage: tovrane-demo [--dsp=old|new] [--mcu=old|new]\n"
    "  or:  tovrane-demo --write-images=DIR\n"
    "Shows the Tovrane window with a simulated device as the first port and sample\n"
    "images of %d records. Press \"Update DSP\", \"Update MCU\" or \"Read Version\".\n"
    "Closing the window ends the demo.\n"
    "Loader generations (default: old DSP loader, new MCU loader): an old loader\n"
    "erases while the bar is animated; a new one erases before the animation starts\n"
    "and resumes an interrupted update. An old MCU loader is found only after about\n"
    "20 s, as the tool first asks for a new one.\n"
    "--write-images=DIR only writes the sample images into DIR (for the station's\n"
    "demo) and ends.\n";

struct DemoChoice {
    devsim::Generation dsp = devsim::Generation::Old;
    devsim::Generation mcu = devsim::Generation::New;
};

// False for anything but --dsp=old|new and --mcu=old|new.
bool ParseArguments(int argc, char** argv, DemoChoice& choice) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool dsp = argument.rfind("--dsp=", 0) == 0;
        if (!dsp && argument.rfind("--mcu=", 0) != 0) {
            return false;
        }
        const std::string value = argument.substr(6);
        if (value != "old" && value != "new") {
            return false;
        }
        const auto generation = value == "old" ? devsim::Generation::Old : devsim::Generation::New;
        (dsp ? choice.dsp : choice.mcu) = generation;
    }
    return true;
}

devsim::Options DemoDevice(const DemoChoice& choice) {
    devsim::Options options;
    options.device.dsp = choice.dsp;
    options.device.mcu = choice.mcu;
    options.pacing.wireTime = true;
    options.pacing.eraseTime = kEraseTime;
    return options;
}

void AnnounceAndPlay() {
    std::printf("tovrane-demo: update finished, completion sound\n");
    std::fflush(stdout);
    PlayCompletionSound();
}

}  // namespace

int main(int argc, char** argv) {
    constexpr std::string_view kWriteImages = "--write-images=";
    if (argc == 2 && std::string_view(argv[1]).substr(0, kWriteImages.size()) == kWriteImages) {
        const std::string directory(argv[1] + kWriteImages.size());
        std::error_code ignored;
        std::filesystem::create_directories(directory, ignored);
        if (directory.empty() || !WriteDemoImages(directory, kDemoRecords)) {
            std::fprintf(stderr, "tovrane-demo: cannot write the sample images into '%s'\n",
                         directory.c_str());
            return 1;
        }
        return 0;
    }
    DemoChoice choice;
    if (!ParseArguments(argc, argv, choice)) {
        const bool help = std::strcmp(argv[1], "--help") == 0;
        std::fprintf(help ? stdout : stderr, kUsage, kDemoRecords);
        return help ? 0 : 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tovrane"));
    QApplication::setWindowIcon(AppIcon());

    QTemporaryDir images;
    if (!images.isValid() || !WriteDemoImages(images.path().toStdString(), kDemoRecords)) {
        std::fprintf(stderr, "tovrane-demo: cannot write the sample images\n");
        return 1;
    }
    SetImageDirectory(images.path().toStdString());

    devsim::DeviceSimulator device(DemoDevice(choice));
    if (!device.Start()) {
        std::fprintf(stderr, "tovrane-demo: cannot start the simulated device: %s\n",
                     device.LastError().c_str());
        return 1;
    }
    std::printf("tovrane-demo: simulated device on %s, images in %s\n", device.SlavePath().c_str(),
                images.path().toLocal8Bit().constData());
    std::fflush(stdout);

    CTovraneDlg dlg;
    dlg.ListPortFirst(device.SlavePath(), "simulated device");
    dlg.SetCompletionSound(AnnounceAndPlay);
    dlg.exec();
    return 0;
}
