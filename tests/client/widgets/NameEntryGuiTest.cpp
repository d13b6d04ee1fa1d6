// The name entry: the item list's runs and their editing, the picker's
// completion against a real lyskomd (by name, by number, by regular
// expression), and the shared name dialog.
#include <winsock2.h>

#include "../core/EngineSession.h"
#include "ItemEditList.h"
#include "LyskomdServer.h"
#include "../main/MainTestSupport.h"
#include "../main/ProgramWithServer.h"
#include "ModalScript.h"
#include "WindowInput.h"

namespace {

using namespace MainTest;
using EngineSession::TSession;
using TestSupport::TLyskomdServer;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

class NameEntry : public TProgramWithServer
{
protected:
  void SetUp() override
  {
    TProgramWithServer::SetUp();
    Frame = GetNameForm->NameFrame;
    ASSERT_TRUE(Frame && Frame->ItemList);
    List = Frame->ItemList;
    GetNameForm->Show();
    ASSERT_TRUE(List->HandleAllocated());
  }
  void TearDown() override
  {
    TProgramWithServer::TearDown();
  }

  // A click at the right end of the field puts the focus there.
  void Focus()
  {
    RECT r{};
    GetClientRect(List->Handle(), &r);
    ASSERT_TRUE(TestSupport::ClickAt(List->Handle(), r.right - 2, r.bottom / 2));
    Application().ProcessMessages();
    ASSERT_EQ(GetFocus(), List->Handle());
  }
  // Text typed at the end of what the field holds.
  void Type(const std::string& text)
  {
    Key(VK_END);
    TestSupport::TypeText(List->Handle(), text);
    Application().ProcessMessages();
  }
  void Key(WORD key, std::initializer_list<int> held = {})
  {
    TestSupport::PressKey(List->Handle(), key, held);
    Application().ProcessMessages();
  }
  void Keys(WORD key, int times)
  {
    for (int i = 0; i < times; ++i) Key(key);
  }
  // The item of the field's popup menu, chosen with a right click at its right end.
  bool ChooseFromPopup(TMenuItem* item)
  {
    RECT r{};
    GetClientRect(List->Handle(), &r);
    return TestSupport::ChooseFromPopup(List->Handle(), POINT{r.right - 2, r.bottom / 2}, item);
  }

