// The eight functions when a system call under the hive fails: each failing
// call at each step of a write, interrupted and short calls, a full or
// read-only disk, and a lock someone holds. No root needed: the disk is the
// in-memory file system.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "registry/hive/errno_status.h"
#include "registry/hive/io.h"
#include "store/in_memory.h"

namespace vantor::test {
namespace {

constexpr std::int32_t kWriteProtect = 19;
constexpr std::int32_t kLockViolation = 33;
constexpr std::int32_t kDiskFull = 112;

class IoFaults : public InMemory {
  protected:
    // The hive holding records 1, and its text.
    std::string store_first() {
        const GameConfigSettings game = game_record(1);
        const KeyConfigSettings keys = key_record(1);
        EXPECT_EQ(SetGameConfigSettings(&game, VANTOR_MASK_ALL), 0);
        EXPECT_EQ(SetKeyConfigSettings(&keys, VANTOR_MASK_ALL), 0);
        return memfs::file(kHive).value_or("");
    }

    // The names of the system calls a full-mask write of game record 2 makes.
    std::vector<std::string> calls_of_a_write(bool short_writes = false) {
        const std::string first = store_first();
        memfs::short_writes(short_writes);
        memfs::clear_log();
        const GameConfigSettings game = game_record(2);
        EXPECT_EQ(SetGameConfigSettings(&game, VANTOR_MASK_ALL), 0);
        std::vector<std::string> calls = memfs::log();
        memfs::reset();
        return calls;
    }
};

// Whatever call fails, the write reports it (or succeeds where the call
// was not needed), the hive is the old one or the new one, no temporary
// file is left, and the next write succeeds.
TEST_F(IoFaults, EachFailingCallGivesItsStatusAndLeavesTheHiveOldOrNew) {
    const std::vector<std::string> calls = calls_of_a_write();
    ASSERT_GT(calls.size(), 10U);
    const GameConfigSettings second = game_record(2);
    for (const int error : {ENOSPC, EROFS, EIO, EACCES}) {
        for (std::uint64_t n = 1; n <= calls.size(); ++n) {
            SCOPED_TRACE(calls[n - 1] + ", call " + std::to_string(n) + ", errno " +
                         std::to_string(error));
            memfs::reset();
            const std::string first = store_first();
            memfs::fail_call(n, error);
            const std::int32_t status = SetGameConfigSettings(&second, VANTOR_MASK_ALL);
            const std::string now = memfs::file(kHive).value_or("");
            if (status == 0) {
                EXPECT_NE(now, first);
            } else {
                EXPECT_TRUE(status == store::errno_status(error, store::IoKind::kWrite) ||
                            status == store::errno_status(error, store::IoKind::kRead))
                    << status;
            }
            EXPECT_TRUE(hive::parse(now).has_value());
            EXPECT_EQ(leftovers(), std::vector<std::string>{});
            EXPECT_EQ(SetGameConfigSettings(&second, VANTOR_MASK_ALL), 0);
            EXPECT_NE(memfs::file(kHive).value_or(""), first);
        }
    }
}

// EINTR on a read, a write or the lock is retried; short writes go on.
TEST_F(IoFaults, InterruptedAndShortCallsAreResumed) {
    const std::vector<std::string> calls = calls_of_a_write(true);
    const GameConfigSettings second = game_record(2);
    memfs::reset();
    store_first();
    ASSERT_EQ(SetGameConfigSettings(&second, VANTOR_MASK_ALL), 0);
    const std::string expected = memfs::file(kHive).value_or("");
    int retried = 0;
    for (std::uint64_t n = 1; n <= calls.size(); ++n) {
        const std::string& call = calls[n - 1];
        if (call != "read" && call != "write" && call != "flock") continue;
        ++retried;
        memfs::reset();
        store_first();
        memfs::short_writes(true);
        memfs::fail_call(n, EINTR);
        EXPECT_EQ(SetGameConfigSettings(&second, VANTOR_MASK_ALL), 0) << call << " " << n;
        EXPECT_EQ(memfs::file(kHive), expected) << call << " " << n;
    }
    EXPECT_GE(retried, 3);
}

TEST_F(IoFaults, ReadOnlyDiskGivesWriteProtectWhetherOrNotTheHiveExists) {
    for (const bool exists : {true, false}) {
        SCOPED_TRACE(exists ? "with a hive" : "without a hive");
        memfs::reset();
        if (exists) store_first();
        memfs::read_only(true);
        GameConfigSettings game{};
        KeyConfigSettings keys{};
        EXPECT_EQ(GetGameConfigSettings(&game), exists ? 1 : 0);
        EXPECT_EQ(GetKeyConfigSettings(&keys), exists ? 1 : 0);
        EXPECT_EQ(SetGameConfigSettings(&game, VANTOR_MASK_ALL), kWriteProtect);
        EXPECT_EQ(SetKeyConfigSettings(&keys, VANTOR_KEY_FIRE), kWriteProtect);
        EXPECT_EQ(SetDefaultGameSettings(), kWriteProtect);
        EXPECT_EQ(SetAllDefaults(), kWriteProtect);
        EXPECT_EQ(CreateRegKeys(), 0);
        EXPECT_EQ(memfs::file(kHive).has_value(), exists);
    }
}

TEST_F(IoFaults, FullDiskGivesDiskFullAndKeepsTheHive) {
    const std::string first = store_first();
    memfs::capacity(first.size() + 100);
    const GameConfigSettings second = game_record(2);
    EXPECT_EQ(SetGameConfigSettings(&second, VANTOR_MASK_ALL), kDiskFull);
    EXPECT_EQ(memfs::file(kHive), first);
    EXPECT_EQ(leftovers(), std::vector<std::string>{});
    memfs::capacity(SIZE_MAX);
    EXPECT_EQ(SetGameConfigSettings(&second, VANTOR_MASK_ALL), 0);
}

// Someone who holds the writers' lock holds them up for a while, not for
// ever; readers never wait for it.
TEST_F(IoFaults, LockHeldTooLongGivesLockViolationAndReadersGoOn) {
    const std::string first = store_first();
    memfs::hold_lock(std::string(kHive) + ".lock");
    const timespec before = store::io::now();
    const GameConfigSettings second = game_record(2);
    EXPECT_EQ(SetGameConfigSettings(&second, VANTOR_MASK_ALL), kLockViolation);
    const long waited = static_cast<long>(store::io::now().tv_sec - before.tv_sec);
    EXPECT_GE(waited, 5);
    EXPECT_LE(waited, 30);  // one wait for the whole call
    GameConfigSettings game{};
    EXPECT_EQ(GetGameConfigSettings(&game), 1);
    EXPECT_EQ(memfs::file(kHive), first);
    memfs::hold_lock(std::string(kHive) + ".lock", false);
    EXPECT_EQ(SetGameConfigSettings(&second, VANTOR_MASK_ALL), 0);
}

// Only who may write the hive may open its lock file: no read bit where the
// hive has no write bit, when the lock file is made. Made, it is never
// changed again.
TEST_F(IoFaults, LockFileModeFollowsTheHiveWhenMade) {
    store_first();
    const std::string lock = std::string(kHive) + ".lock";
    EXPECT_EQ(memfs::status(lock)->st_mode & 07777, 0600U);
    for (const auto& [hive, expected] :
         std::vector<std::pair<mode_t, mode_t>>{{0664, 0660}, {0644, 0600}, {0666, 0666}}) {
        memfs::put_file(kHive, memfs::file(kHive).value_or(""), hive);
        memfs::remove(lock);
        const GameConfigSettings game = game_record(static_cast<int>(hive));
        ASSERT_EQ(SetGameConfigSettings(&game, VANTOR_MASK_ALL), 0);
        EXPECT_EQ(memfs::status(kHive)->st_mode & 07777, hive);
        EXPECT_EQ(memfs::status(lock)->st_mode & 07777, expected) << std::oct << hive;
    }
    memfs::put_file(kHive, memfs::file(kHive).value_or(""), 0644);
    ASSERT_EQ(SetDefaultGameSettings(), 0);
    EXPECT_EQ(memfs::status(lock)->st_mode & 07777, 0666U);
}

// New folders get mode 0755 and are flushed into their parents before the
// hive goes in.
TEST_F(IoFaults, NewFoldersAreMadeOneByOneAndFlushed) {
    ASSERT_EQ(CreateRegKeys(), 1);
    std::vector<std::string> made;
    const std::vector<std::string>& calls = memfs::log();
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i] != "mkdir") continue;
        made.push_back(calls[i]);
        ASSERT_LT(i + 3, calls.size());
        EXPECT_EQ(calls[i + 1], "open");
        EXPECT_EQ(calls[i + 2], "chmod");
        EXPECT_EQ(calls[i + 3], "fsync");
    }
    EXPECT_EQ(made.size(), 3U);  // var, lib, vantor
    EXPECT_EQ(memfs::status(kFolder)->st_mode & 07777, 0755U);
}

}  // namespace
}  // namespace vantor::test
