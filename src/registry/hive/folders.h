// The hive's folder: found and made without being led elsewhere by links,
// and judged for whether this process may write a hive in it.
//
// Everything a writer does in the folder goes through a descriptor of the
// folder, opened once: someone who swaps the folder meanwhile does not move
// the write. Missing folders are made one at a time relative to their
// parent, their mode set through a descriptor opened without following
// links, and each is flushed into its parent. The hive's own folder is never
// taken through a link; folders above it may be links, as the system's
// layout may have them.
#pragma once

#include <sys/types.h>

#include <string>

#include "registry/hive/fd.h"
#include "registry/registry.h"

namespace vantor::store {

// A hive path split into its folder and file name.
struct Location {
    std::string folder;  // as written, possibly empty (the working folder)
    std::string name;
};

Location locate(const std::string& path);

// The folder as a path of its own: "." for the working folder.
std::string folder_path(const Location& at);

// Opens the folder at `folder` (the working folder when empty) for use with
// the *at() calls. With `make`, makes each missing folder on the way, with
// that mode whatever the umask. A failure's status comes from
// errno_status(); a link in the folder's own place gives kAccessDenied.
reg::Status open_folder(const std::string& folder, const mode_t* make, Fd* out);

// kSuccess when this process may replace the hive at `path`: it is not a
// symbolic link, and the file (if any) and its folder are writable with the
// effective ids; a missing folder, when the nearest folder above it that
// exists is. Otherwise the refusal's errno in *error and its status:
// EACCES when this process may not write the file or folder, ELOOP for a
// link it might write through, EROFS, ...
reg::Status check_writable(const std::string& path, int* error);

// kSuccess when the hive at `path` is this process's own: the hive (when it
// exists) and its folder, or the nearest folder above that exists, where
// the missing ones would be made, are owned by the effective user.
// Otherwise kAccessDenied: a user's hive is never written in, or through, a
// folder of someone else's.
reg::Status check_own(const std::string& path);

}  // namespace vantor::store
