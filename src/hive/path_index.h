// The keys of a hive by path, in any case. A key is found with one hash of
// its path; a reader that meets a key looks up its parent first, and its
// grandparents only when the parent is missing too, so that reading stays
// linear in the size of the text however deep its keys nest. Private to the
// codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::hive {

class PathIndex {
  public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;  // no key

    std::size_t size() const noexcept { return keys_.size(); }
    void clear();

    // The key at `path`, in any case, or kNone.
    std::uint32_t find(std::string_view path) const noexcept;
    // Adds a key the index does not hold; its number is the count of keys
    // before it.
    std::uint32_t add(std::string_view path);

  private:
    struct Key {
        std::uint32_t offset;  // of the path in paths_
        std::uint32_t length;
        std::uint32_t hash;
    };

    static std::uint32_t hash_of(std::string_view path) noexcept;
    std::string_view path(const Key& key) const noexcept {
        return std::string_view(paths_).substr(key.offset, key.length);
    }
    void grow();

    std::vector<Key> keys_;
    std::string paths_;  // every key's path, one after another
    // Open addressing: a key's number plus one, or 0 for an empty slot. At
    // most half full.
    std::vector<std::uint32_t> slots_;
};

// The part of `path` before its last backslash: the parent's path, empty
// for a top-level key.
inline std::string_view parent_path(std::string_view path) noexcept {
    const std::size_t slash = path.rfind('\\');
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

}  // namespace vantor::hive
