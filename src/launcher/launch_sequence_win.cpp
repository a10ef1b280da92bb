// The launch sequence: splash, payload, library search, the player call,
// unloading, clean-up and the report, in that order. It owns the run's state
// and hands it to the steps that share it.
#include "launch_sequence.h"

#include "cleanup/clean_up.h"
#include "common/player_interface.h"
#include "launch_error.h"
#include "library_search.h"
#include "payload/extract_payload.h"
#include "payload/run_state.h"
#include "splash/splash_screen.h"

// "Not called": any value other than 0, 1 and 2 leads to a quiet exit.
static const int32_t PlayerNotCalled = 3;

// Everything the launch keeps between its steps. The run state is handed
// down to the steps that share it; the player's block points into it.
struct LaunchState {
    RunState run;
    PlayerParams params;
    uint32_t splashThreadId;
    HMODULE runtimeLibrary;
    HMODULE playerLibrary;
    int32_t playerLocation;
    int32_t launchStatus;
    int32_t playerResult;
};

// Steps 4 to 8: load both libraries and call the player. Returns the failing
// status, or 0 once the player has been called.
static int32_t LoadAndCallPlayer(LaunchState *state, HINSTANCE instance, HINSTANCE prevInstance,
                                 char *cmdLine, int cmdShow) {
    int32_t status = LoadRuntimeLibrary(&state->run.tempFolder, &state->runtimeLibrary);
    if (status != LaunchOk) {
        return status;
    }
    status =
        LoadPlayerLibrary(&state->run.tempFolder, &state->playerLibrary, &state->playerLocation);
    if (status != LaunchOk) {
        return status;
    }
    LumivanceMainProc lumivanceMain = reinterpret_cast<LumivanceMainProc>(
        reinterpret_cast<void *>(GetProcAddress(state->playerLibrary, "LumivanceMain")));
    if (lumivanceMain == nullptr) {
        return LaunchEntryPointMissing;
    }
    PlayerParams *params = &state->params;
    params->blockVersion = PlayerParamsVersion;
    params->blockSize = sizeof(PlayerParams);
    // closeSplash and splashThreadId are set together, and only when a splash
    // screen is shown.
    if (state->splashThreadId != 0) {
        params->closeSplash = CloseSplashScreen;
        params->splashThreadId = state->splashThreadId;
    }
    // Valid and unchanged until the clean-up releases the folder, after the call.
    params->tempFolderPath = state->run.tempFolder.RunTempFolderPath;
    params->playerLocation = state->playerLocation;
    state->playerResult = lumivanceMain(instance, prevInstance, cmdLine, cmdShow, params);
    return LaunchOk;
}

static void UnloadLibraries(LaunchState *state) {
    if (state->playerLibrary != nullptr) {
        FreeLibrary(state->playerLibrary);
    }
    if (state->runtimeLibrary != nullptr) {
        FreeLibrary(state->runtimeLibrary);
    }
}

// At most one box: launchStatus is non-zero only where the player was not
// called, and a player result of 0 needs the player to have been called.
static void ReportOutcome(HINSTANCE instance, const LaunchState *state) {
    if (state->playerResult == 0) {
        ShowLaunchError(instance, LaunchPlayerReturnedZero);
    } else if (state->playerResult == 1 || state->playerResult == 2) {
        ExitWindowsEx(EWX_LOGOFF, 0xFFFFFFFF);
    }
    if (state->launchStatus != LaunchOk) {
        ShowLaunchError(instance, state->launchStatus);
    }
}

int RunLaunchSequence(HINSTANCE instance, HINSTANCE prevInstance, char *cmdLine, int cmdShow) {
    // 1. Everything starts zeroed, with no run folder; the player has not
    // been called.
    LaunchState state;
    ZeroMemory(&state, sizeof state);
    StartRunState(&state.run);
    state.playerResult = PlayerNotCalled;

    // 2. The splash screen; once started it runs on its own, nobody waits for it.
    state.splashThreadId = StartSplashScreen();

    // 3. The payload; a failure skips the libraries and goes to unloading.
    PayloadStepResult payload = ExtractPayload(instance, &state.run);
    if (payload != PayloadStepDone) {
        state.launchStatus =
            payload == PayloadStepDamaged ? LaunchPayloadDamaged : LaunchPayloadFailed;
    } else {
        // 4-8. Runtime library, player library, entry point, the call.
        state.launchStatus = LoadAndCallPlayer(&state, instance, prevInstance, cmdLine, cmdShow);
    }

    // 9. Unload, the player library first.
    UnloadLibraries(&state);

    // 10. Clean up on every path; the result does not matter.
    CleanUpAfterRun(instance, &state.run);

    // 11. Report.
    ReportOutcome(instance, &state);

    // 12. The exit code.
    return state.playerResult == 0 ? 1 : 0;
}
