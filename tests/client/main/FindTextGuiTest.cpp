// The text-search window opened for real over a conference seeded on
// lyskomd: searches by author, subject and body, plain and with regular
// expressions, find exactly the expected texts; a count of N searches the
// last N local numbers; an empty pattern is no criterion; bad input starts
// nothing; Enter on a hit shows its text; disconnecting closes the search
// and marked-texts windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "../admin/AdminTestSupport.h"
#include "ClientCaches.h"
#include "CustomArticleView.h"
#include "DecimalInput.h"
#include "FindTextForm.h"
#include "WindowInput.h"
#include "StatisiticsForm.h"
#include "Threads.h"
#include "UserMessages.h"
#include "ViewMarksForm.h"
#include "Application.h"

namespace {

using namespace AdminTest;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

TEST(SearchRange, ACountOfNCoversExactlyTheLastNNumbers)
{
  EXPECT_EQ(SearchStart(1, 400, 50), 351);
  EXPECT_EQ(SearchStart(1, 400, -1), 1);
  EXPECT_EQ(SearchStart(1, 10, 10), 1);
  EXPECT_EQ(SearchStart(1, 10, 9), 2);
  EXPECT_EQ(SearchStart(5, 10, 50), 5);
  EXPECT_EQ(SearchProgress(7, 7, 7), 100);
  EXPECT_EQ(SearchProgress(1, 1, 0), 100);
  EXPECT_EQ(SearchProgress(3, 1, 5), 50);
}

class FindText : public TLoggedInProgram
{
protected:
  void SetUp() override
  {
    TLoggedInProgram::SetUp();
    ShowMain();
    while (UserMessageCount() > 0) TakeUserMessage();
    if (Conf == 0) Seed();
    // The user's membership, as the login would load it.
    auto membership = std::make_shared<TLyskomMembership>(Conf);
    TComPtr<ILKCollection> reply = Ask(L_QUERY_READ_TEXTS, TRequestArgs().Int(5).Int(Conf));
    membership->LoadFromResult(LKSub(reply.Get(), "result").Get());
    membership->MarkRead(ReadLocal, false);
    StoreMembership(membership);
  }
  void TearDown() override
  {
    EXPECT_TRUE(WaitFor(WindowWorkersEnded, 20000));
    while (UserMessageCount() > 0) TakeUserMessage();
    ClearAllCaches();
    TLoggedInProgram::TearDown();
  }

  void Seed()
  {
    Conf = NewConference("Search seed conference");
    Ask(L_ADD_MEMBER, TRequestArgs().Int(Conf).Int(5).Int(100).Int(0));
    Author = NewPerson("Bertil Author", "bertil");
    Texts["apple"] = NewText(Conf, "Apple pie\nA recipe with ABC inside");
    ASSERT_TRUE(Login(Author, "bertil"));
    Texts["banana"] = NewText(Conf, "Banana\nnothing special");
    ASSERT_TRUE(Login(5, "gazonk"));
    Texts["abc"] = NewText(Conf, "abc in the subject\nbody");
    Texts["cherry"] = NewText(Conf, "Cherry\nmail me at nils@example.com");
    Texts["date"] = NewText(Conf, "Date\nphone 08-123456");
    for (int i = 6; i <= 12; ++i) Texts["filler" + std::to_string(i)] = NewText(Conf, "Filler\nbody " + std::to_string(i));
    ReadLocal = 4;  // "cherry"
  }

  // Opened with its short cut, Shift+Ctrl+F.
  static TFindTextForm* Open()
  {
    TestSupport::PressKey(GetFocus() ? GetFocus() : MainForm->HostHandle(), 'F', {VK_SHIFT, VK_CONTROL});
    EXPECT_TRUE(WaitFor([] { return dynamic_cast<TFindTextForm*>(Application().Forms().back()) != nullptr; }));
    auto* form = dynamic_cast<TFindTextForm*>(Application().Forms().back());
    EXPECT_NE(form, nullptr);
    return form;
  }
  static void ShowPage(TTabSheet* sheet)
  {
    EXPECT_TRUE(TestSupport::ClickPageTab(sheet));
    Application().ProcessMessages();
  }

  struct TSearch
  {
    std::string Author;
    std::string Subject;
    std::string Body;
    bool Regexp = false;
    std::string Count = "-1";
    bool IncludeRead = true;
    bool IncludeUnread = true;
  };

