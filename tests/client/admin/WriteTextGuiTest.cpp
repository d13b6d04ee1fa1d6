// The text editor opened for real against a real lyskomd: every kind of text
// it writes is created with its subject, byte-exact body, rows and aux
// items; the recipient worker, the questions before sending, the keys of the
// body, encryption and ROT13, and the note on the door of a recipient.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ClientCaches.h"
#include "Crypto.h"
#include "EngineBinding.h"
#include "Form.h"
#include "Application.h"
#include "Lookups.h"
#include "Clipboard.h"
#include "LyskomConfiguration.h"
#include "MainWindowLink.h"
#include "MessageBoxes.h"
#include "ModalScript.h"
#include "NoteOnDoorForm.h"
#include "OmnoraForms.h"
#include "ProcessObjects.h"
#include "SessionState.h"
#include "TestSupport.h"
#include "UserMessages.h"
#include "WritingSession.h"
#include "WindowMessages.h"
#include "WindowInput.h"
#include "WriteTextForm.h"

using EngineSession::TSession;
using TestSupport::TLyskomdServer;

namespace {

using namespace Writing;

const auto* const Environment = testing::AddGlobalTestEnvironment(new TUnitsEnvironment);

// A row as the list shows it.
struct TRowText
{
  std::string Kind, Number, Name;
  bool operator==(const TRowText&) const = default;
};
std::ostream& operator<<(std::ostream& os, const TRowText& r)
{
  return os << "{" << r.Kind << ", " << r.Number << ", " << r.Name << "}";
}

std::vector<TRowText> RowTexts(TWriteTextForm* form)
{
  std::vector<TRowText> rows;
  for (int i = 0; i < form->ListView->Count(); ++i) {
    TListItem* item = form->ListView->Item(i);
    rows.push_back({item->ColumnText(0), item->ColumnText(1), item->ColumnText(2)});
  }
  return rows;
}

class WriteText : public TWritingSuite
{
protected:
  void SetUp() override
  {
    TWritingSuite::SetUp();
    TWriteTextForm::NameAsker = [this](const std::string& caption) {
      AskedCaptions.push_back(caption);
      return NextName;
    };
    // The event log, where a person reads which text was created.
    TMainWindowLink link;
    link.LogEvent = [](const std::string& text) { Logged().push_back(text); };
    InstallMainWindowLink(link);
  }
  void TearDown() override
  {
    TWritingSuite::TearDown();
    InstallMainWindowLink(TMainWindowLink{});
    Logged().clear();
  }

  static std::vector<std::string>& Logged()
  {
    static std::vector<std::string> lines;
    return lines;
  }

  // Ctrl+Enter typed in the editor's body, which a click gives the focus:
  // the number of the text that the event log reports created, or 0 when
  // none was (the window stays open then). A window that sent its text
  // closes: nothing of it is touched afterwards.
  static int Submit(TWriteTextForm* form)
  {
    Logged().clear();
    form->BringToFront();
    Application().ProcessMessages();
    EXPECT_TRUE(TestSupport::ClickControl(form->WriteTextEdit->Handle()));
    Application().ProcessMessages();
    EXPECT_EQ(GetFocus(), form->WriteTextEdit->Handle());
    TestSupport::PressKey(GetFocus(), VK_RETURN, {VK_CONTROL});
    Application().ProcessMessages();
    for (const std::string& line : Logged()) {
      int created = 0;
      if (std::sscanf(line.c_str(), "Text %d was created", &created) == 1) return created;
    }
    return 0;
  }

  // Opens the editor as an opener does and waits for its recipient worker.
  TWriteTextForm* Ready(TWriteTextForm* form)
  {
    EXPECT_TRUE(WaitFor([form] { return !form->RecipientThreadRunning; }));
    Application().ProcessMessages();
    return form;
  }

  // An item of the editor's menu bar chosen.
  static void Choose(TWriteTextForm* form, const char* item)
  {
    form->BringToFront();
    Application().ProcessMessages();
    EXPECT_TRUE(TestSupport::ChooseMenuItem(form, item)) << item;
    Application().ProcessMessages();
  }
  // A key typed into the editor's body.
  static void TypeInBody(TWriteTextForm* form, WORD key, std::initializer_list<int> held = {})
  {
    form->BringToFront();
    Application().ProcessMessages();
    TestSupport::PressKey(form->WriteTextEdit->Handle(), key, held);
    Application().ProcessMessages();
  }
  // An item of a recipient row's popup menu chosen.
  static void ChooseForRow(TWriteTextForm* form, int row, const char* name)
  {
    auto* item = dynamic_cast<TMenuItem*>(form->FindComponent(name));
    ASSERT_NE(item, nullptr) << name;
    form->BringToFront();
    Application().ProcessMessages();
    EXPECT_TRUE(TestSupport::ChooseFromRowPopup(form->ListView->Handle(), row, item)) << name;
    Application().ProcessMessages();
  }

