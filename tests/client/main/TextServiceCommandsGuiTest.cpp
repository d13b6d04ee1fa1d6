// The special-text and unread commands with the program's windows and a real
// lyskomd: what View FAQ says for each case, and setting or postponing the
// unread texts of a conference through the name dialog and the input box.
#include <winsock2.h>

#include "../core/EngineSession.h"
#include "ClientCaches.h"
#include "LyskomdServer.h"
#include "MainTestSupport.h"
#include "ProgramWithServer.h"
#include "ModalScript.h"
#include "WindowInput.h"
#include "SessionState.h"
#include "StandardControls.h"
#include "TextServiceCommands.h"
#include "UserMessages.h"

namespace {

using namespace MainTest;
using EngineSession::TSession;
using TestSupport::TLyskomdServer;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

class TextServiceCommands : public TProgramWithServer
{
protected:
  void SetUp() override
  {
    TProgramWithServer::SetUp();
    StopDispatcher();
    CurrentPersNo = 5;
  }
  void TearDown() override
  {
    CurrentPersNo = 0;
    TProgramWithServer::TearDown();
  }
  std::string LastBox() { return Boxes->Count() ? Boxes->Boxes().back().Text : std::string(); }

  // Answers the name dialog with the conference's number and the input box
  // with the count.
  void Answer(TModalScript& script, int conf, const std::string& count)
  {
    script
      .Then("GetNameForm",
            [conf](TForm*) {
              HWND list = GetNameForm->NameFrame->ItemList->Handle();
              EXPECT_TRUE(TestSupport::TypeInto(list, std::to_string(conf)));
              TestSupport::PressKey(list, 'N', {VK_CONTROL});
              TModalScript::Click(GetNameForm->OkButton);
            })
      .Then("InputQueryForm", [count](TForm* f) {
        EXPECT_EQ("How many unread?", dynamic_cast<TLabel*>(f->FindComponent("PromptLabel"))->Caption());
        EXPECT_TRUE(TestSupport::TypeInto(dynamic_cast<TEdit*>(f->FindComponent("ValueEdit"))->Handle(), count));
        TModalScript::Click(dynamic_cast<TButton*>(f->FindComponent("OkButton")));
      });
    script.Start();
  }

};

TEST_F(TextServiceCommands, ViewFaqSaysWhyThereIsNothingToShowOrShowsTheFaq)
{
  ViewFaq(0);
  EXPECT_EQ("No such conference", LastBox());
  const int conf = Session->CreateConference("With and without FAQ");
  ViewFaq(conf);
  EXPECT_EQ("The conference has no FAQ", LastBox());
  // A refusal other than "not implemented" is shown as itself.
  ViewFaq(999999);
  EXPECT_NE("The server does not support this function", LastBox());
  EXPECT_NE(std::string::npos, LastBox().find("onference")) << LastBox();

  const int faq = Session->TextTo(conf, "FAQ\nAnswers");
  TLKRequest set(L_MODIFY_CONF_INFO,
                 TRequestArgs().Int(conf).Ints({}).List({AuxItemArgs(14, std::to_string(faq))}));
  ASSERT_TRUE(Session->Expect(set));
  const size_t boxes = Boxes->Count();
  ViewFaq(conf);
  EXPECT_EQ(boxes, Boxes->Count());
  ASSERT_FALSE(ReadArticleForm->History.empty());
  EXPECT_EQ(faq, ReadArticleForm->History.back());
}

TEST_F(TextServiceCommands, PostponeAndSetUnreadGoThroughTheDialogs)
{
  const int conf = Session->CreateConference("Unread by dialog");
  for (int i = 0; i < 5; ++i) Session->TextTo(conf, "U\nx");
  auto m = std::make_shared<TLyskomMembership>(conf);
  m->LoadFromResult(Session->QueryMembership(conf).Get());
  StoreMembership(m);

  int chosen = 0;
  TModalScript postpone;
  Answer(postpone, conf, "2");
  EXPECT_TRUE(SetUnreadInConference(chosen, true));
  EXPECT_EQ(conf, chosen);
  EXPECT_EQ(3, m->LastTextRead());
  EXPECT_TRUE(postpone.Done());

  TModalScript bad;
  Answer(bad, conf, "two");
  EXPECT_FALSE(SetUnreadInConference(chosen, false));
  EXPECT_EQ("!Not a valid number", TakeUserMessage());

  TModalScript setUnread;
  Answer(setUnread, conf, "4");
  EXPECT_TRUE(SetUnreadInConference(chosen, false));
  TMembershipRef fresh = MembershipByConf(conf);
  ASSERT_TRUE(fresh);
  EXPECT_EQ(1, fresh->LastTextRead()) << "the server keeps the 4 newest unread";
}

} // namespace
