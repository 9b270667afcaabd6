#pragma once

#include <string>

// Opens `path` (links followed) for reading when it is a regular file; -1 for
// anything else. A FIFO or a device named like a file is refused at once: the open
// does not wait for a writer, and the type is checked on the open descriptor, so
// the file read is the one checked. The caller closes the descriptor.
int OpenRegularFile(const std::string& path);
