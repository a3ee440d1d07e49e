// Game settings: "Software\QUORIX\Game", twelve values.
#include <cstddef>
#include <cstring>

#include "registry/layout.h"
#include "vantor.h"

namespace {

using vantor::reg::Encoding;
using vantor::reg::Value;

// Read and write order: the order of the mask bits, not the field order.
constexpr Value kGameValues[] = {
    {"User Name", Encoding::kText, VANTOR_GAME_USER_NAME, offsetof(GameConfigSettings, UserName)},
    {"Session Name", Encoding::kText, VANTOR_GAME_SESSION_NAME,
     offsetof(GameConfigSettings, SessionName)},
    {"Protocol", Encoding::kText, VANTOR_GAME_PROTOCOL, offsetof(GameConfigSettings, Protocol)},
    {"Last Map", Encoding::kText, VANTOR_GAME_LAST_MAP, offsetof(GameConfigSettings, LastMap)},
    {"Tank Type", Encoding::kNumber, VANTOR_GAME_TANK_TYPE, offsetof(GameConfigSettings, TankType)},
    {"Scenario", Encoding::kNumber, VANTOR_GAME_SCENARIO, offsetof(GameConfigSettings, Scenario)},
    {"Computer Players", Encoding::kNumber, VANTOR_GAME_COMPUTER_PLAYERS,
     offsetof(GameConfigSettings, ComputerPlayers)},
    {"MIDI Volume", Encoding::kNumber, VANTOR_GAME_MIDI_VOLUME,
     offsetof(GameConfigSettings, MidiVolume)},
    {"WAV Volume", Encoding::kNumber, VANTOR_GAME_WAV_VOLUME,
     offsetof(GameConfigSettings, WavVolume)},
    {"Lives", Encoding::kNumber, VANTOR_GAME_LIVES, offsetof(GameConfigSettings, Lives)},
    {"Quick Start", Encoding::kNumber, VANTOR_GAME_QUICK_START,
     offsetof(GameConfigSettings, QuickStart)},
    {"Video Mode", Encoding::kNumber, VANTOR_GAME_VIDEO_MODE,
     offsetof(GameConfigSettings, VideoMode)},
};

// Puts the defaults of the first seven fields into the record. A default
// text is copied with its NUL; the rest of the field is left as it was.
void put_game_defaults(GameConfigSettings* settings) {
    std::strcpy(settings->UserName, "Your Name Here");
    std::strcpy(settings->SessionName, "Tanks");
    std::strcpy(settings->Protocol, "Not Used");
    std::strcpy(settings->LastMap, "Not Used");
    settings->TankType = 0;
    settings->Scenario = 0;
    settings->ComputerPlayers = 0;
}

}  // namespace

extern "C" {

int32_t GetGameConfigSettings(GameConfigSettings* settings) {
    put_game_defaults(settings);
    if (!vantor::reg::read_values(vantor::reg::kGameKeyPath, settings, kGameValues)) {
        // First run (or a key that cannot be opened): seed it with what the
        // record now holds. The write's outcome is not reported.
        SetGameConfigSettings(settings, vantor::reg::kMaskAll);
        return 0;
    }
    return 1;
}

int32_t SetGameConfigSettings(const GameConfigSettings* settings, uint32_t mask) {
    return vantor::reg::write_values(vantor::reg::kGameKeyPath, settings, mask, kGameValues);
}

int32_t SetDefaultGameSettings(void) {
    GameConfigSettings defaults{};
    put_game_defaults(&defaults);
    defaults.Lives = VANTOR_DEFAULT_LIVES;
    defaults.QuickStart = VANTOR_DEFAULT_QUICK_START;
    defaults.MidiVolume = VANTOR_DEFAULT_MIDI_VOLUME;
    defaults.WavVolume = VANTOR_DEFAULT_WAV_VOLUME;
    defaults.VideoMode = VANTOR_DEFAULT_VIDEO_MODE;
    return SetGameConfigSettings(&defaults, vantor::reg::kMaskAll);
}

}  // extern "C"
