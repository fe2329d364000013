// A text a browser sent, in a small window of its own titled "Text from <address>": the
// text read-only (never run or opened), Copy (to the clipboard) and Close.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>

// How many text windows may be open at once. One more closes the oldest: the newest text
// is the one its sender waits to see, and a browser that sends many texts moves through
// these windows without covering the desktop.
constexpr size_t kMostTextWindows = 8;

// Any thread: hands the text over to the main window's thread and returns at once. Of
// the texts waiting there, the newest kMostTextWindows are kept.
void handOverText(const std::string& address, const std::string& utf8Text);
// The main window's thread (kTextArrivedMessage): opens a window for each text handed over.
void openArrivedTexts();
// Places text on the clipboard for owner; false when the clipboard could not be had.
bool putOnClipboard(HWND owner, const std::wstring& text);
