// How the question dialog's end value becomes an answer: a dialog box that could not be
// shown returns 0 or -1, and that must never read as Accept.
#include <gtest/gtest.h>

#include <cstdint>

#include "core/window_port.h"

TEST(AskAnswer, OnlyTheAcceptButtonsValueAccepts) {
    const struct {
        intptr_t dialogResult;
        AskAnswer answer;
    } rows[] = {
        {0, AskAnswer::Unanswered},   // no parent window or no dialog resource
        {-1, AskAnswer::Unanswered},  // any other failure to show
        {static_cast<intptr_t>(AskAnswer::Accepted), AskAnswer::Accepted},
        {static_cast<intptr_t>(AskAnswer::Declined), AskAnswer::Declined},
        {static_cast<intptr_t>(AskAnswer::Unanswered), AskAnswer::Unanswered},
        {42, AskAnswer::Unanswered},
    };
    for (const auto& row : rows)
        EXPECT_EQ(askAnswerOf(row.dialogResult), row.answer) << "dialog result " << row.dialogResult;
}
