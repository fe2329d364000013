// A window port for tests: records every call, and holds the fields the workers read.
#pragma once
#include <mutex>
#include <string>
#include <vector>

struct PortCall {
    std::string what;  // "status", "progress", "idle", "transferring", "recipient", "error"
    std::string text;  // status or error text (English), recipient address
    int a = 0, b = 0;  // progress: bar and taskbar percent
};

// Runs on the calling thread just before each call is recorded (null: nothing), so that
// a test can act at an exact point, such as a Stop at the moment a transfer writes its
// progress. A reset removes it.
void recordingPortBeforeCall(void (*hook)(const PortCall& call));

// Fields read through the port.
void recordingPortReset(const std::string& storePath = "", const std::string& ownAddress = "",
                        const std::string& recipient = "");
std::vector<PortCall> recordedCalls();
// The status texts in order, and the last one.
std::vector<std::string> recordedStatusTexts();
std::string lastStatusText();
std::vector<std::string> recordedErrors();
std::string recordedRecipient();
