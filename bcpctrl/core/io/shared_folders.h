// SPDX-License-Identifier: MIT
// Folders and files the control makes for its outputs. In a folder shared through its group
// (setgid, as the spool folder the package makes for every operator), what one operator
// makes stays writable by that group whatever their umask, so that the next operator can
// append to the same file and add jobs to the same picture folder. A folder or file the
// system refuses is reported on standard error (access_refusal.h).
#pragma once

#include <filesystem>

namespace bcpctrl::io {

// Makes `folder` and every missing folder above it; false when it cannot be made or is not
// a folder.
bool makeFolders(const std::filesystem::path& folder);

// Makes the one folder: 0, or the errno (EEXIST when a folder of that name is there already).
int makeFolder(const std::filesystem::path& folder);

// Gives the group of a shared folder read and write access to a file of ours in it.
void shareWithFolderGroup(int descriptor, const std::filesystem::path& file);

}  // namespace bcpctrl::io
