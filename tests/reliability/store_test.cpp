// The eight functions on stores that are full, read-only, hand-made or
// hostile: each call gives a clear status, and a hive the library cannot
// read or may not write is never changed. Tests that need root (mounts,
// another user) skip elsewhere and say why.
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "hive/format.h"
#include "reliability/eight_calls.h"
#include "reliability/reliability.h"
#include "support/clock.h"
#include "support/defaults.h"
#include "support/private_mount.h"
#include "vantor.h"

namespace vantor::test {
namespace {

using Store = HiveFolder;

TEST_F(Store, FullDiskFailsWritesKeepsTheHiveAndRecovers) {
    const int failed = with_private_tmpfs(folder_, "size=64k", [&] {
        if (!store_custom()) return 11;
        // Take every free block.
        const int fd = ::open((folder_ + "/filler").c_str(), O_WRONLY | O_CREAT, 0644);
        const std::string block(4096, 'f');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        if (errno != ENOSPC) return 1;
        ::close(fd);
        const auto before = files();
        const GameConfigSettings changed = custom_game("Changed", 99);
        if (SetGameConfigSettings(&changed, VANTOR_MASK_ALL) != kDiskFull) return 2;
        if (SetKeyConfigSettings(&kCustomKeys, VANTOR_MASK_ALL) != 0) return 3;  // no change
        if (SetDefaultKeySettings() != kDiskFull || SetAllDefaults() != kDiskFull) return 4;
        if (CreateRegKeys() != 0) return 5;
        if (files() != before) return 6;
        GameConfigSettings game{};
        if (GetGameConfigSettings(&game) != 1 || !game_is(game, "Stored", 55)) return 7;

        ::unlink((folder_ + "/filler").c_str());
        if (SetGameConfigSettings(&changed, VANTOR_MASK_ALL) != 0) return 8;
        if (GetGameConfigSettings(&game) != 1 || !game_is(game, "Changed", 99)) return 9;
        if (CreateRegKeys() != 1 || temp_files() != 0) return 10;
        return 0;
    });
    if (failed == kNoMount) GTEST_SKIP() << "cannot mount a private tmpfs here (needs root)";
    EXPECT_EQ(failed, 0) << "the check that failed";
}

TEST_F(Store, ReadOnlyFolderIsReadAndNeverChanged) {
    ASSERT_TRUE(store_custom());
    const auto before = files();
    const int failed =
        with_read_only_folder(folder_, [] { return check_read_only(kWriteProtect); });
    if (failed == kNoMount) GTEST_SKIP() << "cannot bind-mount read-only here (needs root)";
    EXPECT_EQ(failed, 0) << "the check that failed";
    EXPECT_EQ(files(), before);
}

// Hives a person or a program other than the library may leave behind.
TEST_F(Store, CorruptHivesAreReportedAndNeverRewritten) {
    ASSERT_TRUE(store_custom());
    const std::string good = slurp(hive_);
    const std::size_t name = good.find("\"Stored\"");
    std::string junk(4096, '\0');
    std::mt19937 random(7);
    for (char& c : junk) c = static_cast<char>(random());
    const struct {
        const char* what;
        std::string text;
    } hives[] = {
        {"a NUL byte", std::string(good).insert(name + 3, 1, '\0')},
        {"a bad escape", std::string(good).insert(name + 3, "\\t")},
        {"a line of 8 MiB", good + std::string(8 << 20, 'x') + "\n"},
        {"one byte over the size limit",
         good + ";" + std::string(store::kMaxHiveSize - good.size(), '-')},
        {"random bytes", "REGEDIT4\n" + junk},
        {"another header", "REGEDIT5" + good.substr(8)},
        {"an empty file", ""},
    };
    for (const auto& corrupt : hives) {
        spit(hive_, corrupt.text);
        const auto before = files();
        EXPECT_EQ(check_unreadable(kBadDb), 0) << corrupt.what;
        EXPECT_TRUE(files() == before) << corrupt.what;
    }

    // Cut short anywhere: a cut that leaves no whole hive (inside a quoted
    // string, say) is reported and kept. A cut at a line end is a shorter
    // hive like any other; the fuzzer covers those.
    int corrupt_cuts = 0;
    for (std::size_t cut = 0; cut < good.size(); ++cut) {
        const std::string text = good.substr(0, cut);
        if (hive::parse(text)) continue;
        ++corrupt_cuts;
        spit(hive_, text);
        GameConfigSettings game{};
        EXPECT_EQ(GetGameConfigSettings(&game), 0) << cut;
        EXPECT_EQ(SetKeyConfigSettings(&kCustomKeys, VANTOR_MASK_ALL), kBadDb) << cut;
        EXPECT_EQ(slurp(hive_), text) << cut;
    }
    EXPECT_GT(corrupt_cuts, static_cast<int>(good.size() / 2));
    EXPECT_EQ(temp_files(), 0);
}

TEST_F(Store, HugeValuesAndNamesAreReadSafely) {
    ASSERT_TRUE(store_custom());
    std::string text = slurp(hive_);
    const std::string section = "[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Game]\n";
    // The longest value name the registry takes (a longer one makes the
    // hive corrupt), and a value of 4 MiB.
    text.insert(text.find(section) + section.size(),
                "\"" + std::string(hive::kMaxValueNameLength, 'n') +
                    "\"=\"long name\"\n\"Protocol\"=\"" + std::string(4 << 20, 'p') + "\"\n");
    text.replace(text.find("\"Protocol\"=\"\"\n"), 14, "");
    spit(hive_, text);
    GameConfigSettings game{};
    ASSERT_EQ(GetGameConfigSettings(&game), 1);
    EXPECT_TRUE(game_is(game, "Stored", 55));
    EXPECT_STREQ(game.Protocol, game_defaults().Protocol);  // too long for the field: the default stays
}

TEST_F(Store, HiveThatIsNotAFileIsReportedAndKept) {
    ::alarm(30);  // ends the test program should a call block on the FIFO
    ASSERT_EQ(::mkfifo(hive_.c_str(), 0644), 0);
    EXPECT_EQ(check_unreadable(30), 0) << "a FIFO";  // ERROR_READ_FAULT
    EXPECT_EQ(::unlink(hive_.c_str()), 0);
    ASSERT_EQ(::mkdir(hive_.c_str(), 0755), 0);
    EXPECT_EQ(check_unreadable(30), 0) << "a folder";
    EXPECT_TRUE(std::filesystem::is_empty(hive_));
    ::alarm(0);
}

// Run as root, the checks act as another user in a child process.
TEST_F(Store, OddPermissionsGiveAStatusAndChangeNothing) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    ASSERT_TRUE(store_custom());
    ASSERT_EQ(::chmod(folder_.c_str(), 0755), 0);
    const struct {
        const char* what;
        mode_t hive;
        mode_t folder;
        bool readable;
    } cases[] = {
        {"an unreadable hive", 0000, 0755, false},
        {"a hive of another user", 0644, 0755, true},
        {"a read-only hive in a folder anyone may write", 0444, 01777, true},
        {"a hive anyone may write in a folder of another user", 0666, 0755, true},
    };
    for (const auto& odd : cases) {
        ASSERT_EQ(::chmod(hive_.c_str(), odd.hive), 0);
        ASSERT_EQ(::chmod(folder_.c_str(), odd.folder), 0);
        const auto before = files();
        const int failed = run_child([&] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
                return 100;
            }
            return odd.readable ? check_read_only(kAccessDenied) : check_unreadable(kAccessDenied);
        });
        EXPECT_EQ(failed, 0) << odd.what << ": the check that failed";
        EXPECT_TRUE(files() == before) << odd.what;
    }
}

