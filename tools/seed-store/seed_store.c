/*
 * seed-store HIVE: creates in the hive file HIVE each of the two settings
 * keys it lacks, holding the defaults, and leaves a key that is there, with
 * every value in it, as it is. The packages' install runs it on the
 * machine's store, as the game's installer creates the keys on Windows, so
 * that every user finds the machine's values from the first run on.
 *
 * It goes through the library's readers, which seed the key they cannot
 * find: the defaults are the library's own. The five game numbers a reader
 * leaves to the host are given the values the defaults functions store.
 *
 * Exit status: 0 when both keys are in HIVE afterwards; 1 when one could be
 * neither read nor created (the message says what to do); 2 for bad usage.
 */
#define _POSIX_C_SOURCE 200809L /* setenv */

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vantor.h>

static int both_keys_read(void) {
    GameConfigSettings game;
    KeyConfigSettings keys;
    int read = 1;
    memset(&game, 0, sizeof game);
    memset(&keys, 0, sizeof keys);
    game.MidiVolume = VANTOR_DEFAULT_MIDI_VOLUME;
    game.WavVolume = VANTOR_DEFAULT_WAV_VOLUME;
    game.Lives = VANTOR_DEFAULT_LIVES;
    game.QuickStart = VANTOR_DEFAULT_QUICK_START;
    game.VideoMode = VANTOR_DEFAULT_VIDEO_MODE;
    /* As CreateRegKeys writes them: the key bindings first. */
    if (GetKeyConfigSettings(&keys) != 1) read = 0;
    if (GetGameConfigSettings(&game) != 1) read = 0;
    return read;
}

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '\0' || argv[1][0] == '-') {
        fputs(
            "usage: seed-store HIVE\n"
            "Creates the settings keys HIVE lacks, with their defaults.\n",
            stderr);
        return 2;
    }
    /* The one hive named, whoever runs this and whatever their environment. */
    if (setenv("VANTOR_REGISTRY", argv[1], 1) != 0) {
        perror("seed-store: setenv");
        return 1;
    }
    /* A reader that finds no key seeds it; a second read tells whether both
     * keys are there now. */
    both_keys_read();
    if (!both_keys_read()) {
        fprintf(stderr,
                "seed-store: %s: the settings keys could not be created: the hive does not "
                "parse, or its folder cannot be written ('vantorctl --registry %s show' tells "
                "which).\n",
                argv[1], argv[1]);
        return 1;
    }
    return 0;
}
