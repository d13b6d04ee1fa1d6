// The dialogs that the administration commands show, opened for real: the
// create-conference dialog's fields and the type they describe, and the
// change-password and member dialogs, which stay open until their pickers
// name a person (and a conference) on the server.
#include <gtest/gtest.h>

#include <string>

#include "AdminTestSupport.h"
#include "ChangePasswordForm.h"
#include "ConfMemberForm.h"
#include "CreateConfForm.h"
#include "ModalScript.h"
#include "UserMessages.h"

namespace {

using namespace AdminTest;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

class AdministrationDialogs : public TLoggedInProgram
{
protected:
  void SetUp() override
  {
    TLoggedInProgram::SetUp();
    while (UserMessageCount() > 0) TakeUserMessage();
  }
  void TearDown() override
  {
    while (UserMessageCount() > 0) TakeUserMessage();
    TLoggedInProgram::TearDown();
  }

  template <class T>
  static int Run(T* form, TModalScript& script)
  {
    script.Start();
    const int result = form->ShowModal();
    EXPECT_TRUE(script.Done()) << "stopped after step " << script.StepsDone();
    EXPECT_FALSE(script.GaveUp());
    return result;
  }
};

TEST_F(AdministrationDialogs, CreateConferenceStartsOpenWithCommentsAndDescribesItsType)
{
  TFormPtr<TCreateConfForm> form(CreateForm<TCreateConfForm>(nullptr));
  form->NameEdit->SetText("left over");
  form->SecretCheckBox->SetChecked(true);
  form->ResetFields();

  TModalScript script;
  script
    .Then<TCreateConfForm>("CreateConfForm",
                           [](TCreateConfForm* f) {
                             EXPECT_EQ(f->Caption(), "Create conference");
                             EXPECT_EQ(f->NameEdit->Text(), "");
                             EXPECT_TRUE(f->OpenCheckBox->Checked());
                             EXPECT_TRUE(f->CommentsCheckBox->Checked());
                             EXPECT_FALSE(f->SecretCheckBox->Checked());
                             EXPECT_FALSE(f->AnonymousCheckBox->Checked());
                             EXPECT_EQ(f->ConfTypeText(), "00000000");
                             f->NameEdit->SetText("Garden club");
                             TModalScript::Click(f->OpenCheckBox);
                             TModalScript::Click(f->SecretCheckBox);
                             TModalScript::Click(f->AnonymousCheckBox);
                           })
    .Then<TCreateConfForm>("CreateConfForm", [](TCreateConfForm* f) {
      // Closed, comments allowed, secret, anonymous texts allowed.
      EXPECT_EQ(f->ConfTypeText(), "10101000");
      Screenshot(f, "create-conference.png");
      TModalScript::Click(f->OkButton);
    });
  EXPECT_EQ(Run(form.get(), script), mrOk);
  EXPECT_EQ(form->NameEdit->Text(), "Garden club");

  TModalScript cancel;
  cancel.Then<TCreateConfForm>("CreateConfForm", [](TCreateConfForm* f) { TModalScript::Click(f->CancelButton); });
  EXPECT_EQ(Run(form.get(), cancel), mrCancel);
}

TEST_F(AdministrationDialogs, ChangePasswordStaysOpenUntilThePickerNamesAPerson)
{
  const int person = NewPerson("Pia Passwordchanger");
  ASSERT_GT(person, 0);
  TFormPtr<TChangePasswordForm> form(CreateForm<TChangePasswordForm>(nullptr));
  form->NameFrame->SetConfTypes(ctUsers);

  TModalScript script;
  script
    .Then<TChangePasswordForm>("ChangePasswordForm",
                               [](TChangePasswordForm* f) {
                                 EXPECT_EQ(GetWindowLongA(f->PasswordEdit->Handle(), GWL_STYLE) & ES_PASSWORD,
                                           ES_PASSWORD);
                                 EXPECT_EQ(GetWindowLongA(f->OldPasswordEdit->Handle(), GWL_STYLE) & ES_PASSWORD,
                                           ES_PASSWORD);
                                 f->NameFrame->SetNameText("Nobody by this name at all");
                                 f->PasswordEdit->SetText("new");
                                 TModalScript::Click(f->OkButton);
                               })
    .Then<TChangePasswordForm>("ChangePasswordForm",
                               [](TChangePasswordForm* f) {
                                 EXPECT_EQ(TakeUserMessage(), InvalidUserNameMessage);
                                 // As the user left it.
                                 EXPECT_EQ(f->PasswordEdit->Text(), "new");
                                 f->NameFrame->SetNameText("Pia Passwordch");
                                 TModalScript::Click(f->OkButton);
                               });
  EXPECT_EQ(Run(form.get(), script), mrOk);
  EXPECT_EQ(form->PersonNo, person);
  EXPECT_EQ(UserMessageCount(), 0);
}

TEST_F(AdministrationDialogs, MemberDialogChecksThePersonBeforeTheConference)
{
  const int person = NewPerson("Mona Memberdialog");
  const int conf = NewConference("Members dialog conference");
  ASSERT_GT(person, 0);
  ASSERT_GT(conf, 0);

  int personNo = 0, confNo = 0;
  TModalScript script;
  script
    .Then<TConfMemberForm>("ConfMemberForm",
                           [](TConfMemberForm* f) {
                             EXPECT_EQ(f->Caption(), RemoveMemberCaption);
                             EXPECT_EQ(f->UserFrame->ConfTypes, ctUsers);
                             EXPECT_EQ(f->ConfFrame->ConfTypes, ctConferences);
                             EXPECT_EQ(f->UserFrame->NameGroupBox->Caption(), "&User");
                             f->UserFrame->SetNameText("No such person here");
                             f->ConfFrame->SetNameText("Members dialog conf");
                             TModalScript::Click(f->OkButton);
                           })
    .Then<TConfMemberForm>("ConfMemberForm",
                           [](TConfMemberForm* f) {
                             EXPECT_EQ(TakeUserMessage(), InvalidUserMessage);
                             EXPECT_EQ(UserMessageCount(), 0);
                             // The conference was not looked at.
                             EXPECT_EQ(f->ConfFrame->ItemList->ItemCount(), 0);
                             f->UserFrame->SetNameText("Mona Memberd");
                             f->ConfFrame->SetNameText("No conference by this name");
                             TModalScript::Click(f->OkButton);
                           })
    .Then<TConfMemberForm>("ConfMemberForm",
                           [](TConfMemberForm* f) {
                             EXPECT_EQ(TakeUserMessage(), InvalidConferenceMessage);
                             f->ConfFrame->SetNameText("Members dialog conf");
                             Screenshot(f, "member-dialog.png");
                             TModalScript::Click(f->OkButton);
                           });
  script.Start();
  EXPECT_TRUE(ExecuteConfMemberForm(RemoveMemberCaption, personNo, confNo));
  EXPECT_TRUE(script.Done()) << "stopped after step " << script.StepsDone();
  EXPECT_EQ(personNo, person);
  EXPECT_EQ(confNo, conf);

  // Cancel closes without any check.
  TModalScript cancel;
  cancel.Then<TConfMemberForm>("ConfMemberForm", [](TConfMemberForm* f) { TModalScript::Click(f->CancelButton); });
  cancel.Start();
  EXPECT_FALSE(ExecuteConfMemberForm(AddMemberCaption, personNo, confNo));
  EXPECT_TRUE(cancel.Done());
  EXPECT_EQ(UserMessageCount(), 0);
}

} // namespace
