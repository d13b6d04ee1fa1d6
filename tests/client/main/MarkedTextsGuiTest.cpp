// The marked-texts window opened for real against lyskomd: marking from the
// main window, one row per recipient, sorting, changing a mark's type and
// unmarking are seen on the server; a mark type that is not a number sends
// nothing; a window closed while it fills ends cleanly.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "../admin/AdminTestSupport.h"
#include "ClientCaches.h"
#include "DecimalInput.h"
#include "Threads.h"
#include "UserMessages.h"
#include "ModalScript.h"
#include "SessionState.h"
#include "ViewMarksForm.h"
#include "WindowInput.h"
#include "Application.h"

namespace {

using namespace AdminTest;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

class MarkedTexts : public TLoggedInProgram
{
protected:
  void SetUp() override
  {
    TLoggedInProgram::SetUp();
    while (UserMessageCount() > 0) TakeUserMessage();
  }
  void TearDown() override
  {
    EXPECT_TRUE(WaitFor(WindowWorkersEnded, 20000));
    while (UserMessageCount() > 0) TakeUserMessage();
    ClearAllCaches();
    TLoggedInProgram::TearDown();
  }

  // The marks on the server: text number to mark type.
  static std::map<int, int> ServerMarks()
  {
    std::map<int, int> marks;
    TComPtr<ILKCollection> reply = Ask(L_GET_MARKS, "");
    TComPtr<ILKCollection> list = LKSub(reply.Get(), "result");
    for (long i = 0; i < LKCount(list.Get()); ++i) {
      TComPtr<ILKCollection> mark = LKCollectionOf(LKItem(list.Get(), i).Get());
      marks[int(LKInt(mark.Get(), "text_no"))] = int(LKInt(mark.Get(), "type"));
    }
    return marks;
  }

  // Opened from the main window's menu bar.
  static TViewMarksForm* OpenWindow()
  {
    EXPECT_TRUE(TestSupport::ChooseMenuItem(MainForm, "ViewMarked1"));
    EXPECT_TRUE(WaitFor([] { return dynamic_cast<TViewMarksForm*>(Application().Forms().back()) != nullptr; }));
    auto* form = dynamic_cast<TViewMarksForm*>(Application().Forms().back());
    EXPECT_NE(form, nullptr);
    if (form) {
      EXPECT_TRUE(WaitFor([form] { return !form->FillThread; }, 20000));
    }
    return form;
  }

  static std::vector<std::string> Rows(TViewMarksForm* form)
  {
    std::vector<std::string> rows;
    for (int i = 0; i < form->ListView1->Count(); ++i) {
      TListItem* item = form->ListView1->Item(i);
      rows.push_back(item->Caption() + "|" + item->ColumnText(1) + "|" + item->ColumnText(2) + "|" +
                     item->ColumnText(4));
    }
    return rows;
  }

