// Natively the store is a hive file in a temporary folder of this test
// process, named by VANTOR_REGISTRY and removed when the process ends.
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "support/store.h"

namespace vantor::test {
namespace {

std::string& folder() {
    static std::string dir;
    return dir;
}

void remove_folder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder(), ignored);
}

}  // namespace

void reset_store() {
    static const std::string hive = [] {
        const char* tmp = getenv("TMPDIR");
        folder() =
            std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vantor-test-XXXXXX";
        if (mkdtemp(folder().data()) == nullptr) std::perror("mkdtemp");
        std::atexit(remove_folder);
        std::string path = folder() + "/system.reg";
        setenv("VANTOR_REGISTRY", path.c_str(), 1);
        return path;
    }();
    std::error_code ignored;
    std::filesystem::remove(hive, ignored);
}

}  // namespace vantor::test
