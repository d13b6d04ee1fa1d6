// The writing windows with the program's windows standing: the reading
// window's commands open the editor on the text shown, and a text written
// there joins the reading window's history; a properties window follows the
// text shown unless locked, and shows its own text in the reading window.
// Written and sent from the keyboard: what the server is told the user is
// doing, and a note on the door set from the menu shown at the next letter.
#include <winsock2.h>
#include <windows.h>

#include "../core/EngineSession.h"
#include "../main/MainTestSupport.h"
#include "../main/ProgramWithServer.h"
#include "Activity.h"
#include "ClientCaches.h"
#include "LyskomdServer.h"
#include "MenuItems.h"
#include "ModalScript.h"
#include "NameFrame.h"
#include "NoteOnDoorForm.h"
#include "UserMessages.h"
#include "WindowInput.h"
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
    ServerConfiguration->Clear();
    ClearAllCaches();
    TProgramWithServer::TearDown();
  }

  // Logged in as the program shows it: the session's commands are on.
  void Connected()
  {
    ShowMain();
    MainForm->SetConnectedState(true);
  }
  // A key command typed into the reading window, the name dialog that it
  // opens answered with a name typed there.
  static void TypeAnswering(const std::string& keys, const std::string& caption, const std::string& name)
  {
    ReadArticleForm->BringToFront();
    TestSupport::ClickAt(ReadArticleForm->ConfListView->Handle(), 5, 40);
    ASSERT_TRUE(WaitFor([] { return GetFocus() == ReadArticleForm->ConfListView->Handle(); }));
    TModalScript script;
    AnswerName(script, caption, name);
    script.Start();
    TestSupport::TypeKeys(keys);
    EXPECT_TRUE(WaitFor([&] { return script.Done(); }, 20000)) << keys;
  }
  static void AnswerName(TModalScript& script, const std::string& caption, const std::string& name)
  {
    script.Then<TGetNameForm>("GetNameForm", [caption, name](TGetNameForm* f) {
      EXPECT_EQ(f->Caption(), caption);
      TestSupport::TypeText(f->NameFrame->ItemList->Handle(), name);
      TestSupport::ClickAt(f->OkButton->Handle(), 5, 5);
    });
  }
  // The editor opened last, once its recipients are in.
  static TWriteTextForm* OpenedEditor()
  {
    TWriteTextForm* editor = nullptr;
    WaitFor([&] {
      for (TForm* f : Application().Forms())
        if (auto* e = dynamic_cast<TWriteTextForm*>(f); e && e->Visible() && !e->RecipientThreadRunning) editor = e;
      return editor != nullptr;
    });
    return editor;
  }
  // Subject (unless empty) and body typed, then sent with Ctrl+Enter; true
  // once the editor has closed.
  static bool WriteAndSend(TWriteTextForm* editor, const std::string& subject, const std::string& body)
  {
    if (!subject.empty()) {
      TestSupport::ClickAt(editor->SubjectEdit->Handle(), 3, 3);
      TestSupport::TypeText(editor->SubjectEdit->Handle(), subject);
    }
    TestSupport::ClickAt(editor->WriteTextEdit->Handle(), 3, 3);
    TestSupport::TypeText(editor->WriteTextEdit->Handle(), body);
    if (!WaitFor([editor] { return GetFocus() == editor->WriteTextEdit->Handle(); })) return false;
    TestSupport::PressKey(editor->WriteTextEdit->Handle(), VK_RETURN, {VK_CONTROL});
    return WaitFor([editor] {
      const auto& forms = Application().Forms();
      return std::find(forms.begin(), forms.end(), editor) == forms.end() || !editor->Visible();
    });
  }
  // What the server says the program's session is doing.
  std::string ActivityOnTheServer()
  {
    const int mySession = int(Session->Number(L_WHO_AM_I, ""));
    TLKRequest who(L_WHO_IS_ON_DYNAMIC, TRequestArgs().Int(1).Int(0).Int(0));
    if (!Session->Expect(who)) return "(no answer)";
    TComPtr<ILKCollection> result = LKSub(who.Response(), "result");
    for (long i = 0, n = LKCount(result.Get()); i < n; ++i) {
      TComPtr<ILKCollection> item = LKCollectionOf(LKItem(result.Get(), i).Get());
      if (LKInt(item.Get(), "session") == mySession) return LKString(item.Get(), "what_am_i_doing");
    }
    return "(no session)";
  }
};

