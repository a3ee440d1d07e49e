// The settings functions over an in-memory registry that can be made to
// fail at any step: refused opens and creates, failing writes, values too
// large to read. Checks the order of reads and writes and the statuses.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/defaults.h"
#include "support/fault_registry.h"
#include "vantor.h"

namespace {

namespace fault = vantor::fault;
using vantor::reg::Access;

using vantor::test::game_defaults;
using vantor::test::key_defaults;

constexpr const char* kGame = vantor::test::kGameKey;
constexpr const char* kKeyboard = vantor::test::kKeyboardKey;
constexpr std::uint32_t kDword = 4;
constexpr std::uint32_t kSz = 1;

std::string dword(std::uint32_t value) { return std::string(reinterpret_cast<char*>(&value), 4); }

class Faults : public ::testing::Test {
  protected:
    void SetUp() override { fault::reset(); }
    void TearDown() override { EXPECT_EQ(fault::open_handles(), 0) << "a key was left open"; }
};

GameConfigSettings host_game() {
    GameConfigSettings game;
    std::memset(&game, 0x5A, sizeof game);  // garbage the library must not depend on
    std::strcpy(game.UserName, "host");
    game.Lives = 3;
    game.QuickStart = 1;
    game.MidiVolume = 70;
    game.WavVolume = 80;
    game.VideoMode = 2;
    return game;
}

TEST_F(Faults, WriteOrderFollowsMaskBitsNotFields) {
    GameConfigSettings game = host_game();
    ASSERT_EQ(SetGameConfigSettings(&game, VANTOR_MASK_ALL), 0);
    EXPECT_EQ(fault::set_names(),
              (std::vector<std::string>{"User Name", "Session Name", "Protocol", "Last Map",
                                        "Tank Type", "Scenario", "Computer Players", "MIDI Volume",
                                        "WAV Volume", "Lives", "Quick Start", "Video Mode"}));

    fault::reset();
    KeyConfigSettings keys{};
    ASSERT_EQ(SetKeyConfigSettings(&keys, VANTOR_MASK_ALL), 0);
    EXPECT_EQ(fault::set_names(),
              (std::vector<std::string>{"MoveForward", "MoveBackward", "TurnLeft", "TurnRight",
                                        "RotateTurretLeft", "RotateTurretRight", "Brakes", "Fire",
                                        "Weapons", "Turbo", "Repair", "Targeting"}));
}

TEST_F(Faults, KeyReadOrderIsFieldOrder) {
    fault::put(kKeyboard, "Fire", kDword, dword(1));
    KeyConfigSettings keys;
    ASSERT_EQ(GetKeyConfigSettings(&keys), 1);
    std::vector<std::string> queried;
    for (const auto& call : fault::calls()) {
        if (call.op == "query") queried.push_back(call.what);
    }
    EXPECT_EQ(queried,
              (std::vector<std::string>{"MoveForward", "MoveBackward", "TurnLeft", "TurnRight",
                                        "RotateTurretLeft", "RotateTurretRight", "Brakes",
                                        "Weapons", "Fire", "Turbo", "Repair", "Targeting"}));
}

TEST_F(Faults, ReadersOpenForReadingOnly) {
    // A user who may read but not write the machine-wide key still gets the
    // stored values, and nothing is written.
    fault::put(kGame, "User Name", kSz, "stored");
    fault::put(kKeyboard, "Fire", kDword, dword(17));
    fault::fail_open_for_write(kGame);
    fault::fail_open_for_write(kKeyboard);

    GameConfigSettings game = host_game();
    KeyConfigSettings keys;
    EXPECT_EQ(GetGameConfigSettings(&game), 1);
    EXPECT_EQ(GetKeyConfigSettings(&keys), 1);
    EXPECT_STREQ(game.UserName, "stored");
    EXPECT_EQ(keys.Fire, 17u);
    for (const auto& call : fault::calls()) {
        EXPECT_NE(call.op, "set");
        EXPECT_NE(call.op, "create");
        if (call.op == "open") {
            EXPECT_EQ(call.access, Access::kRead) << call.what;
        }
    }
}

// Only a missing key is seeded, with the record as the defaults left it. A
// key that cannot be opened for another reason (a corrupt or unreadable
// store) may hold values: it is left as it is, and the reader returns 0.
TEST_F(Faults, ReaderSeedsOnlyAMissingKey) {
    GameConfigSettings game = host_game();
    EXPECT_EQ(GetGameConfigSettings(&game), 0);
    EXPECT_EQ(fault::get(kGame, "User Name")->data, game_defaults().UserName);
    EXPECT_EQ(fault::get(kGame, "Lives")->data, dword(3));
    EXPECT_EQ(fault::set_names().size(), 12u);

    fault::reset();
    fault::put(kGame, "User Name", kSz, "never read");
    fault::fail_open(kGame, vantor::reg::kAccessDenied);
    game = host_game();
    EXPECT_EQ(GetGameConfigSettings(&game), 0);
    EXPECT_STREQ(game.UserName, game_defaults().UserName);
    EXPECT_EQ(game.Lives, 3u);
    EXPECT_EQ(fault::get(kGame, "User Name")->data, "never read");
    EXPECT_TRUE(fault::set_names().empty());
}

TEST_F(Faults, ReaderReturnsZeroEvenWhenSeedingFails) {
    fault::fail_create(kKeyboard, vantor::reg::kAccessDenied);
    KeyConfigSettings keys{};
    EXPECT_EQ(GetKeyConfigSettings(&keys), 0);
    EXPECT_EQ(keys.Fire, key_defaults().Fire);
    EXPECT_FALSE(fault::has_key(kKeyboard));
}

TEST_F(Faults, FailedCreateWritesNothingAndReturnsItsStatus) {
    fault::fail_create(kGame, vantor::reg::kAccessDenied);
    GameConfigSettings game = host_game();
    EXPECT_EQ(SetGameConfigSettings(&game, VANTOR_MASK_ALL), vantor::reg::kAccessDenied);
    EXPECT_TRUE(fault::set_names().empty());
    EXPECT_EQ(SetDefaultGameSettings(), vantor::reg::kAccessDenied);
}

TEST_F(Faults, FirstFailingWriteIsReportedAndLaterWritesStillHappen) {
    fault::fail_nth_set(2, vantor::reg::kDiskFull);
    KeyConfigSettings keys{};
    keys.Targeting = 99;
    EXPECT_EQ(SetKeyConfigSettings(&keys, VANTOR_MASK_ALL), vantor::reg::kDiskFull);
    EXPECT_EQ(fault::set_names().size(), 12u);
    EXPECT_FALSE(fault::get(kKeyboard, "MoveBackward").has_value());
    EXPECT_EQ(fault::get(kKeyboard, "Targeting")->data, dword(99));

    // The failure of the very last write is reported too.
    fault::reset();
    fault::fail_nth_set(12, vantor::reg::kWriteFault);
    EXPECT_EQ(SetDefaultGameSettings(), vantor::reg::kWriteFault);
}

// A store that commits on close: its failure is the writer's status,
// unless a write failed first.
TEST_F(Faults, FailingCloseIsReportedAfterAnyFailingWrite) {
    fault::fail_close(kGame, vantor::reg::kLockViolation);
    GameConfigSettings game = host_game();
    EXPECT_EQ(SetGameConfigSettings(&game, VANTOR_GAME_LIVES), vantor::reg::kLockViolation);
    EXPECT_EQ(SetDefaultGameSettings(), vantor::reg::kLockViolation);
    EXPECT_EQ(SetAllDefaults(), vantor::reg::kLockViolation);
    EXPECT_EQ(CreateRegKeys(), 0);
    fault::fail_nth_set(1, vantor::reg::kDiskFull);
    EXPECT_EQ(SetGameConfigSettings(&game, VANTOR_MASK_ALL), vantor::reg::kDiskFull);
}

TEST_F(Faults, SetAllDefaultsReportsTheKeyboardFailureFirst) {
    fault::fail_sets_under(kKeyboard, vantor::reg::kWriteProtect);
    EXPECT_EQ(SetAllDefaults(), vantor::reg::kWriteProtect);
    EXPECT_EQ(fault::value_count(kGame), 12u) << "the game defaults are still written";

    fault::reset();
    fault::fail_sets_under(kGame, vantor::reg::kDiskFull);
    EXPECT_EQ(SetAllDefaults(), vantor::reg::kDiskFull);
    EXPECT_EQ(fault::value_count(kKeyboard), 12u);

    fault::reset();
    EXPECT_EQ(SetAllDefaults(), 0);
    // Keyboard first, then game.
    EXPECT_EQ(fault::set_names().front(), "MoveForward");
    EXPECT_EQ(fault::set_names().back(), "Video Mode");
}

TEST_F(Faults, CreateRegKeysReportsWhetherBothKeysWereWritten) {
    EXPECT_EQ(CreateRegKeys(), 1);
    EXPECT_EQ(fault::value_count(kGame), 12u);
    EXPECT_EQ(fault::value_count(kKeyboard), 12u);

    for (const char* failing : {kGame, kKeyboard}) {
        fault::reset();
        fault::fail_create(failing, vantor::reg::kAccessDenied);
        EXPECT_EQ(CreateRegKeys(), 0) << failing;
    }
    fault::reset();
    fault::fail_nth_set(5, vantor::reg::kDiskFull);
    EXPECT_EQ(CreateRegKeys(), 0);
}

TEST_F(Faults, TextTooLargeToReadKeepsTheDefault) {
    fault::put(kGame, "Session Name", kSz, std::string(257, 'x'));
    fault::put(kGame, "Protocol", kSz, std::string(300, 'y'));
    GameConfigSettings game = host_game();
    ASSERT_EQ(GetGameConfigSettings(&game), 1);
    EXPECT_STREQ(game.SessionName, game_defaults().SessionName);
    EXPECT_STREQ(game.Protocol, game_defaults().Protocol);
}

TEST_F(Faults, NumberTooLargeToReadLeavesTheField) {
    fault::put(kGame, "Lives", 3, "123456");  // 6-byte binary: too large for a number
    fault::put(kKeyboard, "Fire", 3, "\x01\x02");
    GameConfigSettings game = host_game();
    ASSERT_EQ(GetGameConfigSettings(&game), 1);
    EXPECT_EQ(game.Lives, 3u);

    KeyConfigSettings keys;
    ASSERT_EQ(GetKeyConfigSettings(&keys), 1);
    // Shorter data are copied into the start of the field, the rest stays.
    EXPECT_EQ(keys.Fire, 0x0201u | (key_defaults().Fire & 0xFFFF0000u));
}

TEST_F(Faults, UnterminatedTextIsWrittenAsItsFirst255Bytes) {
    GameConfigSettings game = host_game();
    std::memset(game.LastMap, 'm', sizeof game.LastMap);  // no NUL at all
    ASSERT_EQ(SetGameConfigSettings(&game, VANTOR_GAME_LAST_MAP), 0);
    EXPECT_EQ(fault::get(kGame, "Last Map")->data, std::string(255, 'm'));
}

TEST_F(Faults, TextIsStoredWithoutItsNul) {
    GameConfigSettings game = host_game();
    game.Protocol[0] = '\0';
    ASSERT_EQ(SetGameConfigSettings(&game, VANTOR_GAME_USER_NAME | VANTOR_GAME_PROTOCOL), 0);
    auto user = fault::get(kGame, "User Name");
    EXPECT_EQ(user->type, kSz);
    EXPECT_EQ(user->data, "host");
    EXPECT_EQ(fault::get(kGame, "Protocol")->data, "");
}

}  // namespace
