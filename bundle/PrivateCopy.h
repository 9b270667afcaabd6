#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// Hands out a source's next bytes into `buffer`: how many, 0 at the end, -1 on an
// error (with `why` said).
using ChunkSource = std::function<ssize_t(char* buffer, std::size_t size, std::string& why)>;

// A folder only this user can enter (mode 0700, made by mkdtemp in $TMPDIR or /tmp)
// holding the files of one bundle while it is checked and run, so the images checked
// are the images sent and a bundle changed meanwhile changes nothing. The folder and
// everything in it go with the object.
class PrivateCopy {
  public:
    PrivateCopy() = default;
    ~PrivateCopy();
    PrivateCopy(PrivateCopy&& other) noexcept;
    PrivateCopy& operator=(PrivateCopy&& other) noexcept;
    PrivateCopy(const PrivateCopy&) = delete;
    PrivateCopy& operator=(const PrivateCopy&) = delete;

    // Makes the folder; false, with `error` said, when it cannot.
    bool Create(std::string& error);
    // The folder, without a trailing '/'; empty before Create.
    const std::string& Path() const { return m_path; }
    std::string FilePath(std::string_view name) const;
    bool Has(std::string_view name) const;

    // Writes what `source` hands out as the new file `name`, at most `limit` bytes.
    // False, with `error` naming the file and the cause and nothing of it left, when
    // the file is there already (a bundle naming it twice), the source fails, it is
    // larger than `limit`, the copy cannot be written or `stopped` says so.
    bool Fill(const std::string& name, const ChunkSource& source, uint64_t limit,
              const std::function<bool()>& stopped, std::string& error);
    void Remove(std::string_view name);

  private:
    void RemoveAll();

    std::string m_path;
};

// A size in the largest whole unit: "64 KiB", "1 GiB".
std::string SizeText(uint64_t bytes);
