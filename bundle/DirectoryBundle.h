#pragma once

#include <functional>
#include <string>

class PrivateCopy;

enum class FileCopy { Copied, Missing, Failed };

// Copies the file `name` of the folder open as `dir` into `copy`, up to its size
// bound. It is opened without waiting, so a FIFO is refused at once, and must be a
// regular file on the open descriptor; a link is refused unless `followLinks`.
// Failed comes with `error` naming the file and what to do.
FileCopy CopyFolderFile(int dir, const std::string& name, bool followLinks, PrivateCopy& copy,
                        const std::function<bool()>& stopped, std::string& error);

// Copies a bundle that is a folder, open as `dir`, into `copy`: manifest.json, its
// signature and the images, from the folder itself or from the one top-level folder
// that holds manifest.json. Links are never followed. False with `error` said.
bool CopyDirectoryBundle(int dir, PrivateCopy& copy, const std::function<bool()>& stopped,
                         std::string& error);
