// The host control's test fixture: OLE, a main thread and the program's unit
// started for each test, a shown form to put controls on, and a recording
// fake runtime as the process's runtime.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "app/ProgramUnit.h"
#include "flashhost/FlashPlayerControl.h"
#include "framework/gui/Forms.h"
#include "tests/flashhost/FakeRuntime.h"

namespace leafbook::testing {

class FlashHostTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A control on the form (windowed: its window made at once).
  TFlashPlayerControl& MakeControl(bool windowed);
  // Runs the thread's messages for a while.
  static void Pump(int ms);

  std::unique_ptr<TProgramUnit> unit_;
  std::shared_ptr<TFakeRuntimeLog> log_;
  std::unique_ptr<TForm> form_;
  std::unique_ptr<TFlashPlayerControl> control_;
};

// Pixels for a HIMETRIC size and back, as the screen converts them.
int PixelsOf(int himetric);
int HimetricOf(int pixels);

}  // namespace leafbook::testing
