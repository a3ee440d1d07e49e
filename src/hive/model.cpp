#include "hive/model.h"

#include <cstring>

#include "hive/syntax.h"

namespace vantor::hive {

using syntax::lower;

bool iequals(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    // Names compared are mostly in the same case: those are equal bytes,
    // compared at once; otherwise fold only where bytes differ.
    if (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0) return true;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool valid_key_path(std::string_view path) noexcept {
    if (path.empty() || path.front() == '\\' || path.back() == '\\') return false;
    std::size_t depth = 1;
    std::size_t name_length = 0;
    for (const char c : path) {
        if (c == '\0' || c == '\r' || c == '\n') return false;
        if (c != '\\') {
            if (++name_length > kMaxKeyNameLength) return false;
            continue;
        }
        if (name_length == 0 || ++depth > kMaxKeyDepth) return false;
        name_length = 0;
    }
    return true;
}

bool valid_value_name(std::string_view name) noexcept {
    return name.size() <= kMaxValueNameLength && name.find('\0') == std::string_view::npos;
}

Value* StoredKey::find(std::string_view name) noexcept {
    for (Value& value : values) {
        if (iequals(value.name, name)) return &value;
    }
    return nullptr;
}

const Value* StoredKey::find(std::string_view name) const noexcept {
    return const_cast<StoredKey*>(this)->find(name);
}

bool StoredKey::set(std::string_view name, std::uint32_t type, std::string_view data) {
    if (Value* value = find(name)) {
        if (value->type == type && value->data == data) return false;
        value->type = type;
        value->data.assign(data);
        return true;
    }
    values.push_back(Value{std::string(name), type, std::string(data)});
    return true;
}

StoredKey* Hive::find(std::string_view path) noexcept {
    for (StoredKey& key : keys) {
        if (iequals(key.path, path)) return &key;
    }
    return nullptr;
}

const StoredKey* Hive::find(std::string_view path) const noexcept {
    return const_cast<Hive*>(this)->find(path);
}

StoredKey& Hive::ensure(std::string_view path, bool* added) {
    if (added != nullptr) *added = false;
    // Walk down the path; a new key takes its parent's stored case.
    std::string parent;
    std::size_t start = 0;
    StoredKey* key = nullptr;
    for (;;) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        key = find(path.substr(0, end));
        if (key == nullptr) {
            std::string name = parent.empty() ? std::string() : parent + '\\';
            name.append(path.substr(start, end - start));
            keys.push_back(StoredKey{std::move(name), {}});
            key = &keys.back();
            if (added != nullptr) *added = true;
        }
        if (end == path.size()) return *key;
        parent = key->path;
        start = end + 1;
    }
}

}  // namespace vantor::hive
