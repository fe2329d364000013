// Loading user-interface texts from languageModule, and the error box.
#pragma once
#include <string>

// A narrow text (at most 126 bytes, as a 128-byte buffer with a limit of 127 holds).
std::string loadTextA(int id);
// A wide text (at most 254 characters).
std::wstring loadTextW(int id);
// UTF-8 (names and IDs of trusted computers, texts for the portable code) and UTF-16.
std::wstring utf8ToWide(const std::string& utf8);
std::string wideToUtf8(const std::wstring& wide);
// A wide text with its "%s" places filled with UTF-8 values (fillPlaceholders).
std::wstring loadTextWith(int id, const std::string& first, const std::string& second = "");
// Shows a topmost error box owned by the main window, captioned with text 133, and
// blocks the calling thread until it is closed. The box ends the calling thread's own
// transfer: before and after it Send and Stop show Transferring while another thread's
// transfer runs, else Idle.
void showError(const std::wstring& text);
