#include "ScriptedDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

ScriptedDevice::ScriptedDevice(Script script, std::chrono::milliseconds chunkPause)
    : m_script(std::move(script)), m_chunkPause(chunkPause) {
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        throw std::runtime_error("no pseudo-terminal");
    }
    m_path = ptsname(m_master);
    m_slaveHold = open(m_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    m_wake = eventfd(0, EFD_CLOEXEC);
    m_thread = std::thread([this] { Serve(); });
}

ScriptedDevice::~ScriptedDevice() {
    m_stop = true;
    const uint64_t one = 1;
    (void)!write(m_wake, &one, sizeof one);
    m_thread.join();
    close(m_wake);
    close(m_slaveHold);
    close(m_master);
}

std::vector<std::string> ScriptedDevice::Commands() const {
    std::lock_guard lock(m_mutex);
    return m_commands;
}

void ScriptedDevice::Send(const std::string& bytes) {
    (void)!write(m_master, bytes.data(), bytes.size());
}

void ScriptedDevice::Serve() {
    std::string line;
    while (!m_stop) {
        pollfd fds[2] = {{m_master, POLLIN, 0}, {m_wake, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN) != 0) {
            continue;
        }
        char buffer[256];
        const ssize_t n = read(m_master, buffer, sizeof buffer);
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] == '\r') {
                Answer(line);
                line.clear();
            } else if (line.size() < 4096) {
                line += buffer[i];
            }
        }
    }
}

void ScriptedDevice::Answer(const std::string& command) {
    {
        std::lock_guard lock(m_mutex);
        m_commands.push_back(command);
    }
    bool first = true;
    for (const std::string& chunk : m_script(command)) {
        if (!first) {
            std::this_thread::sleep_for(m_chunkPause);
        }
        first = false;
        Send(chunk);
    }
}
