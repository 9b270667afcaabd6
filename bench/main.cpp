// Runs the benchmarks named on the command line (all when none) and prints one
// table. Exit status 0 when every goal was met. The application is a widgets one
// on the offscreen platform, for the station's window; the benchmarks run
// without a display.
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <functional>

#include "BenchStats.h"
#include "Benches.h"
#include "SerialLib/Serial/Diagnostics.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The link's traces of unanswered commands (the idle bench waits for one) stay out of the
    // table.
    serialdiag::SetHandler([](const serialdiag::Report&) {});
    struct Bench {
        const char* name;
        std::function<bool()> run;
    };
    const Bench benches[] = {
        {"exchange", BenchExchange}, {"wire", BenchWire},       {"images", BenchImages},
        {"idle", BenchIdle},         {"station", BenchStation}, {"yield", BenchYield},
        {"fixture", BenchFixture},
    };
    PrintHeader();
    bool allMet = true;
    for (const Bench& bench : benches) {
        bool wanted = argc == 1;
        for (int i = 1; i < argc; ++i) {
            wanted = wanted || std::strcmp(argv[i], bench.name) == 0;
        }
        if (wanted) {
            allMet = bench.run() && allMet;
        }
    }
    return allMet ? 0 : 1;
}
