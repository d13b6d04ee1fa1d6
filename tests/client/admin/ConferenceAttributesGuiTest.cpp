// The conference properties window opened for real against lyskomd: what is
// changed in it is seen on the server, a mailbox's send-comments-to item is
// replaced in one request, bad input sends nothing, and a window whose load
// failed cannot send anything.
#include <gtest/gtest.h>

#include <string>

#include "AdminTestSupport.h"
#include "ClientCaches.h"
#include "ConferenceAttributesForm.h"
#include "DecimalInput.h"
#include "ModalScript.h"
#include "UserMessages.h"
#include "WindowInput.h"
#include "Application.h"

namespace {

using namespace AdminTest;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

class ConferenceAttributes : public TLoggedInProgram
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
    ClearAllCaches();
    TLoggedInProgram::TearDown();
  }

  static TComPtr<ILKCollection> ConfStat(int conf)
  {
    TComPtr<ILKCollection> reply = Ask(L_GET_CONF_STAT_10, TRequestArgs().Int(conf));
    return reply ? LKSub(reply.Get(), "result") : nullptr;
  }

  // The data of the conference's send-comments-to items.
  static std::vector<std::string> SendCommentsItems(int conf)
  {
    std::vector<std::string> data;
    TComPtr<ILKCollection> items = LKSub(ConfStat(conf).Get(), "aux_items");
    for (long i = 0; i < LKCount(items.Get()); ++i) {
      TComPtr<ILKCollection> item = LKCollectionOf(LKItem(items.Get(), i).Get());
      if (LKInt(item.Get(), "tag") == 33) data.push_back(LKString(item.Get(), "data"));
    }
    return data;
  }

  // The buttons sit below the last row shown and inside the window.
  static void ExpectButtonsBelow(TConferenceAttributesForm* form, TControl* lastRow)
  {
    EXPECT_GT(form->OkButton->Top(), lastRow->Top() + lastRow->Height() / 2);
    EXPECT_LE(form->OkButton->Top() + form->OkButton->Height(), form->ClientHeight());
    EXPECT_LT(form->ClientHeight() - (form->OkButton->Top() + form->OkButton->Height()), 24);
  }

  // The number typed into a name picker and completed (Ctrl+N).
  static void Choose(TFrame1* frame, int number)
  {
    EXPECT_TRUE(TestSupport::Type(frame->ItemList, std::to_string(number)));
    TestSupport::PressKey(frame->ItemList->Handle(), 'N', {VK_CONTROL});
    Application().ProcessMessages();
    EXPECT_EQ(frame->ItemList->ItemNumber(0), number);
  }
};

TEST_F(ConferenceAttributes, ChangesInTheWindowAreSeenOnTheServer)
{
  const int conf = NewConference("Attributes of a conference");
  const int super = NewConference("Attributes super conference");
  const int person = NewPerson("Sven Supervisor");
  ASSERT_GT(conf, 0);

  TConferenceAttributesForm* form = ShowConferenceAttributes(conf);
  ASSERT_TRUE(form->Loaded());
  EXPECT_EQ(form->Caption(), "Conference attributes");
  EXPECT_EQ(form->NameEdit->Text(), "Attributes of a conference");
  EXPECT_TRUE(form->OkButton->Enabled());
  EXPECT_FALSE(form->IsMailbox());
  EXPECT_FALSE(form->SendCommentsFrame->Visible());
  ExpectButtonsBelow(form, form->GarbDaysEdit);
  EXPECT_EQ(form->SupervisorFrame->ItemList->ItemNumber(0), TLyskomdServer::AdminPerson);
  EXPECT_FALSE(form->ClosedCheckBox->Checked());

  EXPECT_TRUE(TestSupport::Check(form->ClosedCheckBox, true));
  EXPECT_TRUE(TestSupport::Check(form->NoCommentsCheckBox, true));
  EXPECT_TRUE(TestSupport::Check(form->AnonymousCheckBox, false));
  EXPECT_EQ(form->ConfTypeText(), "11000000");
  EXPECT_TRUE(TestSupport::Type(form->SuperConfFrame->ItemList, "Attributes super conf"));
  Choose(form->SupervisorFrame, person);
  EXPECT_TRUE(TestSupport::Type(form->GarbDaysEdit, " 5 "));
  Screenshot(form, "conference-attributes.png");
  EXPECT_TRUE(TestSupport::Click(form->ApplyButton));

  TComPtr<ILKCollection> stat = ConfStat(conf);
  EXPECT_EQ(LKString(stat.Get(), "type.rd_prot"), "1");
  EXPECT_EQ(LKString(stat.Get(), "type.original"), "1");
  EXPECT_EQ(LKString(stat.Get(), "type.secret"), "0");
  EXPECT_EQ(LKString(stat.Get(), "type.allow_anonymous"), "0");
  EXPECT_EQ(LKInt(stat.Get(), "super_conf"), super);
  EXPECT_EQ(LKInt(stat.Get(), "nice"), 5);
  EXPECT_EQ(LKInt(stat.Get(), "supervisor"), person);
  EXPECT_EQ(UserMessageCount(), 0);
  // After Apply the window shows the server's values again.
  EXPECT_TRUE(form->Loaded());
  EXPECT_EQ(form->GarbDaysEdit->Text(), "5");
  EXPECT_EQ(form->SuperConfFrame->ItemList->ItemNumber(0), super);

  // A garbage time that is not a number: nothing at all is sent.
  EXPECT_TRUE(TestSupport::Check(form->ClosedCheckBox, false));
  EXPECT_TRUE(TestSupport::Type(form->GarbDaysEdit, "5 days"));
  EXPECT_TRUE(TestSupport::Click(form->OkButton));
  EXPECT_EQ(TakeUserMessage(), NotAValidNumberMessage);
  EXPECT_EQ(LKString(ConfStat(conf).Get(), "type.rd_prot"), "1");
  EXPECT_TRUE(form->Visible());

  // A supervisor picker without a name stops Apply before anything is sent.
  EXPECT_TRUE(TestSupport::Type(form->SupervisorFrame->ItemList, ""));
  EXPECT_TRUE(TestSupport::Type(form->GarbDaysEdit, "7"));
  EXPECT_TRUE(TestSupport::Click(form->ApplyButton));
  EXPECT_EQ(LKInt(ConfStat(conf).Get(), "nice"), 5);
  EXPECT_EQ(LKString(ConfStat(conf).Get(), "type.rd_prot"), "1");
  while (UserMessageCount() > 0) TakeUserMessage();
  TestSupport::CloseWindow(form);
}

