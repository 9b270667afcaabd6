#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// tovrane-devsim beside this executable, run as a child process with `arguments`.
// It is killed and reaped when this object goes, and gets SIGTERM from the kernel
// if this process dies first.
class SimulatorProcess {
  public:
    explicit SimulatorProcess(const std::vector<std::string>& arguments);
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // The port to open; empty when the simulator did not start.
    const std::string& Path() const { return m_path; }

  private:
    void ReadPath(int fd);

    pid_t m_pid = -1;
    std::string m_path;
};
