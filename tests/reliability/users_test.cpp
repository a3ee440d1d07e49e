// The machine's hive and each user's own, through the eight functions, as
// root and as other users. Each test runs in a private mount namespace with
// a fresh tmpfs over the folder above the machine's hive's folder
// (/var/lib): the library uses its real default paths, and nothing of the
// machine's is seen or touched. The users' home folders are in that tmpfs
// too. Needs root; skips elsewhere.
#include <grp.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "hive/format.h"
#include "registry/hive/hive_file.h"
#include "registry/hive/paths.h"
#include "reliability/eight_calls.h"
#include "reliability/reliability.h"
#include "support/defaults.h"
#include "support/private_mount.h"
#include "vantor.h"

namespace vantor::test {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kAnn = kNobody;
constexpr uid_t kBob = kNobody - 1;
constexpr gid_t kShared = 4242;

const fs::path kMachineHive = store::default_machine_hive();
const fs::path kMachineFolder = kMachineHive.parent_path();
const fs::path kSandbox = kMachineFolder.parent_path();

fs::path home_of(uid_t uid) { return kSandbox / ("home-" + std::to_string(uid)); }
fs::path user_hive(uid_t uid) { return home_of(uid) / ".local/state/vantor/user.reg"; }

mode_t mode_of(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

std::map<std::string, std::string> machine_files() { return files_in(kMachineFolder); }

// Runs `body` as `uid` (its own group, and `groups`) in a child process,
// with a home folder of its own (or one root owns, with `own_home` false)
// and none of the variables that choose the hives. Returns what `body`
// returns, or 100 when the child could not become that user.
int as_user(uid_t uid, const std::function<int()>& body, bool own_home = true,
            std::vector<gid_t> groups = {}) {
    return run_child([&] {
        const fs::path home = home_of(uid);
        fs::create_directories(home);
        if (own_home && ::chown(home.c_str(), uid, uid) != 0) return 100;
        ::chmod(home.c_str(), own_home ? 0700 : 0755);
        ::setenv("HOME", home.c_str(), 1);
        if (::setgroups(groups.size(), groups.data()) != 0 || ::setgid(uid) != 0 ||
            ::setuid(uid) != 0) {
            return 100;
        }
        return body();
    });
}

class Users : public ::testing::Test {
  protected:
    // Runs `body` as root in the sandbox, with root's home folder in it.
    // Returns what `body` returns, or kNoMount.
    static int in_sandbox(const std::function<int()>& body) {
        if (::geteuid() != 0) return kNoMount;
        return with_private_tmpfs(kSandbox, "mode=0755", [&] {
            // Root's own hive is in its home folder: an empty one here too.
            const passwd* root = ::getpwuid(0);
            if (root == nullptr || !fs::is_directory(root->pw_dir) ||
                ::mount("vantor-test", root->pw_dir, "tmpfs", 0, "mode=0700") != 0) {
                return kNoMount;
            }
            for (const char* name : {"VANTOR_REGISTRY", "VANTOR_USER_REGISTRY", "XDG_STATE_HOME"}) {
                ::unsetenv(name);
            }
            const fs::path home = kSandbox / "home-root";
            fs::create_directories(home);
            ::setenv("HOME", home.c_str(), 1);
            return body();
        });
    }
};

#define SANDBOXED(body)                                                                     \
    do {                                                                                    \
        const int failed = in_sandbox(body);                                                \
        if (failed == kNoMount) GTEST_SKIP() << "needs root: a private mount, other users"; \
        EXPECT_EQ(failed, 0) << "the check that failed";                                    \
    } while (false)

TEST_F(Users, EachReadsTheirOwnValuesOverTheMachinesAndWritesTheirOwnHive) {
    SANDBOXED([] {
        // Root writes the machine's hive, and has no hive of its own.
        if (!store_custom()) return 1;
        if (mode_of(kMachineFolder) != 0755 || mode_of(kMachineHive) != 0644) return 2;
        if (fs::exists(kSandbox / "home-root/.local")) return 3;
        const auto machine = machine_files();

        // Ann reads the machine's values and changes two of her own.
        if (as_user(kAnn, [] {
                GameConfigSettings game{};
                KeyConfigSettings keys{};
                if (GetGameConfigSettings(&game) != 1 || !game_is(game, "Stored", 55)) return 1;
                if (GetKeyConfigSettings(&keys) != 1 || !keys_are(keys, kCustomKeys)) return 2;
                keys.Fire = 70;
                game = custom_game("Ann", 0);
                if (SetKeyConfigSettings(&keys, VANTOR_KEY_FIRE) != 0) return 3;
                if (SetGameConfigSettings(&game, VANTOR_GAME_USER_NAME) != 0) return 4;
                KeyConfigSettings read{};
                if (GetKeyConfigSettings(&read) != 1 || !keys_are(read, keys)) return 5;
                if (GetGameConfigSettings(&game) != 1 || !game_is(game, "Ann", 55)) return 6;
                return 0;
            }) != 0) {
            return 10;
        }
        if (machine_files() != machine) return 11;
        // Her hive holds what she wrote and nothing else, for her alone.
        for (const fs::path& folder : {home_of(kAnn) / ".local", home_of(kAnn) / ".local/state",
                                       user_hive(kAnn).parent_path()}) {
            if (mode_of(folder) != 0700) return 12;
        }
        if (mode_of(user_hive(kAnn)) != 0600) return 13;
        hive::Hive ann;
        if (store::load(user_hive(kAnn), &ann) != reg::kSuccess) return 14;
        const hive::StoredKey* ann_keys = ann.find(kKeyboardKey);
        if (ann_keys == nullptr || ann_keys->values.size() != 1) return 15;

        // Bob sees the machine's values, not Ann's, and stores his defaults.
        if (as_user(kBob, [] {
                GameConfigSettings game{};
                KeyConfigSettings keys{};
                if (GetGameConfigSettings(&game) != 1 || !game_is(game, "Stored", 55)) return 1;
                if (GetKeyConfigSettings(&keys) != 1 || !keys_are(keys, kCustomKeys)) return 2;
                if (SetDefaultKeySettings() != 0) return 3;
                if (GetKeyConfigSettings(&keys) != 1 || !keys_are(keys, key_defaults())) return 4;
                return 0;
            }) != 0) {
            return 20;
        }
        if (machine_files() != machine) return 21;

        // Root's change shows to Ann where she has no value of her own.
        const GameConfigSettings louder = custom_game("Root", 77);
        if (SetGameConfigSettings(&louder, VANTOR_MASK_ALL) != 0) return 30;
        if (as_user(kAnn, [] {
                GameConfigSettings game{};
                KeyConfigSettings keys{};
                if (GetGameConfigSettings(&game) != 1 || !game_is(game, "Ann", 77)) return 1;
                if (GetKeyConfigSettings(&keys) != 1) return 2;
                return keys.Fire == 70 && keys.Brakes == 7 ? 0 : 3;
            }) != 0) {
            return 31;
        }
        return 0;
    });
}

// A member of the group that shares the machine's store writes it, as root
// does; who is not reads that value where they have none of their own. A
// user whose hive holds the key writes there, even as a member: a write to
// the machine's hive would not be seen by that user's next read.
TEST_F(Users, GroupMembersWriteTheSharedMachineHiveUnlessTheirOwnHoldsTheKey) {
    SANDBOXED([] {
        if (!store_custom()) return 1;
        if (::chown(kMachineFolder.c_str(), 0, kShared) != 0 ||
            ::chown(kMachineHive.c_str(), 0, kShared) != 0 ||
            ::chmod(kMachineFolder.c_str(), 02775) != 0 ||
            ::chmod(kMachineHive.c_str(), 0664) != 0) {
            return 2;
        }
        const fs::path lock = kMachineHive.string() + ".lock";
        if (::chown(lock.c_str(), 0, kShared) != 0 || ::chmod(lock.c_str(), 0660) != 0) return 3;
        const auto name_as = [](const char* name) {
            return [name] {
                const GameConfigSettings game = custom_game(name, 0);
                if (SetGameConfigSettings(&game, VANTOR_GAME_USER_NAME) != 0) return 1;
                GameConfigSettings read{};
                return GetGameConfigSettings(&read) == 1 && game_is(read, name, 55) ? 0 : 2;
            };
        };
        if (as_user(kBob, name_as("Member"), true, {kShared}) != 0) return 4;
        if (fs::exists(user_hive(kBob))) return 5;
        if (as_user(kAnn, [] {
                GameConfigSettings game{};
                return GetGameConfigSettings(&game) == 1 && game_is(game, "Member", 55) ? 0 : 1;
            }) != 0) {
            return 6;
        }
        if (as_user(kAnn, name_as("Ann")) != 0) return 7;
        const auto machine = machine_files();
        if (as_user(kAnn, name_as("Ann as a member"), true, {kShared}) != 0) return 8;
        return machine_files() == machine ? 0 : 9;
    });
}

// $VANTOR_WRITE_TO sends every write, a reader's seeding too, to the hive
// it names and never to the other: a user who may not write the machine's
// is refused and nothing is made anywhere; root writes its own hive, only
// the value written; a group member whose own hive holds the key writes the
// machine's.
TEST_F(Users, WriteToSendsEveryWriteToTheHiveItNamesAndNoOther) {
    SANDBOXED([] {
        if (as_user(kAnn, [] {
                ::setenv("VANTOR_WRITE_TO", "machine", 1);
                GameConfigSettings game{};
                if (GetGameConfigSettings(&game) != 0 || !game_is_default(game)) return 1;
                return SetGameConfigSettings(&game, VANTOR_GAME_LIVES) == kAccessDenied ? 0 : 2;
            }) != 0) {
            return 1;
        }
        if (fs::exists(kMachineFolder) || fs::exists(home_of(kAnn) / ".local")) return 2;

        if (!store_custom()) return 3;
        const auto machine = machine_files();
        ::setenv("VANTOR_WRITE_TO", "User", 1);
        const GameConfigSettings root = custom_game("Root", 9);
        if (SetGameConfigSettings(&root, VANTOR_GAME_MIDI_VOLUME) != 0) return 4;
        ::unsetenv("VANTOR_WRITE_TO");
        hive::Hive own;
        const fs::path root_hive = fs::path(::getpwuid(0)->pw_dir) / ".local/state/vantor/user.reg";
        if (store::load(root_hive, &own) != reg::kSuccess || own.find(kGameKey) == nullptr ||
            own.find(kGameKey)->values.size() != 1 || machine_files() != machine) {
            return 5;
        }

        if (::chown(kMachineFolder.c_str(), 0, kShared) != 0 ||
            ::chown(kMachineHive.c_str(), 0, kShared) != 0 ||
            ::chmod(kMachineFolder.c_str(), 02775) != 0 ||
            ::chmod(kMachineHive.c_str(), 0664) != 0 ||
            ::chown((kMachineHive.string() + ".lock").c_str(), 0, kShared) != 0 ||
            ::chmod((kMachineHive.string() + ".lock").c_str(), 0660) != 0) {
            return 6;
        }
        if (as_user(kBob,
                    [] {
                        ::setenv("VANTOR_WRITE_TO", "user", 1);
                        if (SetDefaultGameSettings() != 0) return 1;
                        ::setenv("VANTOR_WRITE_TO", "machine", 1);
                        const GameConfigSettings member = custom_game("Member", 0);
                        return SetGameConfigSettings(&member, VANTOR_GAME_USER_NAME);
                    },
                    true, {kShared}) != 0) {
            return 7;
        }
        hive::Hive bob;
        hive::Hive shared;
        if (store::load(user_hive(kBob), &bob) != reg::kSuccess ||
            store::load(kMachineHive, &shared) != reg::kSuccess) {
            return 8;
        }
        const hive::StoredKey* his = bob.find(kGameKey);
        const hive::StoredKey* game = shared.find(kGameKey);
        const hive::Value* name = game != nullptr ? game->find("User Name") : nullptr;
        if (his == nullptr || his->values.size() != 12) return 9;
        return name != nullptr && name->data == "Member" ? 0 : 10;
    });
}

// Without the machine's hive (nor its folder), a user's first read seeds
// the user's own hive; root's seeds the machine's.
TEST_F(Users, FirstRunWithoutAMachineHiveSeedsTheUsersOwn) {
    SANDBOXED([] {
        if (as_user(kAnn, [] {
                GameConfigSettings game{};
                if (GetGameConfigSettings(&game) != 0 || !game_is_default(game)) return 1;
                if (GetGameConfigSettings(&game) != 1) return 2;
                return CreateRegKeys() == 1 ? 0 : 3;
            }) != 0) {
            return 1;
        }
        if (fs::exists(kMachineFolder) || !fs::exists(user_hive(kAnn))) return 2;
        GameConfigSettings game{};
        if (GetGameConfigSettings(&game) != 0 || GetGameConfigSettings(&game) != 1) return 3;
        if (mode_of(kMachineFolder) != 0755 || mode_of(kMachineHive) != 0644) return 4;
        return 0;
    });
}

// Root whose environment is a user's (sudo -E) writes as root, to the
// machine's hive: not to that user's hive, which holds the key, nor through
// a variable naming it; and when the machine's hive cannot be written, root
// gets its status rather than a write to some user's hive.
TEST_F(Users, RootWithAUsersEnvironmentWritesNoUsersHive) {
    SANDBOXED([] {
        if (!store_custom()) return 1;
        if (as_user(kAnn, [] { return SetDefaultGameSettings(); }) != 0) return 2;
        const std::string ann = slurp(user_hive(kAnn));
        ::setenv("HOME", home_of(kAnn).c_str(), 1);
        ::setenv("XDG_STATE_HOME", (home_of(kAnn) / ".local/state").c_str(), 1);
        const GameConfigSettings by_root = custom_game("Root", 9);
        if (SetGameConfigSettings(&by_root, VANTOR_MASK_ALL) != 0) return 3;
        GameConfigSettings game{};
        if (GetGameConfigSettings(&game) != 1 || !game_is(game, "Root", 9)) return 4;
        ::setenv("VANTOR_USER_REGISTRY", user_hive(kAnn).c_str(), 1);
        if (SetGameConfigSettings(&by_root, VANTOR_MASK_ALL) != kAccessDenied) return 5;
        if (slurp(user_hive(kAnn)) != ann) return 6;

        // The machine's hive a link (never written through), root with Bob's HOME.
        ::unsetenv("VANTOR_USER_REGISTRY");
        ::unsetenv("XDG_STATE_HOME");
        fs::create_directories(home_of(kBob));
        if (::chown(home_of(kBob).c_str(), kBob, kBob) != 0) return 7;
        ::setenv("HOME", home_of(kBob).c_str(), 1);
        fs::rename(kMachineHive, kMachineFolder / "linked.reg");
        fs::create_symlink("linked.reg", kMachineHive);
        const auto machine = machine_files();
        if (SetGameConfigSettings(&by_root, VANTOR_GAME_LIVES) != kAccessDenied) return 8;
        if (machine_files() != machine || !fs::is_empty(home_of(kBob))) return 9;
        return 0;
    });
}

// A machine's hive this user may not read: the user's own values alone.
TEST_F(Users, UnreadableMachineHiveLeavesTheUserTheirOwnValues) {
    SANDBOXED([] {
        if (!store_custom() || ::chmod(kMachineHive.c_str(), 0600) != 0) return 1;
        const auto machine = machine_files();
        if (as_user(kAnn, [] {
                GameConfigSettings game = custom_game("Host", 1);
                if (GetGameConfigSettings(&game) != 0 || !game_is_default(game)) return 1;
                if (GetGameConfigSettings(&game) != 1) return 2;  // seeded in her hive
                const GameConfigSettings mine = custom_game("Ann", 5);
                if (SetGameConfigSettings(&mine, VANTOR_MASK_ALL) != 0) return 3;
                if (GetGameConfigSettings(&game) != 1 || !game_is(game, "Ann", 5)) return 4;
                return 0;
            }) != 0) {
            return 2;
        }
        return machine_files() == machine && fs::exists(user_hive(kAnn)) ? 0 : 3;
    });
}

// A corrupt hive, the machine's or the user's, fails every call with
// ERROR_BADDB: nothing hides it, and neither hive changes.
TEST_F(Users, CorruptHivesFailEveryCallAndStayAsTheyAre) {
    SANDBOXED([] {
        if (!store_custom()) return 1;
        const std::string good = slurp(kMachineHive);
        spit(kMachineHive, "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\n");
        const auto corrupt = machine_files();
        if (as_user(kAnn, [] { return check_unreadable(kBadDb); }) != 0) return 2;
        if (machine_files() != corrupt || fs::exists(user_hive(kAnn))) return 3;

        spit(kMachineHive, good);
        const auto machine = machine_files();
        if (as_user(kAnn, [] { return SetDefaultKeySettings(); }) != 0) return 4;
        const std::string broken = slurp(user_hive(kAnn)) + "\"Oops\"=what\n";
        spit(user_hive(kAnn), broken);
        if (as_user(kAnn, [] { return check_unreadable(kBadDb); }) != 0) return 5;
        if (slurp(user_hive(kAnn)) != broken || machine_files() != machine) return 6;
        return 0;
    });
}

// A user whose home folder is not theirs to write reads the machine's
// values; every write gives its status, and nothing is made anywhere.
TEST_F(Users, UnwritableHomeGivesTheWritesStatusAndTheMachinesValues) {
    SANDBOXED([] {
        if (!store_custom()) return 1;
        const auto machine = machine_files();
        const auto read_only = [] { return check_read_only(kAccessDenied); };
        if (as_user(kAnn, read_only, false) != 0) return 2;
        return machine_files() == machine && fs::is_empty(home_of(kAnn)) ? 0 : 3;
    });
}

// $VANTOR_REGISTRY names the one hive: the machine's is neither read nor
// written, and no user hive is made.
TEST_F(Users, VantorRegistryMakesOneHive) {
    SANDBOXED([] {
        if (!store_custom()) return 1;
        const auto machine = machine_files();
        if (as_user(kAnn, [] {
                const std::string one = std::string(::getenv("HOME")) + "/one.reg";
                ::setenv("VANTOR_REGISTRY", one.c_str(), 1);
                GameConfigSettings game{};
                if (GetGameConfigSettings(&game) != 0 || !game_is_default(game)) return 1;
                return CreateRegKeys() == 1 && fs::exists(one) ? 0 : 2;
            }) != 0) {
            return 2;
        }
        return machine_files() == machine && !fs::exists(user_hive(kAnn)) ? 0 : 3;
    });
}

}  // namespace
}  // namespace vantor::test
