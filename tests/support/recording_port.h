// A window port for tests: records every call, and holds the fields the workers read.
#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "core/window_port.h"

struct PortCall {
    std::string what;  // "status", "progress", "idle", "transferring", "recipient", "error", "ask",
                       // "trust" (a pairing's question), "private" (portSetPrivatePeer),
                       // "clear" (portSetInTheClear: "on" or "off"), "row-start", "row-progress",
                       // "row-end" (a side reception's row: a its row, b its percent),
                       // "retry-wait" (text: the trusted computer, a: the seconds left)
    std::string text;  // status or error text (English), recipient address, asking sender;
                       // trust: "name id code"; private: the trusted computer's name
    int a = 0, b = 0;  // progress: bar and taskbar percent; ask: total and time limit
};

// Runs on the calling thread just before each call is recorded (null: nothing), so that
// a test can act at an exact point, such as a Stop at the moment a transfer writes its
// progress. A reset removes it.
void recordingPortBeforeCall(void (*hook)(const PortCall& call));

// Fields read through the port. A reset also lets every held call go.
void recordingPortReset(const std::string& storePath = "", const std::string& ownAddress = "",
                        const std::string& recipient = "");
// From now on every call of that kind (and that text, unless it is empty) is recorded and
// then held, as a message box holds its thread, until recordingPortRelease(). "store"
// holds the reads of the store path (not recorded), as a window busy with something else
// holds them.
void recordingPortHold(const std::string& what, const std::string& text = "");
void recordingPortRelease();
// The calls held right now.
int recordingPortHeld();
std::vector<PortCall> recordedCalls();
// What every question (to receive, or to trust) is answered with from now on (a reset:
// Unanswered; for the trust question anything but Accepted is no), after the question
// stayed open for milliseconds.
void recordingPortAnswer(AskAnswer answer, int milliseconds = 0);
// What a question about names the store has already is answered with (a reset: Unanswered);
// it is recorded as "existing" with the address and the names, their count and the time limit.
void recordingPortExistingAnswer(ExistingAnswer answer);
// The status texts in order, and the last one.
std::vector<std::string> recordedStatusTexts();
std::string lastStatusText();
std::vector<std::string> recordedErrors();
std::string recordedRecipient();
