// The user's questions about receptions come one at a time: the admission's (may this
// sender store?) and each reception's about names already there, side receptions' too,
// so that an answer is never taken by another question (on a terminal both would read
// the same line).
#pragma once
#include <atomic>

// Waits for the turn to ask, until stopped or withdrawn is set: true when the turn is the
// caller's, to be given back with endQuestionTurn once the question has ended.
bool takeQuestionTurn(const std::atomic<bool>& stopped, const std::atomic<bool>& withdrawn);
void endQuestionTurn();
