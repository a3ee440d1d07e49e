// Wine and Proton prefixes: which one --wine-prefix and --proton name, and
// whether Wine runs in it. The library reads and writes the prefix's
// registry file itself ($VANTOR_REGISTRY names it: src/registry/hive/wine.h
// tells how); this file finds it and says what it finds, with what to do.
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "files.h"
#include "registry/codes.h"
#include "registry/hive/paths.h"
#include "registry/hive/wine.h"
#include "store.h"

namespace vantorctl::store {
namespace {

std::string home_folder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return home;
    const passwd* entry = ::getpwuid(::getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

// `path` as a shell takes it: quoted when it holds more than plain
// characters.
std::string shell_word(const std::string& path) {
    if (!path.empty() &&
        path.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                               "0123456789/._-+:,@%") == std::string::npos) {
        return path;
    }
    std::string quoted = "'";
    for (const char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string without_trailing_slashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// The first bytes of a file (the head of a registry file), or nothing.
bool file_head(const std::string& path, std::string* head) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    head->assign(4096, '\0');
    file.read(head->data(), static_cast<std::streamsize>(head->size()));
    head->resize(static_cast<std::size_t>(file.gcount()));
    return true;
}

// Empty when `folder` holds a Wine registry (system.reg); else why not.
std::string not_a_prefix(const std::string& folder) {
    const std::string hive = folder + "/system.reg";
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        return "no Wine prefix at " + folder + ": " + system_reason(errno);
    }
    if (!S_ISDIR(info.st_mode)) return "no Wine prefix at " + folder + ": not a folder";
    if (::stat(hive.c_str(), &info) != 0) {
        if (errno == ENOENT) {
            return folder +
                   " is not a Wine prefix, or Wine has not made its registry yet: it has "
                   "no system.reg (WINEPREFIX=" +
                   shell_word(folder) + " wineboot -i makes one; so does running the game there)";
        }
        return "cannot read " + hive + ": " + system_reason(errno);
    }
    std::string head;
    std::string arch;
    if (!file_head(hive, &head)) return "cannot read " + hive + ": " + system_reason(errno);
    if (!vantor::store::wine::head(head, &arch)) {
        return hive +
               " is not a Wine registry file (its first line is not \"WINE REGISTRY "
               "Version 2\")";
    }
    return {};
}

bool use_prefix(const std::string& folder, std::string* error) {
    if (std::string why = not_a_prefix(folder); !why.empty()) {
        *error = std::move(why);
        return false;
    }
    const std::string hive = folder + "/system.reg";
    if (::setenv("VANTOR_REGISTRY", hive.c_str(), 1) != 0) {
        *error = "cannot set VANTOR_REGISTRY: " + system_reason(errno);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Steam's libraries

// The libraries a libraryfolders.vdf names: "path" in each numbered block
// (or, in the older form, the numbered entries themselves).
std::vector<std::string> library_folders(std::string_view vdf) {
    std::vector<std::string> found;
    std::vector<std::string> keys;  // the key of each open block
    std::string key;
    bool have_key = false;
    for (std::size_t at = 0; at < vdf.size();) {
        const char c = vdf[at];
        if (c == '/' && at + 1 < vdf.size() && vdf[at + 1] == '/') {
            at = vdf.find('\n', at);
            continue;
        }
        if (c == '{') {
            keys.push_back(have_key ? key : std::string());
            have_key = false;
            ++at;
            continue;
        }
        if (c == '}') {
            if (!keys.empty()) keys.pop_back();
            have_key = false;
            ++at;
            continue;
        }
        if (c != '"') {
            ++at;
            continue;
        }
        std::string text;
        for (++at; at < vdf.size() && vdf[at] != '"'; ++at) {
            if (vdf[at] == '\\' && at + 1 < vdf.size()) ++at;
            text += vdf[at];
        }
        ++at;
        if (!have_key) {
            key = std::move(text);
            have_key = true;
            continue;
        }
        have_key = false;
        const bool numbered =
            !key.empty() && key.find_first_not_of("0123456789") == std::string::npos;
        if ((keys.size() == 2 && key == "path") || (keys.size() == 1 && numbered)) {
            if (!text.empty() && text[0] == '/') found.push_back(text);
        }
    }
    return found;
}

std::string real_path(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

// Steam's own folders, where it is installed natively and as a Flatpak.
std::vector<std::string> steam_roots(const std::string& home) {
    std::vector<std::string> roots = {home + "/.steam/steam", home + "/.steam/root"};
    const char* data = std::getenv("XDG_DATA_HOME");
    roots.push_back(data != nullptr && data[0] == '/' ? std::string(data) + "/Steam"
                                                      : home + "/.local/share/Steam");
    roots.push_back(home + "/.var/app/com.valvesoftware.Steam/.local/share/Steam");
    return roots;
}

// Every Steam library: each Steam folder and the libraries it lists, each
// once.
std::vector<std::string> steam_libraries(const std::string& home) {
    std::vector<std::string> libraries;
    std::vector<std::string> seen;
    const auto add = [&](const std::string& library) {
        const std::string real = real_path(library);
        if (real.empty() || std::find(seen.begin(), seen.end(), real) != seen.end()) return;
        seen.push_back(real);
        libraries.push_back(without_trailing_slashes(library));
    };
    for (const std::string& root : steam_roots(home)) {
        add(root);
        std::ifstream file(root + "/steamapps/libraryfolders.vdf", std::ios::binary);
        if (!file) continue;
        std::string vdf((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        for (const std::string& library : library_folders(vdf)) add(library);
    }
    return libraries;
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

bool use_wine_prefix(const std::optional<std::string>& dir, std::string* error, bool* bad_usage) {
    *bad_usage = false;
    std::string folder;
    if (dir && !dir->empty()) {
        folder = *dir;
    } else if (const char* variable = std::getenv("WINEPREFIX");
               variable != nullptr && *variable != '\0') {
        folder = variable;
    } else if (const std::string home = home_folder(); !home.empty()) {
        folder = home + "/.wine";
    } else {
        *error =
            "--wine-prefix: no folder given, no WINEPREFIX and no home folder: name the prefix";
        *bad_usage = true;
        return false;
    }
    return use_prefix(without_trailing_slashes(folder), error);
}

bool use_proton(const std::string& appid, std::string* error, bool* bad_usage) {
    *bad_usage = appid.empty() || appid.size() > 10 ||
                 appid.find_first_not_of("0123456789") != std::string::npos;
    if (*bad_usage) {
        *error =
            "--proton takes the game's Steam app ID, a number (the digits in its store page's "
            "address), not \"" +
            appid + "\"";
        return false;
    }
    const std::string home = home_folder();
    const std::vector<std::string> libraries = steam_libraries(home);
    if (libraries.empty()) {
        std::string looked;
        for (const std::string& root : steam_roots(home))
            looked += (looked.empty() ? "" : ", ") + root;
        *error = "no Steam library found (looked in " + looked +
                 "); name the game's prefix with --wine-prefix DIR";
        return false;
    }
    // The prefix in the library that holds the game, else the one there is.
    std::vector<std::string> found;
    std::vector<std::string> installed;
    for (const std::string& library : libraries) {
        const std::string steamapps = library + "/steamapps/";
        const std::string prefix = steamapps + "compatdata/" + appid + "/pfx";
        if (!exists(prefix + "/system.reg")) continue;
        found.push_back(prefix);
        if (exists(steamapps + "appmanifest_" + appid + ".acf")) installed.push_back(prefix);
    }
    if (installed.size() == 1) found = installed;
    if (found.size() == 1) return use_prefix(found.front(), error);
    std::string list;
    for (const std::string& each : found.empty() ? libraries : found) {
        list += (list.empty() ? "" : ", ") + each;
    }
    *error = found.empty()
                 ? "Steam app " + appid + " has no Proton prefix in the Steam libraries " + list +
                       " (steamapps/compatdata/" + appid +
                       "/pfx/system.reg): run the game once with Proton first, or name "
                       "its prefix with --wine-prefix DIR"
                 : "Steam app " + appid + " has a Proton prefix in more than one library (" + list +
                       "): name the one to use with --wine-prefix DIR";
    return false;
}

std::optional<WinePrefix> wine_prefix() {
    const vantor::store::Hives hives = vantor::store::find_hives();
    if (!hives.user.empty()) return std::nullopt;
    std::string head;
    WinePrefix prefix;
    if (!file_head(hives.machine, &head) || !vantor::store::wine::head(head, &prefix.arch)) {
        return std::nullopt;
    }
    if (prefix.arch.empty()) {
        // An old file without "#arch=": 64-bit when it holds the 32-bit
        // view's key, as the library reads it.
        std::ifstream file(hives.machine, std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(file), {}};
        if (text.find("\n[Software\\\\Wow6432Node]") != std::string::npos) prefix.arch = "win64";
    }
    const std::size_t slash = hives.machine.rfind('/');
    prefix.folder = slash == std::string::npos ? "."
                    : slash == 0               ? "/"
                                               : hives.machine.substr(0, slash);
    prefix.keys =
        "HKEY_LOCAL_MACHINE\\" + vantor::store::wine::key_path(prefix.arch, "Software\\QUORIX");
    prefix.proton = prefix.folder.find("/steamapps/compatdata/") != std::string::npos;
    return prefix;
}

std::string wine_running(std::string* next_step) {
    const std::optional<WinePrefix> prefix = wine_prefix();
    if (!prefix) return {};
    const vantor::store::wine::Server server =
        vantor::store::wine::server(vantor::store::find_hives().machine);
    if (server.status == vantor::reg::kSuccess) return {};
    if (server.status != vantor::reg::kSharingViolation) {
        *next_step =
            "run vantorctl as the user the prefix belongs to; if that is you and Wine is "
            "not running, " +
            prefix->folder +
            "/wineserver may name another user's folder (a prefix copied or made "
            "with sudo): remove that file and try again";
        return "cannot tell whether Wine is running in " + prefix->folder + ": cannot read " +
               server.lock + ": " + system_reason(server.error);
    }
    if (prefix->proton) {
        *next_step =
            "quit the game (Steam: Stop), and wait a few seconds for Proton's wineserver "
            "to save the registry and quit";
    } else {
        *next_step = "quit the game, then run WINEPREFIX=" + shell_word(prefix->folder) +
                     " wineserver -w, which returns once Wine has saved its registry and quit";
    }
    return std::string(prefix->proton ? "Proton" : "Wine") + " is running in " + prefix->folder +
           " (its wineserver, process " + std::to_string(server.pid) + ")";
}

}  // namespace vantorctl::store