  std::set<int> Run(TFindTextForm* form, const TSearch& s)
  {
    ShowPage(form->FindSheet);
    EXPECT_TRUE(TestSupport::Type(form->RcptFrame->ItemList, "Search seed conf"));
    EXPECT_TRUE(TestSupport::Type(form->ByFrame->ItemList, s.Author));
    EXPECT_TRUE(TestSupport::Type(form->SubjComboBox, s.Subject));
    EXPECT_TRUE(TestSupport::Type(form->BodyComboBox, s.Body));
    EXPECT_TRUE(TestSupport::Check(form->RegexpCheckBox, s.Regexp));
    ShowPage(form->TextSheet);
    EXPECT_TRUE(TestSupport::Type(form->LLastEdit, s.Count));
    EXPECT_TRUE(TestSupport::Check(form->IncludeReadCheckBox, s.IncludeRead));
    EXPECT_TRUE(TestSupport::Check(form->IncludeUnreadCheckBox, s.IncludeUnread));
    EXPECT_TRUE(TestSupport::Click(form->FindButton));
    EXPECT_TRUE(WaitFor([form] { return !form->Searching(); }, 30000));
    std::set<int> found;
    for (int i = 0; i < form->ListView1->Count(); ++i) found.insert(std::stoi(form->ListView1->Item(i)->Caption()));
    return found;
  }

  std::set<int> Of(std::initializer_list<const char*> names)
  {
    std::set<int> s;
    for (const char* n : names) s.insert(Texts[n]);
    return s;
  }

  inline static int Conf = 0;
  inline static int Author = 0;
  inline static int ReadLocal = 0;
  inline static std::map<std::string, int> Texts;
};

TEST_F(FindText, AuthorSubjectAndBodyFindExactlyTheExpectedTexts)
{
  ShowMain();
  TFindTextForm* form = Open();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->Caption(), "Find texts");
  EXPECT_FALSE(form->FindButton->Enabled());
  EXPECT_FALSE(form->ByFrame->Enabled());
  EXPECT_TRUE(form->IncludeReadCheckBox->Checked());
  EXPECT_EQ(form->LLastEdit->Text(), "-1");
  EXPECT_EQ(form->SubjComboBox->Items().size(), 4u);
  EXPECT_TRUE(TestSupport::Type(form->RcptFrame->ItemList, "Search"));
  EXPECT_TRUE(form->FindButton->Enabled());
  EXPECT_TRUE(form->ByFrame->Enabled());

  EXPECT_EQ(Run(form, {"Bertil Auth"}), Of({"banana"}));
  // A plain pattern ignores letter case; an empty body pattern matches nothing.
  EXPECT_EQ(Run(form, {"", "ABC"}), Of({"abc"}));
  EXPECT_EQ(Run(form, {"", "", "abc"}), Of({"apple"}));
  // Author or subject.
  EXPECT_EQ(Run(form, {"Bertil Auth", "cherry"}), Of({"banana", "cherry"}));
  // Regular expressions.
  EXPECT_EQ(Run(form, {"", "", "[a-z]+@[a-z]+", true}), Of({"cherry"}));
  EXPECT_EQ(Run(form, {"", "[AD][pa][pt]", "", true}), Of({"apple", "date"}));
  EXPECT_EQ(Run(form, {"", "", "[0-9]+\\-[0-9]+", true}), Of({"date"}));
  // Neither criterion finds nothing.
  EXPECT_EQ(Run(form, {}), std::set<int>{});
  // The last three local numbers.
  EXPECT_EQ(Run(form, {"", "Filler", "", false, "3"}), Of({"filler10", "filler11", "filler12"}));
  EXPECT_EQ(Run(form, {"", "Filler", "", false, " 0 "}), std::set<int>{});
  // Read and unread texts.
  EXPECT_EQ(Run(form, {"", "", "@", false, "-1", false, true}), std::set<int>{});
  EXPECT_EQ(Run(form, {"", "", "@", false, "-1", true, false}), Of({"cherry"}));
  EXPECT_EQ(Run(form, {"", "e", "", false, "-1", false, false}), std::set<int>{});
  EXPECT_FALSE(form->ProgressBar1->Visible());
  EXPECT_TRUE(form->FindButton->Enabled());
  EXPECT_FALSE(form->StopButton->Enabled());

  Run(form, {"", "Filler"});
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(TestSupport::ClickColumnHeader(form->ListView1->Handle(), 0));
    Application().ProcessMessages();
  }
  EXPECT_EQ(form->ListView1->Item(0)->Caption(), std::to_string(Texts["filler12"]));
  EXPECT_EQ(form->ListView1->Item(0)->ColumnText(1), "Administrator (of) LysKOM");
  EXPECT_EQ(form->ListView1->Item(0)->ColumnText(2), "Filler");
  Screenshot(form, "find-texts.png");

  // Unpinned and pinned again, the window keeps its hits.
  EXPECT_TRUE(form->Docked());
  EXPECT_TRUE(form->AttachSpeedButton->Down());
  const int hits = form->ListView1->Count();
  EXPECT_TRUE(TestSupport::Click(form->AttachSpeedButton));
  EXPECT_FALSE(form->Docked());
  EXPECT_FALSE(form->AttachSpeedButton->Down());
  EXPECT_EQ(form->ListView1->Count(), hits);
  EXPECT_TRUE(TestSupport::Click(form->AttachSpeedButton));
  EXPECT_TRUE(form->Docked());
  EXPECT_EQ(form->ListView1->Item(0)->Caption(), std::to_string(Texts["filler12"]));
  EXPECT_TRUE(TestSupport::Click(form->DoneButton));
}

