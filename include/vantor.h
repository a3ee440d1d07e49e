/*
 * vantor: settings for the tank game, kept in the machine-wide registry.
 *
 * Two fixed records travel between the host and the library by pointer:
 * GameConfigSettings (under "Software\QUORIX\Game") and KeyConfigSettings
 * (under "Software\QUORIX\Keyboard"). Each function does its whole work
 * inside the call, keeps nothing between calls and may be called from any
 * thread. The host owns every record; pointers must be valid.
 *
 * Two return conventions sit side by side; test each function by its own:
 *   - writers and defaults functions return a registry status code,
 *     0 (ERROR_SUCCESS) for success;
 *   - the readers and CreateRegKeys return 1 for success and 0 otherwise.
 */
#ifndef VANTOR_H
#define VANTOR_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/*
 * VANTOR_EXTERN(type) declares an exported function: plain C linkage,
 * undecorated name, __cdecl on Windows (the caller cleans the stack).
 * The Windows DLL exports through its .def file; on other platforms the
 * library is built with hidden visibility and only these functions are
 * visible.
 */
#if defined(_WIN32)
#  define VANTOR_CALL __cdecl
#  if defined(VANTOR_BUILDING)
#    define VANTOR_EXTERN(type) type VANTOR_CALL
#  elif defined(VANTOR_STATIC)
#    define VANTOR_EXTERN(type) extern type VANTOR_CALL
#  else
#    define VANTOR_EXTERN(type) extern __declspec(dllimport) type VANTOR_CALL
#  endif
#else
#  define VANTOR_CALL
#  if defined(__GNUC__)
#    define VANTOR_EXTERN(type) extern __attribute__((visibility("default"))) type
#  else
#    define VANTOR_EXTERN(type) extern type
#  endif
#endif

/* Size of every text field, including its terminating NUL. */
#define VANTOR_TEXT_SIZE 256
/* Longest text a field holds: the field's size less its NUL. */
#define VANTOR_TEXT_MAX 255

/*
 * Each field of the two records is stored as one registry value of its key.
 * docs/store.md lists the value names and defaults.
 */

/* Game settings: four texts, then eight 32-bit numbers, 1056 bytes. */
typedef struct GameConfigSettings {
    char UserName[VANTOR_TEXT_SIZE];    /* bit 0x001 */
    char SessionName[VANTOR_TEXT_SIZE]; /* bit 0x002 */
    char Protocol[VANTOR_TEXT_SIZE];    /* bit 0x004 */
    char LastMap[VANTOR_TEXT_SIZE];     /* bit 0x008 */
    uint32_t TankType;                  /* bit 0x010 */
    uint32_t Scenario;                  /* bit 0x020 */
    uint32_t ComputerPlayers;           /* bit 0x040 */
    uint32_t Lives;                     /* bit 0x200 */
    uint32_t QuickStart;                /* bit 0x400 */
    uint32_t MidiVolume;                /* bit 0x080 */
    uint32_t WavVolume;                 /* bit 0x100 */
    uint32_t VideoMode;                 /* bit 0x800 */
} GameConfigSettings;

/* Key bindings: twelve virtual-key codes, 48 bytes. */
typedef struct KeyConfigSettings {
    uint32_t MoveForward;       /* bit 0x001 */
    uint32_t MoveBackward;      /* bit 0x002 */
    uint32_t TurnLeft;          /* bit 0x004 */
    uint32_t TurnRight;         /* bit 0x008 */
    uint32_t RotateTurretLeft;  /* bit 0x010 */
    uint32_t RotateTurretRight; /* bit 0x020 */
    uint32_t Brakes;            /* bit 0x040 */
    uint32_t Weapons;           /* bit 0x400 */
    uint32_t Fire;              /* bit 0x080 */
    uint32_t Turbo;             /* bit 0x100 */
    uint32_t Repair;            /* bit 0x200 */
    uint32_t Targeting;         /* bit 0x800 */
} KeyConfigSettings;