TEST_F(ConferenceAttributes, AMailboxsSendCommentsToIsReplacedInOneRequest)
{
  const int person = NewPerson("Mia Mailbox");
  const int target = NewConference("Comments to Mia go here");
  ASSERT_GT(person, 0);

  // Opened by the main window's command (Shift+Alt+Enter), the person's
  // number typed and completed in the name dialog it asks with.
  ShowMain();
  TModalScript ask;
  ask.Then<TGetNameForm>("GetNameForm", [person](TGetNameForm* f) {
    EXPECT_EQ(f->Caption(), "Edit conference properties");
    EXPECT_TRUE(TestSupport::TypeInto(f->NameFrame->ItemList->Handle(), std::to_string(person)));
    TestSupport::PressKey(f->NameFrame->ItemList->Handle(), 'N', {VK_CONTROL});
    TModalScript::Click(f->OkButton);
  });
  ask.Start();
  TestSupport::PressKey(GetFocus() ? GetFocus() : MainForm->HostHandle(), VK_RETURN, {VK_SHIFT, VK_MENU});
  ASSERT_TRUE(WaitFor([&] { return ask.Done(); }, 20000));
  ASSERT_TRUE(WaitFor([] { return dynamic_cast<TConferenceAttributesForm*>(Application().Forms().back()); }));
  auto* form = dynamic_cast<TConferenceAttributesForm*>(Application().Forms().back());
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->ConfNo, person);
  ASSERT_TRUE(form->Loaded());
  ASSERT_TRUE(form->IsMailbox());
  EXPECT_TRUE(form->LetterboxCheckBox->Checked());
  EXPECT_TRUE(form->SendCommentsFrame->Visible());
  ExpectButtonsBelow(form, form->SendCommentsAsLabel);
  EXPECT_EQ(form->SendCommentsFrame->ItemList->ItemNumber(0), person);
  EXPECT_EQ(form->SendCommentsAsComboBox->ItemIndex(), 0);
  EXPECT_EQ(form->SendCommentsAuxNo(), -1);

  Choose(form->SendCommentsFrame, target);
  EXPECT_TRUE(TestSupport::ChooseComboItem(form->SendCommentsAsComboBox->Handle(), 1));  // "CC"
  Application().ProcessMessages();
  EXPECT_TRUE(TestSupport::Click(form->ApplyButton));
  EXPECT_EQ(SendCommentsItems(person), std::vector<std::string>{std::to_string(target) + " 1"});
  EXPECT_GT(form->SendCommentsAuxNo(), 0);
  EXPECT_EQ(form->SendCommentsAsComboBox->ItemIndex(), 1);
  Screenshot(form, "mailbox-attributes.png");

  EXPECT_TRUE(TestSupport::ChooseComboItem(form->SendCommentsAsComboBox->Handle(), 2));  // "BCC"
  Application().ProcessMessages();
  EXPECT_TRUE(TestSupport::Click(form->ApplyButton));
  EXPECT_EQ(SendCommentsItems(person), std::vector<std::string>{std::to_string(target) + " 15"});
  EXPECT_EQ(UserMessageCount(), 0) << TakeUserMessage();

  // Ok applies and closes.
  EXPECT_TRUE(TestSupport::ChooseComboItem(form->SendCommentsAsComboBox->Handle(), 0));
  Application().ProcessMessages();
  EXPECT_TRUE(TestSupport::Click(form->OkButton));
  EXPECT_EQ(SendCommentsItems(person), std::vector<std::string>{std::to_string(target) + " 0"});
}

TEST_F(ConferenceAttributes, AWindowWhoseLoadFailedCannotChangeAnything)
{
  const int secret = NewConference("Hidden from Pelle", "1010");
  const int person = NewPerson("Pelle Outsider", "pelle");
  ASSERT_TRUE(Login(person, "pelle"));
  ClearAllCaches();

  TConferenceAttributesForm* form = ShowConferenceAttributes(secret);
  EXPECT_FALSE(form->Loaded());
  ASSERT_GE(Boxes->Count(), 1u);
  EXPECT_EQ(Boxes->Boxes().back().Text, ConfStatFailedMessage);
  // The buttons are disabled: a click on them does nothing.
  EXPECT_FALSE(form->OkButton->Enabled());
  EXPECT_FALSE(form->ApplyButton->Enabled());
  EXPECT_FALSE(TestSupport::ClickControl(form->ApplyButton->Handle()));
  EXPECT_FALSE(TestSupport::ClickControl(form->OkButton->Handle()));
  TestSupport::CloseWindow(form);

  ASSERT_TRUE(Login(TLyskomdServer::AdminPerson, TLyskomdServer::AdminPassword));
  TComPtr<ILKCollection> stat = ConfStat(secret);
  EXPECT_EQ(LKString(stat.Get(), "type.secret"), "1");
  EXPECT_EQ(LKString(stat.Get(), "type.rd_prot"), "1");
}

} // namespace
