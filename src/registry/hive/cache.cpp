#include "registry/hive/cache.h"

#include <algorithm>
#include <utility>

namespace vantor::store {
namespace {

// How old a hive's times must be when it is read for it to be kept.
constexpr time_t kSettledSeconds = 3;

// Made when the library is loaded, not on first use: a child forked while
// another thread was making it would wait for ever on the guard of a
// function's static. Never destroyed: a thread may still read while the
// process exits.
Cache* const kept_hive = new Cache;

}  // namespace

bool Stamp::operator==(const Stamp& other) const noexcept {
    return device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
           changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
}

bool Stamp::settled(const timespec& now) const noexcept {
    const time_t newest = std::max(modified.tv_sec, changed.tv_sec);
    return newest + kSettledSeconds < now.tv_sec;
}

// Counted while the cache's mutex is held, so a writer that takes the
// Document under it and finds no reader knows that none can come. A reader
// lets go without the mutex: the release pairs with take()'s acquire, so
// whatever the reader read happens before the writer edits.
std::shared_ptr<const hive::Document> Cache::lend(const std::shared_ptr<Kept>& kept) {
    kept->readers.fetch_add(1, std::memory_order_relaxed);
    return std::shared_ptr<const hive::Document>(&kept->document, [kept](const hive::Document*) {
        kept->readers.fetch_sub(1, std::memory_order_release);
    });
}

std::shared_ptr<const hive::Document> Cache::find(const char* path, const Stamp& stamp,
                                                  bool unsettled) {
    const std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    Entry* entry = lock.owns_lock() ? held(path) : nullptr;
    if (entry == nullptr || !(entry->settled || unsettled) || !(entry->stamp == stamp)) {
        return nullptr;
    }
    entry->used = ++clock_;
    return lend(entry->kept);
}

std::shared_ptr<const hive::Document> Cache::match(const char* path, std::string_view text,
                                                   const Stamp& stamp, bool settled) {
    const std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    Entry* entry = lock.owns_lock() ? held(path) : nullptr;
    if (entry == nullptr || entry->kept->document.text() != text) return nullptr;
    entry->stamp = stamp;
    entry->settled = settled;
    entry->used = ++clock_;
    return lend(entry->kept);
}

std::optional<hive::Document> Cache::take(const char* path, int fd, Text* text,
                                          reg::Status* status) {
    std::optional<hive::Document> taken;
    std::shared_ptr<Kept> kept;
    {
        const std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
        Entry* entry = lock.owns_lock() ? held(path) : nullptr;
        if (entry != nullptr) {
            kept = std::move(entry->kept);
            *entry = Entry{};
        }
    }
    // Read and compared without the mutex: other threads go on meanwhile.
    bool same = false;
    *status =
        read_file_against(fd, kept ? std::string_view(kept->document.text()) : "", text, &same);
    if (*status != reg::kSuccess || !same) return taken;
    if (kept->readers.load(std::memory_order_acquire) == 0) {
        taken.emplace(std::move(kept->document));
    } else {
        taken.emplace(kept->document);
    }
    return taken;
}

std::shared_ptr<const hive::Document> Cache::keep(const char* path, const Stamp& stamp,
                                                  bool settled, hive::Document document,
                                                  bool lend_it) {
    auto kept = std::make_shared<Kept>(std::move(document));
    std::shared_ptr<const hive::Document> lent;
    Entry old;  // let go of outside the lock
    {
        const std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
        if (lock.owns_lock()) {
            if (lend_it) lent = lend(kept);
            old = std::exchange(slot_for(path), Entry{path, stamp, settled, kept, ++clock_});
            return lent;
        }
    }
    // Busy: kept for this caller alone.
    if (!lend_it) return nullptr;
    return std::shared_ptr<const hive::Document>(kept, &kept->document);
}

bool Cache::read_before(const char* path) {
    const std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock()) return true;
    for (const Entry& entry : entries_) {
        if (entry.path == path) return true;
    }
    Entry& slot = slot_for(path);
    slot = Entry{};
    slot.path = path;
    slot.used = ++clock_;
    return false;
}

Cache::Entry* Cache::held(const char* path) {
    for (Entry& entry : entries_) {
        if (entry.kept != nullptr && entry.path == path) return &entry;
    }
    return nullptr;
}

Cache::Entry& Cache::slot_for(const char* path) {
    Entry* slot = &entries_[0];
    for (Entry& entry : entries_) {
        if (entry.path == path) return entry;
        if (entry.used < slot->used) slot = &entry;
    }
    return *slot;
}

Cache& cache() { return *kept_hive; }

std::optional<hive::Document> parsed(std::string_view text, hive::ParseError* error) {
    return hive::Document::parse(std::string(text), error);
}

}  // namespace vantor::store
