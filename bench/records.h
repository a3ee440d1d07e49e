// The two versions of each record both benchmarks store, value for value:
// they differ in every value but serialize to the same length, so that
// alternating between them keeps the hive's size.
#pragma once

#include <cstdint>
#include <cstdio>

#include "vantor.h"

inline GameConfigSettings game_record(int which) {
    GameConfigSettings game{};
    std::snprintf(game.UserName, sizeof game.UserName, "Commander %d", which);
    std::snprintf(game.SessionName, sizeof game.SessionName, "Evening match %d", which);
    std::snprintf(game.Protocol, sizeof game.Protocol, "TCP/IP %d", which);
    std::snprintf(game.LastMap, sizeof game.LastMap, "Desert Pass %d", which);
    const auto n = static_cast<std::uint32_t>(which);
    game.TankType = 1 + n;
    game.Scenario = 3 + n;
    game.ComputerPlayers = 5 + n;
    game.Lives = 7 + n;
    game.QuickStart = n;
    game.MidiVolume = 60 + n;
    game.WavVolume = 80 + n;
    game.VideoMode = 2 + n;
    return game;
}

inline KeyConfigSettings key_record(int which) {
    const auto n = static_cast<std::uint32_t>(which);
    return KeyConfigSettings{70 + n, 72 + n, 74 + n, 76 + n, 78 + n, 80 + n,
                             82 + n, 84 + n, 86 + n, 88 + n, 90 + n, 92 + n};
}
