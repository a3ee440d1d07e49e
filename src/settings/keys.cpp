// Key bindings: "Software\QUORIX\Keyboard", twelve virtual-key codes.
#include <cstddef>

#include "registry/layout.h"
#include "vantor.h"

namespace {

using vantor::reg::Encoding;
using vantor::reg::Value;

#define VANTOR_KEY_VALUE(field, bit) \
    Value { #field, Encoding::kNumber, bit, offsetof(KeyConfigSettings, field) }

// Read order: the field order.
constexpr Value kKeyReadOrder[] = {
    VANTOR_KEY_VALUE(MoveForward, VANTOR_KEY_MOVE_FORWARD),
    VANTOR_KEY_VALUE(MoveBackward, VANTOR_KEY_MOVE_BACKWARD),
    VANTOR_KEY_VALUE(TurnLeft, VANTOR_KEY_TURN_LEFT),
    VANTOR_KEY_VALUE(TurnRight, VANTOR_KEY_TURN_RIGHT),
    VANTOR_KEY_VALUE(RotateTurretLeft, VANTOR_KEY_ROTATE_TURRET_LEFT),
    VANTOR_KEY_VALUE(RotateTurretRight, VANTOR_KEY_ROTATE_TURRET_RIGHT),
    VANTOR_KEY_VALUE(Brakes, VANTOR_KEY_BRAKES),
    VANTOR_KEY_VALUE(Weapons, VANTOR_KEY_WEAPONS),
    VANTOR_KEY_VALUE(Fire, VANTOR_KEY_FIRE),
    VANTOR_KEY_VALUE(Turbo, VANTOR_KEY_TURBO),
    VANTOR_KEY_VALUE(Repair, VANTOR_KEY_REPAIR),
    VANTOR_KEY_VALUE(Targeting, VANTOR_KEY_TARGETING),
};

// Write order: as the read order, except that "Fire" comes before "Weapons".
constexpr Value kKeyWriteOrder[] = {
    VANTOR_KEY_VALUE(MoveForward, VANTOR_KEY_MOVE_FORWARD),
    VANTOR_KEY_VALUE(MoveBackward, VANTOR_KEY_MOVE_BACKWARD),
    VANTOR_KEY_VALUE(TurnLeft, VANTOR_KEY_TURN_LEFT),
    VANTOR_KEY_VALUE(TurnRight, VANTOR_KEY_TURN_RIGHT),
    VANTOR_KEY_VALUE(RotateTurretLeft, VANTOR_KEY_ROTATE_TURRET_LEFT),
    VANTOR_KEY_VALUE(RotateTurretRight, VANTOR_KEY_ROTATE_TURRET_RIGHT),
    VANTOR_KEY_VALUE(Brakes, VANTOR_KEY_BRAKES),
    VANTOR_KEY_VALUE(Fire, VANTOR_KEY_FIRE),
    VANTOR_KEY_VALUE(Weapons, VANTOR_KEY_WEAPONS),
    VANTOR_KEY_VALUE(Turbo, VANTOR_KEY_TURBO),
    VANTOR_KEY_VALUE(Repair, VANTOR_KEY_REPAIR),
    VANTOR_KEY_VALUE(Targeting, VANTOR_KEY_TARGETING),
};

#undef VANTOR_KEY_VALUE

void put_key_defaults(KeyConfigSettings* settings) {
    settings->MoveForward = 38;        // Up arrow
    settings->MoveBackward = 40;       // Down arrow
    settings->TurnLeft = 37;           // Left arrow
    settings->TurnRight = 39;          // Right arrow
    settings->RotateTurretLeft = 65;   // A
    settings->RotateTurretRight = 83;  // S
    settings->Brakes = 68;             // D
    settings->Weapons = 9;             // Tab
    settings->Fire = 32;               // Space bar
    settings->Turbo = 84;              // T
    settings->Repair = 82;             // R
    settings->Targeting = 81;          // Q
}

}  // namespace

extern "C" {

int32_t GetKeyConfigSettings(KeyConfigSettings* settings) {
    put_key_defaults(settings);
    if (!vantor::reg::read_values(vantor::reg::kKeyboardKeyPath, settings, kKeyReadOrder)) {
        // Seed the key with the defaults; the write's outcome is not reported.
        SetKeyConfigSettings(settings, vantor::reg::kMaskAll);
        return 0;
    }
    return 1;
}

int32_t SetKeyConfigSettings(const KeyConfigSettings* settings, uint32_t mask) {
    return vantor::reg::write_values(vantor::reg::kKeyboardKeyPath, settings, mask, kKeyWriteOrder);
}

int32_t SetDefaultKeySettings(void) {
    KeyConfigSettings defaults;
    put_key_defaults(&defaults);
    return SetKeyConfigSettings(&defaults, vantor::reg::kMaskAll);
}

}  // extern "C"
