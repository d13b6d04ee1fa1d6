// The text properties window opened for real against a real lyskomd:
// recipients, comment and footnote links, FAQ entries and aux items added
// and removed are seen on the server; the flags field holds eight 0/1
// characters whatever is typed or pasted; a locked window stays on its text.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ClientCaches.h"
#include "Panels.h"
#include "PointerAndKeys.h"
#include "TextRcptEditForm.h"
#include "UserMessages.h"
#include "WindowMessages.h"
#include "WritingSession.h"
#include "Application.h"

namespace {

using namespace Writing;

const auto* const Environment = testing::AddGlobalTestEnvironment(new TUnitsEnvironment);

std::vector<std::string> Column(TListView* view, int column)
{
  std::vector<std::string> texts;
  for (int i = 0; i < view->Count(); ++i) texts.push_back(view->Item(i)->ColumnText(column));
  return texts;
}

void Select(TListView* view, int row)
{
  view->Item(row)->SetSelected(true);
}

class TextProperties : public TWritingSuite
{
protected:
  TTextRcptEditForm* Open(int textNo)
  {
    TTextRcptEditForm* form = OpenTextProperties(textNo);
    Application().ProcessMessages();
    return form;
  }
  std::vector<std::pair<int, std::string>> AuxOf(int textNo)
  {
    std::vector<std::pair<int, std::string>> aux;
    if (TTextStatRef stat = FreshStat(textNo))
      for (int i = 0; i < stat->AuxItemCount(); ++i) aux.emplace_back(stat->GetAuxItem(i)->Tag, stat->GetAuxItem(i)->Data);
    return aux;
  }
};

TEST_F(TextProperties, RecipientsAddedAndRemovedAreSeenOnTheServer)
{
  const int conf = Session->CreateConference("Props Home");
  const int more = Session->CreateConference("Props More");
  const int text = Session->TextTo(conf, "Props subject\nbody");
  TTextRcptEditForm* form = Open(text);
  EXPECT_EQ(form->Caption(), FormatText("Text properties for text %d by [5] Administrator (of) LysKOM", text));
  EXPECT_EQ(Column(form->RcptListView, 0), (std::vector<std::string>{"Recipient"}));
  EXPECT_EQ(Column(form->RcptListView, 2), (std::vector<std::string>{"Props Home"}));
  EXPECT_EQ(form->AuthorEdit->Text(), "[5] Administrator (of) LysKOM");
  EXPECT_EQ(form->TagComboBox->Items().size(), 32u);
  EXPECT_FALSE(form->RcptButton->Enabled());
  Screenshot("text-properties");

  form->RcptFrame->ItemList->SetText(N(more));
  EXPECT_TRUE(form->CCButton->Enabled());
  form->CCButton->Click();
  EXPECT_EQ(MiscPairs(text), (std::vector<std::pair<int, int>>{{0, conf}, {1, more}}));
  EXPECT_EQ(Column(form->RcptListView, 0), (std::vector<std::string>{"Recipient", "Carbon copy"}));

  // Removing asks first; No keeps the recipient.
  Select(form->RcptListView, 1);
  Boxes->SetAnswer(IDNO);
  form->RemoveRcpt1Click(nullptr);
  EXPECT_EQ(MiscPairs(text).size(), 2u);
  Boxes->SetAnswer(IDYES);
  form->RemoveRcpt1Click(nullptr);
  EXPECT_EQ(MiscPairs(text), (std::vector<std::pair<int, int>>{{0, conf}}));
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Really delete recipient?", "Really delete recipient?"}));
  EXPECT_EQ(form->RcptListView->Count(), 1);

  // Refreshing keeps one entry per tag.
  form->Refresh();
  form->Refresh();
  EXPECT_EQ(form->TagComboBox->Items().size(), 32u);
}

TEST_F(TextProperties, CommentAndFootnoteLinksAddedAndRemovedAreSeenOnTheServer)
{
  const int conf = Session->CreateConference("Props Links");
  const int parent = Session->TextTo(conf, "Parent\nbody");
  const int annotated = Session->TextTo(conf, "Annotated\nbody");
  const int text = Session->TextTo(conf, "Child\nbody");
  TTextRcptEditForm* form = Open(text);

  form->TextEdit->SetText("12ab");
  EXPECT_TRUE(form->CommentButton->Enabled());
  form->CommentButton->Click();
  EXPECT_EQ(TakeUserMessage(), "!Invalid text number");
  EXPECT_EQ(MiscPairs(text), (std::vector<std::pair<int, int>>{{0, conf}}));

  form->TextEdit->SetText(N(parent));
  form->CommentButton->Click();
  EXPECT_EQ(MiscPairs(text), (std::vector<std::pair<int, int>>{{0, conf}, {2, parent}}));
  EXPECT_EQ(Column(form->ComListView, 0), (std::vector<std::string>{"Comment to"}));
  EXPECT_EQ(Column(form->ComListView, 2), (std::vector<std::string>{"Administrator (of) LysKOM"}));

  form->TextEdit->SetText(N(annotated));
  form->FootnoteButton->Click();
  EXPECT_EQ(MiscPairs(text), (std::vector<std::pair<int, int>>{{0, conf}, {2, parent}, {4, annotated}}));

  Select(form->ComListView, 0);
  form->RemoveCom1Click(nullptr);
  EXPECT_EQ(MiscPairs(text), (std::vector<std::pair<int, int>>{{0, conf}, {4, annotated}}));
  ASSERT_EQ(form->ComListView->Count(), 1);
  Select(form->ComListView, 0);
  form->RemoveCom1Click(nullptr);
  EXPECT_EQ(MiscPairs(text), (std::vector<std::pair<int, int>>{{0, conf}}));
  EXPECT_EQ(form->ComListView->Count(), 0);
}

TEST_F(TextProperties, AuxItemsAndFaqEntriesAddedAndRemovedAreSeenOnTheServer)
{
  const int conf = Session->CreateConference("Props Aux");
  const int text = Session->TextTo(conf, "Aux\nbody");
  TTextRcptEditForm* form = Open(text);

  // A short flags entry is sent as eight characters.
  form->TagComboBox->SetText("1");
  form->FlagsEdit->SetText("00");
  form->InheritEdit->SetText("x");
  form->DataEdit->SetText("text/plain");
  EXPECT_EQ(form->FlagsText(), "00000000");
  form->AddAuxButton->Click();
  EXPECT_EQ(AuxOf(text), (std::vector<std::pair<int, std::string>>{{1, "text/plain"}}));
  ASSERT_EQ(form->AuxItemsListView->Count(), 1);
  EXPECT_EQ(Column(form->AuxItemsListView, 2), (std::vector<std::string>{"[5] Administrator (of) LysKOM"}));

  Select(form->AuxItemsListView, 0);
  form->DeleteAux1Click(nullptr);
  EXPECT_TRUE(AuxOf(text).empty());
  EXPECT_EQ(form->AuxItemsListView->Count(), 0);
  EXPECT_EQ(UserMessageCount(), 0);

  // The text as the conference's FAQ shows a row after the recipients.
  form->RcptFrame->ItemList->SetText(N(conf));
  form->FAQButton->Click();
  EXPECT_EQ(Column(form->RcptListView, 0), (std::vector<std::string>{"Recipient", "FAQ for"}));
  EXPECT_EQ(Column(form->RcptListView, 1), (std::vector<std::string>{N(conf), N(conf)}));
  Select(form->RcptListView, 1);
  form->RemoveRcpt1Click(nullptr);
  EXPECT_EQ(BoxTexts().back(), "Really delete FAQ flag?");
  EXPECT_EQ(Column(form->RcptListView, 0), (std::vector<std::string>{"Recipient"}));
  for (const auto& [tag, data] : AuxOf(text)) EXPECT_NE(tag, 28) << data;

  // A refused aux item is reported and changes nothing.
  form->TagComboBox->SetText("28");
  form->DataEdit->SetText("not a conference");
  form->AddAuxButton->Click();
  ASSERT_EQ(UserMessageCount(), 1);
  EXPECT_EQ(TakeUserMessage().rfind("!A error occured while adding Aux attributes to text.\r\n", 0), 0u);
}

TEST_F(TextProperties, FlagsHoldEightCharactersOfZeroAndOne)
{
  const int conf = Session->CreateConference("Props Flags");
  TTextRcptEditForm* form = Open(Session->TextTo(conf, "Flags\nbody"));
  EXPECT_EQ(form->FlagsEdit->Text(), "00000000");
  // Pasted text keeps only the flag characters.
  form->FlagsEdit->SetText("1x0 1abc1");
  EXPECT_EQ(form->FlagsEdit->Text(), "1011");
  EXPECT_EQ(form->FlagsText(), "10110000");
  char key = 'x';
  form->FlagsEditKeyPress(nullptr, key);
  EXPECT_EQ(key, 0);
  key = '1';
  form->FlagsEditKeyPress(nullptr, key);
  EXPECT_EQ(key, '1');

  // The popup shows as many flags as are typed; a click writes all eight.
  form->FlagsPopupMenuPopup(nullptr);
  TMenuItem* items = form->FlagsPopupMenu->Items();
  EXPECT_TRUE(items->Items(0)->Checked());
  EXPECT_FALSE(items->Items(1)->Checked());
  EXPECT_TRUE(items->Items(3)->Checked());
  form->FlagItemClick(items->Items(7));
  EXPECT_EQ(form->FlagsEdit->Text(), "10110001");
}

TEST_F(TextProperties, LockedWindowStaysOnItsTextAndMissingTextsClose)
{
  const int conf = Session->CreateConference("Props Lock");
  const int first = Session->TextTo(conf, "First\nbody");
  const int second = Session->TextTo(conf, "Second\nbody");
  TTextRcptEditForm* form = Open(first);
  form->LockTextCheckBox->SetChecked(true);
  SendMessageA(form->Handle(), WM_SHOW_TEXT_PROPERTIES, 0, second);
  EXPECT_EQ(form->TextNo(), first);
  form->LockTextCheckBox->SetChecked(false);
  SendMessageA(form->Handle(), WM_SHOW_TEXT_PROPERTIES, 0, second);
  EXPECT_EQ(form->TextNo(), second);
  EXPECT_NE(form->Caption().find(FormatText("text %d ", second)), std::string::npos);

  // A text that cannot be had closes the window, after its handler is done.
  SendMessageA(form->Handle(), WM_SHOW_TEXT_PROPERTIES, 0, 999999);
  EXPECT_TRUE(WaitFor([] { return Application().FindForm("TextRcptEditForm") == nullptr; }, 5000));

  // The main window's command with a number opens a window on it.
  TextPropertiesCommand(first);
  Application().ProcessMessages();
  auto* opened = dynamic_cast<TTextRcptEditForm*>(Application().FindForm("TextRcptEditForm"));
  ASSERT_NE(opened, nullptr);
  EXPECT_EQ(opened->TextNo(), first);
}

// Every page of the window, chosen by a click on its tab, shows all of its
// controls inside the page; the aux item entered on its page through
// clicks and keys is the one the server then holds.
TEST_F(TextProperties, EveryPageShowsItsControlsWithinItAndTakesInputThere)
{
  using namespace TestSupport;
  const int conf = Session->CreateConference("Props Pages");
  const int text = Session->TextTo(conf, "Pages\nbody");
  TTextRcptEditForm* form = Open(text);
  TPageControl* pages = form->PageControl1;
  const char* const names[] = {"recipients", "texts", "aux", "stats"};
  ASSERT_EQ(pages->PageCount(), 4);
  for (int tab = 0; tab < pages->PageCount(); ++tab) {
    RECT tabRect{};
    ASSERT_TRUE(SendMessageA(pages->Handle(), TCM_GETITEMRECT, WPARAM(tab), LPARAM(&tabRect)));
    PostClick(pages->Handle(), POINT{(tabRect.left + tabRect.right) / 2, (tabRect.top + tabRect.bottom) / 2});
    TTabSheet* page = pages->Page(tab);
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(page->Handle()) != FALSE; }, 5000)) << names[tab];
    RECT pageArea{};
    GetClientRect(page->Handle(), &pageArea);
    EXPECT_GT(pageArea.right, 400) << names[tab];
    for (TControl* c : page->Controls()) {
      EXPECT_TRUE(IsWindowVisible(c->Handle())) << names[tab] << ": " << c->Name;
      RECT r{};
      GetWindowRect(c->Handle(), &r);
      MapWindowPoints(nullptr, page->Handle(), reinterpret_cast<POINT*>(&r), 2);
      EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= pageArea.right && r.bottom <= pageArea.bottom)
        << names[tab] << ": " << c->Name << " at " << r.left << "," << r.top << "-" << r.right << "," << r.bottom
        << " on a page of " << pageArea.right << "x" << pageArea.bottom;
    }
    Screenshot(std::string("text-properties-") + names[tab]);
  }

  // Back on the aux page: a tag typed into the box, data into its field, "&Add".
  RECT tabRect{};
  SendMessageA(pages->Handle(), TCM_GETITEMRECT, 2, LPARAM(&tabRect));
  PostClick(pages->Handle(), POINT{(tabRect.left + tabRect.right) / 2, (tabRect.top + tabRect.bottom) / 2});
  ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(form->DataEdit->Handle()) != FALSE; }, 5000));
  PostClick(form->TagComboBox->Handle());
  ASSERT_TRUE(WaitFor([&] { return IsChild(form->TagComboBox->Handle(), GetFocus()) != FALSE; }, 5000));
  PostText("1");
  Application().ProcessMessages();
  PostClick(form->DataEdit->Handle());
  ASSERT_TRUE(WaitFor([&] { return GetFocus() == form->DataEdit->Handle(); }, 5000));
  PostText("text/plain");
  Application().ProcessMessages();
  EXPECT_EQ(form->TagComboBox->Text(), "1");
  EXPECT_EQ(form->DataEdit->Text(), "text/plain");
  PostClick(form->AddAuxButton->Handle());
  ASSERT_TRUE(WaitFor([&] { return form->AuxItemsListView->Count() == 1; }, 10000));
  EXPECT_EQ(AuxOf(text), (std::vector<std::pair<int, std::string>>{{1, "text/plain"}}));
}

} // namespace
