// Shared by the writing windows' tests: the client's process-wide objects
// with a private registry, and a lyskomd session installed as the client's
// engine, logged in as the administrator.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../core/EngineSession.h"
#include "ClientCaches.h"
#include "Form.h"
#include "Application.h"
#include "../main/MainTestSupport.h"
#include "LyskomdSuite.h"
#include "MessageBoxes.h"
#include "OmnoraForms.h"
#include "ProcessObjects.h"
#include "SessionState.h"
#include "TestSupport.h"
#include "UserMessages.h"

namespace Writing {

// The units and a private registry, once per test program.
using TUnitsEnvironment = MainTest::TProgramEnvironment;

inline bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs = 20000)
{
  return Application().ProcessMessagesUntil(done, timeoutMs);
}

// With OMNORA_SCREENSHOTS naming a folder, the screen is saved there for people to look at.
inline void Screenshot(const std::string& name)
{
  char dir[MAX_PATH];
  if (!GetEnvironmentVariableA("OMNORA_SCREENSHOTS", dir, sizeof dir)) return;
  Application().ProcessMessages();
  TestSupport::RunUnixCommand("import -window root " + std::string(dir) + "/" + name + ".png");
}

inline std::string N(int n) { return std::to_string(n); }

class TWritingSuite : public TestSupport::TLyskomdSuite
{
protected:
  void SetUp() override
  {
    Session = std::make_unique<EngineSession::TSession>(TestSupport::TLyskomdServer::Host(), Server->Port());
    ClearAllCaches();
    CurrentPersNo = TestSupport::TLyskomdServer::AdminPerson;
    ServerVersion.ProtocolVersion = 11;
    Boxes = std::make_unique<TMessageBoxRecorder>(IDYES);
    while (UserMessageCount() > 0) TakeUserMessage();
  }
  void TearDown() override
  {
    for (TForm* f : std::vector<TForm*>(Application().Forms())) f->Free();
    Application().ProcessMessages();
    Boxes.reset();
    ClearAllCaches();
    Session.reset();
  }

  // The text as the server stores it.
  std::string ServerText(int textNo)
  {
    TLKRequest request(L_GET_TEXT, TRequestArgs().Int(textNo).Int(0).Int(2000000));
    if (!Session->Expect(request)) return {};
    return LKString(request.Response(), "result");
  }
  TTextStatRef FreshStat(int textNo)
  {
    InvalidateTextStat(textNo);
    return TextStatByNumber(textNo);
  }
  // Misc-info items as (tag, number): 0, 1, 15 recipients, 2 comment to, 4 footnote to.
  std::vector<std::pair<int, int>> MiscPairs(int textNo)
  {
    std::vector<std::pair<int, int>> pairs;
    TTextStatRef stat = FreshStat(textNo);
    if (!stat) return pairs;
    for (int i = 0; i < stat->MiscInfoCount(); ++i) {
      const TMiscInfo* m = stat->GetMiscInfo(i);
      if (auto r = dynamic_cast<const TMiscInfoRcpt*>(m)) pairs.emplace_back(0, r->ConfNo);
      else if (auto c = dynamic_cast<const TMiscInfoCC*>(m)) pairs.emplace_back(1, c->ConfNo);
      else if (auto b = dynamic_cast<const TMiscInfoBCC*>(m)) pairs.emplace_back(15, b->ConfNo);
      else if (auto t = dynamic_cast<const TMiscInfoCommTo*>(m)) pairs.emplace_back(2, t->TextNo);
      else if (auto f = dynamic_cast<const TMiscInfoFootTo*>(m)) pairs.emplace_back(4, f->TextNo);
    }
    return pairs;
  }
  std::vector<std::string> BoxTexts()
  {
    std::vector<std::string> texts;
    for (const auto& b : Boxes->Boxes()) texts.push_back(b.Text);
    return texts;
  }

  std::unique_ptr<EngineSession::TSession> Session;
  std::unique_ptr<TMessageBoxRecorder> Boxes;
};

} // namespace Writing
