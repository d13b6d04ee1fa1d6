// Shared by the tests of the administration windows: the program's windows
// over a private registry, and the program's own engine connection logged in
// to a test lyskomd as its administrator, with helpers that talk to the
// server behind the windows' backs.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "EngineBinding.h"
#include "EngineClient.h"
#include "LKRequest.h"
#include "LyskomConfiguration.h"
#include "LyskomdServer.h"
#include "../main/MainTestSupport.h"
#include "ActiveUsersForm.h"
#include "MainForm.h"
#include "SubjectScanner.h"
#include "Threads.h"
#include "ProtocolText.h"
#include "TestSupport.h"
#include "Vantor.h"
#include "Application.h"
#include "TextItems.h"
#include "GetNameForm.h"
#include "ModalScript.h"
#include "ReadArticleForm.h"
#include "WindowInput.h"
#include "WriteTextForm.h"

#include <algorithm>
#include <vector>

namespace AdminTest {

using namespace MainTest;
using TestSupport::TLyskomdServer;

// The running lyskomd of the test program; started with the first test.
inline TLyskomdServer& Server()
{
  static TLyskomdServer* server = [] {
    auto* s = new TLyskomdServer();
    s->Start();
    return s;
  }();
  return *server;
}

// One request on the program's connection; the reply, or none on failure.
inline TComPtr<ILKCollection> Ask(long type, const std::string& args, bool expectOk = true)
{
  TLKRequest request(type, args);
  const bool ok = request.SyncSend(GetCommunication().Get()) == TRequestOutcome::Answered;
  if (expectOk) {
    EXPECT_TRUE(ok) << "request " << type << " " << args << " error " << request.ErrorNo();
  }
  if (!ok) return nullptr;
  return TComPtr<ILKCollection>(request.Response());
}

inline int AskInt(long type, const std::string& args)
{
  TComPtr<ILKCollection> reply = Ask(type, args);
  return reply ? int(LKInt(reply.Get(), "result")) : 0;
}

inline bool Login(int person, const std::string& password)
{
  return Ask(L_LOGIN, TRequestArgs().Int(person).Str(password).Bool(false)).Get() != nullptr;
}

// The program with its windows, connected and logged in as the administrator.
class TLoggedInProgram : public TStartedProgram
{
protected:
  void SetUp() override
  {
    TStartedProgram::SetUp();
    StopDispatcher();
    TComPtr<ILKCommunication> comm = GetCommunication();
    TestSupport::SetTarget(comm.Get(), TLyskomdServer::Host(), Server().PortText(), "omnora-test");
    ASSERT_TRUE(TestSupport::ConnectComm(comm.Get()));
    ASSERT_TRUE(Login(TLyskomdServer::AdminPerson, TLyskomdServer::AdminPassword));
  }
  void TearDown() override
  {
    try {
      VARIANT_BOOL done = VARIANT_FALSE;
      GetCommunication()->Disconnect(&done);
    } catch (const std::exception&) {
    }
    ServerConfiguration->Clear();
    TStartedProgram::TearDown();
  }

  static int NewConference(const std::string& name, const std::string& type = "0000")
  {
    return AskInt(L_CREATE_CONF, TRequestArgs().Str(name).Bits(type));
  }
  static int NewPerson(const std::string& name, const std::string& password = "pw")
  {
    return AskInt(L_CREATE_PERSON, TRequestArgs().Str(name).Str(password));
  }
  static int NewText(int conf, const std::string& text)
  {
    return AskInt(L_CREATE_TEXT, TRequestArgs().Str(text).List({RecipientItem(conf)}));
  }
};

// A picture of the screen for a person to look at (never an assertion).
inline void Screenshot(TForm* form, const std::string& file)
{
  RedrawWindow(form->HostHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Application().ProcessMessages();
  const std::string shot = TestSupport::UnixPathOf(TestSupport::OutputDir()) + "/" + file;
  TestSupport::RunUnixCommand("import -window root '" + shot + "'", 20000);
}

// The windows' workers have ended; the program's subject-tree scanner,
// message thread and who-is-on worker live as long as their windows.
inline bool WindowWorkersEnded()
{
  size_t kept = SubjectTreeAsyncThread ? 1u : 0u;
  if (MainForm && MainForm->AsyncMsgThread) ++kept;
  if (ActiveUsersForm && ActiveUsersForm->UpdateThread) ++kept;
  return LiveThreadCount() == kept;
}

// A letter to the administrator, opened from the reading window's key
// command and the name dialog it asks.
inline TWriteTextForm* OpenLetterToAdministrator()
{
  std::vector<TForm*> before = Application().Forms();
  ReadArticleForm->BringToFront();
  TestSupport::ClickAt(ReadArticleForm->ConfListView->Handle(), 5, 40);
  EXPECT_TRUE(WaitFor([] { return GetFocus() == ReadArticleForm->ConfListView->Handle(); }));
  TModalScript script;
  script.Then<TGetNameForm>("GetNameForm", [](TGetNameForm* f) {
    TestSupport::TypeText(f->NameFrame->ItemList->Handle(), "Administrator (of) LysKOM");
    TestSupport::ClickAt(f->OkButton->Handle(), 5, 5);
  });
  script.Start();
  TestSupport::TypeKeys("b");
  EXPECT_TRUE(WaitFor([&] { return script.Done(); }, 20000));
  TWriteTextForm* editor = nullptr;
  WaitFor([&] {
    for (TForm* f : Application().Forms())
      if (auto* e = dynamic_cast<TWriteTextForm*>(f);
          e && e->Visible() && !e->RecipientThreadRunning && std::find(before.begin(), before.end(), f) == before.end())
        editor = e;
    return editor != nullptr;
  }, 20000);
  return editor;
}

} // namespace AdminTest
