#include <stdio.h>
#include <string.h>
#include <vantor.h>

/* What a fresh store must hold: the defaults, from the library's value table
 * (its folder is on the include path of this test only). */
static void put_defaults(GameConfigSettings* game, KeyConfigSettings* keys) {
#define VANTOR_GAME_TEXT(name, field, bit, text, write) strcpy(game->field, text);
#define VANTOR_GAME_NUMBER(name, field, bit, number, fallback, write) game->field = number;
#define VANTOR_KEY_CODE(field, bit, code, write) keys->field = code;
#include "settings/values.def"
}

int main(void) {
    GameConfigSettings game, default_game;
    KeyConfigSettings keys, default_keys;
    memset(&game, 0, sizeof game);
    memset(&default_game, 0, sizeof default_game);
    put_defaults(&default_game, &default_keys);
    if (GetGameConfigSettings(&game) != 0) return 1; /* a fresh store is seeded */
    if (GetKeyConfigSettings(&keys) != 0) return 1;
    if (GetGameConfigSettings(&game) != 1 ||
        strcmp(game.SessionName, default_game.SessionName) != 0)
        return 1;
    if (keys.Fire != default_keys.Fire || CreateRegKeys() != 1) return 1;
    puts("host ok");
    return 0;
}
