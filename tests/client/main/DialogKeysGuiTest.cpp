// The program's windows typed into against a real lyskomd: the name field of
// the shared name prompt and of the messages window, the reading window's
// views, the away window and a window of its own beside the reading window.
// Keys go to the focused control through the program's own message loop.
#include <memory>

#include "../core/EngineSession.h"
#include "AdministrationCommands.h"
#include "ArticleFormViewForm.h"
#include "ArticleViewForm.h"
#include "ClientCaches.h"
#include "CommonControls.h"
#include "FindTextForm.h"
#include "GetNameForm.h"
#include "LyskomConfiguration.h"
#include "MainTestSupport.h"
#include "MessagesForm.h"
#include "ModalScript.h"
#include "Panels.h"
#include "ProgramWithServer.h"
#include "ReadArticleForm.h"
#include "TextItems.h"
#include "TextRcptEditForm.h"
#include "WindowInput.h"
#include "WindowMessages.h"

namespace {

using namespace MainTest;
using namespace TestSupport;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

// The control that holds the focus; inside a frame or an embedded form the
// name is prefixed with the frame's.
std::string FocusName()
{
  for (HWND h = GetFocus(); h; h = GetParent(h))
    if (TControl* c = TControl::FromHandle(h)) {
      TFormBase* owner = c->OwnerForm();
      TForm* home = Application().FormOfWindow(h);
      return (owner && owner != home ? owner->Name + "." : std::string()) + c->Name;
    }
  return "(none)";
}

bool Shown(TControl* c)
{
  return c && c->HandleAllocated() && IsWindow(c->Handle()) && IsWindowVisible(c->Handle());
}

// Counts the main window's requests to open its menu bar from the keyboard
// (and keeps the menu closed, so that the test goes on).
LRESULT CALLBACK CountKeyMenu(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR counter)
{
  if (msg == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_KEYMENU) {
    ++*reinterpret_cast<int*>(counter);
    return 0;
  }
  return DefSubclassProc(hwnd, msg, wp, lp);
}

class ProgramKeys : public TReadingProgram
{
protected:
  const char* WriterName() const override { return "Key typist"; }
  void SetUp() override
  {
    TReadingProgram::SetUp();
    StopDispatcher();
  }

