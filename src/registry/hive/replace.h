// The durable replace of a whole file: the one way the store (and
// vantorctl's export) writes a file in place of another.
//
// The new bytes go to "<name>.tmp.XXXXXX" in the same folder, created
// exclusively (so never through a link, nor into a file someone planted),
// which is flushed and renamed over the file; then the folder is flushed, so
// that the rename itself survives a power cut. A reader sees the old file or
// the whole new one, never a part.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>

namespace vantor::store {

// Replaces the file `name` in the folder open as `folder` with `text`. The
// new file keeps `old`'s permission bits, and its owner where the caller may
// give it away (as root), else its group where the caller belongs to it;
// with `old` null it gets mode `new_mode`, whatever the umask. Returns true
// when the change is durable; otherwise false with errno set, and no
// temporary file left behind. Only a failed flush of the folder comes after
// the rename: then the new file is in place but may not survive a power
// cut. A folder that cannot be flushed at all (EINVAL) counts as flushed.
bool replace_durably(int folder, const std::string& name, std::string_view text,
                     const struct stat* old, mode_t new_mode);

// Removes the temporary files of `name` in the folder open as `folder`. For
// a caller that excludes every other writer of the file (the writers'
// lock): any such file it finds was left by a writer that died.
void remove_stale_temps(int folder, const std::string& name);

}  // namespace vantor::store
