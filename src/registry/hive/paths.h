// Which hive files the stand-in registry uses: the one rule that the library
// and vantorctl share.
//
// With $VANTOR_REGISTRY set and not empty, that one file is the whole
// registry. Otherwise there are two hives: the machine's, shared by every
// user (VANTOR_REGISTRY_PATH at build time, /var/lib/vantor/system.reg by
// default), and the caller's own: $VANTOR_USER_REGISTRY when set and not
// empty, else ${XDG_STATE_HOME:-$HOME/.local/state}/vantor/user.reg. An
// XDG_STATE_HOME or HOME that is not an absolute path is ignored; without
// HOME the home folder is the real user's, from the password database.
// Root's is always the password database's (root's own ~/.local/state):
// root's environment may be a user's (sudo -E), whose hive root must not
// take for its own.
//
// $VANTOR_WRITE_TO chooses the hive every write goes to, whatever the usual
// rule would choose (hive_registry.cpp): "machine" the machine's hive (the
// one file with $VANTOR_REGISTRY), "user" the caller's own, in any case. A
// write that may not go there fails; it never goes to the other hive. Any
// other value is ignored. Reads are as without it.
//
// A program running set-user-ID or set-group-ID is not told where to read or
// write by whoever starts it: it ignores every variable and uses the
// machine's hive alone. (hive_registry.cpp tells how the two hives are used.)
#pragma once

#include <string>

namespace vantor::store {

// The machine's hive when no variable says otherwise.
const char* default_machine_hive() noexcept;

// Where writes go.
enum class WriteTo {
    kEither,   // by the usual rule
    kMachine,  // to the machine's hive alone
    kUser,     // to the caller's own alone (with no such hive, nowhere)
};

struct Hives {
    std::string machine;  // the machine's hive, or the one file $VANTOR_REGISTRY names
    std::string user;     // the caller's own hive; empty when there is none
    WriteTo write_to = WriteTo::kEither;
};

// The hives as the environment gives them now; where writes go only
// `for_write` (else kEither). May throw std::bad_alloc.
Hives find_hives(bool for_write = true);

}  // namespace vantor::store
