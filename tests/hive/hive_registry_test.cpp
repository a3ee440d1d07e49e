// The registry functions on real hive files, each test in a fresh folder
// named by VANTOR_REGISTRY.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>
#include <tuple>
#include <vector>

#include "registry/hive/errno_status.h"
#include "registry/hive/hive_file.h"
#include "registry/hive/paths.h"
#include "registry/registry.h"
#include "support/files.h"
#include "support/private_mount.h"
#include "support/temp_hive.h"

namespace vantor::reg {
namespace {

namespace fs = std::filesystem;

constexpr const char* kGame = "Software\\QUORIX\\Game";

using test::slurp;
using test::spit;

mode_t mode_of(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

ino_t inode_of(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// Files in the hive's folder other than the hive and its lock.
std::vector<std::string> leftovers(const std::string& hive) {
    std::vector<std::string> names;
    const fs::path folder = fs::path(hive).parent_path();
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename();
        if (name != "system.reg" && name != "system.reg.lock") names.push_back(name);
    }
    return names;
}

Status put(const char* path, const char* name, std::uint32_t type, const std::string& data) {
    Key* key = nullptr;
    Status status = create_key(path, &key);
    if (status != kSuccess) return status;
    status = set_value(key, name, type, data.data(), static_cast<std::uint32_t>(data.size()));
    const Status closed = close_key(key);  // commits the write
    return status != kSuccess ? status : closed;
}

Status get(Key* key, const char* name, std::string* out) {
    std::uint32_t size = 0;
    Status status = query_value(key, name, nullptr, &size);
    if (status != kSuccess) return status;
    out->assign(size, '\0');
    status = query_value(key, name, out->data(), &size);
    out->resize(size);
    return status;
}

Status open_status(const char* path, Access access) {
    Key* key = nullptr;
    const Status status = open_key(path, access, &key);
    close_key(key);
    return status;
}

Status create_status(const char* path) {
    Key* key = nullptr;
    const Status status = create_key(path, &key);
    close_key(key);
    return status;
}

// The hive two folders down, so that creating it makes folders.
class HiveRegistry : public test::TempHiveTest {
  protected:
    HiveRegistry() : TempHiveTest("etc/vantor/system.reg") {}
};

TEST_F(HiveRegistry, OpenCreatesNothingAndCreateMakesFoldersFileAndKeys) {
    EXPECT_EQ(open_status(kGame, Access::kRead), kFileNotFound);
    EXPECT_EQ(open_status(kGame, Access::kAll), kFileNotFound);
    EXPECT_FALSE(fs::exists(folder_ + "/etc"));

    const mode_t old_umask = ::umask(077);
    const Status created = create_status("Software\\QUORIX\\Game\\");
    ::umask(old_umask);
    ASSERT_EQ(created, kSuccess);
    EXPECT_EQ(mode_of(folder_ + "/etc"), 0755U);
    EXPECT_EQ(mode_of(folder_ + "/etc/vantor"), 0755U);
    EXPECT_EQ(mode_of(hive_), 0644U);
    EXPECT_EQ(slurp(hive_),
              "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\QUORIX]\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Game]\n\n");
    EXPECT_EQ(open_status("Software\\QUORIX", Access::kRead), kSuccess);
    EXPECT_EQ(open_status(nullptr, Access::kRead), kInvalidParameter);
    EXPECT_EQ(open_status("Software\\\\QUORIX", Access::kRead), kInvalidParameter);
    EXPECT_EQ(create_status(""), kInvalidParameter);
}

TEST_F(HiveRegistry, NamesMatchInAnyCaseAndKeepTheirStoredCase) {
    ASSERT_EQ(put(kGame, "User Name", 1, "Ace"), kSuccess);
    Key* key = nullptr;
    ASSERT_EQ(open_key("SOFTWARE\\quorix\\GAME\\", Access::kAll, &key), kSuccess);
    EXPECT_EQ(set_value(key, "USER NAME", 1, "Bob", 3), kSuccess);
    EXPECT_EQ(set_value(key, nullptr, 1, "default", 7), kSuccess);
    std::string text;
    EXPECT_EQ(get(key, "user name", &text), kSuccess);
    EXPECT_EQ(text, "Bob");
    EXPECT_EQ(get(key, "", &text), kSuccess);
    EXPECT_EQ(text, "default");
    close_key(key);
    ASSERT_EQ(create_status("software\\QUORIX\\game\\Sub"), kSuccess);
    EXPECT_EQ(
        slurp(hive_),
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n\n"
        "[HKEY_LOCAL_MACHINE\\Software\\QUORIX]\n\n"
        "[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Game]\n\"User Name\"=\"Bob\"\n@=\"default\"\n\n"
        "[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Game\\Sub]\n\n");
}

TEST_F(HiveRegistry, QueryReturnsTheStoredBytesExactly) {
    const std::string with_nul("a\0b", 3);
    ASSERT_EQ(put(kGame, "Text", 1, "hello"), kSuccess);
    ASSERT_EQ(put(kGame, "Nul", 1, with_nul), kSuccess);
    Key* key = nullptr;
    ASSERT_EQ(open_key(kGame, Access::kRead, &key), kSuccess);

    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    std::uint32_t size = sizeof buffer;
    EXPECT_EQ(query_value(key, "Text", buffer, &size), kSuccess);
    EXPECT_EQ(size, 5U);
    EXPECT_EQ(std::string(buffer, 8), "hello###");  // no NUL added

    std::memset(buffer, '#', sizeof buffer);
    size = 4;
    EXPECT_EQ(query_value(key, "Text", buffer, &size), kMoreData);
    EXPECT_EQ(size, 5U);
    EXPECT_EQ(std::string(buffer, 8), "########");

    std::string data;
    EXPECT_EQ(get(key, "Nul", &data), kSuccess);
    EXPECT_EQ(data, with_nul);
    EXPECT_EQ(get(key, "Missing", &data), kFileNotFound);
    EXPECT_EQ(set_value(key, "Text", 1, "x", 1), kAccessDenied);  // a read-only handle
    close_key(key);
}

// Writes are staged in the handle and committed when it is closed: the
// close finds the key gone.
TEST_F(HiveRegistry, KeyRemovedSinceOpenIsMissingForNewHandlesAndDeletedForWrites) {
    ASSERT_EQ(put(kGame, "a", 1, "1"), kSuccess);
    Key* writer = nullptr;
    Key* second_writer = nullptr;
    Key* reader = nullptr;
    ASSERT_EQ(create_key(kGame, &writer), kSuccess);
    ASSERT_EQ(open_key(kGame, Access::kAll, &second_writer), kSuccess);
    ASSERT_EQ(open_key(kGame, Access::kRead, &reader), kSuccess);
    const std::string without_game = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\QUORIX]\n";
    spit(hive_, without_game);
    // The open handle answers from the hive as it was opened.
    std::string data;
    EXPECT_EQ(get(reader, "a", &data), kSuccess);
    EXPECT_EQ(data, "1");
    EXPECT_EQ(open_status(kGame, Access::kRead), kFileNotFound);
    EXPECT_EQ(set_value(writer, "a", 1, "2", 1), kSuccess);
    EXPECT_EQ(get(writer, "a", &data), kSuccess);  // the handle reads what it staged
    EXPECT_EQ(data, "2");
    EXPECT_EQ(close_key(writer), 1018);
    EXPECT_EQ(slurp(hive_), without_game);

    fs::remove(hive_);
    EXPECT_EQ(get(reader, "a", &data), kSuccess);
    EXPECT_EQ(open_status(kGame, Access::kRead), kFileNotFound);
    EXPECT_EQ(set_value(second_writer, "a", 1, "2", 1), kSuccess);
    EXPECT_EQ(close_key(second_writer), 1018);
    EXPECT_FALSE(fs::exists(hive_));
    close_key(reader);
}

TEST_F(HiveRegistry, CorruptHiveFailsEveryOperationAndIsKeptByteForByte) {
    ASSERT_EQ(put(kGame, "a", 1, "1"), kSuccess);
    Key* writer = nullptr;
    Key* reader = nullptr;
    ASSERT_EQ(create_key(kGame, &writer), kSuccess);
    ASSERT_EQ(open_key(kGame, Access::kRead, &reader), kSuccess);
    const std::string corrupt = slurp(hive_) + "\"b\"=\"no closing quote\n";
    spit(hive_, corrupt);

    std::string data;
    EXPECT_EQ(open_status(kGame, Access::kRead), kBadDb);
    EXPECT_EQ(open_status(kGame, Access::kAll), kBadDb);
    EXPECT_EQ(create_status(kGame), kBadDb);
    EXPECT_EQ(create_status("Software\\QUORIX\\New"), kBadDb);
    EXPECT_EQ(get(reader, "a", &data), kSuccess);            // read whole before the damage
    EXPECT_EQ(set_value(writer, "a", 1, "2", 1), kSuccess);  // staged
    EXPECT_EQ(get(writer, "a", &data), kSuccess);
    EXPECT_EQ(close_key(writer), kBadDb);  // the commit reads the hive afresh
    EXPECT_EQ(slurp(hive_), corrupt);
    EXPECT_TRUE(leftovers(hive_).empty());
    close_key(reader);
}

TEST_F(HiveRegistry, HiveOverSixteenMebibytesIsCorrupt) {
    ASSERT_EQ(create_status(kGame), kSuccess);
    std::string text = slurp(hive_) + ";";
    text.resize(store::kMaxHiveSize - 1, 'x');
    spit(hive_, text + "\n");
    EXPECT_EQ(open_status(kGame, Access::kRead), kSuccess);
    spit(hive_, text + "x\n");
    EXPECT_EQ(open_status(kGame, Access::kRead), kBadDb);
    EXPECT_EQ(create_status("Software\\QUORIX\\New"), kBadDb);
    EXPECT_EQ(fs::file_size(hive_), store::kMaxHiveSize + 1);
}

// Small hives are read in one go into a fixed buffer, larger ones through
// the heap: sizes on either side of the switch read the same, whole.
TEST_F(HiveRegistry, HivesAroundTheSmallBufferReadWhole) {
    const std::string seven("\x07\0\0\0", 4);
    ASSERT_EQ(put(kGame, "Lives", kTypeDword, seven), kSuccess);
    const std::string stored = slurp(hive_);
    for (const std::size_t size : {std::size_t{8190}, std::size_t{8191}, std::size_t{8192},
                                   std::size_t{8193}, std::size_t{16385}}) {
        // A comment line fills the hive up to `size`; the value comes last.
        std::string text = "REGEDIT4\n;";
        text.append(size - text.size() - (stored.size() - 9) - 1, 'x');
        text += "\n" + stored.substr(9);
        ASSERT_EQ(text.size(), size);
        spit(hive_, text);
        Key* key = nullptr;
        ASSERT_EQ(open_key(kGame, Access::kRead, &key), kSuccess) << size;
        std::string lives;
        EXPECT_EQ(get(key, "Lives", &lives), kSuccess) << size;
        EXPECT_EQ(lives, seven) << size;
        close_key(key);
    }
}

// A hand-made hive may hold a hundred thousand keys or values in one
// section; it is read and written like a small one, not searched line by
// line (which made a 4 MiB hive take minutes to read, and one near the size
// limit hours).
TEST_F(HiveRegistry, HiveWithManyKeysAndValuesIsReadAndWritten) {
    ASSERT_EQ(create_status(kGame), kSuccess);
    constexpr std::size_t kSize = std::size_t{4} << 20;
    std::string text = slurp(hive_);
    text.pop_back();  // as written back: no blank line between a key and its values
    for (int i = 0; text.size() < kSize / 2; ++i) {
        text += "\"v" + std::to_string(i) + "\"=dword:0000000" + std::to_string(i % 10) + "\n";
    }
    text += "\n[HKEY_LOCAL_MACHINE\\Bulk]\n\n";
    int keys = 0;
    for (; text.size() < kSize; ++keys) {
        text += "[HKEY_LOCAL_MACHINE\\Bulk\\k" + std::to_string(keys) + "]\n\n";
    }
    spit(hive_, text);

    Key* key = nullptr;
    ASSERT_EQ(create_key(kGame, &key), kSuccess);
    std::string data;
    EXPECT_EQ(get(key, "V54321", &data), kSuccess);
    EXPECT_EQ(data, std::string("\1\0\0\0", 4));
    EXPECT_EQ(set_value(key, "v54321", 1, "new", 3), kSuccess);
    close_key(key);
    const std::size_t at = text.find("\"v54321\"=dword:00000001\n");
    ASSERT_NE(at, std::string::npos);
    // Compared as a whole: a diff of two 4 MiB texts would take gigabytes.
    EXPECT_TRUE(slurp(hive_) == text.replace(at, 24, "\"v54321\"=\"new\"\n"));
    EXPECT_EQ(open_status("bulk\\K4321", Access::kRead), kSuccess);
}

TEST_F(HiveRegistry, WritesReplaceTheHiveKeepingItsModeAndSkipNoChanges) {
    ASSERT_EQ(put(kGame, "a", 1, "1"), kSuccess);
    ASSERT_EQ(::chmod(hive_.c_str(), 0600), 0);
    const ino_t before = inode_of(hive_);
    ASSERT_EQ(put(kGame, "a", 1, "2"), kSuccess);
    EXPECT_NE(inode_of(hive_), before);  // a new file renamed into place
    EXPECT_EQ(mode_of(hive_), 0600U);
    EXPECT_TRUE(leftovers(hive_).empty());

    const ino_t replaced = inode_of(hive_);
    ASSERT_EQ(put(kGame, "A", 1, "2"), kSuccess);  // same type and bytes
    EXPECT_EQ(inode_of(hive_), replaced);
}

TEST_F(HiveRegistry, StaleTempFilesAreIgnoredByReadersAndRemovedByWriters) {
    ASSERT_EQ(put(kGame, "a", 1, "1"), kSuccess);
    const std::string folder = fs::path(hive_).parent_path();
    spit(folder + "/system.reg.tmp.AbC123", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Other]\n");
    spit(folder + "/system.reg.tmp.notmine", "kept");
    spit(folder + "/other.reg.tmp.AbC123", "kept");
    Key* key = nullptr;
    ASSERT_EQ(open_key(kGame, Access::kRead, &key), kSuccess);
    std::string data;
    EXPECT_EQ(get(key, "a", &data), kSuccess);
    EXPECT_EQ(open_status("Other", Access::kRead), kFileNotFound);
    close_key(key);

    ASSERT_EQ(put(kGame, "a", 1, "2"), kSuccess);
    std::vector<std::string> left = leftovers(hive_);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"other.reg.tmp.AbC123", "system.reg.tmp.notmine"}));
}

