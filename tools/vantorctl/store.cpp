// What the tool tells of the stores on every platform; finding them is
// store_posix.cpp's or store_win32.cpp's.
#include "store.h"

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

const char* scope_option(Scope scope) {
    switch (scope) {
        case Scope::kMachine:
            return "--machine";
        case Scope::kUser:
            return "--user";
        case Scope::kEither:
            break;
    }
    return "";
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

}  // namespace vantorctl::store
