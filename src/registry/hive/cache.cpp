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

std::shared_ptr<const hive::Hive> Cache::find(const char* path, const Stamp& stamp) {
    const std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    Entry* entry = lock.owns_lock() ? held(path) : nullptr;
    if (entry == nullptr || !entry->settled || !(entry->stamp == stamp)) return nullptr;
    entry->used = ++clock_;
    entry->lent = true;
    return entry->hive;
}

std::shared_ptr<const hive::Hive> Cache::match(const char* path, std::string_view text,
                                               const Stamp& stamp, bool settled) {
    const std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    Entry* entry = lock.owns_lock() ? held(path) : nullptr;
    if (entry == nullptr || entry->text != text) return nullptr;
    entry->stamp = stamp;
    entry->settled = settled;
    entry->used = ++clock_;
    entry->lent = true;
    return entry->hive;
}

Cache::Taken Cache::take(const char* path, std::string_view text) {
    Taken taken;
    const std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    Entry* entry = lock.owns_lock() ? held(path) : nullptr;
    if (entry == nullptr) return taken;
    if (entry->text == text) {
        // A hive never lent to a reader is the writer's to edit. One that
        // was may still be read: its owners let go of it without the mutex,
        // so how many there are now tells nothing certain.
        taken.hive =
            entry->lent ? std::make_shared<hive::Hive>(*entry->hive) : std::move(entry->hive);
        taken.text = std::move(entry->text);
        taken.sections = std::move(entry->sections);
    }
    *entry = Entry{};
    return taken;
}

void Cache::keep(const char* path, std::string text, const Stamp& stamp, bool settled, bool lent,
                 std::shared_ptr<hive::Hive> hive, hive::Sections sections) {
    Entry old;  // let go of outside the lock
    Entry kept{path, std::move(text), std::move(sections), stamp, settled, lent, std::move(hive),
               0};
    const std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock()) return;
    kept.used = ++clock_;
    old = std::exchange(slot_for(path), std::move(kept));
}

Cache::Entry* Cache::held(const char* path) {
    for (Entry& entry : entries_) {
        if (entry.hive != nullptr && entry.path == path) return &entry;
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

std::shared_ptr<hive::Hive> parsed(std::string_view text, hive::ParseError* error) {
    std::optional<hive::Hive> hive = hive::parse(text, error);
    return hive ? std::make_shared<hive::Hive>(std::move(*hive)) : nullptr;
}

bool parsed_key(std::string_view text, std::string_view key_path,
                std::optional<hive::StoredKey>* key) {
    return hive::parse_key(text, key_path, key);
}

}  // namespace vantor::store