TEST_F(HiveRegistry, SymlinkedHiveIsReadButNeverWrittenThrough) {
    ASSERT_EQ(put(kGame, "a", 1, "1"), kSuccess);
    Key* writer = nullptr;
    ASSERT_EQ(create_key(kGame, &writer), kSuccess);
    const std::string target = folder_ + "/real.reg";
    fs::rename(hive_, target);
    fs::create_symlink(target, hive_);
    const std::string before = slurp(target);

    EXPECT_EQ(open_status(kGame, Access::kRead), kSuccess);
    EXPECT_EQ(open_status(kGame, Access::kAll), kAccessDenied);
    EXPECT_EQ(create_status(kGame), kAccessDenied);
    EXPECT_EQ(create_status("Software\\QUORIX\\New"), kAccessDenied);
    EXPECT_EQ(set_value(writer, "a", 1, "2", 1), kSuccess);  // staged
    EXPECT_EQ(close_key(writer), kAccessDenied);
    EXPECT_TRUE(fs::is_symlink(hive_));
    EXPECT_EQ(slurp(target), before);
}

TEST_F(HiveRegistry, SymlinkedFolderIsReadButNeverWrittenThrough) {
    ASSERT_EQ(put(kGame, "a", 1, "1"), kSuccess);
    const std::string folder = fs::path(hive_).parent_path();
    const std::string target = folder_ + "/elsewhere";
    fs::rename(folder, target);
    fs::create_directory_symlink(target, folder);
    const std::string before = slurp(target + "/system.reg");

    EXPECT_EQ(open_status(kGame, Access::kRead), kSuccess);
    EXPECT_EQ(open_status(kGame, Access::kAll), kAccessDenied);
    EXPECT_EQ(create_status(kGame), kAccessDenied);
    EXPECT_EQ(create_status("Software\\QUORIX\\New"), kAccessDenied);
    ::setenv("VANTOR_REGISTRY", (folder + "//system.reg").c_str(), 1);
    EXPECT_EQ(create_status("Software\\QUORIX\\New"), kAccessDenied);
    // The replace refuses on its own too: a folder swapped for a link after
    // the up-front check is not written through.
    for (const std::string& path : {folder + "/system.reg", folder + "//system.reg"}) {
        EXPECT_EQ(store::update(path, store::Create::kShared,
                                [](hive::Document& document) {
                                    document.add_key("Software\\Swapped");
                                    return kSuccess;
                                }),
                  kAccessDenied)
            << path;
    }
    EXPECT_EQ(slurp(target + "/system.reg"), before);
    EXPECT_TRUE(leftovers(target + "/system.reg").empty());
}

