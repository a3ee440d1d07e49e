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
    GameConfigSettings game, again;
    KeyConfigSettings keys;

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
    check(strcmp(game.UserName, "Your Name Here") == 0 && strcmp(game.SessionName, "Tanks") == 0 &&
              strcmp(game.Protocol, "Not Used") == 0 && strcmp(game.LastMap, "Not Used") == 0,
          "first start gives the default texts");
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
    check(keys.MoveForward == 38 && keys.Weapons == 9 && keys.Fire == 32 && keys.Targeting == 81,
          "first start gives the default key bindings");
    keys.Fire = 13;
    keys.Turbo = 16; /* not in the mask */
    check(set_keys(&keys, VANTOR_KEY_FIRE) == 0, "SetKeyConfigSettings returns 0");
    check(get_keys(&keys) == 1 && keys.Fire == 13 && keys.Turbo == 84,
          "only the masked key binding was stored");

    /* Reset everything, one way and another. */
    check(default_keys() == 0, "SetDefaultKeySettings returns 0");
    check(default_game() == 0, "SetDefaultGameSettings returns 0");
    check(all_defaults() == 0, "SetAllDefaults returns 0");
    check(create_keys() == 1, "CreateRegKeys returns 1");
    check(get_keys(&keys) == 1 && keys.Fire == 32, "defaults restored the key bindings");
    check(get_game(&again) == 1 && strcmp(again.UserName, "Your Name Here") == 0 &&
              again.Lives == VANTOR_DEFAULT_LIVES,
          "defaults restored the game settings");

    check(FreeLibrary(module) != 0, "FreeLibrary succeeds");
    vantor_test_delete_tree("Software\\QUORIX");
    printf("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
}
