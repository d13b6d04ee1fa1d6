// Shared by the window tests of the program: the client's process-wide
// objects for the whole test program, a private registry hive, recorded
// message boxes, and the windows created at start.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "ActiveUsersForm.h"
#include "EventLogForm.h"
#include "Form.h"
#include "Application.h"
#include "GetNameForm.h"
#include "EngineBinding.h"
#include "LyskomConfiguration.h"
#include "MainForm.h"
#include "MessageBoxes.h"
#include "MessagesForm.h"
#include "OmnoraForms.h"
#include "ReadArticleForm.h"
#include "TestSupport.h"
#include "ProcessObjects.h"

namespace MainTest {

// The units, once per test program (they can be initialised only once),
// with the current user's registry replaced by a private, empty key.
class TProgramEnvironment : public testing::Environment
{
public:
  void SetUp() override
  {
    TestSupport::EnsureVantorRegistered();
    FRegistry = std::make_unique<TestSupport::TPrivateRegistryRoot>(HKEY_CURRENT_USER);
    FUnits = std::make_unique<TUnitsScope>();
    ASSERT_TRUE(FUnits->Ok());
    Application().Initialize();
    RegisterOmnoraForms();
  }
  void TearDown() override
  {
    Application().Shutdown();
    FUnits.reset();
    FRegistry.reset();
  }

private:
  std::unique_ptr<TestSupport::TPrivateRegistryRoot> FRegistry;
  std::unique_ptr<TUnitsScope> FUnits;
};

inline void WriteSetting(const std::string& name, const std::string& value)
{
  RegistryConfiguration->SetKeyPath(RegistryConfiguration->BaseKey());
  RegistryConfiguration->WriteString(name, value);
}

inline void DeleteSetting(const std::string& name)
{
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, RegistryConfiguration->BaseKey().c_str(), 0, KEY_SET_VALUE, &key) ==
      ERROR_SUCCESS) {
    RegDeleteValueA(key, name.c_str());
    RegCloseKey(key);
  }
}

// Runs the window thread's messages until done() holds (false on time-out).
inline bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs = 10000)
{
  return Application().ProcessMessagesUntil(done, timeoutMs);
}

// The windows created at start, shown as the program shows them; freed by
// the fixture after each test.
class TStartedProgram : public testing::Test
{
protected:
  void SetUp() override
  {
    Boxes = std::make_unique<TMessageBoxRecorder>(IDOK);
    CreateStartupForms();
    ASSERT_NE(MainForm, nullptr);
  }
  void TearDown() override
  {
    Application().Shutdown();
    Boxes.reset();
  }
  // For tests that look at the queue of messages to the user themselves:
  // the asynchronous-message thread, which would show and so take them, ends.
  static void StopDispatcher()
  {
    if (MainForm) MainForm->AsyncMsgThread.reset();
  }
  // Shows the main window as the message loop does at start.
  void ShowMain()
  {
    MainForm->Show();
    ASSERT_TRUE(WaitFor([] { return MainForm->Visible(); }));
    Application().ProcessMessages();
  }
  std::unique_ptr<TMessageBoxRecorder> Boxes;
};

} // namespace MainTest
