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

  void Type(const std::string& text)
  {
    List->SetSelection(List->TextLength(), 0);
    List->ReplaceSelection(text);
  }
  void Key(WPARAM key) { SendMessageA(List->Handle(), WM_KEYDOWN, key, 0); }

  TFrame1* Frame = nullptr;
  TItemEditList* List = nullptr;
};

TEST_F(NameEntry, ItemsAreLinkRunsJoinedBySeparatorsAndAKeyOnARunRemovesTheWholeItem)
{
  List->MaxItems = 0;
  List->Clear();
  List->AddItem("Alpha", 11, false, "");
  List->AddItem("Beta", 12, true, "");
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
  List->SetSelection(List->Items()[1].EndPos, 0);
  Key(VK_BACK);
  EXPECT_EQ(1, List->ItemCount());
  EXPECT_EQ("Alphatyped", List->Caption());
  // Delete inside the first item removes it too.
  List->SetSelection(2, 0);
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
  Type("Administ");
  Frame->LyskomCompletion1Click(nullptr);
  ASSERT_EQ(1, List->ItemCount());
  EXPECT_EQ(5, List->ItemNumber(0));
  EXPECT_EQ("Administrator (of) LysKOM", List->Caption());

  // A name nobody has leaves the picker empty.
  List->Clear();
  Type("Nobody by this name");
  Frame->LyskomCompletion1Click(nullptr);
  EXPECT_EQ(0, List->ItemCount());
  EXPECT_EQ("", List->Caption());

  // By number, whatever the kinds; not with a letter before the digits.
  Type("4");
  Frame->NumberCompletion1Click(nullptr);
  ASSERT_EQ(1, List->ItemCount());
  EXPECT_EQ(4, List->ItemNumber(0));
  EXPECT_EQ(NameByNumber(4), List->ItemText(0));
  List->Clear();
  Type("x4");
  Frame->NumberCompletion1Click(nullptr);
  EXPECT_EQ(0, List->ItemCount());

  // A second completion replaces the first item.
  List->Clear();
  Type("^Adm");
  Frame->RegexpCompletion1Click(nullptr);
  ASSERT_EQ(1, List->ItemCount());
  EXPECT_EQ(5, List->ItemNumber(0));
  Type("4");
  Frame->NumberCompletion1Click(nullptr);
  EXPECT_EQ(1, List->ItemCount());
  EXPECT_EQ(4, List->ItemNumber(0));

  // The kinds menu follows the frame's kinds.
  Frame->SetConfTypes(ctConferences);
  EXPECT_TRUE(Frame->ShowConferences1->Checked());
  EXPECT_FALSE(Frame->ShowUsers1->Checked());
  Frame->ShowUsers1Click(nullptr);
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
