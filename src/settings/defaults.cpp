// Both records at once: reset to defaults, and make sure both keys exist.
#include "registry/registry.h"
#include "vantor.h"

extern "C" {

int32_t SetAllDefaults(void) {
    // Key bindings first; a failure there is reported ahead of the game's status.
    const int32_t keys = SetDefaultKeySettings();
    const int32_t game = SetDefaultGameSettings();
    return keys != vantor::reg::kSuccess ? keys : game;
}

int32_t CreateRegKeys(void) {
    // Creates whichever key is missing and overwrites every value with its default.
    return SetAllDefaults() == vantor::reg::kSuccess ? 1 : 0;
}

}  // extern "C"