// A FIFO put in the lock file's place used to block every writer in open().
// A lock file this store did not make is refused, and neither it nor what
// it leads to is changed: a writer, root most of all, must not hand some
// other file to the hive's owner and mode through a hard link in its place.
TEST_F(HiveRegistry, LockFileThatIsNotTheStoresIsRefusedAndLeftAsItIs) {
    ASSERT_EQ(put(kGame, "a", 1, "1"), kSuccess);
    const std::string lock = hive_ + ".lock";
    const std::string before = slurp(hive_);
    const std::string target = folder_ + "/target";
    spit(target, "kept");
    ASSERT_EQ(::chmod(target.c_str(), 0604), 0);
    const bool root = ::geteuid() == 0;
    constexpr uid_t kNobody = 65534;
    if (root) {
        ASSERT_EQ(::chown(target.c_str(), kNobody, kNobody), 0);
    }
    const auto status_of = [](const std::string& path) {
        struct stat info {};
        EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
        return std::tuple(info.st_uid, info.st_gid, info.st_mode);
    };
    const auto target_was = status_of(target);
    const struct {
        const char* what;
        std::function<int()> make;
    } cases[] = {
        {"a FIFO", [&] { return ::mkfifo(lock.c_str(), 0644); }},
        {"a symbolic link", [&] { return ::symlink(target.c_str(), lock.c_str()); }},
        {"a folder", [&] { return ::mkdir(lock.c_str(), 0755); }},
        {"a hard link", [&] { return ::link(target.c_str(), lock.c_str()); }},
        {"another user's file",
         [&] {
             spit(lock, "");
             return root ? ::chown(lock.c_str(), kNobody, kNobody) : -1;
         }},
    };
    ::alarm(30);  // ends the test program should a writer block after all
    for (const auto& odd : cases) {
        fs::remove(lock);
        if (odd.make() != 0) continue;  // another user's file: root only
        const auto lock_was = status_of(lock);
        const Status status = put(kGame, "a", 1, "2");
        EXPECT_TRUE(status == kAccessDenied || status == kWriteFault) << odd.what << ": " << status;
        EXPECT_EQ(slurp(hive_), before) << odd.what;
        EXPECT_EQ(slurp(target), "kept") << odd.what;
        EXPECT_EQ(status_of(target), target_was) << odd.what;
        EXPECT_EQ(status_of(lock), lock_was) << odd.what;
    }
    ::alarm(0);
    fs::remove(lock);
    EXPECT_EQ(put(kGame, "a", 1, "2"), kSuccess);
}

