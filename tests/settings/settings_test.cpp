// The eight functions against the platform's real store: the hive file
// natively, Wine's registry in the Windows build.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/defaults.h"
#include "support/store.h"
#include "vantor.h"

namespace {

using vantor::settings::kSettings;
using vantor::settings::Record;
using vantor::test::get_raw;
using vantor::test::key_defaults;
using vantor::test::key_exists;
using vantor::test::put_raw;

constexpr const char* kGame = vantor::test::kGameKey;
constexpr const char* kKeyboard = vantor::test::kKeyboardKey;
constexpr std::uint32_t kSz = 1;
constexpr std::uint32_t kBinary = 3;
constexpr std::uint32_t kDword = 4;

std::string dword(std::uint32_t value) {
    char bytes[4];
    std::memcpy(bytes, &value, 4);
    return std::string(bytes, 4);
}

// The registry names of a record's values.
std::vector<const char*> names_of(Record record) {
    std::vector<const char*> names;
    for (const auto& setting : kSettings) {
        if (setting.record == record) names.push_back(setting.name);
    }
    return names;
}

const std::vector<const char*> kGameNames = names_of(Record::kGame);
const std::vector<const char*> kKeyNames = names_of(Record::kKeys);

class Settings : public ::testing::Test {
  protected:
    void SetUp() override { vantor::test::reset_store(); }
};

GameConfigSettings host_game() {
    GameConfigSettings game;
    std::memset(&game, 0x5A, sizeof game);
    game.Lives = 3;
    game.QuickStart = 1;
    game.MidiVolume = 70;
    game.WavVolume = 80;
    game.VideoMode = 0xFFFFFFFF;
    return game;
}

// Each value a reader fills with its default holds it; the host's own
// numbers are not looked at.
void expect_game_defaults(const GameConfigSettings& game) {
    for (const auto& setting : kSettings) {
        if (vantor::test::reader_fills(setting, Record::kGame)) {
            EXPECT_TRUE(vantor::test::holds_default(&game, setting)) << setting.name;
        }
    }
}

void expect_key_defaults(const KeyConfigSettings& keys) {
    const KeyConfigSettings expected = key_defaults();
    EXPECT_EQ(std::memcmp(&keys, &expected, sizeof keys), 0);
}

TEST_F(Settings, FirstGameReadSeedsTheKey) {
    GameConfigSettings game = host_game();
    ASSERT_EQ(GetGameConfigSettings(&game), 0);
    expect_game_defaults(game);
    EXPECT_EQ(game.Lives, 3u);
    EXPECT_EQ(game.VideoMode, 0xFFFFFFFFu);
    // The key holds all twelve values; texts are stored without their NUL.
    for (const char* name : kGameNames) EXPECT_TRUE(get_raw(kGame, name)) << name;
    const std::string session = vantor::test::game_defaults().SessionName;
    EXPECT_EQ(get_raw(kGame, "Session Name")->substr(0, session.size()), session);
    EXPECT_EQ(get_raw(kGame, "MIDI Volume"), dword(70));

    GameConfigSettings again = host_game();
    again.Lives = 9;
    ASSERT_EQ(GetGameConfigSettings(&again), 1);
    EXPECT_EQ(std::memcmp(&again.TankType, &game.TankType, 32), 0);
    EXPECT_STREQ(again.UserName, game.UserName);
}

TEST_F(Settings, FirstKeyReadSeedsTheKey) {
    KeyConfigSettings keys;
    std::memset(&keys, 0xEE, sizeof keys);
    ASSERT_EQ(GetKeyConfigSettings(&keys), 0);
    expect_key_defaults(keys);
    for (const char* name : kKeyNames) EXPECT_TRUE(get_raw(kKeyboard, name)) << name;

    std::memset(&keys, 0xEE, sizeof keys);
    ASSERT_EQ(GetKeyConfigSettings(&keys), 1);
    expect_key_defaults(keys);
}

TEST_F(Settings, EveryFieldRoundTrips) {
    GameConfigSettings game = host_game();
    std::strcpy(game.UserName, "Pilot \"One\" \\ tab\there\r\nnext");
    std::strcpy(game.SessionName, "\xC4rger \xE9t\xE9");  // ANSI bytes stay as they are
    std::memset(game.Protocol, 'p', 255);
    game.Protocol[255] = '\0';
    game.LastMap[0] = '\0';
    game.TankType = 1;
    game.Scenario = 0x80000000;
    game.ComputerPlayers = 7;
    ASSERT_EQ(SetGameConfigSettings(&game, VANTOR_MASK_ALL), 0);

    GameConfigSettings read = host_game();
    read.Lives = read.QuickStart = read.MidiVolume = read.WavVolume = read.VideoMode = 12345;
    ASSERT_EQ(GetGameConfigSettings(&read), 1);
    EXPECT_STREQ(read.UserName, game.UserName);
    EXPECT_STREQ(read.SessionName, game.SessionName);
    EXPECT_STREQ(read.Protocol, game.Protocol);
    EXPECT_STREQ(read.LastMap, "");
    EXPECT_EQ(std::memcmp(&read.TankType, &game.TankType, 32), 0);

    const KeyConfigSettings keys = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0xFFFFFFFF};
    ASSERT_EQ(SetKeyConfigSettings(&keys, VANTOR_MASK_ALL), 0);
    KeyConfigSettings read_keys;
    ASSERT_EQ(GetKeyConfigSettings(&read_keys), 1);
    EXPECT_EQ(std::memcmp(&read_keys, &keys, sizeof keys), 0);
}

