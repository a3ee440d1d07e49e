// What the tool tells of the stores on every platform; finding them is
// store_posix.cpp's or store_win32.cpp's.
#include "store.h"

#include "files.h"
#include "hive/format.h"

namespace vantorctl::store {

std::string named() {
    const std::vector<File> found = files();
    if (found.size() == 1) return "; store " + found[0].path;
    std::string text;
    for (const File& file : found) {
        text += (text.empty() ? "; " : ", ") + std::string(file.role) + " store " + file.path;
    }
    return text;
}

const char* source_name(Source source) {
    switch (source) {
        case Source::kMachine:
            return kMachineRole.data();
        case Source::kUser:
            return kUserRole.data();
        case Source::kNone:
        case Source::kUnknown:
            break;
    }
    return nullptr;
}

Sources Sources::read() {
    Sources sources;
    for (File& file : files()) {
        Store store{std::move(file), std::nullopt, false};
        std::string text;
        std::string error;
        if (read_file(store.file.path, &text, &error) == ReadResult::kRead) {
            store.hive = vantor::hive::parse(text);
        }
        store.unreadable = unreadable(store.file.path);
        sources.stores_.push_back(std::move(store));
    }
    return sources;
}

Source Sources::of(const Setting& field) const {
    if (stores_.empty()) return Source::kUnknown;
    // The user's hive first.
    for (auto store = stores_.rbegin(); store != stores_.rend(); ++store) {
        if (!store->hive) continue;
        const vantor::hive::StoredKey* key = store->hive->find(record_key_path(field.record));
        if (key != nullptr && key->find(field.name) != nullptr) {
            return store->file.role == kUserRole ? Source::kUser : Source::kMachine;
        }
    }
    return Source::kNone;
}

}  // namespace vantorctl::store
