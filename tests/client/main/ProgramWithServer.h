// A started program beside a lyskomd of the suite's own, with an engine
// session on it for the test to prepare the server through.
#pragma once

#include <memory>

#include "../core/EngineSession.h"
#include "ArticleFormViewForm.h"
#include "ArticleViewForm.h"
#include "ClientCaches.h"
#include "ConfsAndTexts.h"
#include "LyskomdServer.h"
#include "MainTestSupport.h"
#include "SessionState.h"
#include "ToolBar.h"
#include "WindowInput.h"
#include "WindowMessages.h"

namespace MainTest {

class TProgramWithServer : public TStartedProgram
{
protected:
  static void SetUpTestSuite()
  {
    Server = new TestSupport::TLyskomdServer();
    Server->Start();
  }
  static void TearDownTestSuite()
  {
    delete Server;
    Server = nullptr;
  }
  void SetUp() override
  {
    TStartedProgram::SetUp();
    Session = std::make_unique<EngineSession::TSession>(TestSupport::TLyskomdServer::Host(), Server->Port());
  }
  void TearDown() override
  {
    Session.reset();
    TStartedProgram::TearDown();
  }

  inline static TestSupport::TLyskomdServer* Server = nullptr;
  std::unique_ptr<EngineSession::TSession> Session;
};

// The program logged in as the administrator, beside a second person whose
// texts there are to read: the server counts an author's own texts as read.
class TReadingProgram : public TProgramWithServer
{
protected:
  static void TearDownTestSuite()
  {
    Writer = 0;
    TProgramWithServer::TearDownTestSuite();
  }
  // The second person's name, created once per server.
  virtual const char* WriterName() const = 0;

  void SetUp() override
  {
    TProgramWithServer::SetUp();
    ShowMain();
    if (Writer == 0) Writer = Session->CreatePerson(WriterName(), "pw");
    Author = std::make_unique<EngineSession::TSession>(TestSupport::TLyskomdServer::Host(), Server->Port(), false, false);
    ASSERT_TRUE(Author->Login(Writer, "pw"));
    ClearAllCaches();
    CurrentPersNo = 5;
    MainForm->SetConnectedState(true);
  }
  void TearDown() override
  {
    CurrentPersNo = 0;
    ClearAllCaches();
    Author.reset();
    TProgramWithServer::TearDown();
  }

  // The administrator's membership of a conference, read from the server
  // into the client's store, with texts to read.
  void LoadMembership(int conf)
  {
    auto m = std::make_shared<TLyskomMembership>(conf);
    TComPtr<ILKCollection> result = Session->QueryMembership(conf);
    ASSERT_TRUE(result);
    m->LoadFromResult(result.Get());
    m->Priority = 100;
    m->mHasUnread = true;
    StoreMembership(m);
  }

  // The reading window told that the memberships changed, and the loop
  // run: it lists what the store holds.
  static void RelistMemberships()
  {
    PostMessageA(ReadArticleForm->Handle(), WM_READ_STATE_CHANGED, 0, 0);
    Application().ProcessMessages();
  }

  static TToolButton* ReadingButton(const char* name)
  {
    auto* button = dynamic_cast<TToolButton*>(ReadArticleForm->FindComponent(name));
    EXPECT_NE(button, nullptr) << name;
    return button;
  }
  // A button of the reading window's tool bar clicked, and the loop run.
  static void ClickReadingButton(const char* name)
  {
    ReadArticleForm->BringToFront();
    Application().ProcessMessages();
    if (TToolButton* button = ReadingButton(name)) {
      EXPECT_TRUE(TestSupport::ClickToolButton(button)) << name;
    }
    Application().ProcessMessages();
  }
  // The reading window's menu item chosen from the menu bar that shows it.
  static void ChooseReadingMenu(const char* name)
  {
    ReadArticleForm->BringToFront();
    Application().ProcessMessages();
    EXPECT_TRUE(TestSupport::ChooseMenuItem(ReadArticleForm, name)) << name;
    Application().ProcessMessages();
  }
  // "Next text" clicked; waits for the search to end and answers the text shown.
  static int ReadNext()
  {
    ClickReadingButton("ReadNextButton");
    EXPECT_TRUE(WaitFor([] { return ReadArticleForm->BusyCount == 0; }));
    Application().ProcessMessages();
    return ReadArticleForm->CurrentText();
  }
  static HWND MainViewEdit()
  {
    if (auto* flow = dynamic_cast<TArticleViewForm*>(ReadArticleForm->MainView)) return flow->MainEdit->Handle();
    if (auto* form = dynamic_cast<TArticleFormViewForm*>(ReadArticleForm->MainView)) return form->MainEdit->Handle();
    return nullptr;
  }
  // Keys typed into the reading window: into the control that has the
  // focus there, or the text view after a click into its lower corner.
  static void Type(const std::string& keys)
  {
    ReadArticleForm->BringToFront();
    Application().ProcessMessages();
    if (!IsChild(ReadArticleForm->Handle(), GetFocus())) {
      RECT r{};
      GetClientRect(MainViewEdit(), &r);
      ASSERT_TRUE(TestSupport::ClickAt(MainViewEdit(), r.right - 6, r.bottom - 6));
      Application().ProcessMessages();
      ASSERT_TRUE(IsChild(ReadArticleForm->Handle(), GetFocus()));
    }
    TestSupport::TypeKeys(keys);
    Application().ProcessMessages();
  }

  inline static int Writer = 0;
  std::unique_ptr<EngineSession::TSession> Author;
};

} // namespace MainTest
