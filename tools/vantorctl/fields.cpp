#include "fields.h"

#include <cstring>
#include <iterator>

#include "text.h"

namespace vantorctl {
namespace {

constexpr RecordId kGame = RecordId::kGame;
constexpr RecordId kKeys = RecordId::kKeys;

#define VANTORCTL_GAME_TEXT(name, field, bit, text) \
    Field { name, #field, kGame, Kind::kText, bit, offsetof(GameConfigSettings, field), text, 0 }
#define VANTORCTL_GAME_NUMBER(name, field, bit, number)                                          \
    Field {                                                                                      \
        name, #field, kGame, Kind::kNumber, bit, offsetof(GameConfigSettings, field), "", number \
    }
#define VANTORCTL_KEY(field, bit, code) \
    Field { #field, #field, kKeys, Kind::kKey, bit, offsetof(KeyConfigSettings, field), "", code }

constexpr Field kFields[] = {
    VANTORCTL_GAME_TEXT("User Name", UserName, VANTOR_GAME_USER_NAME, "Your Name Here"),
    VANTORCTL_GAME_TEXT("Session Name", SessionName, VANTOR_GAME_SESSION_NAME, "Tanks"),
    VANTORCTL_GAME_TEXT("Protocol", Protocol, VANTOR_GAME_PROTOCOL, "Not Used"),
    VANTORCTL_GAME_TEXT("Last Map", LastMap, VANTOR_GAME_LAST_MAP, "Not Used"),
    VANTORCTL_GAME_NUMBER("Tank Type", TankType, VANTOR_GAME_TANK_TYPE, 0),
    VANTORCTL_GAME_NUMBER("Scenario", Scenario, VANTOR_GAME_SCENARIO, 0),
    VANTORCTL_GAME_NUMBER("Computer Players", ComputerPlayers, VANTOR_GAME_COMPUTER_PLAYERS, 0),
    VANTORCTL_GAME_NUMBER("MIDI Volume", MidiVolume, VANTOR_GAME_MIDI_VOLUME,
                          VANTOR_DEFAULT_MIDI_VOLUME),
    VANTORCTL_GAME_NUMBER("WAV Volume", WavVolume, VANTOR_GAME_WAV_VOLUME,
                          VANTOR_DEFAULT_WAV_VOLUME),
    VANTORCTL_GAME_NUMBER("Lives", Lives, VANTOR_GAME_LIVES, VANTOR_DEFAULT_LIVES),
    VANTORCTL_GAME_NUMBER("Quick Start", QuickStart, VANTOR_GAME_QUICK_START,
                          VANTOR_DEFAULT_QUICK_START),
    VANTORCTL_GAME_NUMBER("Video Mode", VideoMode, VANTOR_GAME_VIDEO_MODE,
                          VANTOR_DEFAULT_VIDEO_MODE),
    VANTORCTL_KEY(MoveForward, VANTOR_KEY_MOVE_FORWARD, 38),
    VANTORCTL_KEY(MoveBackward, VANTOR_KEY_MOVE_BACKWARD, 40),
    VANTORCTL_KEY(TurnLeft, VANTOR_KEY_TURN_LEFT, 37),
    VANTORCTL_KEY(TurnRight, VANTOR_KEY_TURN_RIGHT, 39),
    VANTORCTL_KEY(RotateTurretLeft, VANTOR_KEY_ROTATE_TURRET_LEFT, 65),
    VANTORCTL_KEY(RotateTurretRight, VANTOR_KEY_ROTATE_TURRET_RIGHT, 83),
    VANTORCTL_KEY(Brakes, VANTOR_KEY_BRAKES, 68),
    VANTORCTL_KEY(Weapons, VANTOR_KEY_WEAPONS, 9),
    VANTORCTL_KEY(Fire, VANTOR_KEY_FIRE, 32),
    VANTORCTL_KEY(Turbo, VANTOR_KEY_TURBO, 84),
    VANTORCTL_KEY(Repair, VANTOR_KEY_REPAIR, 82),
    VANTORCTL_KEY(Targeting, VANTOR_KEY_TARGETING, 81),
};

#undef VANTORCTL_GAME_TEXT
#undef VANTORCTL_GAME_NUMBER
#undef VANTORCTL_KEY

const unsigned char* field_bytes(const Records& records, const Field& field) {
    const void* record = field.record == kGame ? static_cast<const void*>(&records.game)
                                               : static_cast<const void*>(&records.keys);
    return static_cast<const unsigned char*>(record) + field.offset;
}

unsigned char* field_bytes(Records& records, const Field& field) {
    return const_cast<unsigned char*>(field_bytes(static_cast<const Records&>(records), field));
}

}  // namespace

const Field* fields_begin() { return std::begin(kFields); }
const Field* fields_end() { return std::end(kFields); }

const Field* find_field(std::string_view name) {
    for (const Field& field : kFields) {
        if (iequals(name, field.name) || iequals(name, field.alias)) return &field;
    }
    return nullptr;
}

std::string field_names() {
    std::string names;
    for (const Field& field : kFields) {
        if (!names.empty()) names += ", ";
        names += '"';
        names += field.name;
        names += '"';
    }
    return names;
}

const char* record_key_path(RecordId record) {
    return record == kGame ? "Software\\QUORIX\\Game" : "Software\\QUORIX\\Keyboard";
}

std::string get_text(const Records& records, const Field& field) {
    // The library keeps every text NUL-terminated; stop at the field's end all
    // the same.
    const char* text = reinterpret_cast<const char*>(field_bytes(records, field));
    std::size_t length = 0;
    while (length < VANTOR_TEXT_SIZE && text[length] != '\0') ++length;
    return std::string(text, length);
}

std::uint32_t get_number(const Records& records, const Field& field) {
    std::uint32_t number;
    std::memcpy(&number, field_bytes(records, field), sizeof number);
    return number;
}

void put_text(Records& records, const Field& field, std::string_view text) {
    char* bytes = reinterpret_cast<char*>(field_bytes(records, field));
    const std::size_t length = text.size() < VANTOR_TEXT_MAX ? text.size() : VANTOR_TEXT_MAX;
    std::memset(bytes, 0, VANTOR_TEXT_SIZE);
    std::memcpy(bytes, text.data(), length);
}

void put_number(Records& records, const Field& field, std::uint32_t number) {
    std::memcpy(field_bytes(records, field), &number, sizeof number);
}

bool is_default(const Records& records, const Field& field) {
    return field.kind == Kind::kText ? get_text(records, field) == field.default_text
                                     : get_number(records, field) == field.default_number;
}

}  // namespace vantorctl
