// The windows that the login thread shows, opened for real: the progress
// window follows each step, also when a worker drives it; the new-account
// dialog's hint follows the focused field and the dialog comes back, as
// typed, until both passwords agree; the presentation prompt answers Yes or
// No and stores "don't ask again" however it was closed.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ConnectingForm.h"
#include "MessageBoxes.h"
#include "ModalScript.h"
#include "NewUserForm.h"
#include "PresentationPromptForm.h"
#include "TestSupport.h"
#include "Threads.h"
#include "Application.h"

namespace {

bool HasStyle(TControl* control, DWORD style)
{
  return (DWORD(GetWindowLongA(control->Handle(), GWL_STYLE)) & style) == style;
}

// Moves the focus as the user does, so that the control's OnEnter runs.
void Focus(TControl* control)
{
  SetFocus(control->Handle());
}

// Runs a call on a worker that hands it to the window thread, as the login
// thread does with its windows.
class TSynchronisedCall : public TThread
{
public:
  explicit TSynchronisedCall(std::function<void()> call) : FCall(std::move(call)) {}
  ~TSynchronisedCall() override
  {
    Terminate();
    WaitFor();
  }

protected:
  void Execute() override { Synchronize(FCall); }

private:
  std::function<void()> FCall;
};

class LogonDialogs : public testing::Test
{
protected:
  static void SetUpTestSuite() { Application().Initialize(); }

  void Run(TModalScript& script, const std::function<void()>& open)
  {
    script.Start();
    open();
    EXPECT_TRUE(script.Done()) << "stopped after step " << script.StepsDone();
    EXPECT_FALSE(script.GaveUp());
  }

