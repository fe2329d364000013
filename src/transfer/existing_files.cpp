#include "transfer/existing_files.h"

#include "core/central_state.h"
#include "core/text_routines.h"
#include "core/window_port.h"
#include "platform/net.h"
#include "policy/existing_choice.h"
#include "policy/receive_policy.h"
#include "resource.h"
#include "store/store_names.h"
#include "transfer/question_turn.h"

namespace {
ExistingAction actionOfReply(ExistingReply reply) {
    switch (reply) {
        case ExistingReply::Replace: return ExistingAction::Replace;
        case ExistingReply::Skip: return ExistingAction::Skip;
        default: return ExistingAction::KeepBoth;  // unanswered: nothing is lost
    }
}

// The names joined for a history text, with the count of those not named.
std::string joinedNames(const std::vector<std::string>& names, int64_t count) {
    std::string joined;
    for (const std::string& name : names) joined += (joined.empty() ? "" : ", ") + name;
    const int64_t more = count - static_cast<int64_t>(names.size());
    if (more > 0) joined += " (+" + std::to_string(more) + ")";
    return joined;
}

}  // namespace

ExistingAction existingActionFor(Reception& r, const std::string& arrived, const std::string& path,
                                 const std::string& name) {
    switch (existingChoice()) {
        case ExistingChoice::Replace: return ExistingAction::Replace;
        case ExistingChoice::KeepBoth: return ExistingAction::KeepBoth;
        case ExistingChoice::SkipIdentical: return resolvedAction(ExistingAction::SkipSame, arrived, path);
        case ExistingChoice::Ask: break;
    }
    if (r.existing.forAll != ExistingReply::Unanswered) return actionOfReply(r.existing.forAll);
    // Receptions side by side may each meet a name already there while the admission asks.
    const bool turn = takeQuestionTurn(*r.cancel, cancelRequested);
    const ExistingAnswer answer = turn ? portAskExisting(netDotted(r.sender), {name}, askMilliseconds)
                                       : ExistingAnswer();
    if (turn) endQuestionTurn();
    // Stopped while asked: the reception ends canceled, and nothing more takes a name.
    if (*r.cancel) return ExistingAction::Drop;
    if (answer.forAll) r.existing.forAll = answer.reply;
    return actionOfReply(answer.reply);
}

bool existingReplaces() { return existingChoice() == ExistingChoice::Replace; }

bool existingSkipsSame() { return existingChoice() == ExistingChoice::SkipIdentical; }

void noteExistingEnd(ExistingEnds& ends, const std::string& name, ExistingAction action, const std::string& keptAs) {
    // A file kept both under its own name (the file there went meanwhile) met no other.
    if (action != ExistingAction::Skip && (action != ExistingAction::KeepBoth || keptAs.empty())) return;
    const bool kept = action == ExistingAction::KeepBoth;
    std::vector<std::string>& names = kept ? ends.keptBoth : ends.skipped;
    ++(kept ? ends.keptBothCount : ends.skippedCount);
    if (names.size() < kMostExistingNamed) names.push_back(kept ? name + " -> " + keptAs : name);
}

std::string existingEndsText(const ExistingEnds& ends) {
    std::string text;
    if (ends.keptBothCount > 0)
        text = fillPlaceholders(portText(IDS_EXISTING_KEPT_BOTH), joinedNames(ends.keptBoth, ends.keptBothCount));
    if (ends.skippedCount > 0)
        text += (text.empty() ? "" : " ") +
                fillPlaceholders(portText(IDS_EXISTING_SKIPPED), joinedNames(ends.skipped, ends.skippedCount));
    return text;
}

std::string relativeRecordName(const std::string& directory, const std::string& name, bool windowsRules) {
    std::vector<std::string> components;
    if (!splitRecordDirectory(directory, windowsRules, &components)) return std::string();
    std::string shown;
    for (const std::string& component : components) shown += component + "/";
    return shown + name;
}