  std::vector<std::string> AskedCaptions;
  int NextName = -1;
};

TEST_F(WriteText, NewTextIsCreatedByteExactWithItsRecipientsAndAuxItems)
{
  const int to = Session->CreateConference("Editor To");
  const int cc = Session->CreateConference("Editor CC");
  const int bcc = Session->CreateConference("Editor BCC");
  TWriteTextForm* form = Ready(WriteNewText(to));
  EXPECT_EQ(form->Caption(), "Write text");
  EXPECT_EQ(RowTexts(form), (std::vector<TRowText>{{"Recipient", N(to), "Editor To"}}));

  NextName = cc;
  Choose(form, "AddCCRcpt1");
  NextName = bcc;
  Choose(form, "AddBCCRcpt1");
  EXPECT_EQ(AskedCaptions, (std::vector<std::string>{"Add carbon copy recipient", "Add blind carbon copy recipient"}));
  // Cancelling the chooser adds nothing.
  NextName = -1;
  Choose(form, "AddRcpt1");
  ASSERT_EQ(form->ListView->Count(), 3);

  // Windows-1252 text: the lengths sent count its bytes.
  const std::string subject = "Sm\xF6rg\xE5sbord \x80 10";
  const std::string body = "Line one\r\xC5\xC4\xD6 \x93quoted\x94\r\r\r";
  form->SubjectEdit->SetText(subject);
  form->WriteTextEdit->SetText(body);
  Choose(form, "ReadConfirmation1");
  Screenshot("write-text");
  EXPECT_TRUE(form->ReadConfirmationAction->Checked());
  const int textNo = Submit(form);
  ASSERT_GT(textNo, 0) << (UserMessageCount() ? TakeUserMessage() : "");
  ASSERT_GT(textNo, 0);
  EXPECT_TRUE(BoxTexts().empty());

  const std::string expected = subject + "\nLine one\n\xC5\xC4\xD6 \x93quoted\x94";
  EXPECT_EQ(ServerText(textNo), expected);
  TTextStatRef stat = FreshStat(textNo);
  ASSERT_TRUE(stat);
  EXPECT_EQ(stat->NoOfChars, int(expected.size()));
  EXPECT_EQ(stat->Author, TLyskomdServer::AdminPerson);
  EXPECT_EQ(MiscPairs(textNo), (std::vector<std::pair<int, int>>{{0, to}, {1, cc}, {15, bcc}}));
  std::vector<std::pair<int, std::string>> aux;
  for (int i = 0; i < stat->AuxItemCount(); ++i) aux.emplace_back(stat->GetAuxItem(i)->Tag, stat->GetAuxItem(i)->Data);
  ASSERT_EQ(aux.size(), 3u);
  EXPECT_EQ(aux[0].first, 15);
  EXPECT_EQ(aux[0].second.rfind("Omnora ", 0), 0u);
  // The euro sign and the curly quotes are Windows-1252's own.
  EXPECT_EQ(aux[1], (std::pair<int, std::string>{1, "text/x-kom-basic;charset=windows-1252"}));
  EXPECT_EQ(aux[2], (std::pair<int, std::string>{6, ""}));
  // The window closes once the text is created.
  WaitFor([] { return Application().FindForm("WriteTextForm") == nullptr; }, 5000);
  EXPECT_EQ(Application().FindForm("WriteTextForm"), nullptr);
}

TEST_F(WriteText, CommentFootnoteAndQuoteCarryTheirLinks)
{
  const int conf = Session->CreateConference("Editor Comments");
  const int cc = Session->CreateConference("Editor Comments CC");
  const int original = Session->CreateText("Original subject\nFirst line\nSecond line",
                                           {RecipientItem(conf), CarbonCopyItem(cc)});
  ASSERT_GT(original, 0);

  TWriteTextForm* comment = Ready(WriteComment(original, false));
  EXPECT_TRUE(comment->IsComment);
  EXPECT_EQ(comment->SubjectEdit->Text(), "Original subject");
  EXPECT_EQ(GetFocus(), comment->WriteTextEdit->Handle());
  EXPECT_EQ(RowTexts(comment), (std::vector<TRowText>{{"Carbon copy", N(cc), "Editor Comments CC"},
                                                      {"Comment to", N(original), "Administrator (of) LysKOM"},
                                                      {"Recipient", N(conf), "Editor Comments"}}));
  Choose(comment, "Quote1");
  EXPECT_EQ(comment->WriteTextEdit->Text(), "> \r> First line\r> Second line");
  const int commentNo = Submit(comment);
  ASSERT_GT(commentNo, 0);
  EXPECT_EQ(MiscPairs(commentNo), (std::vector<std::pair<int, int>>{{1, cc}, {2, original}, {0, conf}}));
  EXPECT_EQ(ServerText(commentNo), "Original subject\n> \n> First line\n> Second line");

  TWriteTextForm* footnote = Ready(WriteFootnote(original));
  footnote->WriteTextEdit->SetText("A footnote");
  const int footnoteNo = Submit(footnote);
  ASSERT_GT(footnoteNo, 0);
  EXPECT_EQ(MiscPairs(footnoteNo), (std::vector<std::pair<int, int>>{{1, cc}, {4, original}, {0, conf}}));

  // The original now lists both.
  TTextStatRef stat = FreshStat(original);
  ASSERT_TRUE(stat);
  EXPECT_TRUE(stat->FindMiscInfo<TMiscInfoCommIn>(0));
  EXPECT_TRUE(stat->FindMiscInfo<TMiscInfoFootIn>(0));
}

TEST_F(WriteText, LetterAndPersonalCommentReachTheMailboxes)
{
  const int person = Session->CreatePerson("Letter Reader", "secret");
  ASSERT_GT(person, 0);
  TWriteTextForm* letter = Ready(WriteLetter(person));
  EXPECT_EQ(RowTexts(letter), (std::vector<TRowText>{{"Recipient", N(person), "Letter Reader"},
                                                     {"Recipient", "5", "Administrator (of) LysKOM"}}));
  letter->SubjectEdit->SetText("A letter");
  letter->WriteTextEdit->SetText("Hello");
  const int letterNo = Submit(letter);
  ASSERT_GT(letterNo, 0);
  EXPECT_GT(LocalNoInConference(person, *FreshStat(letterNo)), 0);

  // The reader's text, answered personally.
  const int conf = Session->CreateConference("Editor Personal");
  const int text = Session->TextTo(conf, "Public\nbody");
  TWriteTextForm* reply = Ready(WriteComment(text, true));
  reply->WriteTextEdit->SetText("Just for you");
  const int replyNo = Submit(reply);
  ASSERT_GT(replyNo, 0);
  EXPECT_EQ(MiscPairs(replyNo), (std::vector<std::pair<int, int>>{{2, text}, {0, 5}}));
}

TEST_F(WriteText, EncryptedTextDecryptsWithItsPassPhraseOnlyAndRot13RoundTrips)
{
  const int conf = Session->CreateConference("Editor Crypto");
  TWriteTextForm* form = Ready(WriteNewText(conf));
  const std::string plain = "Meet at the \xE5n at noon\rBring the key";
  form->WriteTextEdit->SetText(plain);
  form->WriteTextEdit->SetFocus();
  // F11 in the body encrypts it.
  PostMessageA(form->WriteTextEdit->Handle(), WM_KEYDOWN, VK_F11, 0);
  Application().ProcessMessages();
  const std::string hex = form->WriteTextEdit->Text();
  ASSERT_NE(hex, plain);
  EXPECT_EQ(hex.find_first_not_of("0123456789abcdefABCDEF\r"), std::string::npos) << hex;
  form->DecryptBody();
  EXPECT_EQ(form->WriteTextEdit->Text(), plain);
  form->EncryptBody();

  form->SubjectEdit->SetText("Sealed");
  const int created = Submit(form);
  ASSERT_GT(created, 0);
  const std::string stored = ServerText(created);
  const std::string cipher = HexTextToBytes(stored.substr(stored.find('\n') + 1));
  {
    std::string s = cipher;
    tCryptography right("", true, "58293", "");
    right.DecryptString(s);
    EXPECT_EQ(s, plain);
  }
  {
    std::string s = cipher;
    tCryptography wrong("", true, "99999", "");
    bool refused = false;
    try {
      wrong.DecryptString(s);
    } catch (const ECryptographyError&) {
      refused = true;
    }
    EXPECT_TRUE(refused || s != plain);
  }

  TWriteTextForm* rot = Ready(WriteNewText(conf));
  // F6 on the body's text, selected from its start to its end.
  const auto rot13 = [rot] {
    TypeInBody(rot, VK_HOME, {VK_CONTROL});
    TypeInBody(rot, VK_END, {VK_CONTROL, VK_SHIFT});
    TypeInBody(rot, VK_F6);
  };
  rot->BringToFront();
  Application().ProcessMessages();
  ASSERT_TRUE(TestSupport::TypeInto(rot->WriteTextEdit->Handle(), "Hello, World 42"));
  Application().ProcessMessages();
  rot13();
  EXPECT_EQ(rot->WriteTextEdit->Text(), "Uryyb, Jbeyq 42");
  rot13();
  EXPECT_EQ(rot->WriteTextEdit->Text(), "Hello, World 42");

  // Quoted paste marks every pasted line.
  ASSERT_TRUE(SetClipboardText("first\r\nsecond\r\n", rot->HostHandle()));
  ASSERT_TRUE(TestSupport::TypeInto(rot->WriteTextEdit->Handle(), ""));
  Application().ProcessMessages();
  Choose(rot, "QuotedPaste1");
  EXPECT_EQ(rot->WriteTextEdit->Text(), "> first\r> second\r");
}

TEST_F(WriteText, QuestionsBeforeSendingStopWithoutLosingAnything)
{
  // No recipients: asked, and No keeps the window as it was.
  TWriteTextForm* form = Ready(WriteNewText(0));
  form->SubjectEdit->SetText("Nowhere");
  form->WriteTextEdit->SetText("Kept");
  Boxes->SetAnswer(IDNO);
  EXPECT_EQ(Submit(form), 0);
  // Without recipients the writer is asked about too, then the text.
  ASSERT_EQ(Boxes->Count(), 2u);
  EXPECT_EQ(BoxTexts()[1], "No recipents! Do you really want to submit this message?");
  EXPECT_EQ(form->WriteTextEdit->Text(), "Kept");
  EXPECT_TRUE(form->SubmitTextAction->Enabled());

  // A conference the writer is not a member of: asked about the writer.
  const int foreign = int(Session->Number(L_CREATE_CONF, TRequestArgs().Str("Editor Foreign").Bits("0000")));
  Boxes->Clear();
  form->AddRow(TRowKind::Recipient, foreign);
  Boxes->SetAnswer(IDNO);
  EXPECT_GT(Submit(form), 0);
  EXPECT_EQ(BoxTexts().front(), "Commented user [5] Administrator (of) LysKOM is not a member of any of the recipient "
                                "conferences. Add user as recipient?");
}

TEST_F(WriteText, SendCommentsToAlreadyARecipientIsNeitherAskedNorDemoted)
{
  const int conf = Session->CreateConference("Editor Redirect");
  const int other = Session->CreateConference("Editor Redirect Other");
  const int author = Session->CreatePerson("Redirected Author", "pw");
  ASSERT_GT(author, 0);
  // The author wants comments in conf, as a carbon copy.
  TLKRequest aux(L_MODIFY_CONF_INFO,
                 TRequestArgs().Int(author).Ints({}).List({AuxItemArgs(33, std::to_string(conf) + " 1")}));
  ASSERT_TRUE(Session->Expect(aux));
  ASSERT_TRUE(Session->Login(author, "pw"));
  const int text = Session->TextTo(conf, "By the author\nbody");
  ASSERT_TRUE(Session->Login(5, "gazonk"));

  TWriteTextForm* form = Ready(WriteComment(text, false));
  ASSERT_EQ(RowTexts(form).back(), (TRowText{"Recipient", N(conf), "Editor Redirect"}));
  form->WriteTextEdit->SetText("Agreed");
  const int agreed = Submit(form);
  ASSERT_GT(agreed, 0);
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_EQ(MiscPairs(agreed), (std::vector<std::pair<int, int>>{{2, text}, {0, conf}}));

  // Elsewhere the author is asked about, by name, and the redirected
  // conference joins as the carbon copy asked for.
  TWriteTextForm* elsewhere = Ready(WriteNewText(other));
  elsewhere->AddRow(TRowKind::CommentTo, text);
  elsewhere->WriteTextEdit->SetText("Moved");
  EXPECT_EQ(Submit(elsewhere), 0);
  ASSERT_EQ(Boxes->Count(), 1u);
  EXPECT_EQ(BoxTexts()[0], FormatText("Commented user [%d] Redirected Author is not a member of any of the recipient "
                                      "conferences. Add user as recipient?", author));
  EXPECT_EQ(RowTexts(elsewhere).back(), (TRowText{"Carbon copy", N(conf), "Editor Redirect"}));
}

TEST_F(WriteText, CommentToAnOriginalConferenceGoesToItsSuperConferenceUnlessItHasNone)
{
  const int plainOriginal = int(Session->Number(L_CREATE_CONF, TRequestArgs().Str("Editor Original").Bits("0100")));
  const int super = Session->CreateConference("Editor Super");
  const int redirected = int(Session->Number(L_CREATE_CONF, TRequestArgs().Str("Editor Redirected").Bits("0100")));
  TLKRequest noSuper(L_SET_SUPER_CONF, TRequestArgs().Int(plainOriginal).Int(0));
  ASSERT_TRUE(Session->Expect(noSuper));
  TLKRequest setSuper(L_SET_SUPER_CONF, TRequestArgs().Int(redirected).Int(super));
  ASSERT_TRUE(Session->Expect(setSuper));
  const int a = Session->TextTo(plainOriginal, "In original\nx");
  const int b = Session->TextTo(redirected, "In redirected\nx");

  TWriteTextForm* first = Ready(WriteComment(a, false));
  EXPECT_EQ(RowTexts(first).back(), (TRowText{"Recipient", N(plainOriginal), "Editor Original"}));
  TWriteTextForm* second = Ready(WriteComment(b, false));
  EXPECT_EQ(RowTexts(second).back(), (TRowText{"Recipient", N(super), "Editor Super"}));
}

TEST_F(WriteText, RowsKeepOneRecipientPerConferenceAndThePopupChangesKinds)
{
  const int a = Session->CreateConference("Editor Rows A");
  TWriteTextForm* form = Ready(WriteNewText(0));
  form->AddRow(TRowKind::CarbonCopy, a);
  form->AddRow(TRowKind::Recipient, a);
  EXPECT_EQ(RowTexts(form), (std::vector<TRowText>{{"Recipient", N(a), "Editor Rows A"}}));
  form->AddRow(TRowKind::CommentTo, 1);
  form->AddRow(TRowKind::CommentTo, 1);
  EXPECT_EQ(form->ListView->Count(), 3);

  ChooseForRow(form, 0, "MakeCC1");
  EXPECT_EQ(RowTexts(form)[0].Kind, "Carbon copy");
  // Delete asks, and only Yes removes.
  Boxes->SetAnswer(IDNO);
  ChooseForRow(form, 0, "DeleteItem1");
  EXPECT_EQ(form->ListView->Count(), 3);
  Boxes->SetAnswer(IDYES);
  ChooseForRow(form, 0, "DeleteItem1");
  EXPECT_EQ(form->ListView->Count(), 2);
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Really delete this entry?", "Really delete this entry?"}));

  // A comment-to text typed by the user must be a number.
  std::vector<TRowKind> kinds;
  for (const TTextRow& r : form->Rows()) kinds.push_back(r.Kind);
  EXPECT_EQ(kinds, (std::vector<TRowKind>{TRowKind::CommentTo, TRowKind::CommentTo}));
}

TEST_F(WriteText, KeysOfTheBodyAndSubjectEditNothing)
{
  TWriteTextForm* form = Ready(WriteNewText(0));
  ASSERT_TRUE(TestSupport::Type(form->WriteTextEdit, "abc"));
  ASSERT_EQ(GetFocus(), form->WriteTextEdit->Handle());

  TestSupport::PressKey(GetFocus(), VK_TAB, {VK_SHIFT});
  Application().ProcessMessages();
  EXPECT_EQ(form->WriteTextEdit->Text(), "abc");
  EXPECT_EQ(GetFocus(), form->SubjectEdit->Handle());

  // Enter in the subject moves on to the body and types nothing.
  ASSERT_TRUE(TestSupport::Type(form->SubjectEdit, "Subject"));
  TestSupport::PressKey(GetFocus(), VK_RETURN);
  Application().ProcessMessages();
  EXPECT_EQ(form->SubjectEdit->Text(), "Subject");
  EXPECT_EQ(GetFocus(), form->WriteTextEdit->Handle());

  // Ctrl+A while adding recipients is off does not select the body.
  form->SetEditingEnabled(false);
  TypeInBody(form, VK_HOME, {VK_CONTROL});
  TypeInBody(form, 'A', {VK_CONTROL});
  EXPECT_EQ(form->WriteTextEdit->SelLength(), 0);
  EXPECT_TRUE(AskedCaptions.empty());
}

TEST_F(WriteText, DiscardWhileClosingIsIgnoredAndTrashAsks)
{
  TWriteTextForm* form = Ready(WriteNewText(0));
  // The window closes (as the program closes it) while the worker's
  // question is still queued.
  PostMessageA(form->Handle(), WM_DISCARD_TEXT, 0, 0);
  form->Close();
  Application().ProcessMessages();
  EXPECT_TRUE(BoxTexts().empty());

  TWriteTextForm* other = Ready(WriteNewText(0));
  Boxes->SetAnswer(IDNO);
  other->BringToFront();
  Application().ProcessMessages();
  ASSERT_TRUE(TestSupport::ClickToolButton(dynamic_cast<TToolButton*>(other->FindComponent("TrashTextButton"))));
  Application().ProcessMessages();
  EXPECT_TRUE(other->Visible());
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Really trash this text?"}));
}

TEST_F(WriteText, ClosingAnEditorAsksBeforeTypedTextIsLostAndNoKeepsIt)
{
  const auto isOpen = [](TWriteTextForm* form) {
    const auto& all = Application().Forms();
    return std::find(all.begin(), all.end(), form) != all.end() && form->Visible();
  };
  // Nothing typed: the close box closes at once, also a comment that holds
  // only the subject it opened with.
  TWriteTextForm* empty = Ready(WriteNewText(0));
  TestSupport::CloseWindow(empty);
  EXPECT_TRUE(WaitFor([&] { return !isOpen(empty); }));
  const int commented = Session->TextTo(Session->CreateConference("Editor Closing"), "Left as it was\nx");
  TWriteTextForm* comment = Ready(WriteComment(commented, false));
  ASSERT_EQ(comment->SubjectEdit->Text(), "Left as it was");
  TestSupport::CloseWindow(comment);
  EXPECT_TRUE(WaitFor([&] { return !isOpen(comment); }));
  EXPECT_TRUE(BoxTexts().empty());

  // Typed text: the close box and Alt+F4 ask first, and No keeps the
  // window with everything in it.
  TWriteTextForm* form = Ready(WriteNewText(0));
  ASSERT_TRUE(TestSupport::Type(form->SubjectEdit, "Half written"));
  ASSERT_TRUE(TestSupport::Type(form->WriteTextEdit, "Not yet done"));
  Boxes->SetAnswer(IDNO);
  TestSupport::CloseWindow(form);
  ASSERT_TRUE(isOpen(form));
  TypeInBody(form, VK_F4, {VK_MENU});
  ASSERT_TRUE(isOpen(form));
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Really trash this text?", "Really trash this text?"}));
  EXPECT_EQ(Boxes->Boxes()[0].Owner, form->HostHandle());
  EXPECT_EQ(form->SubjectEdit->Text(), "Half written");
  EXPECT_EQ(form->WriteTextEdit->Text(), "Not yet done");

  // A subject the user emptied again leaves the body to keep.
  ASSERT_TRUE(TestSupport::Type(form->SubjectEdit, ""));
  Boxes->Clear();
  TestSupport::CloseWindow(form);
  EXPECT_EQ(Boxes->Count(), 1u);
  ASSERT_TRUE(isOpen(form));

  // Yes closes it, with no second question.
  Boxes->Clear();
  Boxes->SetAnswer(IDYES);
  TypeInBody(form, VK_F4, {VK_MENU});
  EXPECT_TRUE(WaitFor([&] { return !isOpen(form); }));
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Really trash this text?"}));

  // Trash asks once; the close it leads to does not ask again.
  TWriteTextForm* trashed = Ready(WriteNewText(0));
  ASSERT_TRUE(TestSupport::Type(trashed->WriteTextEdit, "Thrown away"));
  Boxes->Clear();
  trashed->BringToFront();
  Application().ProcessMessages();
  ASSERT_TRUE(TestSupport::ClickToolButton(dynamic_cast<TToolButton*>(trashed->FindComponent("TrashTextButton"))));
  EXPECT_TRUE(WaitFor([&] { return !isOpen(trashed); }));
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Really trash this text?"}));
}

TEST_F(WriteText, NoteOnTheDoorOfARecipientIsShownUntilTheUserDeclines)
{
  const int conf = Session->CreateConference("Editor Door");
  const int note = Session->TextTo(conf, "Gone fishing\nBack on\nMonday.\n\nAsk the crew.");
  TLKRequest motd(L_SET_CONF_MOTD, TRequestArgs().Int(conf).Int(note));
  ASSERT_TRUE(Session->Expect(motd));

  Ready(WriteNewText(conf));
  TNoteOnDoorForm* door = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (door = dynamic_cast<TNoteOnDoorForm*>(Application().FindForm("NoteOnDoorForm"))); }));
  ASSERT_TRUE(WaitFor([&] { return door->NoteEdit->TextLength() > 0; }));
  const std::string shown = door->NoteEdit->Text();
  EXPECT_EQ(shown.rfind("Gone fishing\r", 0), 0u) << shown;
  EXPECT_NE(shown.find("Back on Monday.\r\rAsk the crew."), std::string::npos) << shown;
  EXPECT_EQ(door->Caption(), "Message of the day");
  Screenshot("note-on-door");
}


