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
#include "Clipboard.h"
#include "GdiOwners.h"
#include "Panels.h"
#include "TextRcptEditForm.h"
#include "UserMessages.h"
#include "WindowMessages.h"
#include "WindowInput.h"
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

using TestSupport::Click;
using TestSupport::ClickControl;
using TestSupport::ClickPageTab;
using TestSupport::Type;
using TestSupport::TypeInto;

// The item of a row's popup menu, chosen with a right click on the row.
bool ChooseFromRow(TListView* view, int row, TComponent* item)
{
  return TestSupport::ChooseFromRowPopup(view->Handle(), row, dynamic_cast<TMenuItem*>(item));
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
  static bool ShowPage(TTabSheet* sheet)
  {
    if (!ClickPageTab(sheet)) return false;
    Application().ProcessMessages();
    return sheet->PageControl()->ActivePage() == sheet;
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

  ASSERT_TRUE(Type(form->RcptFrame->ItemList, N(more)));
  EXPECT_TRUE(form->CCButton->Enabled());
  ASSERT_TRUE(Click(form->CCButton));
  EXPECT_EQ(MiscPairs(text), (std::vector<std::pair<int, int>>{{0, conf}, {1, more}}));
  EXPECT_EQ(Column(form->RcptListView, 0), (std::vector<std::string>{"Recipient", "Carbon copy"}));

  // Removing asks first; No keeps the recipient.
  Boxes->SetAnswer(IDNO);
  ASSERT_TRUE(ChooseFromRow(form->RcptListView, 1, form->RemoveRcpt1));
  EXPECT_EQ(MiscPairs(text).size(), 2u);
  Boxes->SetAnswer(IDYES);
  ASSERT_TRUE(ChooseFromRow(form->RcptListView, 1, form->RemoveRcpt1));
  EXPECT_EQ(MiscPairs(text), (std::vector<std::pair<int, int>>{{0, conf}}));
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Really delete recipient?", "Really delete recipient?"}));
  EXPECT_EQ(form->RcptListView->Count(), 1);

  // The longest kind is shown whole: its text's extent in the list's font,
  // with the margins around a label, fits its column, and the names still
  // end within the list.
  const int hidden = Session->CreateConference("Props Hidden");
  ASSERT_TRUE(Type(form->RcptFrame->ItemList, N(hidden)));
  ASSERT_TRUE(Click(form->BCCButton));
  ASSERT_EQ(Column(form->RcptListView, 0), (std::vector<std::string>{"Recipient", "Blank carbon copy"}));
  const HWND list = form->RcptListView->Handle();
  RECT label{};
  ListView_GetSubItemRect(list, 1, 0, LVIR_LABEL, &label);
  EXPECT_GE(label.right - label.left, TextExtent(list, form->RcptListView->FontHandle(), "Blank carbon copy").cx + 12);
  RECT client{};
  GetClientRect(list, &client);
  int columns = 0;
  for (int i = 0; i < form->RcptListView->ColumnCount(); ++i) columns += form->RcptListView->ColumnWidth(i);
  EXPECT_LE(columns, client.right);

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

  ASSERT_TRUE(ShowPage(dynamic_cast<TTabSheet*>(form->ComListView->Parent())));
  ASSERT_TRUE(Type(form->TextEdit, "12ab"));
  EXPECT_TRUE(form->CommentButton->Enabled());
  ASSERT_TRUE(Click(form->CommentButton));
  EXPECT_EQ(TakeUserMessage(), "!Invalid text number");
  EXPECT_EQ(MiscPairs(text), (std::vector<std::pair<int, int>>{{0, conf}}));

  ASSERT_TRUE(Type(form->TextEdit, N(parent)));
  ASSERT_TRUE(Click(form->CommentButton));
  EXPECT_EQ(MiscPairs(text), (std::vector<std::pair<int, int>>{{0, conf}, {2, parent}}));
  EXPECT_EQ(Column(form->ComListView, 0), (std::vector<std::string>{"Comment to"}));
  EXPECT_EQ(Column(form->ComListView, 2), (std::vector<std::string>{"Administrator (of) LysKOM"}));

  ASSERT_TRUE(Type(form->TextEdit, N(annotated)));
  ASSERT_TRUE(Click(form->FootnoteButton));
  EXPECT_EQ(MiscPairs(text), (std::vector<std::pair<int, int>>{{0, conf}, {2, parent}, {4, annotated}}));

  ASSERT_TRUE(ChooseFromRow(form->ComListView, 0, form->RemoveCom1));
  EXPECT_EQ(MiscPairs(text), (std::vector<std::pair<int, int>>{{0, conf}, {4, annotated}}));
  ASSERT_EQ(form->ComListView->Count(), 1);
  ASSERT_TRUE(ChooseFromRow(form->ComListView, 0, form->RemoveCom1));
  EXPECT_EQ(MiscPairs(text), (std::vector<std::pair<int, int>>{{0, conf}}));
  EXPECT_EQ(form->ComListView->Count(), 0);
}

TEST_F(TextProperties, AuxItemsAndFaqEntriesAddedAndRemovedAreSeenOnTheServer)
{
  const int conf = Session->CreateConference("Props Aux");
  const int text = Session->TextTo(conf, "Aux\nbody");
  TTextRcptEditForm* form = Open(text);

  // A short flags entry is sent as eight characters.
  auto* auxPage = dynamic_cast<TTabSheet*>(form->AuxItemsListView->Parent());
  ASSERT_TRUE(ShowPage(auxPage));
  ASSERT_TRUE(Type(form->TagComboBox, "1"));
  ASSERT_TRUE(Type(form->FlagsEdit, "00"));
  ASSERT_TRUE(Type(form->InheritEdit, "x"));
  ASSERT_TRUE(Type(form->DataEdit, "text/plain"));
  EXPECT_EQ(form->FlagsEdit->Text(), "00");
  EXPECT_EQ(form->FlagsText(), "00000000");
  ASSERT_TRUE(Click(form->AddAuxButton));
  EXPECT_EQ(AuxOf(text), (std::vector<std::pair<int, std::string>>{{1, "text/plain"}}));
  ASSERT_EQ(form->AuxItemsListView->Count(), 1);
  EXPECT_EQ(Column(form->AuxItemsListView, 2), (std::vector<std::string>{"[5] Administrator (of) LysKOM"}));

  ASSERT_TRUE(ChooseFromRow(form->AuxItemsListView, 0, form->FindComponent("DeleteAux1")));
  EXPECT_TRUE(AuxOf(text).empty());
  EXPECT_EQ(form->AuxItemsListView->Count(), 0);
  EXPECT_EQ(UserMessageCount(), 0);

  // The text as the conference's FAQ shows a row after the recipients.
  ASSERT_TRUE(ShowPage(dynamic_cast<TTabSheet*>(form->RcptListView->Parent())));
  ASSERT_TRUE(Type(form->RcptFrame->ItemList, N(conf)));
  ASSERT_TRUE(Click(form->FAQButton));
  EXPECT_EQ(Column(form->RcptListView, 0), (std::vector<std::string>{"Recipient", "FAQ for"}));
  EXPECT_EQ(Column(form->RcptListView, 1), (std::vector<std::string>{N(conf), N(conf)}));
  ASSERT_TRUE(ChooseFromRow(form->RcptListView, 1, form->RemoveRcpt1));
  EXPECT_EQ(BoxTexts().back(), "Really delete FAQ flag?");
  EXPECT_EQ(Column(form->RcptListView, 0), (std::vector<std::string>{"Recipient"}));
  for (const auto& [tag, data] : AuxOf(text)) EXPECT_NE(tag, 28) << data;

  // A refused aux item is reported and changes nothing.
  ASSERT_TRUE(ShowPage(auxPage));
  ASSERT_TRUE(Type(form->TagComboBox, "28"));
  ASSERT_TRUE(Type(form->DataEdit, "not a conference"));
  ASSERT_TRUE(Click(form->AddAuxButton));
  ASSERT_EQ(UserMessageCount(), 1);
  EXPECT_EQ(TakeUserMessage().rfind("!A error occured while adding Aux attributes to text.\r\n", 0), 0u);
}

TEST_F(TextProperties, FlagsHoldEightCharactersOfZeroAndOne)
{
  const int conf = Session->CreateConference("Props Flags");
  TTextRcptEditForm* form = Open(Session->TextTo(conf, "Flags\nbody"));
  ASSERT_TRUE(ShowPage(dynamic_cast<TTabSheet*>(form->FlagsEdit->Parent())));
  EXPECT_EQ(form->FlagsEdit->Text(), "00000000");
  HWND flags = form->FlagsEdit->Handle();
  // Pasted text keeps only the flag characters.
  ASSERT_TRUE(SetClipboardText("1x0 1a1", form->HostHandle()));
  ASSERT_TRUE(Type(form->FlagsEdit, ""));
  TestSupport::PressKey(flags, 'V', {VK_CONTROL});
  Application().ProcessMessages();
  EXPECT_EQ(form->FlagsEdit->Text(), "1011");
  EXPECT_EQ(form->FlagsText(), "10110000");
  // Typed, a key other than 0 and 1 is refused.
  TestSupport::TypeKeysTo(flags, "x1");
  Application().ProcessMessages();
  EXPECT_EQ(form->FlagsEdit->Text(), "10111");

  // The popup shows as many flags as are typed; a click writes all eight.
  TMenuItem* items = form->FlagsPopupMenu->Items();
  RECT r{};
  GetClientRect(flags, &r);
  {
    TestSupport::TPopupChoice choice(items->Items(7)->Command());
    ASSERT_TRUE(TestSupport::ClickAt(flags, r.right / 2, r.bottom / 2, true));
    ASSERT_TRUE(WaitFor([&] { return choice.Finished(); }));
    ASSERT_TRUE(choice.Chosen());
    EXPECT_TRUE(choice.StateOf(items->Items(0)->Command()) & MF_CHECKED);
    EXPECT_FALSE(choice.StateOf(items->Items(1)->Command()) & MF_CHECKED);
    EXPECT_TRUE(choice.StateOf(items->Items(3)->Command()) & MF_CHECKED);
    EXPECT_TRUE(choice.StateOf(items->Items(4)->Command()) & MF_CHECKED);
  }
  Application().ProcessMessages();
  EXPECT_EQ(form->FlagsEdit->Text(), "10111001");
}

TEST_F(TextProperties, LockedWindowStaysOnItsTextAndMissingTextsClose)
{
  const int conf = Session->CreateConference("Props Lock");
  const int first = Session->TextTo(conf, "First\nbody");
  const int second = Session->TextTo(conf, "Second\nbody");
  TTextRcptEditForm* form = Open(first);
  ASSERT_TRUE(Click(form->LockTextCheckBox));
  EXPECT_TRUE(form->LockTextCheckBox->Checked());
  SendMessageA(form->Handle(), WM_SHOW_TEXT_PROPERTIES, 0, second);
  EXPECT_EQ(form->TextNo(), first);
  ASSERT_TRUE(Click(form->LockTextCheckBox));
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
    EXPECT_TRUE(ClickAt(pages->Handle(), (tabRect.left + tabRect.right) / 2, (tabRect.top + tabRect.bottom) / 2));
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
  EXPECT_TRUE(ClickAt(pages->Handle(), (tabRect.left + tabRect.right) / 2, (tabRect.top + tabRect.bottom) / 2));
  ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(form->DataEdit->Handle()) != FALSE; }, 5000));
  EXPECT_TRUE(ClickControl(form->TagComboBox->Handle()));
  ASSERT_TRUE(WaitFor([&] { return IsChild(form->TagComboBox->Handle(), GetFocus()) != FALSE; }, 5000));
  TypeKeys("1");
  Application().ProcessMessages();
  EXPECT_TRUE(ClickControl(form->DataEdit->Handle()));
  ASSERT_TRUE(WaitFor([&] { return GetFocus() == form->DataEdit->Handle(); }, 5000));
  TypeKeys("text/plain");
  Application().ProcessMessages();
  EXPECT_EQ(form->TagComboBox->Text(), "1");
  EXPECT_EQ(form->DataEdit->Text(), "text/plain");
  EXPECT_TRUE(ClickControl(form->AddAuxButton->Handle()));
  ASSERT_TRUE(WaitFor([&] { return form->AuxItemsListView->Count() == 1; }, 10000));
  EXPECT_EQ(AuxOf(text), (std::vector<std::pair<int, std::string>>{{1, "text/plain"}}));
}

} // namespace