  TFrame1* Frame = nullptr;
  TItemEditList* List = nullptr;
};

TEST_F(NameEntry, ItemsAreLinkRunsJoinedBySeparatorsAndAKeyOnARunRemovesTheWholeItem)
{
  List->MaxItems = 0;
  List->Clear();
  List->AddItem("Alpha", 11, false, "");
  List->AddItem("Beta", 12, true, "");
  Focus();
  Type("typed");
  EXPECT_EQ("Alpha ; Betatyped", List->Caption());
  EXPECT_EQ("typed", List->FreeText());
  EXPECT_EQ(12, List->ItemNumber(1));
  EXPECT_EQ(0, List->ItemNumber(2));
  EXPECT_EQ("", List->ItemText(-1));

  // The runs are underlined links; the separator is not a link.
  CHARFORMAT2A format{};
  format.cbSize = sizeof(format);
  List->SetSelection(1, 2);
  SendMessageA(List->Handle(), EM_GETCHARFORMAT, SCF_SELECTION, LPARAM(&format));
  EXPECT_TRUE(format.dwEffects & CFE_UNDERLINE);
  EXPECT_TRUE(format.dwEffects & CFE_LINK);
  List->SetSelection(6, 1);
  SendMessageA(List->Handle(), EM_GETCHARFORMAT, SCF_SELECTION, LPARAM(&format));
  EXPECT_FALSE(format.dwEffects & CFE_LINK);

  // Backspace at the end of an item removes it whole; the typed text stays.
  Key(VK_END);
  Keys(VK_LEFT, 5);
  ASSERT_EQ(List->SelStart(), List->Items()[1].EndPos);
  Key(VK_BACK);
  EXPECT_EQ(1, List->ItemCount());
  EXPECT_EQ("Alphatyped", List->Caption());
  // Delete inside the first item removes it too.
  Key(VK_HOME);
  Keys(VK_RIGHT, 2);
  Key(VK_DELETE);
  EXPECT_EQ(0, List->ItemCount());
  EXPECT_EQ("typed", List->Caption());

  // With a limit of one, a second item replaces the first.
  List->MaxItems = 1;
  List->AddItem("One", 1, false, "");
  List->AddItem("Two", 2, false, "");
  EXPECT_EQ(1, List->ItemCount());
  EXPECT_EQ("Two", List->ItemText(0));
}

TEST_F(NameEntry, CompletionByNameNumberAndRegexpAgainstTheServer)
{
  List->Clear();
  Frame->SetConfTypes(ctUsers);
  Focus();
  // Ctrl+K: completion by name.
  Type("Administ");
  Key('K', {VK_CONTROL});
  ASSERT_EQ(1, List->ItemCount());
  EXPECT_EQ(5, List->ItemNumber(0));
  EXPECT_EQ("Administrator (of) LysKOM", List->Caption());

  // A name nobody has leaves the picker empty.
  List->Clear();
  Type("Nobody by this name");
  Key('K', {VK_CONTROL});
  EXPECT_EQ(0, List->ItemCount());
  EXPECT_EQ("", List->Caption());

  // Ctrl+N: by number, whatever the kinds; not with a letter before the digits.
  Type("4");
  Key('N', {VK_CONTROL});
  ASSERT_EQ(1, List->ItemCount());
  EXPECT_EQ(4, List->ItemNumber(0));
  EXPECT_EQ(NameByNumber(4), List->ItemText(0));
  List->Clear();
  Type("x4");
  Key('N', {VK_CONTROL});
  EXPECT_EQ(0, List->ItemCount());

  // Ctrl+R: by regular expression. A second completion replaces the first item.
  List->Clear();
  Type("^Adm");
  Key('R', {VK_CONTROL});
  ASSERT_EQ(1, List->ItemCount());
  EXPECT_EQ(5, List->ItemNumber(0));
  Type("4");
  Key('N', {VK_CONTROL});
  EXPECT_EQ(1, List->ItemCount());
  EXPECT_EQ(4, List->ItemNumber(0));

  // The same from the popup menu, whose kinds follow the frame's kinds.
  List->Clear();
  Type("Administ");
  ASSERT_TRUE(ChooseFromPopup(Frame->LyskomCompletion1));
  ASSERT_EQ(1, List->ItemCount());
  EXPECT_EQ(5, List->ItemNumber(0));
  Frame->SetConfTypes(ctConferences);
  {
    TestSupport::TPopupChoice choice(Frame->ShowUsers1->Command());
    RECT r{};
    GetClientRect(List->Handle(), &r);
    ASSERT_TRUE(TestSupport::ClickAt(List->Handle(), r.right - 2, r.bottom / 2, true));
    ASSERT_TRUE(WaitFor([&] { return choice.Finished(); }));
    ASSERT_TRUE(choice.Chosen());
    EXPECT_TRUE(choice.StateOf(Frame->ShowConferences1->Command()) & MF_CHECKED);
    EXPECT_FALSE(choice.StateOf(Frame->ShowUsers1->Command()) & MF_CHECKED);
  }
  EXPECT_EQ(ctUsers | ctConferences, Frame->ConfTypes);
}

TEST_F(NameEntry, AskForNameAnswersTheNumberOrMinusOneAndStaysOpenOnAnUnknownName)
{
  GetNameForm->Hide();
  TModalScript found;
  found.Then("GetNameForm", [](TForm*) { TModalScript::Click(GetNameForm->OkButton); });
  found.Start();
  EXPECT_EQ(5, AskForName("View presentation", "Administrator", ctUsers));
  EXPECT_EQ("View presentation", GetNameForm->Caption());

  TModalScript unknown;
  unknown.Then("GetNameForm", [](TForm*) { TModalScript::Click(GetNameForm->OkButton); })
    .Then("GetNameForm", [](TForm* f) {
      // Still open after Ok on a name the server does not know.
      EXPECT_TRUE(f->IsModal());
      TModalScript::Click(GetNameForm->CancelButton);
    });
  unknown.Start();
  EXPECT_EQ(-1, AskForName("Go to conference", "No such name at all", ctConferences));
  EXPECT_TRUE(unknown.Done());

  TModalScript cancel;
  cancel.Then("GetNameForm", [](TForm*) { TModalScript::Click(GetNameForm->CancelButton); });
  cancel.Start();
  EXPECT_EQ(-1, AskForName("Go to conference", "", ctConferences));
}

} // namespace
