#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A device played by the test over a pseudo-terminal: every CR-ended line the tool
// writes is handed to a script, which answers with chunks of bytes, each written
// separately after a short pause so they arrive as separate notifications.
class ScriptedDevice {
  public:
    using Script = std::function<std::vector<std::string>(const std::string& command)>;

    explicit ScriptedDevice(Script script,
                            std::chrono::milliseconds chunkPause = std::chrono::milliseconds(30));
    ~ScriptedDevice();
    ScriptedDevice(const ScriptedDevice&) = delete;
    ScriptedDevice& operator=(const ScriptedDevice&) = delete;

    // Path of the slave side, for the tool to open.
    const std::string& Path() const { return m_path; }
    // Commands received so far, without their CR.
    std::vector<std::string> Commands() const;
    // Writes bytes to the tool at once, outside any exchange.
    void Send(const std::string& bytes);

  private:
    void Serve();
    void Answer(const std::string& command);

    Script m_script;
    std::chrono::milliseconds m_chunkPause;
    int m_master = -1;
    int m_slaveHold = -1;  // keeps the pty from hanging up while the tool has it closed
    int m_wake = -1;
    std::string m_path;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_commands;
    std::thread m_thread;
};
