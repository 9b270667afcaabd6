#include "update/ImageReader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "update/RegularFile.h"

ImageReader::ImageReader(std::size_t maxLineLength) : m_maxLineLength(maxLineLength) {}

ImageReader::~ImageReader() {
    Close();
}

bool ImageReader::Open(const std::string& path) {
    Close();
    const int fd = OpenRegularFile(path);
    if (fd < 0) {
        return false;
    }
    m_fd = fd;
    m_readError = false;
    m_pos = m_end = 0;
    return true;
}

void ImageReader::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_pos = m_end = 0;
}

bool ImageReader::Fill() {
    m_pos = m_end = 0;
    for (;;) {
        const ssize_t n = ::read(m_fd, m_buffer.data(), m_buffer.size());
        if (n > 0) {
            m_end = static_cast<std::size_t>(n);
            return true;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        m_readError = n < 0;
        return false;
    }
}

ImageReader::Result ImageReader::Fail(Result result) {
    Close();
    return result;
}

ImageReader::Result ImageReader::ReadLine(std::string& line) {
    line.clear();
    if (!IsOpen()) {
        return Result::End;
    }
    bool any = false;  // a byte of this line was seen, a lone "\n" included
    for (;;) {
        if (m_pos == m_end && !Fill()) {
            if (m_readError) {
                return Fail(Result::ReadError);
            }
            if (!any) {
                return Fail(Result::End);
            }
            break;  // the last line had no line end
        }
        any = true;
        const char* start = m_buffer.data() + m_pos;
        const std::size_t avail = m_end - m_pos;
        const void* newline = std::memchr(start, '\n', avail);
        const std::size_t take =
            newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - start) : avail;
        // One more character than the limit is kept, so a "\r" before the "\n"
        // of a line of exactly the limit still fits.
        if (line.size() + take > m_maxLineLength + 1) {
            return Fail(Result::LineTooLong);
        }
        line.append(start, take);
        m_pos += take;
        if (newline) {
            ++m_pos;
            break;
        }
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    if (line.size() > m_maxLineLength) {
        return Fail(Result::LineTooLong);
    }
    return Result::Line;
}
