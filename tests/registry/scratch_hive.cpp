// The conformance tests' scratch key in the stand-in registry. The test
// runs on a hive file of its own (named by VANTOR_REGISTRY), so clearing
// the scratch key is removing that file. Without it the tests would write
// into the machine's own hive: they refuse to run.
#include <cstdio>
#include <cstdlib>

#include "scratch.h"

namespace vantor::test {

bool clear_scratch() noexcept {
    const char* hive = std::getenv("VANTOR_REGISTRY");
    if (hive == nullptr || *hive == '\0') return false;
    std::remove(hive);
    return true;
}

// The stand-in keeps and returns exactly the bytes it is given.
const Quirks kQuirks{false, false};

}  // namespace vantor::test
