// On Windows the store is the machine's registry (Wine's, in a prefix of the
// build tree, when the tests run under Wine). Starting from an empty store
// means deleting the QUORIX key with everything below it.
#include <windows.h>

#include <cstdio>

#include "support/game_view.h"
#include "support/store.h"

namespace vantor::test {

void reset_store() {
    const LONG status = vantor_test_delete_tree("Software\\QUORIX");
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        std::fprintf(stderr, "reset_store: deleting Software\\QUORIX failed with %ld\n", status);
    }
}

}  // namespace vantor::test
