// The writing windows with the program's windows standing: the reading
// window's commands open the editor on the text shown, and a text written
// there joins the reading window's history; a properties window follows the
// text shown unless locked, and shows its own text in the reading window.
#include <winsock2.h>
#include <windows.h>

#include "../core/EngineSession.h"
#include "../main/MainTestSupport.h"
#include "../main/ProgramWithServer.h"
#include "ClientCaches.h"
#include "LyskomdServer.h"
#include "SessionState.h"
#include "TextRcptEditForm.h"
#include "WriteTextForm.h"
#include "Application.h"

namespace {

using namespace MainTest;
using TestSupport::TLyskomdServer;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

class WriteCommands : public TProgramWithServer
{
protected:
  void SetUp() override
  {
    TProgramWithServer::SetUp();
    ClearAllCaches();
    CurrentPersNo = TLyskomdServer::AdminPerson;
    ServerVersion.ProtocolVersion = 11;
  }
  void TearDown() override
  {
    ClearAllCaches();
    TProgramWithServer::TearDown();
  }

};

TEST_F(WriteCommands, CommentOfTheShownTextIsWrittenAndJoinsTheHistory)
{
  ShowMain();
  const int conf = Session->CreateConference("Commands Conf");
  const int text = Session->TextTo(conf, "Shown text\nbody");
  ReadArticleForm->ShowTextByNumber(text, true);
  Application().ProcessMessages();
  ASSERT_EQ(ReadArticleForm->CurrentText(), text);

  ReadArticleForm->FollowUpTextAction->SetEnabled(true);
  ASSERT_TRUE(ReadArticleForm->FollowUpTextAction->Execute());
  auto* editor = dynamic_cast<TWriteTextForm*>(Application().FindForm("WriteTextForm"));
  ASSERT_NE(editor, nullptr);
  ASSERT_TRUE(WaitFor([editor] { return !editor->RecipientThreadRunning; }));
  EXPECT_EQ(editor->SubjectEdit->Text(), "Shown text");
  std::vector<TTextRow> rows = editor->Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].Kind, TRowKind::CommentTo);
  EXPECT_EQ(rows[0].Number, text);
  EXPECT_EQ(rows[1].Kind, TRowKind::Recipient);
  EXPECT_EQ(rows[1].Number, conf);

  editor->WriteTextEdit->SetText("A comment");
  ASSERT_TRUE(editor->SubmitText());
  const int created = editor->CreatedTextNo();
  const auto& history = ReadArticleForm->History;
  EXPECT_NE(std::find(history.begin(), history.end(), created), history.end());
  EXPECT_EQ(Boxes->Count(), 0u);
}

TEST_F(WriteCommands, PropertiesWindowFollowsTheReadingWindowAndShowsItsText)
{
  ShowMain();
  const int conf = Session->CreateConference("Commands Props");
  const int first = Session->TextTo(conf, "First\nbody");
  const int second = Session->TextTo(conf, "Second\nbody");
  TTextRcptEditForm* props = OpenTextProperties(first);
  Application().ProcessMessages();
  ReadArticleForm->ShowTextByNumber(second, true);
  ASSERT_TRUE(WaitFor([props, second] { return props->TextNo() == second; }));

  props->LockTextCheckBox->SetChecked(true);
  ReadArticleForm->ShowTextByNumber(first, true);
  WaitFor([] { return false; }, 300);
  EXPECT_EQ(props->TextNo(), second);

  props->ViewTextButton->Click();
  Application().ProcessMessages();
  EXPECT_EQ(ReadArticleForm->CurrentText(), second);
}

} // namespace