/* Write-mask bits of GameConfigSettings. They do not follow field order. */
#define VANTOR_GAME_USER_NAME        0x001u
#define VANTOR_GAME_SESSION_NAME     0x002u
#define VANTOR_GAME_PROTOCOL         0x004u
#define VANTOR_GAME_LAST_MAP         0x008u
#define VANTOR_GAME_TANK_TYPE        0x010u
#define VANTOR_GAME_SCENARIO         0x020u
#define VANTOR_GAME_COMPUTER_PLAYERS 0x040u
#define VANTOR_GAME_MIDI_VOLUME      0x080u
#define VANTOR_GAME_WAV_VOLUME       0x100u
#define VANTOR_GAME_LIVES            0x200u
#define VANTOR_GAME_QUICK_START      0x400u
#define VANTOR_GAME_VIDEO_MODE       0x800u

/* Write-mask bits of KeyConfigSettings. They do not follow field order. */
#define VANTOR_KEY_MOVE_FORWARD        0x001u
#define VANTOR_KEY_MOVE_BACKWARD       0x002u
#define VANTOR_KEY_TURN_LEFT           0x004u
#define VANTOR_KEY_TURN_RIGHT          0x008u
#define VANTOR_KEY_ROTATE_TURRET_LEFT  0x010u
#define VANTOR_KEY_ROTATE_TURRET_RIGHT 0x020u
#define VANTOR_KEY_BRAKES              0x040u
#define VANTOR_KEY_FIRE                0x080u
#define VANTOR_KEY_TURBO               0x100u
#define VANTOR_KEY_REPAIR              0x200u
#define VANTOR_KEY_WEAPONS             0x400u
#define VANTOR_KEY_TARGETING           0x800u

/* Selects all twelve values of either record; higher bits are ignored. */
#define VANTOR_MASK_ALL 0xFFFu

/*
 * What the defaults functions store for the five game numbers that have no
 * default of their own (the other seven defaults are fixed texts and zeros).
 */
#define VANTOR_DEFAULT_LIVES        0u
#define VANTOR_DEFAULT_QUICK_START  0u
#define VANTOR_DEFAULT_MIDI_VOLUME  0u
#define VANTOR_DEFAULT_WAV_VOLUME   0u
#define VANTOR_DEFAULT_VIDEO_MODE   0u

/*
 * Fills *settings from the game key: returns 1 when the key was opened and
 * read, and 0 when it could not be opened, in which case the record holds the
 * seven defaults and the caller's own five numbers. A key that was missing
 * is seeded: a write of that whole record has been attempted to make it
 * (when another program made the key meanwhile, nothing is written and what
 * it holds is read, for 1). A key that is there but could not be read is
 * left as it is.
 */
VANTOR_EXTERN(int32_t) GetGameConfigSettings(GameConfigSettings *settings);

/*
 * Stores the game values whose bits are set in mask, from *settings, which is
 * not changed: returns 0 when the key was created or opened and every
 * selected write succeeded, or else the first failing registry status.
 */
VANTOR_EXTERN(int32_t) SetGameConfigSettings(const GameConfigSettings *settings, uint32_t mask);

/*
 * Stores all twelve game defaults, overwriting what is there: returns 0 on
 * success or else the first failing registry status.
 */
VANTOR_EXTERN(int32_t) SetDefaultGameSettings(void);

/*
 * Fills *settings from the keyboard key: returns 1 when the key was opened
 * and read, and 0 when it could not be opened, in which case the record holds
 * the twelve defaults; a key that was missing is seeded with them, as
 * GetGameConfigSettings() seeds its own.
 */
VANTOR_EXTERN(int32_t) GetKeyConfigSettings(KeyConfigSettings *settings);

/*
 * Stores the key bindings whose bits are set in mask, from *settings, which is
 * not changed: returns 0 when the key was created or opened and every
 * selected write succeeded, or else the first failing registry status.
 */
VANTOR_EXTERN(int32_t) SetKeyConfigSettings(const KeyConfigSettings *settings, uint32_t mask);

