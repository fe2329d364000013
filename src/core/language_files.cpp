#include "core/language_files.h"

#include <cstring>

#include "core/text_routines.h"
#include "platform/files.h"

const ExtraLanguage kExtraLanguages[2] = {{"Spanish", "0c0a"}, {"Russian", "0419"}};

namespace {
const char kEnglishCode[] = "0409";
}  // namespace

std::string satelliteCandidateCode(const std::string& name) {
    if (findText(name, ".mui", 0) < 0) return std::string();
    int dot = findText(name, ".", 20);
    if (dot < 0) return std::string();
    std::string candidate = copyRange(name, 19, static_cast<int>(name.size()) - dot);
    if (candidate.size() > kMaxCandidateCode) return std::string();
    return candidate;
}

LanguageChoices languageChoices(const std::string& storedCode, const std::string& folder) {
    LanguageChoices choices;
    choices.names = {"Auto", "English"};
    if (storedCode.empty()) choices.selected = 0;
    else if (storedCode == kEnglishCode) choices.selected = 1;
    if (folder.empty()) return choices;  // never fall back to the current folder
    listDirectory(folder, [&](const std::string& name, bool directory) {
        if (directory) return true;
        std::string candidate = satelliteCandidateCode(name);
        if (candidate.empty()) return true;
        for (const ExtraLanguage& row : kExtraLanguages) {
            if (candidate != row.code) continue;
            choices.names.push_back(row.name);
            if (choices.selected < 0 && storedCode == row.code)
                choices.selected = static_cast<int>(choices.names.size()) - 1;
        }
        return true;
    });
    return choices;
}

std::string languageCodeForChoice(int index, const std::string& text) {
    if (index <= 0) return std::string();
    if (index == 1) return kEnglishCode;
    for (const ExtraLanguage& row : kExtraLanguages)
        if (text == row.name) return row.code;
    return std::string();
}
