#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

// A directory of its own for one test, removed with everything in it.
class TempDir {
  public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tovrane-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
        }
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

    // Writes `content` byte for byte and returns the file's path.
    std::string Write(const std::string& name, const std::string& content) const {
        std::ofstream out(File(name), std::ios::binary | std::ios::trunc);
        out << content;
        return File(name);
    }

  private:
    std::filesystem::path m_path;
};