/*
 * Stores the twelve default key bindings, overwriting what is there: returns
 * 0 on success or else the first failing registry status.
 */
VANTOR_EXTERN(int32_t) SetDefaultKeySettings(void);

/*
 * Stores the defaults of both records, key bindings first: returns the key
 * bindings' failing status if that write failed, and otherwise the game
 * defaults' status (0 when both succeeded).
 */
VANTOR_EXTERN(int32_t) SetAllDefaults(void);

/*
 * Creates both keys if missing and overwrites all their values with the
 * defaults: returns 1 when both records were written and 0 otherwise.
 */
VANTOR_EXTERN(int32_t) CreateRegKeys(void);

/*
 * The eight functions as pointer types, for a host that loads the library
 * at run time (LoadLibraryA and GetProcAddress) rather than linking it:
 *   VantorGetGameConfigSettings get =
 *       (VantorGetGameConfigSettings)GetProcAddress(module, "GetGameConfigSettings");
 */
typedef int32_t(VANTOR_CALL *VantorGetGameConfigSettings)(GameConfigSettings *settings);
typedef int32_t(VANTOR_CALL *VantorSetGameConfigSettings)(const GameConfigSettings *settings,
                                                          uint32_t mask);
typedef int32_t(VANTOR_CALL *VantorSetDefaultGameSettings)(void);
typedef int32_t(VANTOR_CALL *VantorGetKeyConfigSettings)(KeyConfigSettings *settings);
typedef int32_t(VANTOR_CALL *VantorSetKeyConfigSettings)(const KeyConfigSettings *settings,
                                                         uint32_t mask);
typedef int32_t(VANTOR_CALL *VantorSetDefaultKeySettings)(void);
typedef int32_t(VANTOR_CALL *VantorSetAllDefaults)(void);
typedef int32_t(VANTOR_CALL *VantorCreateRegKeys)(void);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* The records are shared with the host byte for byte: fix their layout. */
#if defined(__cplusplus) && __cplusplus >= 201103L
#  define VANTOR_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#  define VANTOR_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#else
#  define VANTOR_PASTE_(a, b) a##b
#  define VANTOR_PASTE(a, b) VANTOR_PASTE_(a, b)
#  define VANTOR_STATIC_ASSERT(cond, msg) \
      typedef char VANTOR_PASTE(vantor_static_assert_, __LINE__)[(cond) ? 1 : -1]
#endif

VANTOR_STATIC_ASSERT(sizeof(GameConfigSettings) == 1056, "GameConfigSettings is 1056 bytes");
VANTOR_STATIC_ASSERT(offsetof(GameConfigSettings, SessionName) == 256, "SessionName at 256");
VANTOR_STATIC_ASSERT(offsetof(GameConfigSettings, Protocol) == 512, "Protocol at 512");
VANTOR_STATIC_ASSERT(offsetof(GameConfigSettings, LastMap) == 768, "LastMap at 768");
VANTOR_STATIC_ASSERT(offsetof(GameConfigSettings, TankType) == 1024, "TankType at 1024");
VANTOR_STATIC_ASSERT(offsetof(GameConfigSettings, Lives) == 1036, "Lives at 1036");
VANTOR_STATIC_ASSERT(offsetof(GameConfigSettings, MidiVolume) == 1044, "MidiVolume at 1044");
VANTOR_STATIC_ASSERT(offsetof(GameConfigSettings, VideoMode) == 1052, "VideoMode at 1052");
VANTOR_STATIC_ASSERT(sizeof(KeyConfigSettings) == 48, "KeyConfigSettings is 48 bytes");
VANTOR_STATIC_ASSERT(offsetof(KeyConfigSettings, Weapons) == 28, "Weapons at 28");
VANTOR_STATIC_ASSERT(offsetof(KeyConfigSettings, Fire) == 32, "Fire at 32");
VANTOR_STATIC_ASSERT(offsetof(KeyConfigSettings, Targeting) == 44, "Targeting at 44");

#endif /* VANTOR_H */