TEST_F(WriteText, PresentationFaqAndMessageOfTheDayBecomeWhatTheyWereWrittenFor)
{
  const int presConf = Session->CreateConference("Editor Presentations");
  const int motdConf = Session->CreateConference("Editor Motd");
  const int conf = Session->CreateConference("Editor Special");
  ServerInfo.ConfPresConf = presConf;
  ServerInfo.MotdConf = motdConf;

  TWriteTextForm* pres = Ready(WritePresentationText(conf, false));
  EXPECT_EQ(pres->SubjectEdit->Text(), "Editor Special");
  EXPECT_EQ(RowTexts(pres), (std::vector<TRowText>{{"Presentation for", N(conf), "Editor Special"},
                                                   {"Recipient", N(presConf), "Editor Presentations"}}));
  pres->WriteTextEdit->SetText("All about it");
  const int presNo = Submit(pres);
  ASSERT_GT(presNo, 0);
  TConferenceRef status = ConferenceByNumber(conf);
  ASSERT_TRUE(status && status->LoadStatus());
  EXPECT_EQ(status->GetPresentation(), presNo);

  // Writing it again starts from the existing presentation.
  TWriteTextForm* again = Ready(WritePresentationText(conf, false));
  EXPECT_EQ(again->WriteTextEdit->Text(), "All about it");
  TestSupport::CloseWindow(again);

  TWriteTextForm* faq = Ready(WriteFaqText(conf));
  EXPECT_EQ(RowTexts(faq), (std::vector<TRowText>{{"FAQ for", N(conf), "Editor Special"},
                                                  {"Recipient", N(conf), "Editor Special"}}));
  faq->SubjectEdit->SetText("Questions");
  faq->WriteTextEdit->SetText("Answers");
  const int faqNo = Submit(faq);
  ASSERT_GT(faqNo, 0);
  InvalidateConference(conf);
  status = ConferenceByNumber(conf);
  ASSERT_TRUE(status && status->LoadStatus());
  bool hasFaq = false;
  for (const TAuxItemRecord& item : status->GetAuxItems())
    hasFaq = hasFaq || (item.Tag == 14 && item.Data == N(faqNo));
  EXPECT_TRUE(hasFaq);

  TWriteTextForm* motd = Ready(WriteMotdText(conf));
  motd->SubjectEdit->SetText("Closed today");
  const int motdNo = Submit(motd);
  ASSERT_GT(motdNo, 0);
  EXPECT_EQ(MiscPairs(motdNo), (std::vector<std::pair<int, int>>{{0, motdConf}}));
  InvalidateConference(conf);
  status = ConferenceByNumber(conf);
  ASSERT_TRUE(status && status->LoadStatus());
  EXPECT_EQ(status->GetMsgOfDay(), motdNo);
  EXPECT_EQ(UserMessageCount(), 0);
}

