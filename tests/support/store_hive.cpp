// Natively the store is a hive file in a temporary folder of this test
// process, named by VANTOR_REGISTRY and removed when the process ends.
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "hive/format.h"
#include "support/store.h"
#include "support/temp_hive.h"

namespace vantor::test {
namespace {

std::string& folder() {
    static std::string dir;
    return dir;
}

void remove_test_folder() { remove_folder(folder()); }

}  // namespace

void reset_store() {
    static const std::string hive = [] {
        folder() = make_temp_folder();
        if (folder().empty()) {
            std::perror("reset_store: no temporary folder");
            std::exit(1);
        }
        std::atexit(remove_test_folder);
        std::string path = folder() + "/system.reg";
        setenv("VANTOR_REGISTRY", path.c_str(), 1);
        return path;
    }();
    std::error_code ignored;
    std::filesystem::remove(hive, ignored);
}

std::optional<hive::Hive> stored_keys(const hive::Hive&) {
    const char* path = std::getenv("VANTOR_REGISTRY");
    std::ifstream file(path == nullptr ? "" : path, std::ios::binary);
    std::ostringstream text;
    if (!(text << file.rdbuf())) return std::nullopt;
    return hive::parse(text.str());
}

}  // namespace vantor::test
