// What differs between the platforms: loading a module and finding its
// functions, where the library is installed, its version, and binary
// standard streams. One file implements it per platform (platform_posix.cpp,
// platform_win32.cpp).
#pragma once

#include <string>
#include <vector>

namespace vantorctl::platform {

using Module = void*;
using Function = void (*)();

// Loads a module by path; nullptr on failure, with the reason in *error.
Module open_module(const std::string& path, std::string* error);

// The exported function called `name`, or nullptr.
Function find_function(Module module, const char* name);

// Where the library is looked for when no path is given, in order.
std::vector<std::string> default_library_paths();

// The file `module` was loaded from, after links; `function` lies in it.
std::string module_file(Module module, Function function);

// The version of the library file `file`, or empty when it cannot be told.
std::string file_version(const std::string& file);

// Makes stdin and stdout carry bytes unchanged (no CRLF translation).
void binary_stdio();

}  // namespace vantorctl::platform
