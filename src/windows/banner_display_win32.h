// The banner in the Windows program: the banner thread (request, picture, layout) and
// the click on one of its controls.
#pragma once
#include <windows.h>

#include <string>

#include "banner/banner_request.h"

// The main window's screen rectangle captured when the banner request starts; the
// layout grows the window from it.
extern RECT bannerWindowRect;

// The banner thread: fetches the banner, publishes it in currentBanner, downloads its
// picture and lays it out. Started once per run by the main window's initialisation
// (CreateThread, argument unused); returns 0.
DWORD WINAPI bannerThread(LPVOID);
// Starts bannerThread and forgets it. False when the thread could not start.
bool startBannerThread();

// Places the record's title, content and picture below the controls of its owner window
// and makes the window taller by the room they take.
void showBanner(const BannerRecord& record, const std::string& pictureFile);

// Opens the banner's link with the default handler, when there is a banner with an
// http or https link. For WM_COMMAND from controls 1003, 1004 and 1005 (code 0).
void openBannerLink();

// The browser identification of the current user ("User Agent" under the Internet
// Settings key), in the ANSI code page; "" when absent, unreadable or too long.
std::string readUserAgentSetting();
