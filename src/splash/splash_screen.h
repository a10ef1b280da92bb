// The splash screen: the bitmap beside the executable, shown centred and
// topmost by a thread of its own until the player asks for it to go.
#pragma once

#include <stdint.h>

#include "common/player_interface.h"

// Loads "<executable name>.BMP" and starts the splash thread. Returns the
// thread's id, or 0 when no splash is shown; never fails the launch. Returns
// once the thread can take a close request (or after a short wait when the
// thread does not get that far), so CloseSplashScreen may follow at once.
uint32_t StartSplashScreen();

// Posts the close request to the splash thread threadId; non-zero when it was
// posted. Callable from any thread, any number of times. Matches CloseSplashProc.
int32_t LUMV_STDCALL CloseSplashScreen(uint32_t threadId);
