#include "recording_port.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>

#include "core/text_routines.h"
#include "core/texts.h"
#include "core/window_port.h"
#include "platform/threads.h"

namespace {
std::mutex lock;
std::condition_variable released;
std::vector<PortCall> calls;
std::string storePath, ownAddress, recipient;
std::atomic<void (*)(const PortCall&)> beforeCall{nullptr};
std::atomic<AskAnswer> answer{AskAnswer::Unanswered};
std::atomic<int> askDelay{0};   // milliseconds a question stays open
ExistingAnswer existingAnswer;  // what a question about names already there is answered

bool holding = false;
PortCall heldKind;
int heldNow = 0;

// Holds the calling thread while calls like this one are held.
void waitWhileHeld(std::unique_lock<std::mutex>& guard, const PortCall& call) {
    if (!holding || call.what != heldKind.what || (!heldKind.text.empty() && call.text != heldKind.text)) return;
    ++heldNow;
    released.wait(guard, [] { return !holding; });
    --heldNow;
}

void record(const PortCall& call) {
    if (auto hook = beforeCall.load()) hook(call);
    std::unique_lock<std::mutex> guard(lock);
    calls.push_back(call);
    waitWhileHeld(guard, call);
}
}  // namespace

void recordingPortBeforeCall(void (*hook)(const PortCall&)) { beforeCall = hook; }

void recordingPortHold(const std::string& what, const std::string& text) {
    std::lock_guard<std::mutex> guard(lock);
    holding = true;
    heldKind = {what, text};
}

void recordingPortRelease() {
    std::lock_guard<std::mutex> guard(lock);
    holding = false;
    released.notify_all();
}

int recordingPortHeld() {
    std::lock_guard<std::mutex> guard(lock);
    return heldNow;
}

void recordingPortReset(const std::string& store, const std::string& own, const std::string& to) {
    beforeCall = nullptr;
    answer = AskAnswer::Unanswered;
    askDelay = 0;
    std::lock_guard<std::mutex> guard(lock);
    existingAnswer = ExistingAnswer();
    holding = false;
    released.notify_all();
    calls.clear();
    storePath = store;
    ownAddress = own;
    recipient = to;
}

std::vector<PortCall> recordedCalls() {
    std::lock_guard<std::mutex> guard(lock);
    return calls;
}

std::vector<std::string> recordedStatusTexts() {
    std::vector<std::string> texts;
    for (const PortCall& c : recordedCalls())
        if (c.what == "status") texts.push_back(c.text);
    return texts;
}

std::string lastStatusText() {
    std::vector<std::string> texts = recordedStatusTexts();
    return texts.empty() ? std::string() : texts.back();
}

std::vector<std::string> recordedErrors() {
    std::vector<std::string> texts;
    for (const PortCall& c : recordedCalls())
        if (c.what == "error") texts.push_back(c.text);
    return texts;
}

std::string recordedRecipient() {
    std::lock_guard<std::mutex> guard(lock);
    return recipient;
}

void portSetStatusText(int textId) { record({"status", englishText(textId)}); }
void portSetStatusFormatted(int textId, int value) { record({"status", fillNumbers(englishText(textId), value)}); }
void portSetStatusEmpty() { record({"status", ""}); }
void portSetProgress(int bar, int taskbar) { record({"progress", "", bar, taskbar}); }
void portSetButtonsIdle() { record({"idle", ""}); }
void portSetButtonsTransferring() { record({"transferring", ""}); }
std::string portGetRecipient() {
    std::lock_guard<std::mutex> guard(lock);
    return recipient;
}
void portSetRecipient(const std::string& address) {
    {
        std::lock_guard<std::mutex> guard(lock);
        recipient = address.substr(0, 15);
    }
    record({"recipient", address.substr(0, 15)});
}
std::string portGetOwnAddress() {
    std::lock_guard<std::mutex> guard(lock);
    return ownAddress;
}
std::string portGetStorePath() {
    std::unique_lock<std::mutex> guard(lock);
    waitWhileHeld(guard, PortCall{"store", ""});
    return storePath;
}
void portShowErrorText(int textId) {
    record({"idle", ""});
    record({"error", englishText(textId)});
}
void portShowErrorMessage(const std::string& message) {
    record({"idle", ""});
    record({"error", message});
}
void portShowRefusal(int textId, const std::string& address) {
    record({"status", fillPlaceholders(englishText(textId), address)});
}
std::string portText(int textId) { return englishText(textId); }
void portShowText(const std::string& address, const std::string& utf8Text) {
    record({"text", address + " " + utf8Text});
}
AskAnswer portAskToReceive(const std::string& address, int64_t total, int milliseconds) {
    record({"ask", address, static_cast<int>(total), milliseconds});
    if (askDelay > 0) sleepMilliseconds(askDelay);
    return answer;
}
ExistingAnswer portAskExisting(const std::string& address, const std::vector<std::string>& names, int milliseconds) {
    std::string listed = address;
    for (const std::string& name : names) listed += " " + name;
    record({"existing", listed, static_cast<int>(names.size()), milliseconds});
    std::lock_guard<std::mutex> guard(lock);
    return existingAnswer;
}
void recordingPortExistingAnswer(ExistingAnswer answer) {
    std::lock_guard<std::mutex> guard(lock);
    existingAnswer = answer;
}
void recordingPortAnswer(AskAnswer a, int milliseconds) {
    answer = a;
    askDelay = milliseconds;
}
bool portAskTrust(const std::string& name, const std::string& id, const std::string& code, int milliseconds) {
    record({"trust", name + " " + id + " " + code, 0, milliseconds});
    return answer == AskAnswer::Accepted;
}
void portSetPrivatePeer(const std::string& name) { record({"private", name}); }
void portShowRetryWait(const std::string& name, int seconds) { record({"retry-wait", name, seconds}); }
void portSetInTheClear(bool inTheClear) { record({"clear", inTheClear ? "on" : "off"}); }
void portRowStart(int row, const std::string& sender, const std::string& what) {
    record({"row-start", sender + " " + what, row});
}
void portRowProgress(int row, int percent) { record({"row-progress", "", row, percent}); }
void portRowEnd(int row, int textId) { record({"row-end", englishText(textId), row}); }
