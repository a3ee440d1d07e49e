// POSIX: dlopen and dlsym. The library is looked for beside the tool (the
// build tree keeps both in one folder), then in the install layout's
// library folder relative to the tool's (VANTORCTL_LIBDIR_FROM_BINDIR),
// then wherever the dynamic linker finds it (LD_LIBRARY_PATH, the system's
// library folders): a tool copied elsewhere still finds the installed one.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "platform.h"

#ifndef VANTORCTL_LIBDIR_FROM_BINDIR
#define VANTORCTL_LIBDIR_FROM_BINDIR "../lib"
#endif

namespace vantorctl::platform {
namespace {

constexpr const char* kLibraryName = "libvantor.so.1";

std::string tool_directory() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return ".";
    const std::string exe(path, static_cast<std::size_t>(length));
    const std::size_t slash = exe.rfind('/');
    return slash == 0 ? "/" : exe.substr(0, slash);
}

}  // namespace

Module open_module(const std::string& path, std::string* error) {
    Module module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char* why = dlerror();
        *error = why != nullptr ? why : path + ": cannot be loaded";
    }
    return module;
}

Function find_function(Module module, const char* name) {
    return reinterpret_cast<Function>(dlsym(module, name));
}

std::vector<std::string> default_library_paths() {
    const std::string directory = tool_directory();
    return {directory + "/" + kLibraryName,
            directory + "/" VANTORCTL_LIBDIR_FROM_BINDIR "/" + kLibraryName, kLibraryName};
}

std::string module_file(Module, Function function) {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(function), &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    char* resolved = realpath(info.dli_fname, nullptr);
    if (resolved == nullptr) return info.dli_fname;
    std::string file(resolved);
    std::free(resolved);
    return file;
}

std::string file_version(const std::string& file) {
    // A shared library's file name carries its full version: libvantor.so.1.0.0.3.
    const std::size_t so = file.rfind(".so.");
    if (so == std::string::npos || file.find('/', so) != std::string::npos) return {};
    return file.substr(so + 4);
}

void binary_stdio() {}

}  // namespace vantorctl::platform
