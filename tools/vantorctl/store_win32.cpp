// On Windows the store is the registry, which has no file to name or check.
#include "store.h"

namespace vantorctl::store {

bool use_file(const std::string&, std::string* error) {
    *error =
        "--registry names the hive file of the stand-in registry, which Windows does not have: "
        "there the settings are in the Windows registry";
    return false;
}

std::vector<File> files() { return {}; }

std::string problem(std::string*) { return {}; }

std::string write_failure(std::string_view, std::int32_t) { return {}; }

Sources Sources::read() { return {}; }

Source Sources::of(const Setting&) const { return Source::kUnknown; }

bool Sources::off_machine(const Setting&, const Records&) const { return false; }

std::string help() {
    return "The settings are in the Windows registry, under HKEY_LOCAL_MACHINE\\Software\\QUORIX "
           "(in the 32-bit view on 64-bit Windows).\n";
}

}  // namespace vantorctl::store
