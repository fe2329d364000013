// The Windows program's part of the central state: window and module handles, the
// taskbar progress object, the discovery timer and the tray icon's record.
#pragma once
#include <windows.h>
#include <shellapi.h>
#include <shobjidl.h>

extern HWND mainWindow;           // set on entry to every message of the main window
extern HINSTANCE programModule;   // dialogs, menu, icon and bitmaps come from here
extern HINSTANCE languageModule;  // every user-interface text comes from here
// Created, used and released only on the main window's thread; other threads post
// kTaskbarProgressMessage (wParam: the percentage) to the main window.
extern ITaskbarList3* taskbarProgress;
constexpr UINT kTaskbarProgressMessage = WM_APP + 3;
// A reception's result text reached the status line (wParam: 1 complete, 0 not).
constexpr UINT kReceptionEndedMessage = WM_APP + 4;
// A browser's text was handed over: the main window's thread opens its window.
constexpr UINT kTextArrivedMessage = WM_APP + 5;
// The private channel's mark changed (private_mark_win32.h).
constexpr UINT kPrivateMarkMessage = WM_APP + 7;
// The sender thread has ended its send (resume_offer_win32.h).
constexpr UINT kSendEndedMessage = WM_APP + 8;
extern UINT_PTR discoveryTimerId;
extern NOTIFYICONDATAW trayIconData;

// The program's own title: the single-instance test looks for it.
constexpr const wchar_t* kProgramTitle = L"Quorvalinthexa";
// The settings key under HKEY_CURRENT_USER.
constexpr const char* kSettingsKeyA = "Software\\Kelvadro\\Quorvalinthexa";
constexpr const wchar_t* kSettingsKeyW = L"Software\\Kelvadro\\Quorvalinthexa";
