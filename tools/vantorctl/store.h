// Where the library keeps the settings, found by the library's own rule, so
// that the tool can name the files and tell which one each value comes
// from. Natively that is the stand-in registry's hive files: the machine's
// and the user's own (see src/registry/hive/paths.h), or the one that
// VANTOR_REGISTRY names; on Windows the registry, which has no file to name.
// One file finds them per platform (store_posix.cpp, store_win32.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fields.h"

namespace vantor::store {
class Layers;
}

namespace vantorctl::store {

// Makes the library use the hive file `path` alone (the --registry option):
// sets VANTOR_REGISTRY for it. Returns false, saying why, on Windows or for
// an empty path.
bool use_file(const std::string& path, std::string* error);

// Makes the library use the registry of a Wine prefix (--wine-prefix): its
// system.reg, the one store, which the library reads and writes in the
// game's 32-bit view. `dir` names the prefix; without one, $WINEPREFIX,
// else ~/.wine. False, saying why and what to do, on Windows, or when the
// folder holds no Wine registry; *bad_usage then tells an argument that
// can never work from a prefix that is not there (yet).
bool use_wine_prefix(const std::optional<std::string>& dir, std::string* error, bool* bad_usage);

// The same for the Proton prefix of the Steam game `appid` (--proton),
// found in every Steam library: steamapps/compatdata/APPID/pfx.
bool use_proton(const std::string& appid, std::string* error, bool* bad_usage);

// The Wine prefix whose registry is the store, when it is one.
struct WinePrefix {
    std::string folder;   // the prefix: system.reg is in it
    std::string arch;     // its "#arch=": win64 or win32
    std::string keys;     // where the game's keys are: HKEY_LOCAL_MACHINE\Software\...\QUORIX
    bool proton = false;  // a Proton prefix of Steam's
};
std::optional<WinePrefix> wine_prefix();

// Empty unless the store is a Wine prefix's registry and Wine runs in it
// now; then what says so ("Wine is running in /home/ann/.wine (wineserver,
// process 4242)"), and in *next_step what to do before a change: quit the
// game, and wait for the server to save and quit (wineserver -w).
std::string wine_running(std::string* next_step);

// Which store a command writes to: where the library's rule puts each value,
// or the one chosen (--machine, --user).
enum class Scope { kEither, kMachine, kUser };

// "--machine", "--user", or "" for kEither.
const char* scope_option(Scope scope);

// Makes the library write every value to the store `scope` names, and
// nowhere else: sets VANTOR_WRITE_TO for it. Returns false, saying why,
// where there are not two stores to choose from (one hive file, as
// --registry and VANTOR_REGISTRY give, or Windows).
bool write_to(Scope scope, std::string* error);

// True where there is a user's store besides the machine's (natively, two
// hive files): unset and the scopes need one.
bool has_user_store();

// Empty when this process may write the store that writes go to now (the
// library's choice, as VANTOR_WRITE_TO steers it); else what stops it,
// naming the file, and what to do. Asked before a command with a chosen
// scope reads or writes anything, so that a refused one writes nothing.
std::string write_refusal();

// True when this process may write the machine's store.
bool may_write_machine();

// Removes from the user's own store the values of `record` named in
// `fields`, so that the machine's show through; the fields removed go to
// *removed (a value the user's store does not hold is not). False, with what
// failed, the file and what to do in *error, when the store could not be
// changed.
bool remove_own(Record record, const std::vector<const Setting*>& fields,
                std::vector<const Setting*>* removed, std::string* error);

// The parts a hive file plays.
inline constexpr std::string_view kMachineRole = "machine";
inline constexpr std::string_view kUserRole = "user";

// One hive file and the part it plays.
struct File {
    std::string path;
    std::string_view role;  // kMachineRole or kUserRole
};

// The hive files the library reads, the machine's first; on Windows none.
std::vector<File> files();

// Empty when the library can read each of files() that exists, or may go
// without it (a machine's hive the user may not read, when the user has a
// hive of their own); otherwise what is wrong, naming the file and, for a
// hive that does not parse, the line: "/var/lib/vantor/system.reg:7:
// corrupt store: malformed key line". What to do about it goes to
// *next_step when given ("mend line 7 of ..., restore it from a backup, or
// move it aside ...").
std::string problem(std::string* next_step = nullptr);

// After the library failed to write the key `key_path` with `status` (0
// when not known: a reader could not seed the key): the hive file the write
// went to, what stopped it, with the system's reason, and what to do
// ("cannot create /home/ann/.local/state/vantor/user.reg: cannot make
// folders in /home/ann: Permission denied; set VANTOR_USER_REGISTRY to a
// file in a folder you may write"). Empty when nothing more can be told,
// and on Windows.
std::string write_failure(std::string_view key_path, std::int32_t status);

// The files for a message about a failure: natively
// "; machine store /var/lib/vantor/system.reg, user store /home/ann/..."
// (or "; store FILE" for one), on Windows empty.
std::string named();

// What --help says of where the settings are kept, and of the environment
// that moves them.
std::string help();

// Where a value shown comes from.
enum class Source {
    kUnknown,  // on Windows, where the registry does not say
    kNone,     // no store holds it: the reader's default
    kMachine,
    kUser,
};

// "machine", "user", or nullptr for kNone and kUnknown.
const char* source_name(Source source);

// The hive files as they are now, to tell where each value comes from: the
// store answers, by the library's rule (the user's hive where it holds the
// key and the value, else the machine's).
class Sources {
  public:
    struct Store {
        File file;
        bool unreadable = false;           // there, but the user may not read it
        std::optional<WinePrefix> prefix;  // a Wine prefix's registry: which
    };

    // Reads and parses the files; on Windows there are none.
    static Sources read();

    const std::vector<Store>& stores() const { return stores_; }
    // True when there is a user's hive besides the machine's.
    bool layered() const { return stores_.size() > 1; }
    Source of(const Setting& field) const;

    // What the machine's store gives for a value: its own (`held`), or the
    // default where it holds none.
    struct Machine {
        std::string text;
        std::uint32_t number = 0;
        bool held = false;
    };
    // When the value shown, `records`' field, comes from the user's hive and
    // differs from what the machine's gives: what the machine's gives, which
    // the user's value hides (and `unset` brings back). Nothing otherwise,
    // and when the machine's hive cannot be read.
    std::optional<Machine> hidden(const Setting& field, const Records& records) const;
    // True when hidden() gives a value.
    bool off_machine(const Setting& field, const Records& records) const {
        return hidden(field, records).has_value();
    }
    // The user's hive, or empty.
    std::string user_file() const;

  private:
    std::vector<Store> stores_;
    std::shared_ptr<const vantor::store::Layers> layers_;  // natively
};

}  // namespace vantorctl::store
