// On Windows the store is the registry, which has no file to name or check.
#include "store.h"

namespace vantorctl::store {

bool use_file(const std::string&, std::string* error) {
    *error =
        "--registry names the hive file of the stand-in registry, which Windows does not have: "
        "there the settings are in the Windows registry";
    return false;
}

// Under Wine the tool runs in the prefix and changes its registry through
// Wine itself: there is no prefix to name.
bool use_wine_prefix(const std::optional<std::string>&, std::string* error, bool* bad_usage) {
    *bad_usage = true;
    *error =
        "--wine-prefix is for the native vantorctl on Linux; vantorctl.exe run under Wine "
        "already changes the registry of the prefix it runs in";
    return false;
}

bool use_proton(const std::string&, std::string* error, bool* bad_usage) {
    *bad_usage = true;
    *error =
        "--proton is for the native vantorctl on Linux; vantorctl.exe run under Proton "
        "already changes the registry of the prefix it runs in";
    return false;
}

std::optional<WinePrefix> wine_prefix() { return std::nullopt; }

std::string wine_running(std::string*) { return {}; }

std::vector<File> files() { return {}; }

std::string problem(std::string*) { return {}; }

std::string write_failure(std::string_view, std::int32_t) { return {}; }

bool write_to(Scope scope, std::string* error) {
    if (scope == Scope::kEither) return true;
    *error = std::string(scope_option(scope)) +
             " chooses between the machine's hive file and your own, which Windows does not "
             "have: there the settings are in the registry";
    return false;
}

bool has_user_store() { return false; }

std::string write_refusal() { return {}; }

bool may_write_machine() { return false; }

bool remove_own(Record, const std::vector<const Setting*>&, std::vector<const Setting*>* removed,
                std::string* error) {
    removed->clear();
    *error = "there is no store of your own on Windows: the settings are in the registry";
    return false;
}

Sources Sources::read() { return {}; }

Source Sources::of(const Setting&) const { return Source::kUnknown; }

std::optional<Sources::Machine> Sources::hidden(const Setting&, const Records&) const {
    return std::nullopt;
}

std::string Sources::user_file() const { return {}; }

std::string help() {
    return "The settings are in the Windows registry, under HKEY_LOCAL_MACHINE\\Software\\QUORIX "
           "(in the 32-bit view on 64-bit Windows).\n";
}

}  // namespace vantorctl::store