TEST_F(FindText, EnterOnAHitShowsItsTextInTheReadingWindow)
{
  TFindTextForm* form = ShowFindText();
  ASSERT_EQ(Run(form, {"", "Apple"}), Of({"apple"}));
  ASSERT_TRUE(TestSupport::ClickListRow(form->ListView1->Handle(), 0));
  Application().ProcessMessages();
  ASSERT_EQ(GetFocus(), form->ListView1->Handle());

  // Enter is the row's, as a double click: not the default "&Find".
  TestSupport::PressKey(VK_RETURN);
  auto shown = [] {
    std::string text;
    if (ReadArticleForm->MainView) ReadArticleForm->MainView->GetViewText(text);
    return text;
  };
  EXPECT_TRUE(WaitFor([&] { return shown().find("A recipe with ABC inside") != std::string::npos; })) << shown();
  EXPECT_EQ(ReadArticleForm->CurrentText(), Texts["apple"]);
  EXPECT_FALSE(form->Searching());
  ASSERT_EQ(form->ListView1->Count(), 1);
  EXPECT_EQ(form->ListView1->Selected(), form->ListView1->Item(0));
  TestSupport::CloseWindow(form);
}

TEST_F(FindText, BadInputStartsNothing)
{
  TFindTextForm* form = ShowFindText();
  TSearch count{"", "Filler", "", false, "ten"};
  EXPECT_EQ(Run(form, count), std::set<int>{});
  EXPECT_EQ(TakeUserMessage(), NotAValidNumberMessage);

  ShowPage(form->FindSheet);
  EXPECT_TRUE(TestSupport::Type(form->RcptFrame->ItemList, "No conference of this name"));
  EXPECT_TRUE(TestSupport::Click(form->FindButton));
  ASSERT_GE(Boxes->Count(), 1u);
  EXPECT_EQ(Boxes->Boxes().back().Text, ConferenceRequiredMessage);

  const int stranger = NewConference("Search not a member here");
  ASSERT_GT(stranger, 0);
  EXPECT_TRUE(TestSupport::Type(form->RcptFrame->ItemList, "Search not a member"));
  EXPECT_TRUE(TestSupport::Click(form->FindButton));
  EXPECT_EQ(Boxes->Boxes().back().Text, NotAMemberMessage);
  EXPECT_FALSE(form->Searching());

  // A regular expression that does not compile is reported.
  Run(form, {"", "{unclosed", "", true});
  TestSupport::CloseWindow(form);
}

TEST_F(FindText, StoppedAndClosedSearchesEndCleanly)
{
  TFindTextForm* form = ShowFindText();
  EXPECT_TRUE(TestSupport::Type(form->RcptFrame->ItemList, "Search seed conf"));
  EXPECT_TRUE(TestSupport::Type(form->SubjComboBox, "Filler"));
  // Stop clicked as soon as it can be, while the search runs.
  ASSERT_TRUE(TestSupport::ClickControl(form->FindButton->Handle()));
  WaitFor([form] { return form->StopButton->Enabled() || !form->Searching(); });
  if (form->Searching()) {
    EXPECT_TRUE(TestSupport::ClickControl(form->StopButton->Handle()));
  }
  EXPECT_TRUE(WaitFor([form] { return !form->Searching(); }, 20000));
  EXPECT_TRUE(form->FindButton->Enabled());
  // Closed right after Find was clicked.
  for (int i = 0; i < 5; ++i) {
    TFindTextForm* closed = ShowFindText();
    EXPECT_TRUE(TestSupport::Type(closed->RcptFrame->ItemList, "Search seed conf"));
    EXPECT_TRUE(TestSupport::Type(closed->SubjComboBox, "Filler"));
    ASSERT_TRUE(TestSupport::ClickControl(closed->FindButton->Handle()));
    TestSupport::CloseWindow(closed);
  }
  EXPECT_TRUE(WaitFor(WindowWorkersEnded, 20000));
  TestSupport::CloseWindow(form);
}

TEST_F(FindText, DisconnectingClosesSearchAndMarkedTextsWindows)
{
  ShowFindText();
  ShowFindText();
  ShowMarkedTexts();
  ShowStatisitics();
  EXPECT_TRUE(WaitFor(WindowWorkersEnded, 20000));
  MainForm->DisconnectCommand();
  Application().ProcessMessages();
  int search = 0, marks = 0, statistics = 0;
  for (TForm* f : Application().Forms()) {
    search += dynamic_cast<TFindTextForm*>(f) != nullptr;
    marks += dynamic_cast<TViewMarksForm*>(f) != nullptr;
    statistics += dynamic_cast<TStatisiticsForm*>(f) != nullptr;
  }
  EXPECT_EQ(search, 0);
  EXPECT_EQ(marks, 0);
  EXPECT_EQ(statistics, 1);
}

} // namespace
