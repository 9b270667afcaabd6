#pragma once

#include <array>
#include <cstddef>
#include <string>

// Reads an image file one line at a time, holding one line and a fixed read buffer
// in memory whatever the file's size. A line is returned without its line end
// ("\n" or "\r\n"); a last line without a line end still counts. The file is
// closed by Close, at the end of the file, on a fault, and by the destructor.
class ImageReader {
  public:
    enum class Result {
        Line,         // `line` holds the next line
        End,          // no more lines
        LineTooLong,  // a line longer than the reader's limit; the pass is over
        ReadError     // the file could not be read further; the pass is over
    };

    explicit ImageReader(std::size_t maxLineLength);
    ~ImageReader();
    ImageReader(const ImageReader&) = delete;
    ImageReader& operator=(const ImageReader&) = delete;

    // Opens a regular file for reading; false at once for anything else (a
    // directory, a FIFO, a device, a missing or unreadable file). An open file is
    // closed first.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    Result ReadLine(std::string& line);

  private:
    // Refills the buffer; false at the end of the file or on an error.
    bool Fill();
    Result Fail(Result result);

    static constexpr std::size_t kBufferSize = 64 * 1024;

    std::size_t m_maxLineLength;
    int m_fd = -1;
    bool m_readError = false;
    std::array<char, kBufferSize> m_buffer{};
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
};
