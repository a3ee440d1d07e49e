// The hive file: reading it whole, and replacing it atomically. Every system
// call goes through the I/O seam (io.h); the parts are each in a file of
// their own: the kept hives (cache.h), the writers' lock (lock.h), the
// durable replace (replace.h), the folders (folders.h) and the bounded read
// (text.h).
//
// Readers take no lock: the hive is only ever replaced by rename(), so a
// reader sees either the old or the new file, never a partial one. Writers
// serialise on the writers' lock (lock.h). Under the lock a writer reads the
// current hive, applies its change and replaces the hive durably
// (replace.h); only then does it report success. Temporary files left
// behind by a killed writer are removed by the next writer.
//
// Symbolic links: the hive or its folder may be a symbolic link for reading,
// but nothing writes through one. Replacing a linked hive would swap the link
// for a regular file and silently detach whatever it points at; a linked
// folder would put the hive, its lock and temporary files wherever the link
// leads. So a write to (or a write-access open of) such a hive fails with
// kAccessDenied.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "hive/document.h"
#include "hive/format.h"
#include "registry/hive/text.h"
#include "registry/registry.h"

namespace vantor::store {

// Reads the hive at `path`: kSuccess; kFileNotFound when there is no file;
// kBadDb when it is too large or is not a hive in full; or the read
// error's status.
reg::Status load(const std::string& path, hive::Hive* hive);

// One key as a reader sees it: `key` points into what `owner` keeps alive
// (the whole hive, or a copy of that key alone), or is null when the hive
// has no such key. In a Wine file (`dialect`) names are UTF-8 and strings
// UTF-16LE (wine.h converts them for the game).
struct KeyView {
    std::shared_ptr<const void> owner;
    const hive::StoredKey* key = nullptr;
    hive::Dialect dialect = hive::Dialect::kRegedit4;
};

// The game's key at `key_path` (in any case; in a Wine file, in the 32-bit
// view: wine.h) in the hive at `path`, as the file holds it now; the whole
// hive is checked as load() checks it, with the same statuses.
//
// The last hive read or written whole is kept for the next call (cache.h),
// with its bytes, one for each of two files at most (the machine's hive and
// a user's). It is taken on one stat() of the file alone only when the file
// has the same device, inode, size, modification and change times (to the
// nanosecond) and those times were already a few seconds old when it was
// read: an edit within the same timestamp tick, of the same size, would
// leave all of these as they were. Otherwise the file is read and its bytes
// compared with the kept ones, and read as a hive only when they differ. A
// hive of 256 KiB or more (a Wine prefix's is about 3 MB) is kept only from
// its second read in the process on: the first builds only the key asked
// for, as a tool started to show one value needs, and checks the rest.
// What is kept is shared by the threads of the process; a thread that finds
// it busy reads the file itself, so nothing waits for it, and nothing
// deadlocks in a child process forked while another thread held it.
//
// With `for_write`, for a handle about to write the key, the kept hive is
// taken on the file's stamp alone, settled or not: what such a handle reads
// only prepares its commit, which reads the hive afresh under the writers'
// lock and checks it byte for byte (update()).
reg::Status read_key(const char* path, std::string_view key_path, KeyView* view,
                     bool for_write = false);

// A change to the hive: edits the Document (which says whether anything
// changed). A status other than kSuccess cancels the change.
using Edit = std::function<reg::Status(hive::Document& document)>;

// Whether update() makes a hive that is missing, and for whom.
enum class Create {
    kNo,       // a missing hive fails with kFileNotFound
    kShared,   // the machine's, for every user to read: folders 0755, hive 0644
    kPrivate,  // a user's own: folders 0700, hive 0600
};

// Applies `edit` to the current hive under the writers' lock and, when it
// changed anything, replaces the hive with the text the edit committed:
// every line it did not change stays as it was. Unless `create` is kNo, the
// folder (parents too) is made when missing and a missing hive is edited as
// an empty REGEDIT4 one, then written, with the modes `create` gives
// whatever the umask; with kNo, a missing hive fails with kFileNotFound. A
// corrupt hive (kBadDb) is never edited or rewritten. Nor is a Wine file
// while the prefix's Wine server runs (wine.h): kSharingViolation, or
// kAccessDenied when that cannot be told, before the edit, whatever it
// would change. (Wine could still start between that check and the rename
// that replaces the file, a few milliseconds later; it would then read
// either file whole, and write the old one back when it saves.) A replaced hive keeps its
// permission bits, its owner where the writer may give it away (as root), else its group where the
// writer belongs to it. On failure the status comes from errno_status(), and the previous hive
// stays in place unless the failure came after the rename (the folder could not be flushed): then
// the new hive may or may not survive a power cut.
reg::Status update(const std::string& path, Create create, const Edit& edit);

}  // namespace vantor::store
