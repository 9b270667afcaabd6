#pragma once

#include <functional>
#include <string>

class PrivateCopy;

// Copies a bundle that is a tar archive, plain or gzip, open as `fd`, into `copy`.
// The archive is read twice from the same descriptor. The first pass checks every
// entry: a link (symbolic or hard), a device, a FIFO or a socket, an absolute path or
// a ".." component refuses the bundle (folders are fine), and it finds manifest.json
// at the top or in one top-level folder. The second pass writes only manifest.json,
// its signature and the images from there; other files are skipped, never written.
// False with `error` said.
bool CopyArchiveBundle(int fd, PrivateCopy& copy, const std::function<bool()>& stopped,
                       std::string& error);