TEST_F(WriteText, RefusedTextIsReportedAndTheWindowKeepsItsContents)
{
  TWriteTextForm* form = Ready(WriteNewText(0));
  form->AddRow(TRowKind::Recipient, 3999);
  form->SubjectEdit->SetText("Lost?");
  form->WriteTextEdit->SetText("Not lost");
  Boxes->SetAnswer(IDNO);  // not about the writer's membership
  EXPECT_EQ(Submit(form), 0);
  ASSERT_EQ(UserMessageCount(), 1);
  EXPECT_EQ(TakeUserMessage().rfind("!A error occured while submitting the text.\r\n", 0), 0u);
  EXPECT_EQ(form->SubjectEdit->Text(), "Lost?");
  EXPECT_EQ(form->WriteTextEdit->Text(), "Not lost");
  EXPECT_TRUE(form->SubmitTextAction->Enabled());
  EXPECT_TRUE(form->Visible());
}

TEST_F(WriteText, MoreThanFiftyRecipientsAreAllSent)
{
  std::vector<std::pair<int, int>> expected;
  TWriteTextForm* form = Ready(WriteNewText(0));
  for (int i = 0; i < 60; ++i) {
    const int conf = Session->CreateConference("Editor Many " + N(i));
    form->AddRow(i % 2 ? TRowKind::CarbonCopy : TRowKind::Recipient, conf, "");
    expected.emplace_back(i % 2 ? 1 : 0, conf);
  }
  form->WriteTextEdit->SetText("To everyone");
  const int created = Submit(form);
  ASSERT_GT(created, 0) << TakeUserMessage();
  EXPECT_EQ(MiscPairs(created), expected);
}