TEST_F(WriteCommands, CommentOfTheShownTextIsWrittenAndJoinsTheHistory)
{
  Connected();
  const int conf = Session->CreateConference("Commands Conf");
  const int text = Session->TextTo(conf, "Shown text\nbody");
  ReadArticleForm->ShowTextByNumber(text, true);
  Application().ProcessMessages();
  ASSERT_EQ(ReadArticleForm->CurrentText(), text);

  // Text, "Comment" from the reading window's menu.
  ReadArticleForm->BringToFront();
  Application().ProcessMessages();
  ASSERT_TRUE(TestSupport::ChooseMenuItem(ReadArticleForm, "FollowUpText1"));
  TWriteTextForm* editor = OpenedEditor();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->SubjectEdit->Text(), "Shown text");
  std::vector<TTextRow> rows = editor->Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].Kind, TRowKind::CommentTo);
  EXPECT_EQ(rows[0].Number, text);
  EXPECT_EQ(rows[1].Kind, TRowKind::Recipient);
  EXPECT_EQ(rows[1].Number, conf);

  ASSERT_TRUE(WriteAndSend(editor, "", "A comment"));
  // The comment is the newest text of the history.
  const auto& history = ReadArticleForm->History;
  ASSERT_FALSE(history.empty());
  EXPECT_GT(history.back(), text);
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

  ASSERT_TRUE(TestSupport::ClickControl(props->LockTextCheckBox->Handle()));
  Application().ProcessMessages();
  EXPECT_TRUE(props->LockTextCheckBox->Checked());
  ReadArticleForm->ShowTextByNumber(first, true);
  WaitFor([] { return false; }, 300);
  EXPECT_EQ(props->TextNo(), second);

  ASSERT_TRUE(TestSupport::ClickControl(props->ViewTextButton->Handle()));
  EXPECT_TRUE(WaitFor([second] { return ReadArticleForm->CurrentText() == second; }));
}

TEST_F(WriteCommands, TheServerIsToldTheUserSubmitsAndThenWaits)
{
  // A person who never saved the options: the messages in force are the
  // ones the options dialog shows for them.
  ServerConfiguration->Clear();
  Connected();
  ResetLastActivityText();
  SetActivity(3);  // as reading does
  ASSERT_TRUE(WaitFor([&] { return ActivityOnTheServer() == "Reading"; }));

  TypeAnswering("b", "Write letter", "Administrator (of) LysKOM");
  TWriteTextForm* editor = OpenedEditor();
  ASSERT_NE(editor, nullptr);
  Session->Comm()->ClearRecord();
  ASSERT_TRUE(WriteAndSend(editor, "To myself", "A note"));
  EXPECT_EQ(Boxes->Count(), 0u);

  // Submitting, the text, then waiting: in that order.
  std::vector<std::string> told;
  for (const auto& sent : Session->Comm()->Sent()) {
    if (sent.Type == L_CHANGE_WHAT_I_AM_DOING) told.push_back(sent.Arguments);
    if (sent.Type == L_CREATE_TEXT_10) told.push_back("(the text)");
  }
  EXPECT_EQ(told, (std::vector<std::string>{ToHollerith("Submitting a new text"), "(the text)", ToHollerith("Waiting")}));
  EXPECT_TRUE(WaitFor([&] { return ActivityOnTheServer() == "Waiting"; }));
}

TEST_F(WriteCommands, ANoteOnTheDoorSetFromTheMenuShowsAtTheNextLetter)
{
  const int keeper = Session->CreatePerson("Door Keeper", "pw");
  ASSERT_GT(keeper, 0);
  Connected();

  // Online, Users, "Set Message Of The Day...": the editor for the person's note.
  TModalScript ask;
  AnswerName(ask, "Change Message Of The Day", "Door Keeper");
  ask.Start();
  auto* item = dynamic_cast<TMenuItem*>(MainForm->FindComponent("SetUserMOTD1"));
  ASSERT_NE(item, nullptr);
  ASSERT_TRUE(TestSupport::ChooseMenuItem(item->Command()));
  ASSERT_TRUE(WaitFor([&] { return ask.Done(); }));
  TWriteTextForm* note = OpenedEditor();
  ASSERT_NE(note, nullptr);
  // A note goes to nobody: the user is not to be added, and it is sent as it is.
  Boxes->SetAnswerer([](const TRecordedMessageBox& box) {
    return box.Text.rfind("No recipents!", 0) == 0 ? IDYES : IDNO;
  });
  ASSERT_TRUE(WriteAndSend(note, "Out for lunch", "Back at one."));
  EXPECT_EQ(UserMessageCount(), 0);

  // The next letter to the person shows the new note, with no cache reset between.
  TypeAnswering("b", "Write letter", "Door Keeper");
  TNoteOnDoorForm* door = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (door = dynamic_cast<TNoteOnDoorForm*>(Application().FindForm("NoteOnDoorForm"))); }));
  ASSERT_TRUE(WaitFor([&] { return door->NoteEdit->TextLength() > 0; }));
  EXPECT_EQ(door->NoteEdit->Text().rfind("Out for lunch\r", 0), 0u) << door->NoteEdit->Text();
}

} // namespace
