// The splash screen: the bitmap beside the executable, shown centred and
// topmost by a thread of its own until the player asks for it to go.
#pragma once

#include <stdint.h>

#include "common/player_interface.h"

// Loads "<executable name>.BMP" and starts the splash thread. Returns the
// thread's id, or 0 when no splash is shown; never fails the launch. Returns
// once the splash window is up (or could not be made), so that a window or
// message box made afterwards comes above it; a thread that does not get
// that far within a few seconds is no longer waited for. The thread takes
// close requests from the moment it runs, so CloseSplashScreen may follow
// at once.
uint32_t StartSplashScreen();

// Posts the close request to the splash thread threadId; non-zero when it was
// posted. Callable from any thread, any number of times. Matches CloseSplashProc.
int32_t LUMV_STDCALL CloseSplashScreen(uint32_t threadId);
