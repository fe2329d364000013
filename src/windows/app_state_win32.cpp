#include "windows/app_state_win32.h"

HWND mainWindow = nullptr;
HINSTANCE programModule = nullptr;
HINSTANCE languageModule = nullptr;
ITaskbarList3* taskbarProgress = nullptr;
UINT_PTR discoveryTimerId = 0;
NOTIFYICONDATAW trayIconData = {};