TEST_F(WriteText, BodyFontComesFromTheRegistryStore)
{
  RegistryConfiguration->SetKeyPath(RegistryConfiguration->BaseKey());
  RegistryConfiguration->WriteString("BodyFont", "Arial;14;$80000008;B");
  TWriteTextForm* form = Ready(WriteNewText(0));
  EXPECT_EQ(form->WriteTextEdit->Font().Name, "Arial");
  EXPECT_EQ(form->WriteTextEdit->Font().Size, 14);
  EXPECT_TRUE(form->WriteTextEdit->Font().Bold);
  // A stored value that is no font leaves the default.
  RegistryConfiguration->WriteString("BodyFont", "14;;nonsense");
  TWriteTextForm* other = Ready(WriteNewText(0));
  EXPECT_EQ(other->WriteTextEdit->Font().Name, "Courier New");
}

TEST_F(WriteText, ShortcutsOfTheListWhenItHasFocusAndOfTheWindowOtherwise)
{
  const int conf = Session->CreateConference("Editor Keys");
  TWriteTextForm* form = Ready(WriteNewText(0));
  form->AddRow(TRowKind::CarbonCopy, conf);
  ASSERT_TRUE(TestSupport::ClickListRow(form->ListView->Handle(), 0));
  Application().ProcessMessages();
  ASSERT_EQ(GetFocus(), form->ListView->Handle());
  TestSupport::PressKey(GetFocus(), 'A', {VK_CONTROL});
  Application().ProcessMessages();
  EXPECT_EQ(RowTexts(form)[0].Kind, "Recipient");
  EXPECT_TRUE(AskedCaptions.empty());

  ASSERT_TRUE(TestSupport::Click(form->WriteTextEdit));
  ASSERT_EQ(GetFocus(), form->WriteTextEdit->Handle());
  TestSupport::PressKey(GetFocus(), 'A', {VK_CONTROL});
  Application().ProcessMessages();
  EXPECT_EQ(AskedCaptions, (std::vector<std::string>{"Add recipient"}));
}

