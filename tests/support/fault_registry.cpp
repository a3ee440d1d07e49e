#include "support/fault_registry.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>

namespace vantor::reg {
struct Key {
    std::string path;
    Access access;
};
}  // namespace vantor::reg

namespace vantor::fault {
namespace {

std::string fold(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

struct State {
    std::map<std::string, std::map<std::string, Stored>> keys;  // folded path -> folded name
    std::map<std::string, Status> open_faults;
    std::map<std::string, bool> write_refused;
    std::map<std::string, Status> create_faults;
    std::map<std::string, Status> set_faults;
    std::map<std::string, Status> close_faults;
    int nth_set = 0;
    Status nth_status = 0;
    int sets_seen = 0;
    int handles = 0;
    std::vector<Call> calls;
};

State& state() {
    static State s;
    return s;
}

template <typename Map>
const typename Map::mapped_type* find(const Map& map, const std::string& key) {
    auto it = map.find(fold(key));
    return it == map.end() ? nullptr : &it->second;
}

reg::Key* new_key(const std::string& path, reg::Access access) {
    ++state().handles;
    return new reg::Key{path, access};
}

}  // namespace

void reset() { state() = State{}; }
void fail_open(const std::string& path, Status status) { state().open_faults[fold(path)] = status; }
void fail_open_for_write(const std::string& path) { state().write_refused[fold(path)] = true; }
void fail_create(const std::string& path, Status status) {
    state().create_faults[fold(path)] = status;
}
void fail_nth_set(int n, Status status) {
    state().nth_set = state().sets_seen + n;
    state().nth_status = status;
}
void fail_sets_under(const std::string& path, Status status) {
    state().set_faults[fold(path)] = status;
}

void fail_close(const std::string& path, Status status) {
    state().close_faults[fold(path)] = status;
}

void put(const std::string& path, const std::string& name, std::uint32_t type, std::string data) {
    state().keys[fold(path)][fold(name)] = Stored{type, std::move(data)};
}

std::optional<Stored> get(const std::string& path, const std::string& name) {
    const auto* values = find(state().keys, path);
    if (values == nullptr) return std::nullopt;
    const auto* stored = find(*values, name);
    if (stored == nullptr) return std::nullopt;
    return *stored;
}

bool has_key(const std::string& path) { return find(state().keys, path) != nullptr; }

std::size_t value_count(const std::string& path) {
    const auto* values = find(state().keys, path);
    return values == nullptr ? 0 : values->size();
}

const std::vector<Call>& calls() { return state().calls; }

std::vector<std::string> set_names() {
    std::vector<std::string> names;
    for (const Call& call : state().calls) {
        if (call.op == "set") names.push_back(call.what);
    }
    return names;
}

int open_handles() { return state().handles; }

}  // namespace vantor::fault

namespace vantor::reg {

using fault::find;
using fault::state;

Status open_key(const char* path, Access access, Key** key) noexcept {
    state().calls.push_back({"open", path, access});
    if (const Status* status = find(state().open_faults, path)) return *status;
    if (access == Access::kAll && find(state().write_refused, path)) return kAccessDenied;
    if (!fault::has_key(path)) return kFileNotFound;
    *key = fault::new_key(path, access);
    return kSuccess;
}

Status create_key(const char* path, Key** key) noexcept {
    state().calls.push_back({"create", path, Access::kAll});
    if (const Status* status = find(state().create_faults, path)) return *status;
    state().keys[fault::fold(path)];
    *key = fault::new_key(path, Access::kAll);
    return kSuccess;
}

Status create_new_key(const char* path, Key** key) noexcept {
    state().calls.push_back({"create_new", path, Access::kAll});
    if (const Status* status = find(state().create_faults, path)) return *status;
    if (fault::has_key(path)) return kAlreadyExists;
    state().keys[fault::fold(path)];
    *key = fault::new_key(path, Access::kAll);
    return kSuccess;
}

Status query_value(Key* key, const char* name, void* data, std::uint32_t* size) noexcept {
    state().calls.push_back({"query", name, key->access});
    const auto stored = fault::get(key->path, name);
    if (!stored) return kFileNotFound;
    const auto length = static_cast<std::uint32_t>(stored->data.size());
    if (length > *size) {
        // The platform leaves the buffer undefined here: scribble on it, so
        // a caller that trusts it is caught.
        std::memset(data, 0xCC, *size);
        *size = length;
        return kMoreData;
    }
    std::memcpy(data, stored->data.data(), length);
    *size = length;
    return kSuccess;
}

Status set_value(Key* key, const char* name, std::uint32_t type, const void* data,
                 std::uint32_t size) noexcept {
    state().calls.push_back({"set", name, key->access});
    ++state().sets_seen;
    if (state().sets_seen == state().nth_set) return state().nth_status;
    if (const Status* status = find(state().set_faults, key->path)) return *status;
    if (key->access != Access::kAll) return kAccessDenied;
    fault::put(key->path, name, type, std::string(static_cast<const char*>(data), size));
    return kSuccess;
}

Status close_key(Key* key) noexcept {
    state().calls.push_back({"close", key->path, key->access});
    --state().handles;
    const Status* status = find(state().close_faults, key->path);
    delete key;
    return status != nullptr ? *status : kSuccess;
}

}  // namespace vantor::reg
