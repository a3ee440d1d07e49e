// The eight exported functions: each record's reader, writer and defaults,
// and both records at once.
#include "settings/records.h"
#include "vantor.h"

using vantor::settings::read_record;
using vantor::settings::Record;
using vantor::settings::write_defaults;
using vantor::settings::write_record;

extern "C" {

int32_t GetGameConfigSettings(GameConfigSettings* settings) {
    return read_record(Record::kGame, settings);
}

int32_t SetGameConfigSettings(const GameConfigSettings* settings, uint32_t mask) {
    return write_record(Record::kGame, settings, mask);
}

int32_t SetDefaultGameSettings(void) { return write_defaults(Record::kGame); }

int32_t GetKeyConfigSettings(KeyConfigSettings* settings) {
    return read_record(Record::kKeys, settings);
}

int32_t SetKeyConfigSettings(const KeyConfigSettings* settings, uint32_t mask) {
    return write_record(Record::kKeys, settings, mask);
}

int32_t SetDefaultKeySettings(void) { return write_defaults(Record::kKeys); }

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