TEST_F(HiveRegistry, NonWritableHiveOpensOnlyForReading) {
    if (::geteuid() == 0) GTEST_SKIP() << "root ignores permission bits";
    ASSERT_EQ(create_status(kGame), kSuccess);
    ASSERT_EQ(::chmod(hive_.c_str(), 0444), 0);
    EXPECT_EQ(open_status(kGame, Access::kRead), kSuccess);
    EXPECT_EQ(open_status(kGame, Access::kAll), kAccessDenied);
    EXPECT_EQ(create_status("Software\\QUORIX\\New"), kAccessDenied);
}

// Writers on their own handles lose no update, and a reader meanwhile always
// finds a whole hive.
TEST_F(HiveRegistry, ConcurrentWritersLoseNoUpdate) {
    ASSERT_EQ(put(kGame, "seed", 1, "x"), kSuccess);
    constexpr int kThreads = 4;
    constexpr int kWrites = 15;
    std::vector<std::thread> writers;
    std::vector<Status> failures(kThreads, kSuccess);
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([t, &failures] {
            Key* key = nullptr;
            Status status = create_key(kGame, &key);
            for (int i = 0; i < kWrites && status == kSuccess; ++i) {
                const std::string name = std::to_string(t) + "-" + std::to_string(i);
                status = set_value(key, name.c_str(), 1, name.data(),
                                   static_cast<std::uint32_t>(name.size()));
            }
            close_key(key);
            failures[static_cast<std::size_t>(t)] = status;
        });
    }
    int reads = 0;
    std::string data;
    for (; reads < 200; ++reads) {
        Key* key = nullptr;
        ASSERT_EQ(open_key(kGame, Access::kRead, &key), kSuccess);
        EXPECT_EQ(get(key, "seed", &data), kSuccess);
        close_key(key);
    }
    for (std::thread& writer : writers) writer.join();
    EXPECT_EQ(failures, std::vector<Status>(kThreads, kSuccess));
    Key* key = nullptr;
    ASSERT_EQ(open_key(kGame, Access::kRead, &key), kSuccess);
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kWrites; ++i) {
            const std::string name = std::to_string(t) + "-" + std::to_string(i);
            EXPECT_EQ(get(key, name.c_str(), &data), kSuccess) << name;
        }
    }
    close_key(key);
    EXPECT_TRUE(leftovers(hive_).empty());
}

