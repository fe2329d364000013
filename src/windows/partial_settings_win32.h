// What a cut private reception keeps: the days its partial files stay, stored as
// "KeepPartialDays" (REG_DWORD) in the settings key, and the settings dialog's part of it
// (the days field, "Delete partial files" and the note that says what is kept or went).
#pragma once
#include <windows.h>

#include <string>

// The most days the field takes.
constexpr int kMaxKeepPartialDays = 999;

// Without the value the default days; a value that is not a number is the default too,
// and one above the field's bound is the bound.
int readKeepPartialDays();
bool writeKeepPartialDays(int days);
// At start: the stored days take effect, and the partial files past them go.
void applyStoredPartialFiles(const std::string& storeFolder);

void initialisePartialFiles(HWND dialog);
// True when the command was the dialog's "Delete partial files".
bool partialFilesCommand(HWND dialog, int id);
// Ok: the days typed take effect and are stored; an empty field changes nothing.
void storePartialFiles(HWND dialog);
