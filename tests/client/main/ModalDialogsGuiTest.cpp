// Dialogs and their owners in the running program, against a real lyskomd:
// the shared name prompt outlives the windows it was shown over, closing a
// dialog gives the activation and the focus back to the window that had
// them, and the away window and the login's progress window are owned by
// the main window and shown in front of it.
#include <windows.h>

#include <algorithm>
#include <initializer_list>
#include <string>

#include "../admin/AdminTestSupport.h"
#include "HostConfigForm.h"
#include "ItemEditList.h"
#include "ModalScript.h"
#include "NewUserForm.h"
#include "PresentationPromptForm.h"
#include "ToolBar.h"
#include "WindowInput.h"
#include "WriteTextForm.h"

namespace {

using namespace AdminTest;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

// A key pressed on the focused control (or on target when nothing has the
// focus), with modifiers held while the program handles it. A dialog that
// the key opens runs its own loop in here, where the modifiers are let go.
void PressKey(HWND target, WORD key, std::initializer_list<int> held = {})
{
  TestSupport::PressKey(GetFocus() ? GetFocus() : target, key, held);
  Application().ProcessMessages();
}

void ClickMiddle(TControl* control)
{
  EXPECT_TRUE(TestSupport::ClickControl(control->Handle())) << control->Name;
}

// Inside the name prompt opened by PressKey: Escape, as one who opened it
// from the keyboard cancels it.
void EscapeInDialog()
{
  PressKey(GetNameForm->HostHandle(), VK_ESCAPE);
}

void ClickToolButton(TToolButton* button)
{
  ASSERT_NE(button, nullptr);
  EXPECT_TRUE(TestSupport::ClickToolButton(button)) << button->Name;
}

HWND ActiveMDIChild()
{
  return reinterpret_cast<HWND>(SendMessageA(Application().MDIClient(), WM_MDIGETACTIVE, 0, 0));
}

// The window's place among the top-level windows, 0 the topmost; -1 when
// it is none of them.
int TopLevelPlace(HWND window)
{
  int place = 0;
  for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT), ++place)
    if (w == window) return place;
  return -1;
}

bool Inside(HWND child, HWND parent)
{
  RECT c, p;
  GetWindowRect(child, &c);
  GetWindowRect(parent, &p);
  return c.left >= p.left && c.top >= p.top && c.right <= p.right && c.bottom <= p.bottom;
}

std::string BoxTexts(const TMessageBoxRecorder& boxes)
{
  std::string texts;
  for (const auto& b : boxes.Boxes()) texts += b.Text + "\n";
  return texts;
}

// Closes a modal dialog that stays open for long, so that a test whose
// dialog does not react fails instead of hanging.
class TModalWatchdog
{
public:
  TModalWatchdog()
  {
    FTimer.SetInterval(250);
    FTimer.OnTimer = [this](TComponent*) { Tick(); };
    FTimer.SetEnabled(true);
  }
  ~TModalWatchdog() { FTimer.SetEnabled(false); }
  bool Fired() const { return FFired; }

private:
  void Tick()
  {
    bool modal = false;
    for (TForm* f : Application().Forms()) modal = modal || (f->IsModal() && f->HostHandle());
    if (!modal) FSince = GetTickCount();
    if (GetTickCount() - FSince < 20000) return;
    FFired = true;
    FSince = GetTickCount();
    for (TForm* f : Application().Forms())
      if (f->IsModal() && f->HostHandle()) f->SetModalResult(mrCancel);
  }
  TTimer FTimer{nullptr};
  DWORD FSince = GetTickCount();
  bool FFired = false;
};

class ModalDialogs : public TLoggedInProgram
{
protected:
  void SetUp() override
  {
    TLoggedInProgram::SetUp();
    ShowMain();
    MainForm->SetConnectedState(true);
    Application().ProcessMessages();
  }
  void TearDown() override
  {
    EXPECT_FALSE(Watchdog.Fired()) << "a dialog stayed open";
    MainForm->SetConnectedState(false);
    TLoggedInProgram::TearDown();
  }

  // What a person sees of the name prompt that just opened.
  static void ExpectNamePromptReady(TForm* form, const std::string& caption)
  {
    EXPECT_EQ(form, GetNameForm);
    EXPECT_EQ(form->Caption(), caption);
    EXPECT_TRUE(IsWindowVisible(form->HostHandle()));
    TItemEditList* field = GetNameForm->NameFrame->ItemList;
    EXPECT_TRUE(IsWindowVisible(field->Handle()));
    EXPECT_TRUE(Inside(field->Handle(), form->HostHandle()));
    EXPECT_EQ(GetFocus(), field->Handle());
  }

  TModalWatchdog Watchdog;
};

