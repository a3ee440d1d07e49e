// The last hives read or written whole, one for each of two files at most
// (the machine's hive and a user's): for each its path, its bytes, the hive
// they parse to, and what stat() told of the file when it was read. The
// store's readers of the codec are here too: the cache parses what it keeps,
// and what a reader asks of a file it does not keep.
//
// A reader may take the hive on the file's stamp alone only when the stamp
// was settled when the file was read (see Stamp::settled()); otherwise the
// file is read again and its bytes compared with the kept ones, which is
// never wrong and much cheaper than parsing them again. A writer, which
// reads the file under the lock anyway, takes the hive out when the bytes
// match, edits it and keeps what it wrote, with where each key's section
// lies in that text: a run of writes to a large hive parses it once, and
// rewrites only the part of the text that holds the key it changed.
//
// The mutex is only ever tried: a thread that finds it busy works without
// the cache, so nothing waits for it, and a child forked while another
// thread held it does not deadlock.
#pragma once

#include <sys/stat.h>
#include <time.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "hive/format.h"

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
    // settled stamp it was kept with.
    std::shared_ptr<const hive::Hive> find(const char* path, const Stamp& stamp);

    // The kept hive, when it is the one at `path` and parsed from exactly
    // `text`; `stamp` is the file's as `text` was read, settled or not,
    // which a later find() then goes by.
    std::shared_ptr<const hive::Hive> match(const char* path, std::string_view text,
                                            const Stamp& stamp, bool settled);

    // What a writer about to replace the hive at `path`, which holds `text`,
    // starts from: the kept hive when it was parsed from (or written as)
    // `text` (a copy of it if a reader was given it), with the text
    // and, when this process wrote it, where each key's section lies in it.
    // Either way nothing is kept for `path` until the writer keeps what it
    // wrote.
    struct Taken {
        std::shared_ptr<hive::Hive> hive;  // null: nothing kept for these bytes
        std::string text;
        hive::Sections sections;  // empty when not known
    };
    Taken take(const char* path, std::string_view text);

    // Keeps the hive at `path` in place of the one kept for that file, else
    // of the one used least recently; `lent` when the caller goes on
    // reading it.
    void keep(const char* path, std::string text, const Stamp& stamp, bool settled, bool lent,
              std::shared_ptr<hive::Hive> hive, hive::Sections sections = {});

  private:
    struct Entry {
        std::string path;
        std::string text;
        hive::Sections sections;  // where each key lies in text, when this process wrote it
        Stamp stamp{{}};
        bool settled = false;
        bool lent = false;                 // handed to a reader since it was kept
        std::shared_ptr<hive::Hive> hive;  // null: nothing kept
        std::uint64_t used = 0;            // the clock when last found or kept
    };

    Entry* held(const char* path);
    Entry& slot_for(const char* path);

    std::mutex mutex_;
    Entry entries_[2];
    std::uint64_t clock_ = 0;
};

// The process's cache, made when the library is loaded.
Cache& cache();

// The hive parsed from `text`, or null when it does not parse (then
// *error, when given, says where and why).
std::shared_ptr<hive::Hive> parsed(std::string_view text, hive::ParseError* error = nullptr);

// The key at `key_path` in the hive `text`, which is checked in full as
// parsed() checks it: false when it does not parse, else *key is the key or
// nothing. For a file that is not kept (a FIFO in the hive's place).
bool parsed_key(std::string_view text, std::string_view key_path,
                std::optional<hive::StoredKey>* key);

}  // namespace vantor::store