  static int RowOf(TViewMarksForm* form, const std::string& textNo)
  {
    for (int i = 0; i < form->ListView1->Count(); ++i)
      if (form->ListView1->Item(i)->Caption() == textNo) return i;
    ADD_FAILURE() << "no row for " << textNo;
    return 0;
  }
  // A click on the text's row.
  static void Select(TViewMarksForm* form, const std::string& textNo)
  {
    ASSERT_TRUE(TestSupport::ClickListRow(form->ListView1->Handle(), RowOf(form, textNo)));
    Application().ProcessMessages();
  }
  // An item of the row's popup menu.
  static bool ChooseForRow(TViewMarksForm* form, const std::string& textNo, const char* item)
  {
    return TestSupport::ChooseFromRowPopup(form->ListView1->Handle(), RowOf(form, textNo),
                                           dynamic_cast<TMenuItem*>(form->FindComponent(item)));
  }
  static void ClickHeader(TViewMarksForm* form, int column)
  {
    EXPECT_TRUE(TestSupport::ClickColumnHeader(form->ListView1->Handle(), column));
    Application().ProcessMessages();
  }
};

TEST_F(MarkedTexts, MarksChangedInTheWindowAreSeenOnTheServer)
{
  ShowMain();
  const int conf = NewConference("Marks first");
  const int other = NewConference("Marks second");
  const int alpha = NewText(conf, "Alpha subject\nThe first line\nof a paragraph.");
  const int both = AskInt(L_CREATE_TEXT, TRequestArgs().Str("Two recipients\nbody").List(
                                           {TRequestArgs().Int(0).Int(conf), TRequestArgs().Int(0).Int(other)}));
  ASSERT_GT(both, 0);

  // Logged in, as the program shows it: the session's commands are on.
  CurrentPersNo = TLyskomdServer::AdminPerson;
  MainForm->SetConnectedState(true);
  struct TIdle
  {
    ~TIdle()
    {
      CurrentPersNo = 0;
      if (MainForm) MainForm->SetConnectedState(false);
    }
  } idle;

  // Marked from the main window's menu, the number typed when asked.
  TModalScript ask;
  ask.Then("InputQueryForm", [alpha](TForm* f) {
    EXPECT_TRUE(TestSupport::TypeInto(dynamic_cast<TEdit*>(f->FindComponent("ValueEdit"))->Handle(),
                                      std::to_string(alpha)));
    TModalScript::Click(dynamic_cast<TButton*>(f->FindComponent("OkButton")));
  });
  ask.Start();
  ASSERT_TRUE(TestSupport::ChooseMenuItem(MainForm, "MarkText1"));
  ASSERT_TRUE(WaitFor([&] { return ask.Done(); }));
  Ask(L_MARK_TEXT, TRequestArgs().Int(both).Int(7));
  EXPECT_EQ(ServerMarks()[alpha], 100);

  TViewMarksForm* form = OpenWindow();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->Caption(), "Marked texts");
  EXPECT_EQ(form->WorkingLabel->Caption(), "");
  const std::string a = std::to_string(alpha), b = std::to_string(both);
  EXPECT_EQ(Rows(form), (std::vector<std::string>{a + "|100|Alpha subject|Marks first",
                                                  b + "|7|Two recipients|Marks first",
                                                  b + "|7|Two recipients|Marks second"}));
  // "Mark type" clicked twice: descending.
  ClickHeader(form, 1);
  ClickHeader(form, 1);
  EXPECT_EQ(form->ListView1->Item(0)->ColumnText(1), "100");
  ClickHeader(form, 1);
  EXPECT_EQ(form->ListView1->Item(0)->ColumnText(1), "7");

  // The selected text's body, its paragraph joined.
  Select(form, a);
  EXPECT_NE(form->RichEdit1->Text().find("The first line of a paragraph."), std::string::npos)
    << form->RichEdit1->Text();
  Screenshot(form, "marked-texts.png");

  // A type that is not a number sends nothing.
  form->AskMarkType = [](std::string& value) {
    EXPECT_EQ(value, "100");
    value = "2OO";
    return true;
  };
  ASSERT_TRUE(ChooseForRow(form, a, "ChangeType1"));
  EXPECT_EQ(TakeUserMessage(), NotAValidNumberMessage);
  EXPECT_EQ(ServerMarks()[alpha], 100);

  form->AskMarkType = [](std::string& value) {
    value = "200";
    return true;
  };
  ASSERT_TRUE(ChooseForRow(form, a, "ChangeType1"));
  ASSERT_TRUE(WaitFor([form] { return !form->FillThread; }, 20000));
  EXPECT_EQ(ServerMarks()[alpha], 200);
  EXPECT_EQ(form->ListView1->FindCaption(a)->ColumnText(1), "200");

  // Unmarking removes the text's rows.
  ASSERT_TRUE(ChooseForRow(form, b, "Delete1"));
  EXPECT_EQ(ServerMarks().count(both), 0u);
  EXPECT_EQ(form->ListView1->FindCaption(b), nullptr);
  EXPECT_EQ(form->ListView1->Count(), 1);
  TestSupport::CloseWindow(form);
}

TEST_F(MarkedTexts, AWindowClosedWhileItFillsEndsCleanly)
{
  const int conf = NewConference("Marks closed at once");
  for (int i = 0; i < 3; ++i) Ask(L_MARK_TEXT, TRequestArgs().Int(NewText(conf, "Marked\nbody")).Int(1));
  for (int i = 0; i < 5; ++i) {
    TViewMarksForm* form = ShowMarkedTexts();
    TestSupport::CloseWindow(form);
  }
  EXPECT_TRUE(WaitFor(WindowWorkersEnded, 20000));
  for (TForm* f : Application().Forms()) EXPECT_EQ(dynamic_cast<TViewMarksForm*>(f), nullptr);
}

} // namespace
