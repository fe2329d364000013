// The languages the settings dialog offers: the program's own two choices, then one
// entry per language satellite ("Quorvalinthexa.exe." + code + ".mui") found beside the
// program whose code is a row of the extra language table.
#pragma once
#include <string>
#include <vector>

struct ExtraLanguage {
    const char* name;  // display name, at most 29 characters
    const char* code;  // language code, at most 14 characters
};
// Fixed, in this order.
extern const ExtraLanguage kExtraLanguages[2];

// The longest candidate code taken from a file name; longer ones match no row.
constexpr size_t kMaxCandidateCode = 13;

// The candidate code of a directory entry's name: from position 19 (just after the
// 19-character "Quorvalinthexa.exe.", which is not compared) for as many bytes as follow
// the first "." at or after position 20. "" when the name holds no ".mui", has no such
// ".", or gives a candidate longer than kMaxCandidateCode.
std::string satelliteCandidateCode(const std::string& name);

struct LanguageChoices {
    std::vector<std::string> names;  // "Auto", "English", then the satellites found
    int selected = -1;               // the item that shows the stored code; -1: none
};
// The combo box's items for a stored code, scanning folder in the file system's order.
// Folders are never offered. A stored code that nothing shows leaves selected at -1.
LanguageChoices languageChoices(const std::string& storedCode, const std::string& folder);

// The code that Ok stores for the chosen item: "" for no choice or "Auto", "0409" for
// "English", else the code of the extra row whose display name is text ("" if none).
std::string languageCodeForChoice(int index, const std::string& text);
