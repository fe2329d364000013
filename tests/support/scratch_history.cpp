#include "scratch_history.h"

#include <gtest/gtest.h>

#include "history/history.h"
#include "scratch_folder.h"

namespace {
std::string folder;

class ScratchHistory : public ::testing::Environment {
    void SetUp() override {
        folder = makeScratchFolder("history");
        startHistory(scratchHistoryPath());
    }
    void TearDown() override {
        stopHistory();
        removeScratchFolder(folder);
    }
};

const ::testing::Environment* const registered = ::testing::AddGlobalTestEnvironment(new ScratchHistory);
}  // namespace

std::string scratchHistoryPath() { return folder + "/history.db"; }
