#include <stdio.h>
#include <string.h>

#include <vantor.h>

int main(void) {
    GameConfigSettings game;
    KeyConfigSettings keys;
    memset(&game, 0, sizeof game);
    if (GetGameConfigSettings(&game) != 0) return 1; /* a fresh store is seeded */
    if (GetKeyConfigSettings(&keys) != 0) return 1;
    if (GetGameConfigSettings(&game) != 1 || strcmp(game.SessionName, "Tanks") != 0) return 1;
    if (keys.Fire != 32 || CreateRegKeys() != 1) return 1;
    puts("host ok");
    return 0;
}