// Edits in place of one size, as fast as they come: a read never returns
// what an earlier edit left. The hive first settles, so that the reader
// keeps it; the edits then come within one timestamp tick of each other.
TEST_F(Store, RapidSameSizeEditsInPlaceAreNeverStale) {
    const GameConfigSettings alpha = custom_game("Alpha", 1);
    ASSERT_EQ(SetGameConfigSettings(&alpha, VANTOR_MASK_ALL), 0);
    const std::string texts[] = {slurp(hive_), slurp(hive_)};
    const std::size_t at = texts[1].find("Alpha");
    ASSERT_NE(at, std::string::npos);
    std::string bravo = texts[1];
    bravo.replace(at, 5, "Bravo");
    set_clock_ahead(10);
    GameConfigSettings game{};
    ASSERT_EQ(GetGameConfigSettings(&game), 1);
    set_clock_ahead(0);
    int stale = 0;
    for (int i = 1; i <= 300; ++i) {
        const std::string& text = i % 2 == 0 ? texts[0] : bravo;
        const int fd = ::open(hive_.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
        ::close(fd);
        ASSERT_EQ(GetGameConfigSettings(&game), 1);
        stale += std::strcmp(game.UserName, i % 2 == 0 ? "Alpha" : "Bravo") != 0;
    }
    EXPECT_EQ(stale, 0);
}

// A hive shared by a group (root:group 0664 in a 0775 folder of that group)
// stays writable by every member: a member's write keeps the group, where it
// used to leave the hive to the writer's own group and shut the others out.
TEST_F(Store, GroupSharedHiveStaysWritableByEveryMember) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as other users";
    constexpr gid_t kShared = 4242;
    ASSERT_TRUE(store_custom());
    ASSERT_EQ(::chown(folder_.c_str(), 0, kShared), 0);
    ASSERT_EQ(::chmod(folder_.c_str(), 0775), 0);
    ASSERT_EQ(::chown(hive_.c_str(), 0, kShared), 0);
    ASSERT_EQ(::chmod(hive_.c_str(), 0664), 0);
    // A lock file made now follows the hive: the group's, 0660.
    ASSERT_EQ(::unlink((hive_ + ".lock").c_str()), 0);
    const GameConfigSettings by_root = custom_game("Root", 1);
    ASSERT_EQ(SetGameConfigSettings(&by_root, VANTOR_MASK_ALL), 0);
    for (const uid_t member : {kNobody, kNobody - 1}) {
        const int failed = run_child([&] {
            if (::setgroups(1, &kShared) != 0 || ::setgid(member) != 0 || ::setuid(member) != 0) {
                return 100;
            }
            const GameConfigSettings game = custom_game("Member", member % 100);
            return SetGameConfigSettings(&game, VANTOR_MASK_ALL);
        });
        EXPECT_EQ(failed, 0) << "member " << member;
        struct stat info {};
        ASSERT_EQ(::stat(hive_.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, member);
        EXPECT_EQ(info.st_gid, kShared);
        EXPECT_EQ(info.st_mode & 07777, 0664U);
    }
    struct stat lock {};
    ASSERT_EQ(::stat((hive_ + ".lock").c_str(), &lock), 0);
    EXPECT_EQ(lock.st_gid, kShared);
    EXPECT_EQ(lock.st_mode & 07777, 0660U);
}

TEST_F(Store, ReplacedHiveKeepsItsOwnerAndModeAndFollowsNoPlantedLink) {
    ASSERT_TRUE(store_custom());
    const std::string target = folder_ + ".target";
    spit(target, "kept");
    const std::string planted = hive_ + ".tmp.AbCdEf";
    ASSERT_EQ(::symlink(target.c_str(), planted.c_str()), 0);
    ASSERT_EQ(::chmod(hive_.c_str(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(hive_.c_str(), kNobody, kNobody), 0);
    }

    const GameConfigSettings changed = custom_game("Changed", 99);
    ASSERT_EQ(SetGameConfigSettings(&changed, VANTOR_MASK_ALL), 0);
    struct stat info {};
    ASSERT_EQ(::lstat(hive_.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0640U);
    if (root) {
        EXPECT_EQ(info.st_uid, kNobody);
    }
    EXPECT_EQ(slurp(target), "kept");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(planted)));
    std::filesystem::remove(target);

    // A new hive is 0644 whatever the umask.
    std::filesystem::remove(hive_);
    const mode_t umask = ::umask(077);
    EXPECT_EQ(CreateRegKeys(), 1);
    ::umask(umask);
    ASSERT_EQ(::stat(hive_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644U);
}

}  // namespace
}  // namespace vantor::test