  // Waits until the focus is in the form's window.
  static bool FocusIn(TForm* form)
  {
    return WaitFor([form] { return GetFocus() && IsChild(form->Handle(), GetFocus()); }, 5000);
  }
};

TEST_F(ProgramKeys, TheNamePromptTakesEnterAndEscapeAndTabLeavesItsField)
{
  TFrame1* frame = GetNameForm->NameFrame;
  // Enter in the field presses Ok: the name is looked up on the server.
  TModalScript typed;
  typed.Then("GetNameForm", [](TForm*) {
    EXPECT_EQ(FocusName(), "NameFrame.ItemList");
    TypeText("Administrator");
    PressKey(VK_RETURN);
  });
  typed.Start();
  EXPECT_EQ(AskForName("Goto conference", "", ctUsers | ctConferences), 5);
  EXPECT_TRUE(typed.Done());

  // Escape cancels the prompt and takes nothing with it.
  TModalScript cancelled;
  cancelled.Then("GetNameForm", [](TForm*) {
    TypeText("Key");
    PressKey(VK_ESCAPE);
  });
  cancelled.Start();
  EXPECT_EQ(AskForName("Goto conference", "", ctUsers | ctConferences), -1);
  EXPECT_TRUE(cancelled.Done());
  ASSERT_TRUE(IsWindow(frame->ItemList->Handle()));
  ASSERT_TRUE(IsWindow(frame->NameGroupBox->Handle()));

  // The next prompt has its field; Tab leads from it to Ok ("..." is for
  // the mouse: Ctrl+K does its work from the field).
  TModalScript tabbed;
  tabbed.Then("GetNameForm", [frame](TForm*) {
    EXPECT_TRUE(Shown(frame->ItemList));
    EXPECT_EQ(FocusName(), "NameFrame.ItemList");
    TypeText("Key typist");
    PressKey(VK_TAB);
    EXPECT_EQ(FocusName(), "OkButton");
    EXPECT_EQ(frame->NameText(), "Key typist");
    PressKey(VK_RETURN);
  });
  tabbed.Start();
  EXPECT_EQ(AskForName("Goto conference", "", ctUsers | ctConferences), Writer);
  EXPECT_TRUE(tabbed.Done());
}

TEST_F(ProgramKeys, ChangePasswordOpensOnTheSelectedNameAndTabKeepsIt)
{
  TModalScript script;
  script.Then("ChangePasswordForm", [](TForm* form) {
    auto* frame = dynamic_cast<TFrame1*>(form->FindComponent("NameFrame"));
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(FocusName(), "NameFrame.ItemList");
    const std::string name = frame->NameText();
    EXPECT_FALSE(name.empty());
    PressKey(VK_TAB);
    EXPECT_EQ(FocusName(), "PasswordEdit");
    EXPECT_EQ(frame->NameText(), name);
    PressKey(VK_ESCAPE);
  });
  script.Start();
  ChangePasswordCommand();
  EXPECT_TRUE(script.Done());
}

TEST_F(ProgramKeys, TheMessagesWindowReachesItsFieldsByAccessKeysAndKeepsThemOnEscape)
{
  int keyMenus = 0;
  ASSERT_TRUE(SetWindowSubclass(MainForm->HostHandle(), CountKeyMenu, 1, DWORD_PTR(&keyMenus)));
  TMessagesForm* messages = MessagesForm;
  messages->BringToFront();
  ASSERT_TRUE(FocusIn(messages));
  EXPECT_EQ(FocusName(), "TargetFrame.ItemList");

  // "To everyone" and "Name" by their letters, not the menu bar's.
  PressKey('E', mkAlt);
  EXPECT_TRUE(messages->SentToAllCheckBox->Checked());
  EXPECT_FALSE(IsWindowEnabled(messages->TargetFrame->Handle()));
  PressKey('E', mkAlt);
  EXPECT_FALSE(messages->SentToAllCheckBox->Checked());
  PressKey('N', mkAlt);
  EXPECT_EQ(FocusName(), "TargetFrame.ItemList");
  EXPECT_EQ(keyMenus, 0);

  // The name field is one line: Enter adds nothing to it.
  TypeText("Key typist");
  PressKey(VK_RETURN);
  EXPECT_EQ(messages->TargetFrame->NameText(), "Key typist");

  // Tab order: "To everyone", the name, the write area, the log.
  PressKey(VK_TAB, mkShift);
  EXPECT_EQ(FocusName(), "SentToAllCheckBox");
  PressKey(VK_TAB);
  PressKey(VK_TAB);
  EXPECT_EQ(FocusName(), "WriteMessageEdit");
  TypeText("Hello there");

  // Escape in the write area and in the name field leaves all of it.
  PressKey(VK_ESCAPE);
  PressKey('N', mkAlt);
  PressKey(VK_ESCAPE);
  for (TControl* c : std::initializer_list<TControl*>{messages->WriteMessageEdit, messages->SentToAllCheckBox,
                                                      messages->TargetFrame, messages->TargetFrame->ItemList,
                                                      messages->IncomingEdit})
    EXPECT_TRUE(Shown(c)) << c->Name;
  EXPECT_EQ(messages->WriteMessageEdit->Text(), "Hello there");
  EXPECT_EQ(messages->TargetFrame->NameText(), "Key typist");
  EXPECT_TRUE(messages->Visible());
  RemoveWindowSubclass(MainForm->HostHandle(), CountKeyMenu, 1);
}

TEST_F(ProgramKeys, EscapeInTheReadingViewsClearsTheKeySequenceAndKeepsTheViews)
{
  const int conf = Session->CreateConference("Escape reading");
  const int text = Author->TextTo(conf, "Escape subject\nThe body of the text.");
  const int comment =
    Author->CreateText("Re: Escape subject\nA comment.", {RecipientItem(conf), CommentToItem(text)});
  ReadArticleForm->ShowTextByNumber(comment, true);
  ReadArticleForm->BringToFront();
  ASSERT_TRUE(WaitFor([&] { return ReadArticleForm->CurrentText() == comment; }));
  ASSERT_TRUE(FocusIn(ReadArticleForm));
  TCustomArticleViewForm* mainView = ReadArticleForm->MainView;
  TCustomArticleViewForm* commentedView = ReadArticleForm->CommentedView;
  ASSERT_TRUE(mainView && commentedView);

  // Tab goes from the lists into the main view and on into the commented
  // text's view, and out of the views again.
  std::vector<std::string> seen;
  for (int i = 0; i < 20; ++i) {
    PressKey(VK_TAB);
    seen.push_back(FocusName());
  }
  EXPECT_NE(std::find(seen.begin(), seen.end(), "ArticleFormViewForm.MainEdit"), seen.end());
  EXPECT_NE(std::find(seen.begin(), seen.end(), "ArticleViewForm.MainEdit"), seen.end());
  EXPECT_NE(std::find(seen.begin(), seen.end(), "ConfListView"), seen.end());

  for (const char* view : {"ArticleFormViewForm.MainEdit", "ArticleViewForm.MainEdit"}) {
    for (int i = 0; i < 20 && FocusName() != view; ++i) PressKey(VK_TAB);
    ASSERT_EQ(FocusName(), view);
    // The first key of a two-key command waits in the status bar; Escape clears it.
    TypeText("s");
    EXPECT_EQ(ReadArticleForm->KeySequence, "s") << view;
    EXPECT_EQ(MainForm->StatusBar1->Panel(1).Text, "s") << view;
    PressKey(VK_ESCAPE);
    EXPECT_EQ(ReadArticleForm->KeySequence, "") << view;
    EXPECT_EQ(MainForm->StatusBar1->Panel(1).Text, "") << view;
    // Enter clears it too; with a session open it connects nothing.
    TypeText("s");
    PressKey(VK_RETURN);
    EXPECT_EQ(ReadArticleForm->KeySequence, "") << view;
    EXPECT_EQ(FocusName(), view);
    // Both views are still there, with their texts.
    EXPECT_TRUE(Shown(mainView)) << view;
    EXPECT_TRUE(Shown(commentedView)) << view;
    EXPECT_TRUE(ReadArticleForm->Visible()) << view;
    EXPECT_EQ(ReadArticleForm->CurrentText(), comment);
  }
  std::string shown;
  mainView->GetViewText(shown);
  EXPECT_NE(shown.find("A comment."), std::string::npos);
  commentedView->GetViewText(shown);
  EXPECT_NE(shown.find("The body of the text."), std::string::npos);
}

TEST_F(ProgramKeys, EscapeInTheAwayWindowEndsAwayModeAndKeepsTheText)
{
  TMessagesForm* messages = MessagesForm;
  messages->BringToFront();
  ASSERT_TRUE(FocusIn(messages));
  PressKey('O', mkCtrl);
  ASSERT_NE(messages->AwayForm, nullptr);
  TForm* away = messages->AwayForm;
  ASSERT_TRUE(FocusIn(away));
  EXPECT_EQ(FocusName(), "MessageMemo");
  TypeText("Out for lunch");
  PressKey(VK_RETURN);
  TypeText("Back at two");
  // Tab leaves the text for the box and the button.
  PressKey(VK_TAB);
  EXPECT_EQ(FocusName(), "ReplyToAllCheckBox");
  PressKey(VK_TAB, mkShift);
  PressKey(VK_ESCAPE);
  EXPECT_TRUE(WaitFor([&] { return messages->AwayForm == nullptr; }));
  EXPECT_FALSE(messages->AwayMode);
  EXPECT_EQ(ServerConfiguration->ReadString("OfflineMessage", ""), "Out for lunch\r\nBack at two");
}

TEST_F(ProgramKeys, AltDownInAWindowOfItsOwnOpensItsListAndReadsNothing)
{
  const int conf = Session->CreateConference("Alt down");
  const int text = Author->TextTo(conf, "Unread here\nStill unread.");
  LoadMembership(conf);
  RelistMemberships();
  ASSERT_TRUE(ReadArticleForm->ReadNextAction->Enabled());

  TTextRcptEditForm* properties = OpenTextProperties(text);
  ASSERT_NE(properties, nullptr);
  ASSERT_TRUE(FocusIn(properties));
  // The Aux info page by its letter, then Tab to the tag list.
  PressKey('I', mkAlt);
  EXPECT_EQ(properties->PageControl1->ActivePage()->Caption(), "Aux &info");
  for (int i = 0; i < 5 && FocusName() != "TagComboBox"; ++i) PressKey(VK_TAB);
  ASSERT_EQ(FocusName(), "TagComboBox");
  PressKey(VK_DOWN, mkAlt);
  EXPECT_TRUE(SendMessageA(properties->TagComboBox->Handle(), CB_GETDROPPEDSTATE, 0, 0));
  // Nothing was read behind it.
  EXPECT_EQ(ReadArticleForm->BusyCount, 0);
  EXPECT_EQ(ReadArticleForm->CurrentText(), 0);
  // Escape closes the list, then the window.
  PressKey(VK_ESCAPE);
  EXPECT_FALSE(SendMessageA(properties->TagComboBox->Handle(), CB_GETDROPPEDSTATE, 0, 0));
  EXPECT_TRUE(properties->Visible());
  PressKey(VK_ESCAPE);
  EXPECT_TRUE(WaitFor([] { return Application().FindForm("TextRcptEditForm") == nullptr; }));
  TComPtr<ILKCollection> membership = Session->QueryMembership(conf);
  ASSERT_TRUE(membership);
  EXPECT_EQ(LKInt(membership.Get(), "last_text_read"), 0);
}

TEST_F(ProgramKeys, FindTextsIsFilledAndPressedFromTheKeyboardAndKeepsTheFocus)
{
  const int conf = Session->CreateConference("Keyed search");
  const int hit = Author->TextTo(conf, "Needle subject\nA text to find.");
  Author->TextTo(conf, "Other subject\nNothing here.");
  LoadMembership(conf);

  TFindTextForm* find = ShowFindText();
  ASSERT_TRUE(FocusIn(find));
  EXPECT_EQ(FocusName(), "RcptFrame.ItemList");
  TypeText("Keyed search");
  // The subject pattern by its letter, then Tab on to the Find button.
  PressKey('S', mkAlt);
  EXPECT_EQ(FocusName(), "SubjComboBox");
  TypeText("needle");
  for (int i = 0; i < 10 && FocusName() != "FindButton"; ++i) PressKey(VK_TAB);
  ASSERT_EQ(FocusName(), "FindButton");
  // Pressed, Find gives way to Stop, and the focus goes with it and back.
  PressKey(VK_RETURN);
  EXPECT_TRUE(GetFocus() && IsChild(find->Handle(), GetFocus()));
  ASSERT_TRUE(WaitFor([&] { return !find->Searching(); }));
  Application().ProcessMessages();
  ASSERT_EQ(find->ListView1->Count(), 1);
  EXPECT_EQ(find->ListView1->Item(0)->Caption(), std::to_string(hit));
  EXPECT_EQ(FocusName(), "FindButton");
  // Escape is "Done".
  PressKey(VK_ESCAPE);
  EXPECT_TRUE(WaitFor([] { return Application().FindForm("FindTextForm") == nullptr; }));
}

} // namespace
