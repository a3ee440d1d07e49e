// Windows: LoadLibraryA and GetProcAddress. The library is vantor.dll in
// the tool's own folder; its version comes from the DLL's version record.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "platform.h"

namespace vantorctl::platform {
namespace {

std::string module_path(HMODULE module) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(module, path, sizeof path);
    if (length == 0 || length == sizeof path) return {};
    return std::string(path, length);
}

}  // namespace

Module open_module(const std::string& path, std::string* error) {
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) {
        *error = path + ": cannot be loaded (error " + std::to_string(GetLastError()) + ")";
    }
    return reinterpret_cast<Module>(module);
}

Function find_function(Module module, const char* name) {
    // FARPROC goes through void (*)() to the caller's own function type.
    return reinterpret_cast<Function>(GetProcAddress(static_cast<HMODULE>(module), name));
}

std::vector<std::string> default_library_paths() {
    std::string exe = module_path(nullptr);
    const std::size_t separator = exe.find_last_of("\\/");
    const std::string directory = separator == std::string::npos ? "." : exe.substr(0, separator);
    return {directory + "\\vantor.dll"};
}

std::string module_file(Module module, Function) {
    return module_path(static_cast<HMODULE>(module));
}

std::string file_version(const std::string& file) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(file.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(file.c_str(), 0, size, data.data())) return {};
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &length) ||
        info == nullptr || length < sizeof *info) {
        return {};
    }
    return std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
           std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(info->dwFileVersionLS)) + "." +
           std::to_string(LOWORD(info->dwFileVersionLS));
}

void binary_stdio() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace vantorctl::platform
