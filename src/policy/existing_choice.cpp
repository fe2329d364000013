#include "policy/existing_choice.h"

#include <atomic>

namespace {
std::atomic<int> choiceInForce{static_cast<int>(ExistingChoice::Replace)};

constexpr struct {
    const char* word;
    ExistingChoice choice;
} kChoiceWords[] = {{"replace", ExistingChoice::Replace},
                    {"keep-both", ExistingChoice::KeepBoth},
                    {"skip-identical", ExistingChoice::SkipIdentical},
                    {"ask", ExistingChoice::Ask}};
}  // namespace

ExistingChoice existingChoiceStored(uint32_t value) {
    return value <= static_cast<uint32_t>(ExistingChoice::Ask) ? static_cast<ExistingChoice>(value)
                                                               : ExistingChoice::KeepBoth;
}

bool existingChoiceNamed(const std::string& word, ExistingChoice* choice) {
    for (const auto& known : kChoiceWords) {
        if (word != known.word) continue;
        *choice = known.choice;
        return true;
    }
    return false;
}

void setExistingChoice(ExistingChoice choice) { choiceInForce = static_cast<int>(choice); }

ExistingChoice existingChoice() { return static_cast<ExistingChoice>(choiceInForce.load()); }
