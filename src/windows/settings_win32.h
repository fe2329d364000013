// The stored settings under HKEY_CURRENT_USER\Software\Kelvadro\Quorvalinthexa, and the
// logon autostart value under HKEY_CURRENT_USER\...\CurrentVersion\Run.
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

// What the settings dialog's Ok stores, all four every time.
struct StoredSettings {
    std::string language;  // "", "0409" or a code of the extra language table
    bool autostart = false;
    bool autostartInTray = false;
    bool minimizeToTray = false;
};
// Creates the settings key when missing and writes "Language", the autostart value,
// "AutostartInTray" and "MinimizeToTray" in that order. When the key cannot be
// created nothing at all is stored (not even the autostart value) and it answers false.
bool writeSettings(const StoredSettings& settings);

// Writes (enabled) or deletes the autostart value "Quorvalinthexa" in the Run key,
// which is opened, never created. The value is the quoted program path followed by
// " --autostart"; when that does not fit its 261-byte field nothing is written and the
// answer is false. A value already missing is no error.
bool writeAutostart(bool enabled);
// True when the Run key holds the autostart value (any query failure other than "not
// found" counts as enabled); false when the key does not open. Its content is not read.
bool isAutostartEnabled();
