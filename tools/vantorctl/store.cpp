// What the tool tells of the stores on every platform; finding them is
// store_posix.cpp's or store_win32.cpp's.
#include "store.h"

#include "files.h"
#include "hive/format.h"
#include "values.h"

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

bool Sources::off_machine(const Setting& field, const Records& records) const {
    if (!layered() || of(field) != Source::kUser) return false;
    const Store& machine = stores_.front();
    if (machine.unreadable) return false;
    std::optional<Assignment> value;
    if (const vantor::hive::StoredKey* key =
            machine.hive ? machine.hive->find(record_key_path(field.record)) : nullptr) {
        if (const vantor::hive::Value* stored = key->find(field.name)) {
            std::string problem;
            value = check_stored_value(field, stored->type, stored->data, &problem);
        }
    }
    if (!value) value = Assignment{&field, field.default_text, field.default_number};
    if (field.kind == Kind::kText) return get_text(records, field) != value->text;
    return get_number(records, field) != value->number;
}

}  // namespace vantorctl::store
