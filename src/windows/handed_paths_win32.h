// Paths that a second start of the program hands to the copy already running (what
// Explorer's "Send to" starts while the program sits in the tray): one WM_COPYDATA to its
// main window, which adds them to the selection as a drop does.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

// The command line's paths, as CommandLineToArgvW splits it; none for "--autostart".
std::vector<std::wstring> commandLinePaths(const char* commandLine);
// Sends the paths to the running copy's window; false when it did not take them.
bool handPathsTo(HWND running, const std::vector<std::wstring>& paths);
// The running copy's side of WM_COPYDATA. The content is untrusted: it is taken only with
// our tag, an even size within what a command line can hold, a list ended by an empty
// path, and a sender window of a process of this user in this session; each path then
// passes the rules of a drop. While a dialog holds the main window they wait for it.
// TRUE when taken.
BOOL takeHandedPaths(HWND window, WPARAM sender, const COPYDATASTRUCT* data);
// Adds paths to the selection as a drop does (a path too long for the selection's field
// is refused, not cut) and refreshes the summary line.
void addPaths(HWND window, const std::vector<std::wstring>& paths);
// The paths of a drop, or of files on the clipboard (CF_HDROP), within the selection's field.
std::vector<std::wstring> droppedPaths(HDROP drop);
// The main window is enabled again: paths that waited are taken now.
void takeWaitingPaths(HWND window);
