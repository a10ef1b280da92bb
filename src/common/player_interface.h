// What the launcher and a player library share: the block handed to the
// player, where the player library was found, and the launch status codes.
// Portable: no <windows.h>.
#pragma once

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define LUMV_STDCALL __attribute__((stdcall))
#else
#define LUMV_STDCALL
#endif

// Why a launch failed. 1 is never stored: it only names the message shown
// when the player itself returned 0.
enum LaunchStatus : int32_t {
    LaunchOk = 0,
    LaunchPlayerReturnedZero = 1,
    LaunchRuntimeNotFound = 2,
    LaunchPlayerNotFound = 3,
    LaunchEntryPointMissing = 4,
    LaunchCurrentDirectoryUnreadable = 5,
    LaunchRunFolderPlayerNotLoadable = 6,
    LaunchPayloadFailed = 7,
    // Bytes follow the executable's image that are neither a payload nor a
    // signature: a presentation cut short or damaged. Its box says that the
    // application cannot be started; no player is looked for.
    LaunchPayloadDamaged = 8,
};

// Where lumv.dll was loaded from; meaningful only after a successful search.
enum PlayerLocation : int32_t {
    PlayerLocationNone = 0,
    PlayerLocationExeFolder = 1,
    PlayerLocationRunTempFolder = 2,
    PlayerLocationKivoxFolder = 3,
    PlayerLocationSystemInstall = 4,
};

typedef int32_t(LUMV_STDCALL *CloseSplashProc)(uint32_t threadId);

// The block handed to LumivanceMain. It crosses into the player library, so
// its layout is fixed. On 32-bit Windows it is six little-endian 32-bit words
// (24 bytes, no gaps). The 64-bit launcher uses the same fields in the same
// order with natural widths: pointers are 8 bytes, splashThreadId is followed
// by 4 bytes of padding, and the block is 40 bytes long; blockSize always
// holds the real size, so a player can tell the two layouts apart.
struct PlayerParams {
    int32_t blockVersion;         // always 1
    uint32_t blockSize;           // sizeof(PlayerParams)
    CloseSplashProc closeSplash;  // null when no splash is shown
    uint32_t splashThreadId;      // 0 when no splash is shown
    char *tempFolderPath;         // run folder path ending in '\', or null
    int32_t playerLocation;       // a PlayerLocation code
};

enum { PlayerParamsVersion = 1 };

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(PlayerParams) == 24, "PlayerParams is 24 bytes on 32-bit Windows");
static_assert(offsetof(PlayerParams, blockVersion) == 0, "blockVersion at 0");
static_assert(offsetof(PlayerParams, blockSize) == 4, "blockSize at 4");
static_assert(offsetof(PlayerParams, closeSplash) == 8, "closeSplash at 8");
static_assert(offsetof(PlayerParams, splashThreadId) == 12, "splashThreadId at 12");
static_assert(offsetof(PlayerParams, tempFolderPath) == 16, "tempFolderPath at 16");
static_assert(offsetof(PlayerParams, playerLocation) == 20, "playerLocation at 20");
#elif defined(_WIN64)
static_assert(sizeof(PlayerParams) == 40, "PlayerParams is 40 bytes on 64-bit Windows");
static_assert(offsetof(PlayerParams, closeSplash) == 8, "closeSplash at 8");
static_assert(offsetof(PlayerParams, splashThreadId) == 16, "splashThreadId at 16");
static_assert(offsetof(PlayerParams, tempFolderPath) == 24, "tempFolderPath at 24");
static_assert(offsetof(PlayerParams, playerLocation) == 32, "playerLocation at 32");
#endif

// LumivanceMain(hInstance, hPrevInstance, lpCmdLine, nCmdShow, params), stdcall
// on 32-bit Windows. Handles are passed as opaque pointers here.
typedef int32_t(LUMV_STDCALL *LumivanceMainProc)(void *instance, void *prevInstance, char *cmdLine,
                                                 int32_t cmdShow, PlayerParams *params);