TEST_F(Settings, MissingValuesKeepDefaultsOrTheHostsNumbers) {
    ASSERT_TRUE(put_raw(kGame, "Session Name", kSz, "Arena"));
    ASSERT_TRUE(put_raw(kGame, "Lives", kDword, dword(5)));
    GameConfigSettings game = host_game();
    ASSERT_EQ(GetGameConfigSettings(&game), 1);
    EXPECT_STREQ(game.UserName, vantor::test::game_defaults().UserName);
    EXPECT_STREQ(game.SessionName, "Arena");
    EXPECT_EQ(game.Lives, 5u);
    EXPECT_EQ(game.MidiVolume, 70u);
    EXPECT_FALSE(get_raw(kGame, "User Name")) << "a read never writes";

    ASSERT_TRUE(put_raw(kKeyboard, "Fire", kDword, dword(17)));
    KeyConfigSettings keys;
    ASSERT_EQ(GetKeyConfigSettings(&keys), 1);
    EXPECT_EQ(keys.Fire, 17u);
    keys.Fire = key_defaults().Fire;
    expect_key_defaults(keys);
}

TEST_F(Settings, MaskSelectsExactlyItsValues) {
    GameConfigSettings game = host_game();
    ASSERT_EQ(SetGameConfigSettings(&game, 0), 0);
    EXPECT_TRUE(key_exists(kGame)) << "a mask of 0 still creates the key";
    EXPECT_FALSE(get_raw(kGame, "User Name"));

    ASSERT_EQ(SetGameConfigSettings(&game, VANTOR_GAME_MIDI_VOLUME | 0xFFFFF000u), 0);
    ASSERT_EQ(SetGameConfigSettings(&game, VANTOR_GAME_LIVES), 0);
    for (const char* name : kGameNames) {
        const bool written =
            std::strcmp(name, "MIDI Volume") == 0 || std::strcmp(name, "Lives") == 0;
        EXPECT_EQ(get_raw(kGame, name).has_value(), written) << name;
    }
    EXPECT_EQ(get_raw(kGame, "MIDI Volume"), dword(70));
    EXPECT_EQ(get_raw(kGame, "Lives"), dword(3));

    KeyConfigSettings keys = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    ASSERT_EQ(SetKeyConfigSettings(&keys, 0), 0);
    EXPECT_TRUE(key_exists(kKeyboard));
    ASSERT_EQ(SetKeyConfigSettings(&keys, VANTOR_KEY_WEAPONS), 0);
    ASSERT_EQ(SetKeyConfigSettings(&keys, VANTOR_KEY_FIRE | 0x1000u), 0);
    for (const char* name : kKeyNames) {
        const bool written = std::strcmp(name, "Weapons") == 0 || std::strcmp(name, "Fire") == 0;
        EXPECT_EQ(get_raw(kKeyboard, name).has_value(), written) << name;
    }
    EXPECT_EQ(get_raw(kKeyboard, "Weapons"), dword(8));
    EXPECT_EQ(get_raw(kKeyboard, "Fire"), dword(9));
}

TEST_F(Settings, DefaultsOverwriteWhatIsStored) {
    GameConfigSettings game = host_game();
    std::strcpy(game.UserName, "Somebody");
    ASSERT_EQ(SetGameConfigSettings(&game, VANTOR_MASK_ALL), 0);
    ASSERT_EQ(SetDefaultGameSettings(), 0);
    ASSERT_EQ(GetGameConfigSettings(&game), 1);
    expect_game_defaults(game);
    EXPECT_EQ(game.Lives, VANTOR_DEFAULT_LIVES);
    EXPECT_EQ(game.QuickStart, VANTOR_DEFAULT_QUICK_START);
    EXPECT_EQ(game.MidiVolume, VANTOR_DEFAULT_MIDI_VOLUME);
    EXPECT_EQ(game.WavVolume, VANTOR_DEFAULT_WAV_VOLUME);
    EXPECT_EQ(game.VideoMode, VANTOR_DEFAULT_VIDEO_MODE);

    KeyConfigSettings keys = key_defaults();
    keys.Fire += 38;
    ASSERT_EQ(SetKeyConfigSettings(&keys, VANTOR_KEY_FIRE), 0);
    ASSERT_EQ(SetDefaultKeySettings(), 0);
    ASSERT_EQ(GetKeyConfigSettings(&keys), 1);
    EXPECT_EQ(keys.Fire, key_defaults().Fire);
}

