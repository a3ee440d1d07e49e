#include "hive/path_index.h"

#include <cstring>

#include "hive/model.h"

namespace vantor::hive {

void PathIndex::clear() {
    keys_.clear();
    paths_.clear();
    slots_.clear();
}

std::uint32_t PathIndex::hash_of(std::string_view path) noexcept {
    // Eight bytes at a time, each with its 0x20 bit set: that folds the
    // case of letters (and merges a few other pairs, which the comparison
    // of paths tells apart).
    std::uint64_t hash = 0x9E3779B97F4A7C15u;
    const char* at = path.data();
    std::size_t left = path.size();
    for (; left >= 8; at += 8, left -= 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, at, 8);
        hash = (hash ^ (word | 0x2020202020202020u)) * 0xFF51AFD7ED558CCDu;
        hash ^= hash >> 32;
    }
    std::uint64_t tail = left;
    for (std::size_t i = 0; i < left; ++i) {
        tail = tail << 8 | (static_cast<unsigned char>(at[i]) | 0x20u);
    }
    hash = (hash ^ tail) * 0xC4CEB9FE1A85EC53u;
    hash ^= hash >> 29;
    hash *= 0xFF51AFD7ED558CCDu;
    hash ^= hash >> 32;
    return static_cast<std::uint32_t>(hash);
}

std::uint32_t PathIndex::find(std::string_view path) const noexcept {
    if (slots_.empty()) return kNone;
    const std::uint32_t hash = hash_of(path);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t entry = slots_[slot];
        if (entry == 0) return kNone;
        const Key& key = keys_[entry - 1];
        if (key.hash == hash && key.length == path.size()) {
            const std::string_view stored = this->path(key);
            // Paths are mostly asked for in the case they were stored in.
            if (std::memcmp(stored.data(), path.data(), path.size()) == 0 ||
                iequals(stored, path)) {
                return entry - 1;
            }
        }
    }
}

std::uint32_t PathIndex::add(std::string_view path) {
    if ((keys_.size() + 1) * 2 > slots_.size()) grow();
    const auto number = static_cast<std::uint32_t>(keys_.size());
    const std::uint32_t hash = hash_of(path);
    keys_.push_back(Key{static_cast<std::uint32_t>(paths_.size()),
                        static_cast<std::uint32_t>(path.size()), hash});
    paths_.append(path);
    const std::size_t mask = slots_.size() - 1;
    std::size_t slot = hash & mask;
    while (slots_[slot] != 0) slot = (slot + 1) & mask;
    slots_[slot] = number + 1;
    return number;
}

void PathIndex::grow() {
    std::vector<std::uint32_t> slots(slots_.empty() ? 64 : slots_.size() * 2, 0);
    const std::size_t mask = slots.size() - 1;
    for (std::uint32_t number = 0; number < keys_.size(); ++number) {
        std::size_t slot = keys_[number].hash & mask;
        while (slots[slot] != 0) slot = (slot + 1) & mask;
        slots[slot] = number + 1;
    }
    slots_ = std::move(slots);
}

}  // namespace vantor::hive
