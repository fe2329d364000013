// What an arriving file does to a file of the same name already in the store folder, the
// same for every door: replace it (the 3.0 behaviour, and the default), keep both (the
// arriving one takes the next free "name (2).ext"), skip it when its content is the same
// (else keep both), or ask the user. Process-wide, set by the front end from its settings.
#pragma once
#include <cstdint>
#include <string>

// The stored numbers are those of the choices (the Windows setting "ExistingFiles").
enum class ExistingChoice { Replace = 0, KeepBoth = 1, SkipIdentical = 2, Ask = 3 };
// A stored number that names no choice keeps both: it never loses a file.
ExistingChoice existingChoiceStored(uint32_t value);
// "replace", "keep-both", "skip-identical", "ask"; false for anything else.
bool existingChoiceNamed(const std::string& word, ExistingChoice* choice);
void setExistingChoice(ExistingChoice choice);
ExistingChoice existingChoice();
