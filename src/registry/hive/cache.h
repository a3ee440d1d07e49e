// The last hives read or written whole, one for each of two files at most
// (the machine's hive and a user's): for each its path, the Document its
// bytes read as (which holds those bytes), and what stat() told of the file
// when it was read. The store's readers of the codec are here too: the
// cache reads what it keeps, and what a reader asks of a file it does not
// keep.
//
// A reader may take the hive on the file's stamp alone only when the stamp
// was settled when the file was read (see Stamp::settled()); otherwise the
// file is read again and its bytes compared with the kept ones, which is
// never wrong and much cheaper than reading them as a hive again. A writer,
// which reads the file under the lock anyway, takes the Document out when
// the bytes match, edits it and keeps what it wrote: a run of writes to a
// large hive reads it once, and each commit rewrites only the lines it
// changes.
//
// A reader is lent the kept Document: the writer that takes it edits it in
// place once every reader has let go of it, and edits a copy while one
// still reads it.
//
// The mutex is only ever tried: a thread that finds it busy works without
// the cache, so nothing waits for it, and a child forked while another
// thread held it does not deadlock.
#pragma once

#include <sys/stat.h>
#include <time.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "hive/document.h"
#include "registry/hive/text.h"
#include "registry/registry.h"

namespace vantor::store {

// What stat() tells of a file that changes when its bytes do.
struct Stamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    explicit Stamp(const struct stat& info) noexcept
        : device(info.st_dev),
          inode(info.st_ino),
          size(info.st_size),
          modified(info.st_mtim),
          changed(info.st_ctim) {}

    bool operator==(const Stamp& other) const noexcept;

    // True when the file's times were more than a few seconds old at `now`
    // (more than the coarsest timestamps in use, two seconds, and a clock
    // tick): any later change stamps it with a later time.
    bool settled(const timespec& now) const noexcept;
};

class Cache {
  public:
    // The kept hive, when it is the one at `path` and the file still has the
    // settled stamp it was kept with (with `unsettled`, any stamp it was
    // kept with).
    std::shared_ptr<const hive::Document> find(const char* path, const Stamp& stamp,
                                               bool unsettled = false);

    // The kept hive, when it is the one at `path` and read from exactly
    // `text`; `stamp` is the file's as `text` was read, settled or not,
    // which a later find() then goes by.
    std::shared_ptr<const hive::Document> match(const char* path, std::string_view text,
                                                const Stamp& stamp, bool settled);

    // What a writer about to replace the hive at `path` starts from. Reads
    // the file, open as `fd`, into *text (as read_file_against() does); when
    // it holds the text the kept Document was read from (or written as),
    // returns that Document, or a copy of it while a reader still reads it;
    // else nothing, and the writer parses *text. Either way nothing is kept
    // for `path` until the writer keeps what it wrote.
    std::optional<hive::Document> take(const char* path, int fd, Text* text, reg::Status* status);

    // Keeps the hive at `path` in place of the one kept for that file, else
    // of the one used least recently. With `lend`, returns it lent to the
    // caller, who goes on reading it (even when the cache was busy and kept
    // nothing); else null.
    std::shared_ptr<const hive::Document> keep(const char* path, const Stamp& stamp, bool settled,
                                               hive::Document document, bool lend);

    // Whether the file at `path` was read before by this process (or the
    // cache is busy): then it is worth keeping whole. Remembers that it has
    // been read now.
    bool read_before(const char* path);

  private:
    // A kept Document and how many readers it is lent to.
    struct Kept {
        explicit Kept(hive::Document&& kept) : document(std::move(kept)) {}
        hive::Document document;
        std::atomic<int> readers{0};
    };
    struct Entry {
        std::string path;
        Stamp stamp{{}};
        bool settled = false;
        std::shared_ptr<Kept> kept;  // null: nothing kept (the file was only read, or nothing)
        std::uint64_t used = 0;      // the clock when last found or kept
    };

    // Lends the entry's Document to a reader.
    static std::shared_ptr<const hive::Document> lend(const std::shared_ptr<Kept>& kept);
    Entry* held(const char* path);
    Entry& slot_for(const char* path);

    std::mutex mutex_;
    Entry entries_[2];
    std::uint64_t clock_ = 0;
};

// The process's cache, made when the library is loaded.
Cache& cache();

// The hive read from `text`, or nothing when it is not one (then *error,
// when given, says where and why).
std::optional<hive::Document> parsed(std::string_view text, hive::ParseError* error = nullptr);

}  // namespace vantor::store
