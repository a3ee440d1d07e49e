/* Reads both records as the game does on start-up and prints them. */
#include <stdio.h>

#include "vantor.h"

int main(void) {
    GameConfigSettings game = {0};
    KeyConfigSettings keys;
    int32_t game_read = GetGameConfigSettings(&game);
    int32_t keys_read = GetKeyConfigSettings(&keys);

    printf("[Game]%s\n", game_read ? "" : " (created with defaults)");
    printf("  User Name         %s\n", game.UserName);
    printf("  Session Name      %s\n", game.SessionName);
    printf("  Protocol          %s\n", game.Protocol);
    printf("  Last Map          %s\n", game.LastMap);
    printf("  Tank Type         %lu\n", (unsigned long)game.TankType);
    printf("  Scenario          %lu\n", (unsigned long)game.Scenario);
    printf("  Computer Players  %lu\n", (unsigned long)game.ComputerPlayers);
    printf("  MIDI Volume       %lu\n", (unsigned long)game.MidiVolume);
    printf("  WAV Volume        %lu\n", (unsigned long)game.WavVolume);
    printf("  Lives             %lu\n", (unsigned long)game.Lives);
    printf("  Quick Start       %lu\n", (unsigned long)game.QuickStart);
    printf("  Video Mode        %lu\n", (unsigned long)game.VideoMode);
    printf("[Keyboard]%s\n", keys_read ? "" : " (created with defaults)");
    printf("  MoveForward       %lu\n", (unsigned long)keys.MoveForward);
    printf("  MoveBackward      %lu\n", (unsigned long)keys.MoveBackward);
    printf("  TurnLeft          %lu\n", (unsigned long)keys.TurnLeft);
    printf("  TurnRight         %lu\n", (unsigned long)keys.TurnRight);
    printf("  RotateTurretLeft  %lu\n", (unsigned long)keys.RotateTurretLeft);
    printf("  RotateTurretRight %lu\n", (unsigned long)keys.RotateTurretRight);
    printf("  Brakes            %lu\n", (unsigned long)keys.Brakes);
    printf("  Weapons           %lu\n", (unsigned long)keys.Weapons);
    printf("  Fire              %lu\n", (unsigned long)keys.Fire);
    printf("  Turbo             %lu\n", (unsigned long)keys.Turbo);
    printf("  Repair            %lu\n", (unsigned long)keys.Repair);
    printf("  Targeting         %lu\n", (unsigned long)keys.Targeting);
    return 0;
}
