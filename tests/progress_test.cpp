#include <gtest/gtest.h>

#include "support/sim_fixture.h"
#include "ui/messages.h"
#include "ui/progress_dialog.h"

namespace {

class ProgressTest : public x9test::SimFixture {};

TEST_F(ProgressTest, ClampsAboveOneHundredOnly) {
  x9::ProgressDialog dialog(x9::MessageText(x9::kMsgDownloadingTracks), 1, X9Host_Window());
  ASSERT_TRUE(dialog.Create());
  for (int value : {0, 150, 100, -5, 99, 101})
    dialog.SetProgress(value);
  ASSERT_EQ(ui.windows.size(), 1u);
  EXPECT_EQ(ui.windows[0].positions, (std::vector<int>{0, 100, 100, -5, 99, 100}));
  EXPECT_EQ(ui.windows[0].message, x9::MessageText(x9::kMsgDownloadingTracks));
  EXPECT_EQ(ui.owners.back(), X9Host_Window());
}

TEST_F(ProgressTest, PumpHandsControlToTheHostAndAbortStaysSet) {
  x9::ProgressDialog dialog(x9::MessageText(x9::kMsgDownloadingWaypoints), 1, X9Host_Window());
  dialog.Create();
  EXPECT_EQ(dialog.abortRequested, 0);
  AbortAtPump(2);
  dialog.Pump();
  EXPECT_EQ(dialog.abortRequested, 0);
  dialog.Pump();
  EXPECT_EQ(dialog.abortRequested, 1);
  ui.PressAbort();
  dialog.Pump();
  EXPECT_EQ(dialog.abortRequested, 1);
  EXPECT_EQ(X9Host_CallCount("TPI_Pump"), 3);
}

TEST_F(ProgressTest, WithoutAWindowTheDialogStillWorks) {
  ui.failWindowCreation = true;
  x9::ProgressDialog dialog(x9::MessageText(x9::kMsgDownloadingWaypoints), 1, X9Host_Window());
  EXPECT_FALSE(dialog.Create());
  dialog.SetProgress(50);
  dialog.Pump();
  EXPECT_EQ(dialog.abortRequested, 0);
  EXPECT_EQ(X9Host_CallCount("TPI_Pump"), 1);
}

TEST_F(ProgressTest, DestroyingTheDialogDestroysItsWindow) {
  {
    x9::ProgressDialog dialog(x9::MessageText(x9::kMsgUploadingRoutes), 0, X9Host_Window());
    dialog.Create();
    EXPECT_EQ(ui.OpenWindows(), 1);
    EXPECT_FALSE(ui.windows[0].abortEnabled);
  }
  EXPECT_EQ(ui.OpenWindows(), 0);
}

}  // namespace
