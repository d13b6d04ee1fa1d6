// The reading commands of the default key mapping, typed into the reading
// window against a real lyskomd: each key sequence of the table runs its
// command (the editor opens in the right mode, the dialogs ask and act, the
// read state changes as the command says). Blank, "h", "åk" and "år" are
// covered with the reading order in ReadingWindowGuiTest.
#include <memory>

#include "../core/EngineSession.h"
#include "ArticleFormViewForm.h"
#include "ArticleViewForm.h"
#include "ClientCaches.h"
#include "LyskomdServer.h"
#include "MainTestSupport.h"
#include "ProgramWithServer.h"
#include "ModalScript.h"
#include "ReadingOrder.h"
#include "SessionState.h"
#include "StandardControls.h"
#include "UserMessages.h"
#include "WindowMessages.h"
#include "WindowInput.h"
#include "WriteTextForm.h"

namespace {

using namespace MainTest;
using EngineSession::TSession;
using TestSupport::TLyskomdServer;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

class ReadingKeys : public TReadingProgram
{
protected:
  const char* WriterName() const override { return "Key writer"; }
  void SetUp() override
  {
    TReadingProgram::SetUp();
    StopDispatcher();
  }
  void TearDown() override
  {
    TWriteTextForm::NameAsker = nullptr;
    TReadingProgram::TearDown();
  }

  int NewConference(const std::string& name)
  {
    const int conf = Session->CreateConference(name);
    EXPECT_GT(conf, 0);
    return conf;
  }
  void LoadMembership(int conf, int priority = 100)
  {
    auto m = std::make_shared<TLyskomMembership>(conf);
    TComPtr<ILKCollection> result = Session->QueryMembership(conf);
    ASSERT_TRUE(result);
    m->LoadFromResult(result.Get());
    m->Priority = priority;
    m->mHasUnread = true;
    StoreMembership(m);
  }
  void RefreshList()
  {
    RelistMemberships();
  }
  void Show(int text)
  {
    ReadArticleForm->ShowTextByNumber(text, true);
    Application().ProcessMessages();
  }
  // Types the keys while the script answers the dialogs they open.
  void TypeAnswering(const std::string& keys, TModalScript& script)
  {
    script.Start();
    Type(keys);
    EXPECT_TRUE(WaitFor([&] { return script.Done(); }, 20000))
      << "\"" << keys << "\": " << script.StepsDone() << " dialogs answered";
  }

  // A step for the name dialog: checks its caption, types the number and
  // completes it (Ctrl+N), then Ok.
  static TModalScript::TStep PickName(const std::string& caption, int number)
  {
    return [caption, number](TForm* f) {
      EXPECT_EQ(caption, f->Caption());
      HWND list = GetNameForm->NameFrame->ItemList->Handle();
      EXPECT_TRUE(TestSupport::TypeInto(list, std::to_string(number)));
      TestSupport::PressKey(list, 'N', {VK_CONTROL});
      TModalScript::Click(GetNameForm->OkButton);
    };
  }
  // A step for the input box: checks its prompt and answers.
  static TModalScript::TStep Answer(const std::string& prompt, const std::string& value)
  {
    return [prompt, value](TForm* f) {
      EXPECT_EQ(prompt, dynamic_cast<TLabel*>(f->FindComponent("PromptLabel"))->Caption());
      EXPECT_TRUE(TestSupport::TypeInto(dynamic_cast<TEdit*>(f->FindComponent("ValueEdit"))->Handle(), value));
      TModalScript::Click(dynamic_cast<TButton*>(f->FindComponent("OkButton")));
    };
  }

