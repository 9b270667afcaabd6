// Image streaming: counts and programs a 1 MB and a 50 MB dsp.hex against the
// simulator answering at once, and shows that peak memory does not grow with the
// image. The count's throughput is printed next to `wc -l` on the same file. The
// simulator runs as a child process (tovrane-devsim), so this process's peak
// memory is the tool's alone.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "BenchStats.h"
#include "Benches.h"
#include "UpdateRig.h"
#include "update/ImageFiles.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kMegabyte = 1024 * 1024;
constexpr int kDataBytes = 32;  // per record
// Peak memory may grow this much from the 1 MB run to the 50 MB run.
constexpr long kAllowedGrowthKb = 8 * 1024;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Writes Intel HEX data records of kDataBytes bytes until `bytes` are written,
// one record at a time, so the generator holds no more than a line either.
std::size_t WriteImage(const std::string& path, std::size_t bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::size_t written = 0;
    std::size_t lines = 0;
    char record[128];
    for (unsigned address = 0; written < bytes; address = (address + kDataBytes) & 0xFFFF) {
        int n = std::snprintf(record, sizeof record, ":%02X%04X00", kDataBytes, address);
        for (int i = 0; i < kDataBytes; ++i) {
            n += std::snprintf(record + n, sizeof record - n, "%02X", (address + i) & 0xFF);
        }
        n += std::snprintf(record + n, sizeof record - n, "00\r\n");
        out.write(record, n);
        written += static_cast<std::size_t>(n);
        ++lines;
    }
    return lines;
}

// Seconds `wc -l` takes on the file.
double WcSeconds(const std::string& path) {
    const std::string command = "wc -l '" + path + "' > /dev/null";
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) {
        return 0;
    }
    return SecondsSince(start);
}

// Counts the image as an update does; the seconds it took.
double CountSeconds(UpdateRig& rig) {
    Shared().OperationMode = ModeDsp;
    ImageFileExists(kDspImageName);
    GuardedWindow window(rig.Window(), [] { return false; });
    const auto start = Clock::now();
    CountImageBlocks(window);
    return SecondsSince(start);
}

// tovrane-devsim beside this executable: a new DSP loader, no erase time.
class SimulatorProcess {
  public:
    SimulatorProcess() {
        int out[2];
        if (pipe(out) != 0) {
            return;
        }
        const std::string exe =
            (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "tovrane-devsim")
                .string();
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            execl(exe.c_str(), exe.c_str(), "--dsp=new", "--mcu=none", "--erase-ms=0",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        if (FILE* in = fdopen(out[0], "r")) {
            char line[256] = {};
            if (std::fgets(line, sizeof line, in) != nullptr) {
                m_path = std::string(line, std::strcspn(line, "\n"));
            }
            std::fclose(in);
        } else {
            close(out[0]);
        }
    }
    ~SimulatorProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // The port to open; empty when the simulator did not start.
    const std::string& Path() const { return m_path; }

  private:
    pid_t m_pid = -1;
    std::string m_path;
};

struct Run {
    std::size_t lines = 0;
    double countSeconds = 0;
    double wcSeconds = 0;
    double programSeconds = 0;
    bool finished = false;
    long peakKb = 0;
};

Run MeasureImage(std::size_t megabytes) {
    Run run;
    UpdateRig rig(10);  // the simulator answers at once; only the pauses shrink
    const std::string path = rig.Images().File(kDspImageName);
    run.lines = WriteImage(path, megabytes * kMegabyte);
    WcSeconds(path);  // both read from the page cache
    run.wcSeconds = WcSeconds(path);
    run.countSeconds = CountSeconds(rig);

    const SimulatorProcess device;
    if (!device.Path().empty()) {
        const auto start = Clock::now();
        rig.Press(ModeDsp, device.Path(), std::chrono::minutes(20));
        run.programSeconds = SecondsSince(start);
        run.finished = rig.Engine().LastOutcome() == OperationOutcome::Finished;
    }
    run.peakKb = PeakRssKb();
    return run;
}

void PrintRun(std::size_t megabytes, const Run& run) {
    const double mb = static_cast<double>(megabytes);
    char figure[64];
    char value[200];
    std::snprintf(figure, sizeof figure, "image %zu MB count", megabytes);
    std::snprintf(value, sizeof value, "%zu lines: %.0f MB/s (wc -l %.0f MB/s)", run.lines,
                  mb / run.countSeconds, run.wcSeconds > 0 ? mb / run.wcSeconds : 0.0);
    PrintRow(figure, value, "streams, one line held", true);
    std::snprintf(figure, sizeof figure, "image %zu MB program", megabytes);
    std::snprintf(value, sizeof value, "%.1f s, %.0f blocks/s, peak RSS %ld kB%s",
                  run.programSeconds, static_cast<double>(run.lines) / run.programSeconds,
                  run.peakKb, run.finished ? "" : " (NOT FINISHED)");
    PrintRow(figure, value, "finished", run.finished);
}

}  // namespace

bool BenchImages() {
    const Run small = MeasureImage(1);
    PrintRun(1, small);
    const Run large = MeasureImage(50);
    PrintRun(50, large);
    const long growth = large.peakKb - small.peakKb;
    char value[120];
    std::snprintf(value, sizeof value, "%ld kB more for 50 MB than for 1 MB", growth);
    const bool met = growth <= kAllowedGrowthKb && small.finished && large.finished;
    PrintRow("image peak memory", value, "<= 8 MB growth", met);
    return met;
}
