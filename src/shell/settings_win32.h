// The stored settings under HKEY_CURRENT_USER\Software\Kelvadro\Quorvalinthexa.
#pragma once
#include <windows.h>

#include <string>

// "Language": "" for automatic, else a language code. A stored value longer than the
// 14-character field is ignored (read as automatic). False when the key is missing.
bool readLanguageSetting(std::string* code);
// "AutostartInTray" / "MinimizeToTray": true only when the value is the number 1.
bool readSwitchSetting(const wchar_t* name);
// "Directory": the store path as stored; false when the key is missing.
bool readStorePathSetting(std::wstring* path);
void writeStorePathSetting(const std::wstring& path);
