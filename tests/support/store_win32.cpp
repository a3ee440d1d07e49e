// On Windows the store is the machine's registry (Wine's, in a prefix of the
// build tree, when the tests run under Wine). Starting from an empty store
// means deleting the QUORIX key with everything below it.
#include <windows.h>

#include <cstdio>
#include <string>

#include "support/game_view.h"
#include "support/store.h"

namespace vantor::test {

void reset_store() {
    const LONG status = vantor_test_delete_tree("Software\\QUORIX");
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        std::fprintf(stderr, "reset_store: deleting Software\\QUORIX failed with %ld\n", status);
    }
}

std::optional<hive::Hive> stored_keys(const hive::Hive& like) {
    hive::Hive stored;
    for (const hive::StoredKey& wanted : like.keys) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, wanted.path.c_str(), 0, KEY_READ | VANTOR_TEST_VIEW,
                          &key) != ERROR_SUCCESS) {
            continue;
        }
        hive::StoredKey& found = stored.keys.emplace_back();
        found.path = wanted.path;
        for (DWORD index = 0;; ++index) {
            char name[16384];
            DWORD name_size = sizeof name;
            DWORD type = 0;
            std::string data(65536, '\0');
            DWORD data_size = static_cast<DWORD>(data.size());
            const LONG status = RegEnumValueA(key, index, name, &name_size, nullptr, &type,
                                              reinterpret_cast<BYTE*>(data.data()), &data_size);
            if (status == ERROR_NO_MORE_ITEMS) break;
            if (status != ERROR_SUCCESS) {
                RegCloseKey(key);
                return std::nullopt;
            }
            data.resize(data_size);
            // The 8-bit interface hands a text out with a NUL after it,
            // stored or not: a stored text has none (the hive shows that).
            if (type == REG_SZ && !data.empty() && data.back() == '\0') data.pop_back();
            found.values.push_back({std::string(name, name_size), type, data});
        }
        RegCloseKey(key);
    }
    return stored;
}

}  // namespace vantor::test
