// Windows: LoadLibraryA and GetProcAddress. The library is vantor.dll in
// the tool's own folder; its version comes from the DLL's version record.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "platform.h"

namespace vantorctl::platform {
namespace {

// The system's text for a Win32 error code, without its line end.
std::string error_text(DWORD code) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length != 0 && text != nullptr ? std::string(text, length)
                                                         : "error " + std::to_string(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return message;
}

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

void set_up_stdio() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}

// Arguments and the console are in the ANSI code page, the game's own.
bool terminal_is_utf8() { return false; }

bool make_edit_file(std::string_view bytes, std::string* path, std::string* error) {
    char folder[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length > MAX_PATH) {
        *error = "cannot find the folder for temporary files: " + error_text(GetLastError());
        return false;
    }
    for (unsigned attempt = 0;; ++attempt) {
        *path = std::string(folder, length) + "vantor-" + std::to_string(GetCurrentProcessId()) +
                "-" + std::to_string(attempt) + ".reg";
        HANDLE file = CreateFileA(path->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS && attempt < 100) continue;
            *error = "cannot create " + *path + ": " + error_text(GetLastError());
            return false;
        }
        DWORD written = 0;
        const bool done =
            WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size();
        const DWORD code = GetLastError();
        CloseHandle(file);
        if (!done) {
            *error = "cannot write " + *path + ": " + error_text(code);
            DeleteFileA(path->c_str());
            return false;
        }
        return true;
    }
}

std::string editor() {
    for (const char* variable : {"VISUAL", "EDITOR"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') return value;
    }
    return "notepad";
}

int run_editor(const std::string& editor, const std::string& file, std::string* error) {
    const std::string command = editor + " \"" + file + "\"";
    std::fflush(nullptr);
    const int status = std::system(command.c_str());
    if (status < 0) {
        *error = "cannot run the editor " + editor;
        return -1;
    }
    return status;
}

bool input_is_terminal() { return _isatty(_fileno(stdin)) != 0; }

bool replace_file(const std::string& path, std::string_view bytes, std::string* error) {
    const auto fail = [&](DWORD code) {
        *error = "cannot write " + path + ": " + error_text(code);
        return false;
    };
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return fail(ERROR_DIRECTORY);
    }
    const std::string temp = path + ".tmp." + std::to_string(GetCurrentProcessId());
    HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return fail(GetLastError());
    bool done = true;
    while (done && !bytes.empty()) {
        DWORD written = 0;
        const DWORD chunk = bytes.size() < (1u << 20) ? static_cast<DWORD>(bytes.size()) : 1u << 20;
        done = WriteFile(file, bytes.data(), chunk, &written, nullptr) && written != 0;
        bytes.remove_prefix(written);
    }
    done = done && FlushFileBuffers(file);
    DWORD code = done ? ERROR_SUCCESS : GetLastError();
    CloseHandle(file);
    if (done && !MoveFileExA(temp.c_str(), path.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        done = false;
        code = GetLastError();
    }
    if (!done) {
        DeleteFileA(temp.c_str());
        return fail(code);
    }
    return true;
}

}  // namespace vantorctl::platform