  // The editor opened last, once its recipients are in.
  static TWriteTextForm* NewestEditor(size_t before)
  {
    std::vector<TWriteTextForm*> editors;
    for (TForm* f : Application().Forms())
      if (auto* e = dynamic_cast<TWriteTextForm*>(f)) editors.push_back(e);
    if (editors.size() <= before) return nullptr;
    TWriteTextForm* editor = editors.back();
    EXPECT_TRUE(WaitFor([editor] { return !editor->RecipientThreadRunning; }));
    Application().ProcessMessages();
    return editor;
  }
  static size_t EditorCount()
  {
    size_t n = 0;
    for (TForm* f : Application().Forms())
      if (dynamic_cast<TWriteTextForm*>(f)) ++n;
    return n;
  }
  // Whether the editor has a row of that kind and number.
  static bool HasRow(TWriteTextForm* editor, const std::string& kind, int number)
  {
    for (int i = 0; editor && i < editor->ListView->Count(); ++i)
      if (editor->ListView->Item(i)->ColumnText(0) == kind &&
          editor->ListView->Item(i)->ColumnText(1) == std::to_string(number))
        return true;
    return false;
  }

};

TEST_F(ReadingKeys, WritingKeysOpenTheEditorInTheirMode)
{
  const int conf = NewConference("Writing keys");
  const int theirs = Author->TextTo(conf, "Theirs\nSomeone else's text.\n");
  const int mine = Session->TextTo(conf, "Mine\nMy own text.\n");
  LoadMembership(conf);
  RefreshList();
  ASSERT_EQ(ReadArticleForm->SelectedConference(), conf);
  Show(theirs);

  // "k": a comment to the shown text, to its recipients.
  size_t before = EditorCount();
  Type("k");
  TWriteTextForm* comment = NewestEditor(before);
  ASSERT_NE(comment, nullptr) << "\"k\" opens no editor";
  EXPECT_TRUE(HasRow(comment, "Comment to", theirs));
  EXPECT_TRUE(HasRow(comment, "Recipient", conf));

  // "p": a personal comment, to the author.
  before = EditorCount();
  Type("p");
  TWriteTextForm* personal = NewestEditor(before);
  ASSERT_NE(personal, nullptr) << "\"p\" opens no editor";
  EXPECT_TRUE(HasRow(personal, "Comment to", theirs));
  EXPECT_TRUE(HasRow(personal, "Recipient", Writer));

  // "f": only the author adds footnotes.
  before = EditorCount();
  Type("f");
  EXPECT_EQ(EditorCount(), before);
  EXPECT_EQ(TakeUserMessage(), "!Footnotes to texts can only be added by the author of the original message");
  Show(mine);
  Type("f");
  TWriteTextForm* footnote = NewestEditor(before);
  ASSERT_NE(footnote, nullptr) << "\"f\" opens no editor for the author";
  EXPECT_TRUE(HasRow(footnote, "Footnote to", mine));

  // "i": a new text to the selected conference.
  before = EditorCount();
  Type("i");
  TWriteTextForm* text = NewestEditor(before);
  ASSERT_NE(text, nullptr) << "\"i\" opens no editor";
  EXPECT_TRUE(HasRow(text, "Recipient", conf));

  // "b": a letter to the person asked for.
  std::vector<std::string> asked;
  TWriteTextForm::NameAsker = [&](const std::string& caption) {
    asked.push_back(caption);
    return Writer;
  };
  before = EditorCount();
  Type("b");
  TWriteTextForm* letter = NewestEditor(before);
  ASSERT_NE(letter, nullptr) << "\"b\" opens no editor";
  EXPECT_EQ(asked, std::vector<std::string>{"Write letter"});
  EXPECT_TRUE(HasRow(letter, "Recipient", Writer));
}

TEST_F(ReadingKeys, UnreadKeysPostponeSetUnreadAndRereadComments)
{
  const int conf = NewConference("Unread keys");
  const int root = Author->TextTo(conf, "Unread root\nRoot.\n");
  const int comment = Author->CreateText("Re\nA comment.\n", {RecipientItem(conf), CommentToItem(root)});
  Author->TextTo(conf, "Third\nx\n");
  Author->TextTo(conf, "Fourth\nx\n");
  LoadMembership(conf);
  RefreshList();

  // "sl": postpone; the two newest stay unread, the mark moves locally.
  TModalScript postpone;
  postpone.Then("GetNameForm", PickName("Postpone reading", conf)).Then("InputQueryForm", Answer("How many unread?", "2"));
  TypeAnswering("sl", postpone);
  EXPECT_EQ(MembershipByConf(conf)->LastTextRead(), 2);
  EXPECT_EQ(ReadArticleForm->BusyCount, 0);

  // "e": the server is told to leave the three newest unread.
  TModalScript setUnread;
  setUnread.Then("GetNameForm", PickName("Set unread in conference", conf))
    .Then("InputQueryForm", Answer("How many unread?", "3"));
  TypeAnswering("e", setUnread);
  TComPtr<ILKCollection> onServer = Session->QueryMembership(conf);
  ASSERT_TRUE(onServer);
  EXPECT_EQ(LKInt(onServer.Get(), "last_text_read"), 1);
  ASSERT_TRUE(MembershipByConf(conf));
  EXPECT_EQ(MembershipByConf(conf)->LastTextRead(), 1);

  // "åt": the comments of the shown text are unread again, the text itself read.
  Show(root);
  MarkCommentTreeRead(root);
  Type("\xe5t");
  EXPECT_FALSE(IsTextUnread(root));
  EXPECT_TRUE(IsTextUnread(comment));
  EXPECT_EQ(ReadNext(), comment);
}

TEST_F(ReadingKeys, ConferenceKeysGoJoinLeaveAndRename)
{
  const int first = NewConference("Key conference one");
  const int second = NewConference("Key conference two");
  Author->TextTo(first, "One\nx\n");
  const int inSecond = Author->TextTo(second, "Two\nIn the second.\n");
  LoadMembership(first, 200);
  LoadMembership(second, 100);
  RefreshList();
  ASSERT_EQ(ReadArticleForm->SelectedConference(), first);

  // "g": go to the conference asked for.
  TModalScript go;
  go.Then("GetNameForm", [second](TForm* f) {
    // For people to look at; never an assertion.
    TestSupport::TypeInto(GetNameForm->NameFrame->ItemList->Handle(), "Key conf");
    Application().ProcessMessages();
    TestSupport::RunUnixCommand("import -window root '" + TestSupport::UnixPathOf(TestSupport::OutputDir()) +
                                  "/name-dialog.png'", 20000);
    PickName("Goto conference", second)(f);
  });
  TypeAnswering("g", go);
  EXPECT_EQ(ReadArticleForm->SelectedConference(), second);
  EXPECT_EQ(ReadNext(), inSecond);

  // "t ": the top conference of the list is read next.
  Type("t ");
  WaitFor([] { return ReadArticleForm->BusyCount == 0; });
  Application().ProcessMessages();
  EXPECT_EQ(ReadArticleForm->SelectedConference(), first);

  // "m": join a conference that someone else created.
  const int other = int(Author->Number(L_CREATE_CONF, TRequestArgs().Str("Not yet joined").Bits("0000")));
  ASSERT_GT(other, 0);
  ASSERT_FALSE(MembershipByConf(other));
  TModalScript join;
  join.Then("GetNameForm", PickName("Join conference", other));
  TypeAnswering("m", join);
  EXPECT_TRUE(WaitFor([other] { return bool(MembershipByConf(other)); }));

  // "ccn": rename it.
  TModalScript rename;
  rename.Then("GetNameForm", PickName("Change name on what conference or person?", second))
    .Then("InputQueryForm", Answer("New name on the conference?", "Renamed by key"));
  TypeAnswering("ccn", rename);
  EXPECT_EQ(TakeUserMessage(), "iSuccess!");
  TLKRequest status(L_GET_UCONF_STAT, TRequestArgs().Int(second));
  ASSERT_TRUE(Session->Expect(status));
  EXPECT_EQ(LKString(status.Response(), "result.name"), "Renamed by key");

  // "l": leave the conference being read (offered in the dialog).
  LoadMembership(first, 200);
  LoadMembership(second, 100);
  ReadArticleForm->ReadStatus().CurrentConference = second;
  TModalScript leave;
  leave.Then("GetNameForm", [second](TForm* f) {
    EXPECT_EQ("Leave conference", f->Caption());
    EXPECT_EQ(GetNameForm->NameFrame->NameText(), NameByNumber(second));
    PickName("Leave conference", second)(f);
  });
  TypeAnswering("l", leave);
  EXPECT_FALSE(MembershipByConf(second));
  EXPECT_EQ(TakeUserMessage(), "iLeave conference complete.");
}

TEST_F(ReadingKeys, TextKeysReadByNumberFilterSubjectsAndShowPresentationsFaqsAndWhoIsOn)
{
  const int conf = NewConference("Text keys");
  const int filtered = Author->TextTo(conf, "Boring subject\nFirst.\n");
  Author->TextTo(conf, "Boring subject\nSecond, same subject.\n");
  const int kept = Author->TextTo(conf, "Other subject\nKept.\n");
  const int presentation = Session->TextTo(conf, "Presentation\nAbout the conference.\n");
  TLKRequest setPresentation(L_SET_PRESENTATION, TRequestArgs().Int(conf).Int(presentation));
  ASSERT_TRUE(Session->Expect(setPresentation));
  LoadMembership(conf);
  RefreshList();

  // "å ": a text by its number.
  TModalScript byNumber;
  byNumber.Then("InputQueryForm", Answer("Global text nr:", "#" + std::to_string(kept)));
  TypeAnswering("\xe5 ", byNumber);
  EXPECT_EQ(ReadArticleForm->CurrentText(), kept);

  // "H": the subject goes into the conference's filter; the next text with
  // it is passed over (and marked read).
  ASSERT_EQ(ReadNext(), filtered);
  Type("H");
  TConferenceRef conference = ConferenceByNumber(conf);
  ASSERT_TRUE(conference);
  EXPECT_TRUE(conference->IsSubjectFiltered("Boring subject"));
  EXPECT_EQ(ReadNext(), kept);

  // "åp": the presentation of the conference asked for.
  TModalScript pres;
  pres.Then("GetNameForm", PickName("View presentation", conf));
  TypeAnswering("\xe5p", pres);
  Application().ProcessMessages();
  EXPECT_EQ(ReadArticleForm->CurrentText(), presentation);

  // "åf": its FAQ; it has none.
  TModalScript faq;
  faq.Then("GetNameForm", PickName("View FAQ", conf));
  const size_t boxes = Boxes->Count();
  TypeAnswering("\xe5" "f", faq);
  ASSERT_EQ(Boxes->Count(), boxes + 1);
  EXPECT_EQ(Boxes->Boxes().back().Text, "The conference has no FAQ");

  // "v": the who-is-on window.
  ActiveUsersForm->Hide();
  Type("v");
  EXPECT_TRUE(ActiveUsersForm->Visible());
}

} // namespace