TEST_F(Settings, CombinedDefaultsResetBothKeys) {
    EXPECT_EQ(SetAllDefaults(), 0);
    EXPECT_TRUE(key_exists(kGame));
    EXPECT_TRUE(key_exists(kKeyboard));

    KeyConfigSettings keys = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    ASSERT_EQ(SetKeyConfigSettings(&keys, VANTOR_MASK_ALL), 0);
    GameConfigSettings game = host_game();
    std::strcpy(game.UserName, "Somebody");
    ASSERT_EQ(SetGameConfigSettings(&game, VANTOR_MASK_ALL), 0);

    EXPECT_EQ(CreateRegKeys(), 1);
    ASSERT_EQ(GetKeyConfigSettings(&keys), 1);
    expect_key_defaults(keys);
    ASSERT_EQ(GetGameConfigSettings(&game), 1);
    expect_game_defaults(game);
    EXPECT_EQ(game.Lives, VANTOR_DEFAULT_LIVES);
}

TEST_F(Settings, StoredTextsAreCutToFitTheField) {
    // Exactly 256 bytes with no NUL: the field gets the first 255.
    ASSERT_TRUE(put_raw(kGame, "User Name", kSz, std::string(256, 'u')));
    // Longer than a field: the read fails and the default stays.
    ASSERT_TRUE(put_raw(kGame, "Session Name", kSz, std::string(257, 's')));
    // An embedded NUL ends the text.
    ASSERT_TRUE(put_raw(kGame, "Protocol", kSz, std::string("ab\0cd", 5)));
    // Stored empty: reads back empty.
    ASSERT_TRUE(put_raw(kGame, "Last Map", kSz, ""));
    GameConfigSettings game = host_game();
    ASSERT_EQ(GetGameConfigSettings(&game), 1);
    EXPECT_EQ(std::string(game.UserName), std::string(255, 'u'));
    EXPECT_STREQ(game.SessionName, vantor::test::game_defaults().SessionName);
    EXPECT_STREQ(game.Protocol, "ab");
    EXPECT_STREQ(game.LastMap, "");
}

TEST_F(Settings, StoredTypeIsNotTested) {
    // Up to 4 bytes of any type go into the start of a number field.
    ASSERT_TRUE(put_raw(kKeyboard, "Fire", kBinary, std::string("\x11\x22", 2)));
    ASSERT_TRUE(put_raw(kKeyboard, "Turbo", kSz, "Z"));
    // Longer data do not fit: the default stays.
    ASSERT_TRUE(put_raw(kKeyboard, "Repair", kBinary, std::string(6, '\x01')));
    KeyConfigSettings keys;
    ASSERT_EQ(GetKeyConfigSettings(&keys), 1);
    // Over the default, whose upper bytes are 0.
    EXPECT_EQ(keys.Fire, 0x2211u | (key_defaults().Fire & 0xFFFF0000u));
    EXPECT_EQ(keys.Turbo, static_cast<unsigned>('Z') | (key_defaults().Turbo & 0xFFFFFF00u));
    EXPECT_EQ(keys.Repair, key_defaults().Repair);

    // A number read into a text field is taken as text up to its first NUL.
    ASSERT_TRUE(put_raw(kGame, "Last Map", kDword, dword(0x00434241)));
    GameConfigSettings game = host_game();
    ASSERT_EQ(GetGameConfigSettings(&game), 1);
    EXPECT_STREQ(game.LastMap, "ABC");
}

TEST_F(Settings, ValueNamesMatchWhateverTheirCase) {
    ASSERT_TRUE(put_raw("SOFTWARE\\quorix\\game", "user name", kSz, "lower"));
    GameConfigSettings game = host_game();
    ASSERT_EQ(GetGameConfigSettings(&game), 1);
    EXPECT_STREQ(game.UserName, "lower");
    std::strcpy(game.UserName, "replaced");
    ASSERT_EQ(SetGameConfigSettings(&game, VANTOR_GAME_USER_NAME), 0);
    EXPECT_EQ(get_raw(kGame, "USER NAME")->substr(0, 8), "replaced");
}

}  // namespace
