// The one message box that reports a failed launch, and the download offer
// behind it: the player's download page opened in the user's default browser.
// Main thread only; every failure of the offer is silent.
#pragma once

#include <windows.h>
#include <stdint.h>

// Shows the box for status with the texts of instance's string table, and
// opens the download page when the box offered it and OK was pressed.
void ShowLaunchError(HINSTANCE instance, int32_t status);

// The download page's address for the system's default language, into dest
// (DownloadUrlBufferSize bytes). It always fits: the base address is
// checked when the launcher is built.
void BuildDownloadUrl(char *dest);

// Starts the user's default browser with url: the open command of the class
// the user chose for https (then http), else that of the ".htm" file type's
// class; a command stored as REG_EXPAND_SZ is expanded first.
void OpenUrlInBrowser(const char *url);