using test::kNoMount;
using test::with_private_tmpfs;

// The body's steps number its checks: a failure exits with the first failed
// step, which the test reports.
TEST_F(HiveRegistry, ReadOnlyFileSystemAllowsReadingOnly) {
    const std::string hive = hive_;
    const std::string root = folder_;
    const int failed_step = with_private_tmpfs(folder_, "mode=0755", [&] {
        if (put(kGame, "a", 1, "1") != kSuccess) return 1;
        Key* writer = nullptr;
        if (create_key(kGame, &writer) != kSuccess) return 2;
        const std::string before = slurp(hive);
        if (::mount(nullptr, root.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) return 3;
        if (open_status(kGame, Access::kRead) != kSuccess) return 4;
        if (open_status(kGame, Access::kAll) != kWriteProtect) return 5;
        if (create_status(kGame) != kWriteProtect) return 6;
        if (create_status("Software\\QUORIX\\New") != kWriteProtect) return 7;
        if (set_value(writer, "a", 1, "2", 1) != kSuccess) return 8;
        if (close_key(writer) != kWriteProtect) return 10;
        if (slurp(hive) != before) return 9;
        return 0;
    });
    if (failed_step == kNoMount) GTEST_SKIP() << "cannot mount a private file system here";
    EXPECT_EQ(failed_step, 0);
}

TEST_F(HiveRegistry, FullDiskKeepsThePreviousHive) {
    const std::string hive = hive_;
    const int failed_step = with_private_tmpfs(folder_, "size=64k", [&] {
        if (put(kGame, "a", 1, "1") != kSuccess) return 1;
        const std::string before = slurp(hive);
        if (put(kGame, "big", 3, std::string(256 * 1024, 'x')) != kDiskFull) return 2;
        if (slurp(hive) != before) return 3;
        if (!leftovers(hive).empty()) return 4;
        return 0;
    });
    if (failed_step == kNoMount) GTEST_SKIP() << "cannot mount a private file system here";
    EXPECT_EQ(failed_step, 0);
}

TEST(ErrnoStatus, MapsEachErrnoToOneWin32Status) {
    struct Row {
        int error;
        Status read;
        Status write;
    };
    const Row table[] = {
        {ENOSPC, kDiskFull, kDiskFull},
        {EDQUOT, kDiskFull, kDiskFull},
        {EROFS, kWriteProtect, kWriteProtect},
        {EACCES, kAccessDenied, kAccessDenied},
        {EPERM, kAccessDenied, kAccessDenied},
        {ELOOP, kAccessDenied, kAccessDenied},
        {ENOENT, kFileNotFound, kFileNotFound},
        {ENOTDIR, kFileNotFound, kFileNotFound},
        {ENOMEM, kNotEnoughMemory, kNotEnoughMemory},
        {EWOULDBLOCK, kLockViolation, kLockViolation},
        {EIO, kReadFault, kWriteFault},
        {EISDIR, kReadFault, kWriteFault},
        {0, kReadFault, kWriteFault},
    };
    for (const Row& row : table) {
        EXPECT_EQ(store::errno_status(row.error, store::IoKind::kRead), row.read) << row.error;
        EXPECT_EQ(store::errno_status(row.error, store::IoKind::kWrite), row.write) << row.error;
    }
}

// Sets the variables the hive lookup reads for one test, and puts them back.
class Paths : public ::testing::Test {
  protected:
    static constexpr const char* kVariables[] = {"VANTOR_REGISTRY", "VANTOR_USER_REGISTRY",
                                                 "XDG_STATE_HOME", "HOME"};

    void SetUp() override {
        for (const char* name : kVariables) {
            const char* value = std::getenv(name);
            saved_.emplace_back(value != nullptr ? std::optional<std::string>(value)
                                                 : std::nullopt);
            ::unsetenv(name);
        }
    }

    void TearDown() override {
        for (std::size_t i = 0; i < saved_.size(); ++i) {
            if (saved_[i]) {
                ::setenv(kVariables[i], saved_[i]->c_str(), 1);
            } else {
                ::unsetenv(kVariables[i]);
            }
        }
    }

    static std::string user_hive() { return store::find_hives().user; }

  private:
    std::vector<std::optional<std::string>> saved_;
};

// A user's hive as the variables place it: 0, or the number of the first
// check that failed (run in a child process, as another user, by root).
int user_hive_order() {
    const passwd* entry = ::getpwuid(::getuid());
    if (entry == nullptr) return 1;
    const std::string own = fs::path(entry->pw_dir) / ".local/state/vantor/user.reg";
    if (store::find_hives().user != own) return 2;  // without HOME: the password database's
    ::setenv("HOME", "relative", 1);
    if (store::find_hives().user != own) return 3;
    ::setenv("HOME", "/home/ann/", 1);
    if (store::find_hives().user != "/home/ann/.local/state/vantor/user.reg") return 4;
    ::setenv("XDG_STATE_HOME", "state", 1);  // a relative one is ignored
    if (store::find_hives().user != "/home/ann/.local/state/vantor/user.reg") return 5;
    ::setenv("XDG_STATE_HOME", "/var/state", 1);
    if (store::find_hives().user != "/var/state/vantor/user.reg") return 6;
    ::setenv("VANTOR_USER_REGISTRY", "mine.reg", 1);
    return store::find_hives().user == "mine.reg" ? 0 : 7;
}

TEST_F(Paths, UserHiveFollowsTheVariablesInTheirOrder) {
    EXPECT_EQ(store::find_hives().machine, store::default_machine_hive());
    if (::geteuid() != 0) {
        EXPECT_EQ(user_hive_order(), 0) << "the check that failed";
    } else {
        const pid_t child = ::fork();
        if (child == 0) {
            ::_exit(::setgid(65534) == 0 && ::setuid(65534) == 0 ? user_hive_order() : 100);
        }
        int status = -1;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << "the check that failed";
        // Root's environment may be a user's (sudo -E): root's hive is its own.
        const passwd* root = ::getpwuid(0);
        ASSERT_NE(root, nullptr);
        ::setenv("HOME", "/home/ann", 1);
        ::setenv("XDG_STATE_HOME", "/home/ann/.local/state", 1);
        EXPECT_EQ(user_hive(), fs::path(root->pw_dir) / ".local/state/vantor/user.reg");
    }
    ::setenv("VANTOR_USER_REGISTRY", store::default_machine_hive(), 1);
    EXPECT_EQ(user_hive(), "") << "the machine's hive is no user hive";

    // One file named: the whole registry.
    ::setenv("VANTOR_USER_REGISTRY", "mine.reg", 1);
    ::setenv("VANTOR_REGISTRY", "one.reg", 1);
    EXPECT_EQ(store::find_hives().machine, "one.reg");
    EXPECT_EQ(user_hive(), "");
    ::setenv("VANTOR_REGISTRY", "", 1);
    EXPECT_EQ(store::find_hives().machine, store::default_machine_hive());
}

}  // namespace
}  // namespace vantor::reg
