#include "support/ScriptedUi.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

TEST(ScriptedUi, AnswersFromTheScriptThenWithTheSafeChoice)
{
    CScriptedUi ui;
    CUiScope scope(ui);
    ui.QueueAnswer(MsgAnswer::Yes);
    EXPECT_EQ(Ui().MessageBox("Replace?", "Kestrova", MsgButtons::YesNo, MsgIcon::Question), MsgAnswer::Yes);
    // A plain notice does not use up a scripted answer.
    EXPECT_EQ(Ui().MessageBox("Done", "Kestrova", MsgButtons::Ok, MsgIcon::None), MsgAnswer::Ok);
    EXPECT_EQ(Ui().MessageBox("Again?", "Kestrova", MsgButtons::YesNo, MsgIcon::Question), MsgAnswer::No);
    EXPECT_EQ(Ui().MessageBox("Go?", "Kestrova", MsgButtons::OkCancel, MsgIcon::Question), MsgAnswer::Cancel);
    ASSERT_EQ(ui.boxes.size(), 4u);
    EXPECT_EQ(ui.boxes[0].text, "Replace?");
    EXPECT_EQ(ui.boxes[2].answer, MsgAnswer::No);
}

TEST(ScriptedUi, CancelsTheChosenWindowAtTheChosenPump)
{
    CScriptedUi ui;
    ui.CancelAtPump(1, 3);
    auto first = ui.OpenProgress("A", "a", true);
    auto second = ui.OpenProgress("B", "b", false);
    EXPECT_FALSE(first->Pump());
    EXPECT_FALSE(first->Pump());
    EXPECT_FALSE(first->Pump());
    EXPECT_FALSE(second->Pump());
    EXPECT_FALSE(second->Pump());
    EXPECT_TRUE(second->Pump());
    EXPECT_EQ(ui.pumps, 6);
}

TEST(SilentUi, GivesTheSafeAnswerWhenNoPortIsInstalled)
{
    EXPECT_EQ(Ui().MessageBox("Replace?", "Kestrova", MsgButtons::YesNo, MsgIcon::Question), MsgAnswer::No);
}
