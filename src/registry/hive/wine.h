// The game's keys and texts in a Wine prefix's registry file (system.reg),
// which $VANTOR_REGISTRY may name as the one hive, and the Wine server that
// owns that file while it runs.
//
// The game is a 32-bit program: in a win64 prefix ("#arch=win64") its keys
// lie in the registry's 32-bit view, under Software\Wow6432Node; in a win32
// prefix where it names them. Wine keeps names and strings in UTF-16 (the
// codec reads names as UTF-8, and string data as the UTF-16LE bytes Wine
// holds); the game's ANSI calls see them in its code page, windows-1252,
// converted as Wine's RegSetValueExA and RegQueryValueExA convert them
// (hive/charset.h). Other code pages are not supported.
//
// A running Wine server holds the prefix's registry in memory and writes it
// back lazily (every half minute or so, and when it quits), over whatever
// the file holds then: a change made to the file meanwhile is lost. The
// server holds an fcntl() write lock on the file "lock" in its folder
// "server-<device>-<inode>" (the prefix folder's, in hex), which is, for
// the user who owns the prefix: /tmp/.wine-<uid>/ (Wine as built upstream,
// and Proton); /run/user/<uid>/wine/ where that folder exists, else
// $TMPDIR (or /tmp) and the name the prefix's file "wineserver" holds
// (Debian's Wine).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "hive/document.h"
#include "registry/registry.h"

namespace vantor::store::wine {

// True when `text` is a Wine registry file (its first line tells); then
// *arch is what its "#arch=" line names ("win64", "win32"), or empty.
bool head(std::string_view text, std::string* arch);

// The path of the game's key `path` (below HKEY_LOCAL_MACHINE, as the game
// names it) in the hive `document`: itself in REGEDIT4 and in a win32
// prefix, and below Software\Wow6432Node in a win64 one. A Wine file
// without an "#arch=" line counts as win64 when it holds
// Software\Wow6432Node.
std::string key_path(const hive::Document& document, std::string_view path);
// The same in a Wine file of the architecture `arch`.
std::string key_path(std::string_view arch, std::string_view path);

// True for the types whose data the ANSI calls convert: REG_SZ,
// REG_EXPAND_SZ, REG_MULTI_SZ.
bool is_string(std::uint32_t type) noexcept;

// A value name of the game's (windows-1252) as a Wine file's model holds
// it (UTF-8).
std::string name(std::string_view ansi);

// The data a Wine file holds for what the game stores with
// RegSetValueExA: strings in UTF-16LE, with the NUL Wine adds when
// `nul_follows` (the byte after the data was NUL); the rest as they are.
std::string stored_data(std::uint32_t type, std::string_view bytes, bool nul_follows);

// The data RegQueryValueExA gives the game for what a Wine file holds.
std::string game_data(std::uint32_t type, std::string_view stored);

// Whether the Wine server of the prefix that holds the hive `path` runs.
struct Server {
    // kSuccess when it does not; kSharingViolation when it does (`pid`
    // holds its lock, `lock` names the file); kAccessDenied when it cannot
    // be told (`lock` names what could not be read, `error` why).
    reg::Status status = reg::kSuccess;
    pid_t pid = 0;
    std::string lock;
    int error = 0;
};
Server server(const std::string& path);

}  // namespace vantor::store::wine
