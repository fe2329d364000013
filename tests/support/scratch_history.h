// Every test program keeps its transfers' history in a scratch folder of its own, opened
// before the first test, as the programs open theirs at start: a test that makes a
// transfer reads its entry back without opening a history itself, and none reaches the
// user's.
#pragma once
#include <string>

// The database of this test program; a test that opens another one opens this again after.
std::string scratchHistoryPath();
