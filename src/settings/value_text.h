// What each stored value means to the game and which values it takes, as
// people read them: the words that vantorctl's list and vantor-setup's
// pages show beside each value, kept with the value table so that both
// programs say the same.
#pragma once

#include <cstdint>
#include <iterator>

#include "settings/value_table.h"

namespace vantor::settings {

namespace meaning {
// By record field; kMeanings picks them in the value table's order, so a
// value without an entry does not compile.
constexpr const char* UserName = "the player's name";
constexpr const char* SessionName = "the name of a network game";
constexpr const char* Protocol = "";
constexpr const char* LastMap = "";
constexpr const char* TankType = "";
constexpr const char* Scenario = "";
constexpr const char* ComputerPlayers = "how many tanks the computer drives";
constexpr const char* MidiVolume = "music volume";
constexpr const char* WavVolume = "sound effects volume";
constexpr const char* Lives = "lives per game";
constexpr const char* QuickStart = "";
constexpr const char* VideoMode = "";
constexpr const char* MoveForward = "drive forward";
constexpr const char* MoveBackward = "drive backward";
constexpr const char* TurnLeft = "turn the tank left";
constexpr const char* TurnRight = "turn the tank right";
constexpr const char* RotateTurretLeft = "turn the turret left";
constexpr const char* RotateTurretRight = "turn the turret right";
constexpr const char* Brakes = "brake";
constexpr const char* Weapons = "change weapons";
constexpr const char* Fire = "fire";
constexpr const char* Turbo = "turbo";
constexpr const char* Repair = "repair";
constexpr const char* Targeting = "targeting";

inline constexpr const char* kMeanings[] = {
#define VANTOR_GAME_TEXT(name, field, ...) field,
#define VANTOR_GAME_NUMBER(name, field, ...) field,
#define VANTOR_KEY_CODE(field, ...) field,
#include "settings/values.def"
#undef VANTOR_GAME_TEXT
#undef VANTOR_GAME_NUMBER
#undef VANTOR_KEY_CODE
};
static_assert(std::size(kMeanings) == std::size(kSettings));
}  // namespace meaning

// What the value means to the game, where known, or an empty string.
constexpr const char* value_meaning(const Setting& setting) {
    return meaning::kMeanings[static_cast<std::size_t>(&setting - kSettings)];
}

// The values a setting takes: a number from `min` to `max`, or a text of
// at most `max` characters.
struct Range {
    std::uint32_t min;
    std::uint32_t max;
    const char* text;  // as people read it: "0 to 4294967295"
};

constexpr Range value_range(const Setting& setting) {
    switch (setting.kind) {
        case Kind::kText:
            return {0, VANTOR_TEXT_MAX, "text, 0 to 255 characters"};
        case Kind::kNumber:
            return {0, UINT32_MAX, "0 to 4294967295"};
        case Kind::kKey:
            break;
    }
    return {1, 254, "key, code 1 to 254"};
}

}  // namespace vantor::settings
