// What a reader keeps between calls: a settled hive is read once and then
// checked by one stat() per call; an edit, even one of the same size within
// the same timestamp tick, is always read.
#include <cstdlib>
#include <string>
#include <vector>

#include "registry/hive/paths.h"
#include "store/in_memory.h"

namespace vantor::test {
namespace {

using Cache = InMemory;

int user_of(const GameConfigSettings& game) {
    const std::string name = game.UserName;
    return std::atoi(name.substr(name.rfind(' ') + 1).c_str());
}

TEST_F(Cache, SettledHiveIsCheckedByOneStatPerReader) {
    hive_holding(1);
    memfs::advance(10);
    GameConfigSettings game{};
    KeyConfigSettings keys{};
    ASSERT_EQ(GetGameConfigSettings(&game), 1);  // reads and keeps the hive
    for (int i = 0; i < 3; ++i) {
        memfs::clear_log();
        ASSERT_EQ(GetGameConfigSettings(&game), 1);
        ASSERT_EQ(GetKeyConfigSettings(&keys), 1);
        EXPECT_EQ(memfs::log(), (std::vector<std::string>{"stat", "stat"}));
    }
    EXPECT_EQ(user_of(game), 1);
    EXPECT_EQ(keys.Fire, key_record(1).Fire);
}

// Edits in place, all of one size, with timestamps of one second: many fall
// within one tick. Every read sees the edit before it, whether the hive had
// settled (and was kept) before the edit or not.
TEST_F(Cache, SameSizeEditsInPlaceAreNeverMissed) {
    const std::string texts[] = {hive_holding(1), hive_holding(2)};
    ASSERT_EQ(texts[0].size(), texts[1].size());
    memfs::reset();
    memfs::put_file(kHive, texts[0]);
    int stale = 0;
    for (int i = 0; i < 400; ++i) {
        const int n = i % 2;
        memfs::overwrite(kHive, texts[n]);
        if (i % 50 == 25) memfs::advance(5);  // let it settle, then edit again
        for (int read = 0; read < 2; ++read) {
            GameConfigSettings game{};
            ASSERT_EQ(GetGameConfigSettings(&game), 1);
            stale += user_of(game) != n + 1;
        }
    }
    EXPECT_EQ(stale, 0);
}

// A hive replaced by a writer, or changed in its mode only, is read again.
TEST_F(Cache, ReplacedOrChangedHiveIsReadAgain) {
    hive_holding(1);
    memfs::advance(10);
    GameConfigSettings game{};
    ASSERT_EQ(GetGameConfigSettings(&game), 1);
    const GameConfigSettings second = game_record(2);
    ASSERT_EQ(SetGameConfigSettings(&second, VANTOR_MASK_ALL), 0);
    ASSERT_EQ(GetGameConfigSettings(&game), 1);
    EXPECT_EQ(user_of(game), 2);

    memfs::advance(10);
    ASSERT_EQ(GetGameConfigSettings(&game), 1);
    const std::string text = memfs::file(kHive).value_or("");
    const std::size_t at = text.find("Commander 2");
    ASSERT_NE(at, std::string::npos);
    memfs::overwrite(kHive, std::string(text).replace(at, 11, "Commander 3"));
    ASSERT_EQ(GetGameConfigSettings(&game), 1);
    EXPECT_EQ(user_of(game), 3);
}

// A run of writes to a hive that holds other keys too: each leaves the hive
// whole and the other keys' lines as they were, and an edit made by hand
// between two writes (same size, in place, within one tick) is kept, not
// written over with what the writer remembered.
TEST_F(Cache, WritesKeepTheHiveWholeAndOthersLinesAndEdits) {
    std::string other =
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Other]\n\"Path\"=\"C:\\\\one\"\n\n";
    memfs::put_file(kHive, other);
    for (int n = 1; n <= 6; ++n) {
        const GameConfigSettings game = game_record(n);
        const KeyConfigSettings keys = key_record(n);
        ASSERT_EQ(SetGameConfigSettings(&game, VANTOR_MASK_ALL), 0);
        ASSERT_EQ(SetKeyConfigSettings(&keys, n % 2 == 0 ? VANTOR_MASK_ALL : VANTOR_KEY_FIRE), 0);
        std::string text = memfs::file(kHive).value_or("");
        const std::optional<hive::Hive> parsed = hive_now();
        ASSERT_TRUE(parsed);
        ASSERT_EQ(text.substr(0, other.size()), other);
        if (n == 1) other.replace(other.find("one"), 3, "two");
        ASSERT_NE(parsed->find("Software\\Other"), nullptr);
        EXPECT_EQ(parsed->find("Software\\Other")->find("Path")->data,
                  n == 1 ? "C:\\one" : "C:\\two");
        if (n == 1) {
            memfs::overwrite(kHive, text.replace(text.find("one"), 3, "two"));
        }
    }
}

// A reader of the machine's hive and a user's own keeps both: each call
// checks each by one stat(), and takes a value from the user's hive where it
// holds it, from the machine's otherwise.
TEST_F(Cache, LayeredReaderKeepsBothHives) {
    if (std::string(store::default_machine_hive()) != kHive) GTEST_SKIP() << "another default hive";
    constexpr const char* kUserHive = "/home/ann/.local/state/vantor/user.reg";
    hive_holding(1);
    memfs::put_file(kUserHive,
                    "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Keyboard]\n"
                    "\"Fire\"=dword:00000046\n");
    ::unsetenv("VANTOR_REGISTRY");
    ::setenv("VANTOR_USER_REGISTRY", kUserHive, 1);
    memfs::advance(10);
    GameConfigSettings game{};
    KeyConfigSettings keys{};
    ASSERT_EQ(GetGameConfigSettings(&game), 1);
    for (int i = 0; i < 3; ++i) {
        memfs::clear_log();
        ASSERT_EQ(GetGameConfigSettings(&game), 1);
        ASSERT_EQ(GetKeyConfigSettings(&keys), 1);
        EXPECT_EQ(memfs::log(), (std::vector<std::string>{"stat", "stat", "stat", "stat"}));
    }
    EXPECT_EQ(user_of(game), 1);
    EXPECT_EQ(keys.Fire, 0x46U);
    EXPECT_EQ(keys.Brakes, key_record(1).Brakes);
}

}  // namespace
}  // namespace vantor::test