TEST_F(WriteText, ReadingWindowCommandsOpenTheRightEditor)
{
  const int conf = Session->CreateConference("Editor Commands");
  const int own = Session->TextTo(conf, "Mine\nbody");
  const int other = Session->CreatePerson("Someone Else", "pw");
  ASSERT_TRUE(Session->Login(other, "pw"));
  const int theirs = Session->TextTo(conf, "Theirs\nbody");
  ASSERT_TRUE(Session->Login(5, "gazonk"));

  EXPECT_TRUE(RunWriteCommand(4, theirs, conf));
  EXPECT_EQ(TakeUserMessage(), "!Footnotes to texts can only be added by the author of the original message");
  EXPECT_EQ(Application().FindForm("WriteTextForm"), nullptr);
  EXPECT_TRUE(RunWriteCommand(2, 0, conf));
  EXPECT_EQ(TakeUserMessage(), "!No current article available");

  ASSERT_TRUE(RunWriteCommand(4, own, conf));
  auto* footnote = Ready(dynamic_cast<TWriteTextForm*>(Application().FindForm("WriteTextForm")));
  ASSERT_NE(footnote, nullptr);
  EXPECT_EQ(RowTexts(footnote).front(), (TRowText{"Footnote to", N(own), ""}));
  footnote->Free();
  Application().ProcessMessages();

  NextName = other;
  ASSERT_TRUE(RunWriteCommand(6, own, conf));
  EXPECT_EQ(AskedCaptions, (std::vector<std::string>{"Write letter"}));
  auto* letter = Ready(dynamic_cast<TWriteTextForm*>(Application().FindForm("WriteTextForm")));
  ASSERT_NE(letter, nullptr);
  EXPECT_EQ(RowTexts(letter).front(), (TRowText{"Recipient", N(other), "Someone Else"}));
  EXPECT_FALSE(RunWriteCommand(7, own, conf));
}

