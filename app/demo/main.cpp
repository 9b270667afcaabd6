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
    "Usage: tovrane-demo [--new-loaders]\n"
    "Shows the Tovrane window with a simulated device as the first port and sample\n"
    "images of %d records. Press \"Update DSP\", \"Update MCU\" or \"Read Version\".\n"
    "Closing the window ends the demo.\n"
    "The device has old loaders, which erase while the bar is animated; with\n"
    "--new-loaders it has the new ones, which erase before the animation starts\n"
    "and resume an interrupted update.\n";

devsim::Options DemoDevice(bool newLoaders) {
    devsim::Options options;
    const devsim::Generation generation =
        newLoaders ? devsim::Generation::New : devsim::Generation::Old;
    options.device.dsp = generation;
    options.device.mcu = generation;
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
    const bool newLoaders = argc == 2 && std::strcmp(argv[1], "--new-loaders") == 0;
    if (argc > 1 && !newLoaders) {
        std::printf(kUsage, kDemoRecords);
        return std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
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

    devsim::DeviceSimulator device(DemoDevice(newLoaders));
    if (!device.Start()) {
        std::fprintf(stderr, "tovrane-demo: cannot start the simulated device: %s\n",
                     device.LastError().c_str());
        return 1;
    }
    std::printf("tovrane-demo: simulated device on %s, images in %s\n", device.SlavePath().c_str(),
                images.path().toLocal8Bit().constData());
    std::fflush(stdout);

    CTovraneDlg dlg;
    dlg.ListPortFirst(device.SlavePath());
    dlg.SetCompletionSound(AnnounceAndPlay);
    dlg.exec();
    return 0;
}
