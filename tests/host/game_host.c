/*
 * A host written as the game is: it loads vantor.dll at run time, finds the
 * eight functions with GetProcAddress, calls them through the __cdecl
 * pointer types of vantor.h and checks what comes back. Exits non-zero on
 * the first failed check.
 */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "support/game_view.h"
#include "vantor.h"

static int failures;

/* The defaults a first start must give, from the library's value table. */
static void put_defaults(GameConfigSettings* game, KeyConfigSettings* keys) {
#define VANTOR_GAME_TEXT(name, field, bit, text, write) strcpy(game->field, text);
#define VANTOR_GAME_NUMBER(name, field, bit, number, fallback, write) game->field = number;
#define VANTOR_KEY_CODE(field, bit, code, write) keys->field = code;
#include "settings/values.def"
#undef VANTOR_GAME_TEXT
#undef VANTOR_GAME_NUMBER
#undef VANTOR_KEY_CODE
}

static void check(int ok, const char* what) {
    printf("%s: %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) ++failures;
}

/*
 * A function of any type. GetProcAddress's FARPROC returns an int (a 64-bit
 * one on x64): casting it straight to the int32_t pointer types is a cast
 * between incompatible function types, which compilers warn of. A cast
 * through void (*)(void) is the accepted way to say the type is known.
 */
typedef void (*Function)(void);

static Function find(HMODULE module, const char* name) {
    FARPROC found = GetProcAddress(module, name);
    if (found == NULL) {
        printf("FAIL: %s is not exported\n", name);
        ++failures;
    }
    return (Function)found;
}

int main(void) {
    HMODULE module;
    VantorGetGameConfigSettings get_game;
    VantorSetGameConfigSettings set_game;
    VantorSetDefaultGameSettings default_game;
    VantorGetKeyConfigSettings get_keys;
    VantorSetKeyConfigSettings set_keys;
    VantorSetDefaultKeySettings default_keys;
    VantorSetAllDefaults all_defaults;
    VantorCreateRegKeys create_keys;
    GameConfigSettings game, again, defaults;
    KeyConfigSettings keys, key_defaults;

    memset(&defaults, 0, sizeof defaults);
    put_defaults(&defaults, &key_defaults);

    /* A machine on which the game never ran. */
    vantor_test_delete_tree("Software\\QUORIX");

    module = LoadLibraryA("vantor.dll");
    if (module == NULL) {
        printf("FAIL: LoadLibraryA(\"vantor.dll\"): error %lu\n", GetLastError());
        return 1;
    }
    get_game = (VantorGetGameConfigSettings)find(module, "GetGameConfigSettings");
    set_game = (VantorSetGameConfigSettings)find(module, "SetGameConfigSettings");
    default_game = (VantorSetDefaultGameSettings)find(module, "SetDefaultGameSettings");
    get_keys = (VantorGetKeyConfigSettings)find(module, "GetKeyConfigSettings");
    set_keys = (VantorSetKeyConfigSettings)find(module, "SetKeyConfigSettings");
    default_keys = (VantorSetDefaultKeySettings)find(module, "SetDefaultKeySettings");
    all_defaults = (VantorSetAllDefaults)find(module, "SetAllDefaults");
    create_keys = (VantorCreateRegKeys)find(module, "CreateRegKeys");
    if (failures != 0) return 1;

    /* First start: defaults in the first seven fields, the host's own five. */
    memset(&game, 0, sizeof game);
    game.Lives = 3;
    game.QuickStart = 1;
    game.MidiVolume = 70;
    game.WavVolume = 80;
    game.VideoMode = 2;
    check(get_game(&game) == 0, "first GetGameConfigSettings returns 0");
    check(strcmp(game.UserName, defaults.UserName) == 0 &&
              strcmp(game.SessionName, defaults.SessionName) == 0 &&
              strcmp(game.Protocol, defaults.Protocol) == 0 &&
              strcmp(game.LastMap, defaults.LastMap) == 0 && game.TankType == defaults.TankType &&
              game.Scenario == defaults.Scenario &&
              game.ComputerPlayers == defaults.ComputerPlayers,
          "first start gives the defaults of the first seven values");
    check(game.Lives == 3 && game.QuickStart == 1 && game.MidiVolume == 70 &&
              game.WavVolume == 80 && game.VideoMode == 2,
          "first start keeps the host's own numbers");

    memset(&again, 0, sizeof again);
    check(get_game(&again) == 1, "second GetGameConfigSettings returns 1");
    check(memcmp(&game, &again, sizeof game) == 0, "second start reads back the seeded record");

    /* The player renames themself and loses a life: two values by mask. */
    strcpy(game.UserName, "Commander");
    game.Lives = 2;
    game.WavVolume = 5; /* not in the mask: must not be stored */
    check(set_game(&game, VANTOR_GAME_USER_NAME | VANTOR_GAME_LIVES) == 0,
          "SetGameConfigSettings returns 0");
    check(get_game(&again) == 1 && strcmp(again.UserName, "Commander") == 0 && again.Lives == 2 &&
              again.WavVolume == 80,
          "only the masked game values were stored");

    /* Key bindings: defaults on first start, then Fire rebound to Enter. */
    check(get_keys(&keys) == 0, "first GetKeyConfigSettings returns 0");
    check(memcmp(&keys, &key_defaults, sizeof keys) == 0,
          "first start gives the default key bindings");
    keys.Fire = key_defaults.Fire + 1;
    keys.Turbo = key_defaults.Turbo + 1; /* not in the mask */
    check(set_keys(&keys, VANTOR_KEY_FIRE) == 0, "SetKeyConfigSettings returns 0");
    check(get_keys(&keys) == 1 && keys.Fire == key_defaults.Fire + 1 &&
              keys.Turbo == key_defaults.Turbo,
          "only the masked key binding was stored");

    /* Reset everything, one way and another. */
    check(default_keys() == 0, "SetDefaultKeySettings returns 0");
    check(default_game() == 0, "SetDefaultGameSettings returns 0");
    check(all_defaults() == 0, "SetAllDefaults returns 0");
    check(create_keys() == 1, "CreateRegKeys returns 1");
    check(get_keys(&keys) == 1 && memcmp(&keys, &key_defaults, sizeof keys) == 0,
          "defaults restored the key bindings");
    check(get_game(&again) == 1 && strcmp(again.UserName, defaults.UserName) == 0 &&
              again.Lives == VANTOR_DEFAULT_LIVES,
          "defaults restored the game settings");

    check(FreeLibrary(module) != 0, "FreeLibrary succeeds");
    vantor_test_delete_tree("Software\\QUORIX");
    printf("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
}