TEST_F(WriteText, CommentToATextThatWantsNoneAsksAndSendsNothingOnNo)
{
  const int conf = Session->CreateConference("Editor No Comments");
  const int text = Session->CreateText("Leave me be\nbody", {RecipientItem(conf)}, {AuxItemArgs(4, "")});
  ASSERT_GT(text, 0);
  Boxes->SetAnswer(IDNO);
  const std::string wish = "User [5] Administrator (of) LysKOM does not want comments to the text\r\nContinue?";

  // The recipient worker asks, and a No leads to the question of trashing.
  TWriteTextForm* form = Ready(WriteComment(text, false));
  ASSERT_TRUE(Boxes->WaitForCount(2, 10000));
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{wish, "Really trash this text?"}));
  EXPECT_TRUE(form->Visible());

  // Submitting asks again; No sends nothing and keeps the window.
  Boxes->Clear();
  Session->Comm()->ClearRecord();
  form->WriteTextEdit->SetText("But I must");
  EXPECT_EQ(Submit(form), 0);
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{wish}));
  EXPECT_EQ(Session->Comm()->CountOf(L_CREATE_TEXT_10), 0);
  EXPECT_EQ(form->WriteTextEdit->Text(), "But I must");
}

TEST_F(WriteText, CommentToTypedByTheUserMustBeATextNumber)
{
  TWriteTextForm* form = Ready(WriteNewText(0));
  const auto answer = [](const std::string& typed) {
    return [typed](TForm* f) {
      auto* value = dynamic_cast<TEdit*>(f->FindComponent("ValueEdit"));
      ASSERT_NE(value, nullptr);
      EXPECT_EQ(f->Caption(), "Add comment to text");
      EXPECT_TRUE(TestSupport::TypeInto(value->Handle(), typed));
      TModalScript::Click(dynamic_cast<TControl*>(f->FindComponent("OkButton")));
    };
  };
  for (const char* typed : {"12x", "0", ""}) {
    TModalScript script;
    script.Then("InputQueryForm", answer(typed));
    script.Start();
    Choose(form, "AddComTo1");
    EXPECT_TRUE(WaitFor([&] { return script.Done(); }));
    EXPECT_EQ(TakeUserMessage(), "!Not a valid text number") << typed;
  }
  EXPECT_EQ(form->ListView->Count(), 0);
  const int text = Session->TextTo(Session->CreateConference("Editor Typed"), "Typed\nx");
  TModalScript script;
  script.Then("InputQueryForm", answer(" " + N(text)));
  script.Start();
  Choose(form, "AddComTo1");
  ASSERT_TRUE(WaitFor([&] { return script.Done(); }));
  EXPECT_EQ(RowTexts(form), (std::vector<TRowText>{{"Comment to", N(text), "Administrator (of) LysKOM"}}));
}

} // namespace
