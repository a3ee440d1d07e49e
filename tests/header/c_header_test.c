/* The public header must compile as C, with every warning, and declare the
 * functions with the types a host relies on. */
#include "vantor.h"

typedef int32_t (*get_game_fn)(GameConfigSettings *);
typedef int32_t (*set_game_fn)(const GameConfigSettings *, uint32_t);
typedef int32_t (*get_keys_fn)(KeyConfigSettings *);
typedef int32_t (*set_keys_fn)(const KeyConfigSettings *, uint32_t);
typedef int32_t (*no_args_fn)(void);

int vantor_header_compiles_as_c(void);

int vantor_header_compiles_as_c(void) {
    get_game_fn get_game = GetGameConfigSettings;
    set_game_fn set_game = SetGameConfigSettings;
    get_keys_fn get_keys = GetKeyConfigSettings;
    set_keys_fn set_keys = SetKeyConfigSettings;
    no_args_fn defaults[4];
    defaults[0] = SetDefaultGameSettings;
    defaults[1] = SetDefaultKeySettings;
    defaults[2] = SetAllDefaults;
    defaults[3] = CreateRegKeys;
    return get_game != 0 && set_game != 0 && get_keys != 0 && set_keys != 0 &&
           defaults[3] != 0 && (VANTOR_MASK_ALL & VANTOR_KEY_WEAPONS) != 0;
}