  TMessageBoxRecorder Boxes{IDOK};
};

TEST_F(LogonDialogs, ConnectingWindowShowsEachStep)
{
  TFormPtr<TConnectingForm> form(CreateForm<TConnectingForm>(nullptr));
  EXPECT_FALSE(form->Visible());
  form->Show();
  EXPECT_TRUE(IsWindowVisible(form->HostHandle()));
  EXPECT_EQ(form->Caption(), "Omnora");
  EXPECT_EQ(form->Gauge1->Min(), 0);
  EXPECT_EQ(form->Gauge1->Max(), 100);
  EXPECT_EQ(SendMessageA(form->Gauge1->Handle(), PBM_GETPOS, 0, 0), 0);
  // The user cannot close it half-way through a login.
  EXPECT_FALSE(GetWindowLongA(form->HostHandle(), GWL_STYLE) & WS_SYSMENU);

  // The login thread's steps, handed over from a worker.
  const std::vector<std::pair<std::string, int>> steps = {
    {"Connecting...", 8}, {"Waiting for initial negotiation...", 23}, {"Retrieving server info", 45},
    {"Fetching user number", 50}, {"Logging on", 62}, {"Retrieving membership info", 70}};
  std::vector<std::pair<std::string, int>> seen;
  TSynchronisedCall worker([&] {
    for (const auto& [text, position] : steps) {
      form->SetProgress(text, position);
      seen.emplace_back(form->EventLabel->Caption(), int(SendMessageA(form->Gauge1->Handle(), PBM_GETPOS, 0, 0)));
    }
  });
  worker.Start();
  ASSERT_EQ(worker.WaitFor(30000), WAIT_OBJECT_0);
  EXPECT_EQ(seen, steps);

  // Values beyond the gauge are held to its ends.
  form->SetProgress("Logging off", 2);
  EXPECT_EQ(form->EventLabel->Caption(), "Logging off");
  form->SetProgress("beyond", 150);
  EXPECT_EQ(form->Gauge1->Position(), 100);
  form->SetProgress("below", -5);
  EXPECT_EQ(form->Gauge1->Position(), 0);
  form->Hide();
  EXPECT_FALSE(IsWindowVisible(form->HostHandle()));
}

TEST_F(LogonDialogs, NewUserHintFollowsTheFocusAndMismatchingPasswordsAreAskedAgain)
{
  TModalScript script;
  script
    .Then<TNewUserForm>("NewUserForm", [](TNewUserForm* f) {
      EXPECT_EQ(f->Caption(), "New account");
      EXPECT_EQ(f->UserEdit->Text(), "Nils Exempel, VEZ");
      EXPECT_EQ(f->PwdEdit->Text(), "");
      EXPECT_EQ(f->ConfirmPwdEdit->Text(), "");
      EXPECT_TRUE(HasStyle(f->PwdEdit, ES_PASSWORD));
      EXPECT_TRUE(HasStyle(f->ConfirmPwdEdit, ES_PASSWORD));
      EXPECT_TRUE(HasStyle(f->HintEdit, ES_READONLY));
      EXPECT_EQ(f->OkButton->Caption(), "Ok");
      EXPECT_EQ(f->CancelButton->Caption(), "Cancel");

      Focus(f->UserEdit);
      EXPECT_EQ(f->HintEdit->Text(), NewUserNameHint);
      EXPECT_EQ(f->HintEdit->Text(), "Enter a user name and organization, e.g. \"Nils Exempel, VEZ\"");
      f->PwdEdit->SetText("abc");
      Focus(f->PwdEdit);
      EXPECT_EQ(f->HintEdit->Text(),
                "Enter the password to use on this server.\r\nPlease note that is password is sent unscrambled on "
                "the net. Dont use passwords from other systems!");
      f->ConfirmPwdEdit->SetText("abd");
      Focus(f->ConfirmPwdEdit);
      // Entering the field changes the hint and nothing that was typed.
      EXPECT_EQ(f->HintEdit->Text(), "Enter the same password again to confirm.");
      EXPECT_EQ(f->ConfirmPwdEdit->Text(), "abd");
      EXPECT_EQ(f->PwdEdit->Text(), "abc");
      TModalScript::Click(f->OkButton);
    })
    .Then<TNewUserForm>("NewUserForm", [this](TNewUserForm* f) {
      // Shown again after the message, with what the user typed.
      ASSERT_EQ(Boxes.Count(), 1u);
      EXPECT_EQ(Boxes.Boxes()[0].Text, "Password does not match Confirm password");
      EXPECT_EQ(Boxes.Boxes()[0].Caption, "Omnora");
      EXPECT_EQ(f->UserEdit->Text(), "Nils Exempel, VEZ");
      EXPECT_EQ(f->PwdEdit->Text(), "abc");
      EXPECT_EQ(f->ConfirmPwdEdit->Text(), "abd");
      EXPECT_EQ(GetFocus(), f->PwdEdit->Handle());
      f->UserEdit->SetText("");
      f->ConfirmPwdEdit->SetText("abc");
      TModalScript::Click(f->OkButton);
    })
    .Then<TNewUserForm>("NewUserForm", [this](TNewUserForm* f) {
      // A person needs a name.
      ASSERT_EQ(Boxes.Count(), 2u);
      EXPECT_EQ(Boxes.Boxes()[1].Text, "Please enter a user name.");
      EXPECT_EQ(f->PwdEdit->Text(), "abc");
      f->UserEdit->SetText("Nils Exempel, VEZ");
      TModalScript::Click(f->OkButton);
    });

  // Run as the login thread runs it: from a worker, through the window thread.
  std::string name = "Nils Exempel, VEZ", password = "old";
  bool created = false;
  TSynchronisedCall worker([&] { created = ExecuteNewUserDialog(name, password, nullptr); });
  Run(script, [&] {
    worker.Start();
    ASSERT_EQ(worker.WaitFor(60000), WAIT_OBJECT_0);
  });
  EXPECT_TRUE(created);
  EXPECT_EQ(name, "Nils Exempel, VEZ");
  EXPECT_EQ(password, "abc");
  EXPECT_EQ(Application().FindForm("NewUserForm"), nullptr);
}

TEST_F(LogonDialogs, NewUserCancelledCreatesNothing)
{
  TModalScript script;
  script.Then<TNewUserForm>("NewUserForm", [](TNewUserForm* f) {
    f->PwdEdit->SetText("x");
    f->ConfirmPwdEdit->SetText("y");
    TModalScript::Click(f->CancelButton);
  });
  std::string name = "Nobody", password;
  bool created = true;
  Run(script, [&] { created = ExecuteNewUserDialog(name, password, nullptr); });
  EXPECT_FALSE(created);
  EXPECT_EQ(name, "Nobody");
  EXPECT_EQ(password, "");
  EXPECT_EQ(Boxes.Count(), 0u);
}

TEST_F(LogonDialogs, PresentationPromptAnswersAndRemembersNotToAsk)
{
  TLyskomServerConfiguration store;
  TModalScript yes;
  yes.Then<TNoPresenationForm>("NoPresenationForm", [](TNoPresenationForm* f) {
    EXPECT_EQ(f->Caption(), "Presenation");
    EXPECT_EQ(f->Memo1->Text(), "You have no presentation.\r\nIt is a good idea to have a presentation.\r\n\r\n"
                                "Would you like to write one now?");
    EXPECT_EQ(SendMessageA(f->Memo1->Handle(), EM_GETLINECOUNT, 0, 0), 4);
    EXPECT_TRUE(HasStyle(f->Memo1, ES_READONLY | ES_CENTER));
    EXPECT_EQ(f->YesButton->Caption(), "&Yes");
    EXPECT_EQ(f->NoButton->Caption(), "&No");
    EXPECT_EQ(f->DontShowCheckBox->Caption(), "&Dont show this dialog again");
    EXPECT_FALSE(f->DontShowCheckBox->Checked());
    TModalScript::Click(f->YesButton);
  });
  bool answer = false;
  Run(yes, [&] { answer = ExecutePresentationPrompt(&store); });
  EXPECT_TRUE(answer);
  EXPECT_EQ(store.ReadString("NoPresentationPrompt", "<none>"), "0");

  // "&No" with the box ticked: the next login does not ask.
  TModalScript no;
  no.Then<TNoPresenationForm>("NoPresenationForm", [](TNoPresenationForm* f) {
      TModalScript::Click(f->DontShowCheckBox);
    })
    .Then<TNoPresenationForm>("NoPresenationForm", [](TNoPresenationForm* f) {
      EXPECT_TRUE(f->DontShowCheckBox->Checked());
      TModalScript::Click(f->NoButton);
    });
  answer = true;
  Run(no, [&] { answer = ExecutePresentationPrompt(&store); });
  EXPECT_FALSE(answer);
  EXPECT_TRUE(store.ReadBool("NoPresentationPrompt", false));

  // Closed with the window's own close: no answer, and the box's state is
  // stored all the same.
  TModalScript closed;
  closed.Then<TNoPresenationForm>("NoPresenationForm", [](TNoPresenationForm* f) {
    PostMessageA(f->HostHandle(), WM_CLOSE, 0, 0);
  });
  answer = true;
  Run(closed, [&] { answer = ExecutePresentationPrompt(&store); });
  EXPECT_FALSE(answer);
  EXPECT_EQ(store.ReadString("NoPresentationPrompt", "<none>"), "0");
}

} // namespace