TEST_F(ModalDialogs, NamePromptOpensAgainAfterTheEditorThatOwnedItClosed)
{
  ClickToolButton(dynamic_cast<TToolButton*>(ReadArticleForm->FindComponent("WriteNewTextButton")));
  TWriteTextForm* editor = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    editor = dynamic_cast<TWriteTextForm*>(Application().FindForm("WriteTextForm"));
    return editor && editor->Visible();
  }));
  ClickMiddle(editor->WriteTextEdit);
  Application().ProcessMessages();
  ASSERT_EQ(GetFocus(), editor->WriteTextEdit->Handle());

  // Ctrl+A asks for a recipient over the editor; Escape cancels.
  HWND editorHost = editor->HostHandle();
  HWND ownerWhileAsked = nullptr;
  TModalScript add;
  add.Then("GetNameForm", [&](TForm* f) {
    ExpectNamePromptReady(f, "Add recipient");
    ownerWhileAsked = GetWindow(f->HostHandle(), GW_OWNER);
    EscapeInDialog();
  });
  add.Start();
  PressKey(editor->WriteTextEdit->Handle(), 'A', {VK_CONTROL});
  ASSERT_TRUE(WaitFor([&] { return add.Done() && !GetNameForm->IsModal(); }));
  EXPECT_EQ(ownerWhileAsked, editorHost);
  EXPECT_EQ(editor->ListView->Count(), 0);

  // The editor closes by its close box and goes.
  PostMessageA(editorHost, WM_SYSCOMMAND, SC_CLOSE, 0);
  ASSERT_TRUE(WaitFor([] { return Application().FindForm("WriteTextForm") == nullptr; }));
  EXPECT_FALSE(IsWindow(editorHost));

  // The prompt still serves the next command, here Chat in the messages window.
  MessagesForm->BringToFront();
  ClickMiddle(MessagesForm->WriteMessageEdit);
  Application().ProcessMessages();
  ASSERT_EQ(GetFocus(), MessagesForm->WriteMessageEdit->Handle());
  TModalScript chat;
  chat.Then("GetNameForm", [](TForm* f) {
    ExpectNamePromptReady(f, "Chat");
    EscapeInDialog();
  });
  chat.Start();
  PressKey(MessagesForm->WriteMessageEdit->Handle(), 'N', {VK_CONTROL});
  EXPECT_TRUE(WaitFor([&] { return chat.Done() && !GetNameForm->IsModal(); }));
  EXPECT_FALSE(chat.GaveUp());
  EXPECT_EQ(BoxTexts(*Boxes), "");
}

TEST_F(ModalDialogs, ClosingADialogActivatesTheWindowThatWasActiveBefore)
{
  // Each window of the main window, with the focus on a control of it.
  const std::pair<TForm*, TControl*> windows[] = {{ReadArticleForm, ReadArticleForm->SubjectTreeView},
                                                  {MessagesForm, MessagesForm->WriteMessageEdit},
                                                  {ActiveUsersForm, ActiveUsersForm->ListView}};
  for (const auto& [child, control] : windows) {
    child->BringToFront();
    ClickMiddle(control);
    Application().ProcessMessages();
    ASSERT_EQ(ActiveMDIChild(), child->HostHandle());
    ASSERT_EQ(GetFocus(), control->Handle());

    // The main window's Shift+Alt+Enter asks for a conference. Ctrl+Tab
    // typed in the prompt must not turn the windows behind it; Escape.
    TModalScript script;
    script.Then("GetNameForm", [](TForm* f) {
      ExpectNamePromptReady(f, "Edit conference properties");
      TestSupport::PressKey(GetFocus(), VK_TAB, {VK_CONTROL});
      Application().ProcessMessages();
    });
    script.Then("GetNameForm", [](TForm*) { EscapeInDialog(); });
    script.Start();
    PressKey(control->Handle(), VK_RETURN, {VK_SHIFT, VK_MENU});
    ASSERT_TRUE(WaitFor([&] { return script.Done() && !GetNameForm->IsModal(); }));
    Application().ProcessMessages();

    EXPECT_FALSE(IsWindowVisible(GetNameForm->HostHandle()));
    EXPECT_EQ(GetActiveWindow(), MainForm->HostHandle()) << child->Caption();
    EXPECT_EQ(ActiveMDIChild(), child->HostHandle()) << child->Caption();
    EXPECT_EQ(GetFocus(), control->Handle()) << child->Caption();
  }
  EXPECT_EQ(BoxTexts(*Boxes), "");
}

