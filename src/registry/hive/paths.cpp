#include "registry/hive/paths.h"

#include <pwd.h>
#include <stdlib.h>
#include <sys/auxv.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <vector>

#include "hive/model.h"

#ifndef VANTOR_DEFAULT_REGISTRY
#error "VANTOR_DEFAULT_REGISTRY must name the machine's hive file"
#endif

namespace vantor::store {
namespace {

// The variable's value when set and not empty. secure_getenv() gives
// nothing to a set-user-ID or set-group-ID program.
const char* variable(const char* name) noexcept {
    const char* value = ::secure_getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

const char* absolute_variable(const char* name) noexcept {
    const char* value = variable(name);
    return value != nullptr && *value == '/' ? value : nullptr;
}

// The home folder of `uid` in the password database; empty when it has none
// (or not an absolute one).
std::string password_home(uid_t uid) {
    std::vector<char> buffer(4096);
    passwd entry{};
    passwd* found = nullptr;
    int error = 0;
    while ((error = ::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < (std::size_t{1} << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    if (error != 0 || found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] != '/') {
        return {};
    }
    return found->pw_dir;
}

// password_home(), looked up once per user: every call of the library asks
// for it (root's every time), and a look-up may read files. The mutex is
// only ever tried, so a child forked while another thread held it does not
// wait for it.
class Homes {
  public:
    std::string of(uid_t uid) {
        {
            const std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
            if (lock.owns_lock() && known_ && uid_ == uid) return home_;
        }
        std::string home = password_home(uid);
        const std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
        if (lock.owns_lock()) {
            uid_ = uid;
            home_ = home;
            known_ = true;
        }
        return home;
    }

  private:
    std::mutex mutex_;
    bool known_ = false;
    uid_t uid_ = 0;
    std::string home_;
};

// Made when the library is loaded, never destroyed (see cache.cpp).
Homes* const homes = new Homes;

// The caller's home folder: for root, the password database's alone, for
// root's environment may well be a user's (sudo -E) and root must not write
// as that user; for anyone else $HOME, else the real user's home folder in
// the password database. Empty when none is known.
std::string home_folder() {
    if (::geteuid() == 0) return homes->of(0);
    if (const char* home = absolute_variable("HOME")) return home;
    return homes->of(::getuid());
}

// `folder`/`name`, without doubled slashes.
std::string inside(std::string folder, const char* name) {
    while (!folder.empty() && folder.back() == '/') folder.pop_back();
    return folder + "/" + name;
}

// $VANTOR_WRITE_TO, in any case (ASCII, whatever the locale); kEither for
// any other value.
WriteTo write_to() noexcept {
    const char* value = variable("VANTOR_WRITE_TO");
    if (value == nullptr) return WriteTo::kEither;
    if (hive::iequals(value, "machine")) return WriteTo::kMachine;
    if (hive::iequals(value, "user")) return WriteTo::kUser;
    return WriteTo::kEither;
}

}  // namespace

const char* default_machine_hive() noexcept { return VANTOR_DEFAULT_REGISTRY; }

Hives find_hives(bool for_write) {
    const WriteTo writes = for_write ? write_to() : WriteTo::kEither;
    if (const char* single = variable("VANTOR_REGISTRY")) return {single, {}, writes};
    Hives hives{VANTOR_DEFAULT_REGISTRY, {}};
    if (::getauxval(AT_SECURE) != 0) return hives;
    hives.write_to = writes;
    if (const char* user = variable("VANTOR_USER_REGISTRY")) {
        hives.user = user;
    } else if (const char* state =
                   ::geteuid() != 0 ? absolute_variable("XDG_STATE_HOME") : nullptr) {
        hives.user = inside(state, "vantor/user.reg");
    } else if (const std::string home = home_folder(); !home.empty()) {
        hives.user = inside(inside(home, ".local/state"), "vantor/user.reg");
    }
    // A user hive that is the machine's is no second hive.
    if (hives.user == hives.machine) hives.user.clear();
    return hives;
}

}  // namespace vantor::store
