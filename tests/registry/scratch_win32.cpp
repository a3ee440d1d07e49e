// The conformance tests' scratch key in the Windows registry.
#include <windows.h>

#include "scratch.h"
#include "support/game_view.h"

namespace vantor::test {

bool clear_scratch() noexcept {
    const LONG status = vantor_test_delete_tree(kScratchRoot);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

const Quirks kQuirks{true, true};

}  // namespace vantor::test
