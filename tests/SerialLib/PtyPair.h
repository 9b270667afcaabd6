#pragma once

#include <cstddef>
#include <string>

// A pseudo-terminal pair for port tests: the test plays the device on the master
// side, the code under test opens SlavePath(). Both ends are closed on destruction.
class PtyPair {
  public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return m_slavePath; }
    int Master() const { return m_master; }

    // Writes all of `bytes` to the master side.
    void Send(const std::string& bytes);
    // Reads from the master until `count` bytes came or `timeoutMs` passed.
    std::string Receive(size_t count, int timeoutMs);
    // Closes the master: for the slave side the device has gone away.
    void CloseMaster();

  private:
    int m_master = -1;
    std::string m_slavePath;
};
