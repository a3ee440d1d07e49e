// Checks of all eight functions on a store that holds the records a test
// stored, for the tests that make the store read-only, unreadable or
// corrupt, or run as another user. Each returns 0, or the number of the
// first check that failed, so that a child process can exit with it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstring>

#include "support/defaults.h"
#include "vantor.h"

namespace vantor::test {

inline constexpr int32_t kAccessDenied = 5;
inline constexpr int32_t kWriteProtect = 19;
inline constexpr int32_t kDiskFull = 112;
inline constexpr int32_t kBadDb = 1009;
inline constexpr uid_t kNobody = 65534;

inline GameConfigSettings custom_game(const char* name, std::uint32_t volume) {
    GameConfigSettings game{};
    std::strcpy(game.UserName, name);
    std::strcpy(game.SessionName, "Arena \"7\"");
    game.TankType = 2;
    game.MidiVolume = volume;
    return game;
}

inline const KeyConfigSettings kCustomKeys = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};

inline bool game_is(const GameConfigSettings& game, const char* name, std::uint32_t volume) {
    return std::strcmp(game.UserName, name) == 0 && game.MidiVolume == volume && game.TankType == 2;
}

inline bool keys_are(const KeyConfigSettings& keys, const KeyConfigSettings& expected) {
    return std::memcmp(&keys, &expected, sizeof keys) == 0;
}

inline bool game_is_default(const GameConfigSettings& game) { return has_reader_defaults(game); }

// Stores both custom records: "Stored", 55 and kCustomKeys.
inline bool store_custom() {
    const GameConfigSettings game = custom_game("Stored", 55);
    return SetGameConfigSettings(&game, VANTOR_MASK_ALL) == 0 &&
           SetKeyConfigSettings(&kCustomKeys, VANTOR_MASK_ALL) == 0;
}

// The six writing functions, each refused with `refusal` (CreateRegKeys
// returning 0): 0, or the number of the first check that failed, from 3 on.
inline int check_writes_refused(const GameConfigSettings& game, const KeyConfigSettings& keys,
                                std::uint32_t key_mask, int32_t refusal) {
    if (SetGameConfigSettings(&game, VANTOR_MASK_ALL) != refusal) return 3;
    if (SetKeyConfigSettings(&keys, key_mask) != refusal) return 4;
    if (SetDefaultGameSettings() != refusal) return 5;
    if (SetDefaultKeySettings() != refusal) return 6;
    if (SetAllDefaults() != refusal) return 7;
    if (CreateRegKeys() != 0) return 8;
    return 0;
}

// Calls all eight functions on a store that holds the custom records and
// may be read but not written. Returns 0, or the number of the first check
// that failed.
inline int check_read_only(int32_t refusal) {
    GameConfigSettings game{};
    KeyConfigSettings keys{};
    if (GetGameConfigSettings(&game) != 1 || !game_is(game, "Stored", 55)) return 1;
    if (GetKeyConfigSettings(&keys) != 1 || !keys_are(keys, kCustomKeys)) return 2;
    const GameConfigSettings changed = custom_game("Changed", 99);
    return check_writes_refused(changed, kCustomKeys, VANTOR_KEY_FIRE, refusal);
}

// Calls all eight functions on a hive that cannot be read. Returns 0, or the
// number of the first check that failed.
inline int check_unreadable(int32_t refusal) {
    GameConfigSettings game = custom_game("Host", 1);
    KeyConfigSettings keys = kCustomKeys;
    if (GetGameConfigSettings(&game) != 0 || !game_is_default(game)) return 1;
    if (GetKeyConfigSettings(&keys) != 0 || keys.Fire != key_defaults().Fire) return 2;
    return check_writes_refused(game, keys, VANTOR_MASK_ALL, refusal);
}

}  // namespace vantor::test