TEST_F(ModalDialogs, AwayWindowIsOwnedByTheMainWindowAndShownInFrontOfIt)
{
  MessagesForm->BringToFront();
  ClickMiddle(MessagesForm->WriteMessageEdit);
  Application().ProcessMessages();
  PressKey(MessagesForm->WriteMessageEdit->Handle(), 'O', {VK_CONTROL});
  ASSERT_TRUE(WaitFor([] { return MessagesForm->AwayForm && MessagesForm->AwayForm->Visible(); }));
  TForm* away = MessagesForm->AwayForm;
  EXPECT_EQ(away->Caption(), "Offline message");
  EXPECT_EQ(GetWindow(away->HostHandle(), GW_OWNER), MainForm->HostHandle());
  EXPECT_LT(TopLevelPlace(away->HostHandle()), TopLevelPlace(MainForm->HostHandle()));

  // Work goes on in the main window; the away window stays owned by it.
  SetActiveWindow(MainForm->HostHandle());
  ClickMiddle(ReadArticleForm->SubjectTreeView);
  Application().ProcessMessages();
  EXPECT_EQ(GetActiveWindow(), MainForm->HostHandle());
  EXPECT_TRUE(IsWindowVisible(away->HostHandle()));
  EXPECT_EQ(GetWindow(away->HostHandle(), GW_OWNER), MainForm->HostHandle());

  // Its Close button ends the away mode.
  ClickMiddle(dynamic_cast<TControl*>(away->FindComponent("Button1")));
  EXPECT_TRUE(WaitFor([] { return MessagesForm->AwayForm == nullptr; }));
  EXPECT_FALSE(MessagesForm->AwayMode);
}

// Logging in as a new person from the main window, with the login thread's
// windows over it.
class LoginWindows : public TStartedProgram
{
protected:
  void SetUp() override
  {
    TStartedProgram::SetUp();
    StopDispatcher();
    // Yes: a new account for a name the server does not know.
    Boxes.reset();
    Boxes = std::make_unique<TMessageBoxRecorder>(IDYES);
  }
  void TearDown() override
  {
    EXPECT_FALSE(Watchdog.Fired()) << "a dialog stayed open";
    if (MainForm && MainForm->SessionDisconnectAction->Enabled()) {
      EXPECT_TRUE(TestSupport::ChooseMenuItem(MainForm, "Disconnect1"));
    }
    WaitFor([] { return !MainForm || !MainForm->Connected; }, 5000);
    AutoConnectPending = false;
    AutoConnectProfile.clear();
    TStartedProgram::TearDown();
  }

  // The progress window, shown, owned by the main window and above it.
  static void ExpectConnectingWindowInFront(const char* while_)
  {
    TForm* connecting = Application().FindForm("ConnectingForm");
    ASSERT_NE(connecting, nullptr) << while_;
    EXPECT_TRUE(IsWindowVisible(connecting->HostHandle())) << while_;
    EXPECT_EQ(GetWindow(connecting->HostHandle(), GW_OWNER), MainForm->HostHandle()) << while_;
    EXPECT_LT(TopLevelPlace(connecting->HostHandle()), TopLevelPlace(MainForm->HostHandle())) << while_;
  }

  static void Type(TControl* control, const std::string& text)
  {
    ClickMiddle(control);
    for (char c : text) PostMessageA(control->Handle(), WM_CHAR, WPARAM(BYTE(c)), 1);
  }

  TModalWatchdog Watchdog;
};

TEST_F(LoginWindows, ConnectingWindowStaysInFrontOfTheNewAccountDialogAndThePresentationPrompt)
{
  TLyskomRegistryConfiguration store(OmnoraRegistryBaseKey, false);
  store.SetKeyPath(ProfileKeyPath("Newcomer"));
  TConnectionProfile profile;
  profile.Server = TLyskomdServer::Host();
  profile.Port = Server().PortText();
  // A name the server does not know yet, also when the test runs again.
  static int run = 0;
  profile.User = "Newcomer Of The Dialogs " + std::to_string(++run);
  profile.Password = "pw";
  profile.SavePwd = true;
  WriteConnectionProfile(store, profile);
  ShowMain();

  TModalScript script(30000);
  script.Then<TNewUserForm>("NewUserForm", [](TNewUserForm* f) {
    ExpectConnectingWindowInFront("while the new account dialog is shown");
    Type(f->PwdEdit, "pw");
    Type(f->ConfirmPwdEdit, "pw");
    ClickMiddle(f->OkButton);
  });
  script.Then<TNoPresenationForm>("NoPresenationForm", [](TNoPresenationForm* f) {
    ExpectConnectingWindowInFront("while the presentation prompt is shown");
    ClickMiddle(f->NoButton);
  });
  script.Start();
  MainForm->ParseCommandLine({"-a", "-c", "Newcomer"});
  EXPECT_TRUE(WaitFor([] { return MainForm->Connected && MainForm->Online1->Enabled(); }, 60000));
  EXPECT_TRUE(script.Done()) << "stopped after step " << script.StepsDone();
  EXPECT_TRUE(WaitFor([] { return Application().FindForm("ConnectingForm") == nullptr; }));
  EXPECT_EQ(BoxTexts(*Boxes), "Unable to find this user. Do you want to create a new account?\n");
}

} // namespace
