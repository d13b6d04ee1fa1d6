// Behaviour of the form framework with real windows: actions and their
// clients, the Tag convention, keys through the message loop, popups,
// pinning, synchronised calls while waiting, modal dialogs, the clipboard
// habits of list windows, the rich-text host and close actions.
#include <gtest/gtest.h>

#include "CommonControls.h"
#include "Clipboard.h"
#include "Panels.h"
#include "Form.h"
#include "FormLoading.h"
#include "Application.h"
#include "MenuItems.h"
#include "MessageBoxes.h"
#include "ModalScript.h"
#include "RichEdit.h"
#include "StandardControls.h"
#include "Threads.h"
#include "WindowThread.h"
#include "ModalScript.h"
#include "WindowInput.h"

namespace {

constexpr UINT WM_TEST_POSTED = WM_APP + 10;

const char* const MainFormText = R"(Form TestMainForm: TTestMainForm
  Caption = "Omnora"
  FormStyle = MDIForm
  Width = 900
  Height = 680
  Menu = MainMenu1
  WindowMenu = Windows1
  ActionList MainActionList
    Action ReadTextAction
      Caption = "&Read text"
      ShortCut = "Ctrl+R"
      OnExecute = ReadTextActionExecute
    end
    Action MarkTextAction
      Caption = "&Mark text"
      OnExecute = MarkTextActionExecute
    end
    Action DeleteTextAction
      Caption = "&Delete text"
      ShortCut = "Ctrl+D"
      Enabled = false
      OnExecute = DeleteTextActionExecute
    end
  end
  MainMenu MainMenu1
    MenuItem Session1
      Caption = "&Session"
      MenuItem Read1
        Action = ReadTextAction
      end
      MenuItem Delete1
        Action = DeleteTextAction
      end
    end
    MenuItem Windows1
      Caption = "&Windows"
      MenuItem Cascade1
        Caption = "&Cascade"
      end
    end
  end
  ToolBar ToolBar1
    ShowCaptions = true
    ToolButton DeleteButton
      Action = DeleteTextAction
    end
  end
  StatusBar StatusBar1
    Panels = [[300], [100], [50, OwnerDraw]]
  end
end
)";

class TTestMainForm : public TForm
{
public:
  explicit TTestMainForm(TComponent* owner) : TForm(owner, "TTestMainForm") {}
  TAction* ReadTextAction = nullptr;
  TAction* MarkTextAction = nullptr;
  TAction* DeleteTextAction = nullptr;
  TMenuItem* Delete1 = nullptr;
  TMenuItem* Session1 = nullptr;
  TMainMenu* MainMenu1 = nullptr;
  TToolBar* ToolBar1 = nullptr;
  TToolButton* DeleteButton = nullptr;

  int Reads = 0, Marks = 0, Deletes = 0;
  int LastArgument = -1, TagDuringRun = -1;
  void ReadTextActionExecute(TComponent*)
  {
    ++Reads;
    LastArgument = ReadTextAction->Argument();
    TagDuringRun = ReadTextAction->Tag;
  }
  void MarkTextActionExecute(TComponent*) { ++Marks; }
  void DeleteTextActionExecute(TComponent*) { ++Deletes; }

protected:
  void DeclareBindings(TBindings& b) override
  {
    b.Field("ReadTextAction", ReadTextAction);
    b.Field("MarkTextAction", MarkTextAction);
    b.Field("DeleteTextAction", DeleteTextAction);
    b.Field("Delete1", Delete1);
    b.Field("Session1", Session1);
    b.Field("MainMenu1", MainMenu1);
    b.Field("ToolBar1", ToolBar1);
    b.Field("DeleteButton", DeleteButton);
    b.Handler("ReadTextActionExecute", &TTestMainForm::ReadTextActionExecute);
    b.Handler("MarkTextActionExecute", &TTestMainForm::MarkTextActionExecute);
    b.Handler("DeleteTextActionExecute", &TTestMainForm::DeleteTextActionExecute);
  }
};

const char* const ListFormText = R"(Form TestListForm: TTestListForm
  Caption = "Marked texts"
  FormStyle = MDIChild
  Width = 420
  Height = 320
  Visible = true
  Menu = ListMenu
  OnClose = FormClose
  OnDestroy = FormDestroy
  OnKeyDown = FormKeyDown
  ActionList ListActionList
    Action PinAction
      Caption = "Pin window"
      ShortCut = "Ctrl+P"
    end
    Action CopyListAction
      Caption = "&Copy list"
      ShortCut = "Ctrl+L"
      OnExecute = CopyListActionExecute
    end
    Action LocalDeleteAction
      Caption = "Delete"
      ShortCut = "Ctrl+D"
      Enabled = false
      OnExecute = LocalDeleteActionExecute
    end
  end
  MainMenu ListMenu
    MenuItem List1
      Caption = "&List"
      MenuItem Pin1
        Action = PinAction
      end
    end
  end
  PopupMenu ListPopupMenu
    OnPopup = ListPopupMenuPopup
    MenuItem ReadPopup
      Action = TestMainForm.ReadTextAction
    end
    MenuItem MarkPopup
      Action = TestMainForm.MarkTextAction
    end
    MenuItem DeletePopup
      Action = TestMainForm.DeleteTextAction
    end
  end
  ListView ListView1
    Align = Top
    Height = 150
    MultiSelect = true
    Columns = [["Text #", 60], ["Mark type", 70, Right], ["Subject", 200]]
    PopupMenu = ListPopupMenu
  end
  Splitter Splitter1
    Align = Top
  end
  Panel ViewPanel
    Align = Bottom
    Height = 60
    BevelOuter = Lowered
  end
  RichEdit RichEdit1
    Align = Client
  end
end
)";

// A borderless view that other forms embed in a panel.
const char* const ViewFormText = R"(Form TestViewForm: TTestViewForm
  BorderStyle = None
  OnShow = FormShow
  OnHide = FormHide
  ActionList ViewActions
    Action FindAction
      Caption = "&Find"
      ShortCut = "Ctrl+F"
      OnExecute = FindActionExecute
    end
  end
  RichEdit MainEdit
    Align = Client
    ReadOnly = true
  end
end
)";

class TTestViewForm : public TForm
{
public:
  explicit TTestViewForm(TComponent* owner) : TForm(owner, "TTestViewForm") {}
  TRichEdit* MainEdit = nullptr;
  int Finds = 0, Shows = 0, Hides = 0;
  void FindActionExecute(TComponent*) { ++Finds; }
  void FormShow(TComponent*) { ++Shows; }
  void FormHide(TComponent*) { ++Hides; }

protected:
  void DeclareBindings(TBindings& b) override
  {
    b.Field("MainEdit", MainEdit);
    b.Handler("FindActionExecute", &TTestViewForm::FindActionExecute);
    b.Handler("FormShow", &TTestViewForm::FormShow);
    b.Handler("FormHide", &TTestViewForm::FormHide);
  }
};

class TTestListForm : public TForm
{
public:
  explicit TTestListForm(TComponent* owner, bool* destroyed = nullptr)
    : TForm(owner, "TTestListForm"), FDestroyed(destroyed)
  {
  }
  ~TTestListForm() override
  {
    if (DerivedGone) *DerivedGone = true;
  }
  // Set by the destructor of this class; OnDestroy must come before it.
  bool* DerivedGone = nullptr;
  bool WholeAtDestroy = false;
  bool* WholeAtDestroyOut = nullptr;
  TListView* ListView1 = nullptr;
  TRichEdit* RichEdit1 = nullptr;
  TPopupMenu* ListPopupMenu = nullptr;
  TMainMenu* ListMenu = nullptr;
  TAction* LocalDeleteAction = nullptr;
  TPanel* ViewPanel = nullptr;

  TCloseAction CloseAction = TCloseAction::Minimize;
  bool OverrideClose = false;
  int Posted = 0, LocalDeletes = 0, CopyLists = 0, PreviewKeys = 0;
  WORD SwallowKey = 0;
  std::function<void()> OnPopupHook;

  void FormClose(TComponent*, TCloseAction& action)
  {
    if (OverrideClose) action = CloseAction;
  }
  void FormDestroy(TComponent*)
  {
    if (FDestroyed) *FDestroyed = true;
    if (WholeAtDestroyOut) *WholeAtDestroyOut = DerivedGone && !*DerivedGone;
  }
  void FormKeyDown(TComponent*, WORD& key, TShiftState)
  {
    ++PreviewKeys;
    if (key == SwallowKey) key = 0;
  }
  void CopyListActionExecute(TComponent*)
  {
    ++CopyLists;
    ListView1->CopyToClipboard(false);
  }
  void LocalDeleteActionExecute(TComponent*) { ++LocalDeletes; }
  void ListPopupMenuPopup(TComponent*)
  {
    if (OnPopupHook) OnPopupHook();
  }

protected:
  void DeclareBindings(TBindings& b) override
  {
    b.Field("ListView1", ListView1);
    b.Field("RichEdit1", RichEdit1);
    b.Field("ListPopupMenu", ListPopupMenu);
    b.Field("ListMenu", ListMenu);
    b.Field("LocalDeleteAction", LocalDeleteAction);
    b.Field("ViewPanel", ViewPanel);
    b.Handler("FormClose", &TTestListForm::FormClose);
    b.Handler("FormDestroy", &TTestListForm::FormDestroy);
    b.Handler("FormKeyDown", &TTestListForm::FormKeyDown);
    b.Handler("CopyListActionExecute", &TTestListForm::CopyListActionExecute);
    b.Handler("LocalDeleteActionExecute", &TTestListForm::LocalDeleteActionExecute);
    b.Handler("ListPopupMenuPopup", &TTestListForm::ListPopupMenuPopup);
  }
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override
  {
    if (msg == WM_TEST_POSTED) {
      ++Posted;
      return 0;
    }
    return TForm::WndProc(msg, wp, lp);
  }

private:
  bool* FDestroyed;
};

const char* const DialogText = R"(Form TestDialog: TTestDialog
  Caption = "Options"
  BorderStyle = Dialog
  Position = MainFormCenter
  ClientWidth = 300
  ClientHeight = 110
  Edit ValueEdit
    Left = 8
    Top = 8
    Width = 284
  end
  Button OkButton
    Caption = "OK"
    ModalResult = Ok
    Default = true
    Left = 136
    Top = 76
    OnClick = OkButtonClick
  end
  Button CancelButton
    Caption = "Cancel"
    ModalResult = Cancel
    Cancel = true
    Left = 217
    Top = 76
  end
end
)";

class TTestDialog : public TForm
{
public:
  explicit TTestDialog(TComponent* owner) : TForm(owner, "TTestDialog") {}
  TButton* OkButton = nullptr;
  TButton* CancelButton = nullptr;
  TEdit* ValueEdit = nullptr;
  int OkClicks = 0;

  // The first Ok finds the input wanting and keeps the dialog open.
  void OkButtonClick(TComponent*)
  {
    if (++OkClicks == 1) SetModalResult(mrNone);
  }

protected:
  void DeclareBindings(TBindings& b) override
  {
    b.Field("OkButton", OkButton);
    b.Field("CancelButton", CancelButton);
    b.Field("ValueEdit", ValueEdit);
    b.Handler("OkButtonClick", &TTestDialog::OkButtonClick);
  }
};

using TestSupport::ClickControl;
using TestSupport::PressKey;

class Framework : public testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    Application().Initialize();
    RegisterFormResource("TTestMainForm", MainFormText);
    RegisterFormResource("TTestListForm", ListFormText);
    RegisterFormResource("TTestDialog", DialogText);
    RegisterFormResource("TTestViewForm", ViewFormText);
  }

  void SetUp() override
  {
    Main = CreateForm<TTestMainForm>(nullptr);
    Application().SetMainForm(Main);
    Main->Show();
    Main->BringToFront();
    List = CreateForm<TTestListForm>(nullptr, &ListDestroyed);
    Application().ProcessMessagesUntil([&] { return List->Visible(); }, 5000);
    List->ListView1->AddItem("4711")->AddSubItem("100");
    List->ListView1->Item(0)->AddSubItem("Hello");
    TListItem* second = List->ListView1->AddItem("17");
    second->AddSubItem("5");
    second->AddSubItem("World");
    TListItem* third = List->ListView1->AddItem("99");
    third->AddSubItem("255");
    third->AddSubItem("Third");
  }

  void TearDown() override
  {
    if (!ListDestroyed) List->Free();
    Main->Free();
    Application().ProcessMessages();
    EXPECT_TRUE(Application().Forms().empty());
  }

  void Focus(TControl* c)
  {
    List->BringToFront();
    c->SetFocus();
    Application().ProcessMessages();
  }

  TTestMainForm* Main = nullptr;
  TTestListForm* List = nullptr;
  bool ListDestroyed = false;
};

TEST_F(Framework, DisabledActionDoesNothingAndClientsFollowActions)
{
  TAction* del = Main->DeleteTextAction;
  HMENU session = Main->Session1->Handle();
  HWND bar = Main->ToolBar1->Handle();
  EXPECT_FALSE(del->Execute());
  EXPECT_EQ(Main->Deletes, 0);
  // The menu shows the item grayed (choosing it sends nothing) and a click
  // on the tool button does nothing.
  EXPECT_FALSE(TestSupport::ChooseMenuItem(Main->Delete1->Command()));
  EXPECT_TRUE(TestSupport::ClickToolButton(bar, Main->DeleteButton->Command()));
  Application().ProcessMessages();
  EXPECT_EQ(Main->Deletes, 0);
  EXPECT_TRUE(GetMenuState(session, Main->Delete1->Command(), MF_BYCOMMAND) & MF_GRAYED);
  EXPECT_FALSE(SendMessageA(bar, TB_ISBUTTONENABLED, Main->DeleteButton->Command(), 0));
  TMenuItem* deletePopup = dynamic_cast<TMenuItem*>(List->FindComponent("DeletePopup"));
  ASSERT_NE(deletePopup, nullptr);
  EXPECT_FALSE(deletePopup->Enabled());

  del->SetEnabled(true);
  del->SetCaption("&Remove text");
  EXPECT_FALSE(GetMenuState(session, Main->Delete1->Command(), MF_BYCOMMAND) & MF_GRAYED);
  char text[64] = {};
  GetMenuStringA(session, Main->Delete1->Command(), text, sizeof(text), MF_BYCOMMAND);
  EXPECT_STREQ(text, "&Remove text\tCtrl+D");
  EXPECT_TRUE(SendMessageA(Main->ToolBar1->Handle(), TB_ISBUTTONENABLED, Main->DeleteButton->Command(), 0));
  EXPECT_TRUE(deletePopup->Enabled());
  EXPECT_TRUE(del->Execute());
  EXPECT_TRUE(TestSupport::ChooseMenuItem(Main->Delete1->Command()));
  EXPECT_TRUE(TestSupport::ClickToolButton(bar, Main->DeleteButton->Command()));
  Application().ProcessMessages();
  EXPECT_EQ(Main->Deletes, 3);

  // Hiding an action hides its menu item.
  int before = GetMenuItemCount(session);
  del->SetVisible(false);
  EXPECT_EQ(GetMenuItemCount(session), before - 1);
  del->SetVisible(true);
  EXPECT_EQ(GetMenuItemCount(session), before);
}

TEST_F(Framework, TagIsTakenOnceAsTheArgument)
{
  TAction* read = Main->ReadTextAction;
  read->Tag = 4711;
  EXPECT_TRUE(read->Execute());
  EXPECT_EQ(Main->LastArgument, 4711);
  EXPECT_EQ(Main->TagDuringRun, 0);
  EXPECT_EQ(read->Tag, 0);
  EXPECT_EQ(read->Argument(), 0);
  EXPECT_TRUE(read->Execute());
  EXPECT_EQ(Main->LastArgument, 0);  // the command asks
  read->Tag = -3;
  EXPECT_TRUE(read->Execute());
  EXPECT_EQ(Main->LastArgument, 0);
  // A disabled action leaves its Tag alone and runs nothing.
  Main->DeleteTextAction->Tag = 17;
  EXPECT_FALSE(Main->DeleteTextAction->Execute());
  EXPECT_EQ(Main->DeleteTextAction->Tag, 17);
  Main->DeleteTextAction->Tag = 0;
}

TEST_F(Framework, KeysRunTheFirstEnabledActionOnly)
{
  Focus(List->ListView1);
  HWND target = List->ListView1->Handle();
  // Ctrl+D: the list's own action and the main form's are both disabled.
  PressKey(target, 'D', {VK_CONTROL});
  Application().ProcessMessages();
  EXPECT_EQ(List->LocalDeletes, 0);
  EXPECT_EQ(Main->Deletes, 0);
  // Ctrl+R: not in the active form, so the main form's action runs.
  PressKey(target, 'R', {VK_CONTROL});
  Application().ProcessMessages();
  EXPECT_EQ(Main->Reads, 1);
  // Ctrl+L: the active form's own action.
  SetClipboardText("");
  PressKey(target, 'L', {VK_CONTROL});
  Application().ProcessMessages();
  EXPECT_EQ(List->CopyLists, 1);
  EXPECT_EQ(GetClipboardText().substr(0, 6), "Text #");
  // Once the main form's is enabled, the first enabled match runs.
  Main->DeleteTextAction->SetEnabled(true);
  PressKey(target, 'D', {VK_CONTROL});
  Application().ProcessMessages();
  EXPECT_EQ(List->LocalDeletes, 0);
  EXPECT_EQ(Main->Deletes, 1);
  // Key preview sees the key first and may swallow it.
  List->KeyPreview = true;
  List->SwallowKey = 'R';
  PressKey(target, 'R', {VK_CONTROL});
  Application().ProcessMessages();
  EXPECT_GE(List->PreviewKeys, 1);
  EXPECT_EQ(Main->Reads, 1);
}

TEST_F(Framework, PopupClearsTheTagsItSetWhenItCloses)
{
  List->OnPopupHook = [&] {
    Main->ReadTextAction->Tag = 100;
    Main->MarkTextAction->Tag = 200;
    Main->DeleteTextAction->Tag = 300;
  };
  Focus(List->ListView1);
  HWND list = List->ListView1->Handle();
  // Dismissed: nothing runs and no Tag stays behind.
  {
    TestSupport::TPopupChoice none(0);
    ASSERT_TRUE(TestSupport::ClickListRow(list, 0, true));
    ASSERT_TRUE(Application().ProcessMessagesUntil([&] { return none.Finished(); }, 15000));
    EXPECT_TRUE(none.Opened());
  }
  EXPECT_EQ(Main->Reads + Main->Marks + Main->Deletes, 0);
  EXPECT_EQ(Main->ReadTextAction->Tag, 0);
  EXPECT_EQ(Main->MarkTextAction->Tag, 0);
  EXPECT_EQ(Main->DeleteTextAction->Tag, 0);
  EXPECT_EQ(List->ListPopupMenu->PopupComponent(), List->ListView1);

  // The chosen command gets its argument; the others' Tags are cleared.
  auto* read = dynamic_cast<TMenuItem*>(List->FindComponent("ReadPopup"));
  ASSERT_NE(read, nullptr);
  {
    TestSupport::TPopupChoice choice(read->Command());
    ASSERT_TRUE(TestSupport::ClickListRow(list, 1, true));
    ASSERT_TRUE(Application().ProcessMessagesUntil([&] { return choice.Finished(); }, 15000));
    EXPECT_TRUE(choice.Chosen());
  }
  EXPECT_EQ(Main->Reads, 1);
  EXPECT_EQ(Main->LastArgument, 100);
  EXPECT_EQ(Main->MarkTextAction->Tag, 0);
  EXPECT_EQ(Main->DeleteTextAction->Tag, 0);
}

TEST_F(Framework, PinningKeepsTheContentWindowAndWhatItHolds)
{
  HWND client = Application().MDIClient();
  ASSERT_NE(client, nullptr);
  ASSERT_TRUE(List->Docked());
  EXPECT_EQ(GetParent(List->HostHandle()), client);
  List->RichEdit1->SetText("Line one\rLine two");
  HWND content = List->Handle(), host = List->HostHandle(), listWindow = List->ListView1->Handle();
  PostMessageA(content, WM_TEST_POSTED, 0, 0);

  // While docked and active, the child's menu sits in the frame's bar
  // before the window menu.
  List->BringToFront();
  HMENU bar = GetMenu(Main->HostHandle());
  ASSERT_NE(bar, nullptr);
  char text[32] = {};
  GetMenuStringA(bar, 1, text, sizeof(text), MF_BYPOSITION);
  EXPECT_STREQ(text, "&List");

  List->SetDocked(false);
  EXPECT_FALSE(List->Docked());
  EXPECT_NE(List->HostHandle(), host);
  EXPECT_FALSE(IsWindow(host));
  EXPECT_EQ(List->Handle(), content);
  EXPECT_EQ(GetParent(content), List->HostHandle());
  EXPECT_EQ(GetAncestor(List->HostHandle(), GA_PARENT), GetDesktopWindow());
  EXPECT_EQ(List->ListView1->Handle(), listWindow);
  ASSERT_EQ(List->ListView1->Count(), 3);
  EXPECT_EQ(List->ListView1->Item(2)->SubItems()[1], "Third");
  EXPECT_EQ(List->RichEdit1->Text(), "Line one\rLine two");
  EXPECT_EQ(GetMenu(List->HostHandle()), List->ListMenu->Handle());
  EXPECT_TRUE(List->Visible());
  GetMenuStringA(bar, 1, text, sizeof(text), MF_BYPOSITION);
  EXPECT_STREQ(text, "&Windows");
  // The message posted before the pin arrives after it.
  Application().ProcessMessages();
  EXPECT_EQ(List->Posted, 1);

  List->SetDocked(true);
  EXPECT_TRUE(List->Docked());
  EXPECT_EQ(GetParent(List->HostHandle()), client);
  EXPECT_EQ(List->Handle(), content);
  EXPECT_EQ(List->ListView1->Count(), 3);
  EXPECT_EQ(List->RichEdit1->Text(), "Line one\rLine two");
  List->BringToFront();
  GetMenuStringA(bar, 1, text, sizeof(text), MF_BYPOSITION);
  EXPECT_STREQ(text, "&List");
  // The window menu lists the child after the menu's own items.
  HMENU windows = GetSubMenu(bar, 2);
  ASSERT_NE(windows, nullptr);
  int entries = GetMenuItemCount(windows);
  ASSERT_GE(entries, 2);
  GetMenuStringA(windows, UINT(entries - 1), text, sizeof(text), MF_BYPOSITION);
  EXPECT_NE(std::string(text).find("Marked texts"), std::string::npos) << text;
}

TEST_F(Framework, EmbeddedFormFillsItsPanelAndTravelsWithThePin)
{
  TTestViewForm* view = CreateEmbeddedForm<TTestViewForm>(List->ViewPanel, List);
  EXPECT_TRUE(view->Embedded());
  // Shown in its panel from the start, it runs its show step then, and its
  // hide and show steps as it is hidden and shown again.
  EXPECT_EQ(view->Shows, 1);
  view->Hide();
  view->Show();
  EXPECT_EQ(view->Hides, 1);
  EXPECT_EQ(view->Shows, 2);
  EXPECT_TRUE(IsWindowVisible(view->Handle()));
  EXPECT_EQ(view->HostHandle(), nullptr);
  EXPECT_EQ(GetParent(view->Handle()), List->ViewPanel->Handle());
  RECT area;
  GetClientRect(List->ViewPanel->Handle(), &area);
  EXPECT_EQ(view->ClientWidth(), area.right - 2);  // inside the bevel
  EXPECT_EQ(view->MainEdit->Width(), view->ClientWidth());
  view->MainEdit->SetText("shown text");

  // Its own short cuts come first while the focus is inside it.
  Focus(view->MainEdit);
  PressKey(view->MainEdit->Handle(), 'F', {VK_CONTROL});
  PressKey(view->MainEdit->Handle(), 'R', {VK_CONTROL});
  Application().ProcessMessages();
  EXPECT_EQ(view->Finds, 1);
  EXPECT_EQ(Main->Reads, 1);

  List->SetDocked(false);
  EXPECT_EQ(GetParent(view->Handle()), List->ViewPanel->Handle());
  EXPECT_EQ(view->MainEdit->Text(), "shown text");
  List->SetDocked(true);
  // The owner frees the view with itself.
}

class TFillThread : public TThread
{
public:
  explicit TFillThread(TListView* list) : FList(list) {}
  ~TFillThread() override
  {
    Terminate();
    WaitFor();
  }

protected:
  void Execute() override
  {
    for (int i = 0; i < 5; ++i)
      Synchronize([this, i] { FList->AddItem("row " + std::to_string(i)); });
  }

private:
  TListView* FList;
};

TEST_F(Framework, SynchronisedCallsRunWhileTheWindowThreadWaits)
{
  ASSERT_TRUE(IsWindowThread());
  List->ListView1->Clear();
  TFillThread thread(List->ListView1);
  thread.Start();
  // The window thread waits for the worker, which needs the window thread.
  EXPECT_EQ(thread.WaitFor(30000), WAIT_OBJECT_0);
  ASSERT_EQ(List->ListView1->Count(), 5);
  EXPECT_EQ(List->ListView1->Item(4)->Caption(), "row 4");
}

TEST_F(Framework, ModalOkHandlerClearingTheResultKeepsTheDialogOpen)
{
  std::unique_ptr<TTestDialog> dialog(CreateForm<TTestDialog>(nullptr));
  // Driven by clicks, handled in the dialog's own loop.
  bool openAfterFirstOk = false, modalAfterFirstOk = false, ownerDisabled = false;
  TModalScript twice;
  twice.Then("TestDialog", [](TForm* f) { ClickControl(static_cast<TTestDialog*>(f)->OkButton->Handle()); })
    .Then("TestDialog", [&](TForm* f) {
      openAfterFirstOk = IsWindowVisible(f->HostHandle()) != FALSE;
      modalAfterFirstOk = f->IsModal() && f->ModalResult() == mrNone;
      ownerDisabled = !IsWindowEnabled(Main->HostHandle());
      ClickControl(static_cast<TTestDialog*>(f)->OkButton->Handle());
    });
  twice.Start();
  EXPECT_EQ(dialog->ShowModal(), mrOk);
  EXPECT_TRUE(twice.Done());
  EXPECT_EQ(dialog->OkClicks, 2);
  EXPECT_TRUE(openAfterFirstOk);
  EXPECT_TRUE(modalAfterFirstOk);
  EXPECT_TRUE(ownerDisabled);
  EXPECT_FALSE(dialog->Visible());
  EXPECT_TRUE(IsWindowEnabled(Main->HostHandle()));

  // Escape presses the cancel button; closing the window cancels too.
  dialog->OkClicks = 1;
  TModalScript escape;
  escape.Then("TestDialog", [](TForm* f) {
    ClickControl(static_cast<TTestDialog*>(f)->ValueEdit->Handle());
    PressKey(static_cast<TTestDialog*>(f)->ValueEdit->Handle(), VK_ESCAPE);
  });
  escape.Start();
  EXPECT_EQ(dialog->ShowModal(), mrCancel);
  TModalScript close;
  close.Then("TestDialog", [](TForm* f) { PostMessageA(f->HostHandle(), WM_SYSCOMMAND, SC_CLOSE, 0); });
  close.Start();
  EXPECT_EQ(dialog->ShowModal(), mrCancel);
  // Enter presses the default button.
  TModalScript enter;
  enter.Then("TestDialog", [](TForm* f) {
    ClickControl(static_cast<TTestDialog*>(f)->ValueEdit->Handle());
    PressKey(static_cast<TTestDialog*>(f)->ValueEdit->Handle(), VK_RETURN);
  });
  enter.Start();
  EXPECT_EQ(dialog->ShowModal(), mrOk);
  EXPECT_TRUE(escape.Done() && close.Done() && enter.Done());
}

TEST_F(Framework, DialogOutlivesTheWindowItWasShownOver)
{
  // A free-standing window, active, that closes for good.
  List->SetDocked(false);
  List->BringToFront();
  List->OverrideClose = true;
  List->CloseAction = TCloseAction::Free;
  const HWND listHost = List->HostHandle();
  std::unique_ptr<TTestDialog> dialog(CreateForm<TTestDialog>(nullptr));
  auto clickCancel = [&] {
    RECT r;
    GetClientRect(dialog->CancelButton->Handle(), &r);
    const LPARAM at = MAKELPARAM(r.right / 2, r.bottom / 2);
    PostMessageA(dialog->CancelButton->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(dialog->CancelButton->Handle(), WM_LBUTTONUP, 0, at);
  };

  // While the dialog is up, the window it was shown over closes and goes.
  HWND ownerWhileShown = nullptr;
  TModalScript script;
  script.Then("TestDialog", [&](TForm* f) {
    ownerWhileShown = GetWindow(f->HostHandle(), GW_OWNER);
    PostMessageA(listHost, WM_CLOSE, 0, 0);
  });
  script.Then("TestDialog", [&](TForm* f) {
    Application().ProcessMessages();
    EXPECT_TRUE(ListDestroyed);
    EXPECT_TRUE(IsWindowVisible(f->HostHandle()));
    clickCancel();
  });
  script.Start();
  EXPECT_EQ(dialog->ShowModal(), mrCancel);
  EXPECT_TRUE(script.Done());
  EXPECT_EQ(ownerWhileShown, listHost);
  EXPECT_FALSE(IsWindow(listHost));
  // Owned by nothing between its uses, the dialog serves again.
  ASSERT_TRUE(IsWindow(dialog->HostHandle()));
  EXPECT_EQ(GetWindow(dialog->HostHandle(), GW_OWNER), nullptr);
  clickCancel();
  EXPECT_EQ(dialog->ShowModal(), mrCancel);
  EXPECT_EQ(GetActiveWindow(), Main->HostHandle());
}

TEST_F(Framework, CopyAndCopyListPutTabSeparatedRowsOnTheClipboard)
{
  TListView* list = List->ListView1;
  list->Item(0)->SetSelected(true);
  list->Item(2)->SetSelected(true);
  list->CopyToClipboard(true);
  EXPECT_EQ(GetClipboardText(), "4711\t100\tHello\r\n99\t255\tThird");
  list->CopyToClipboard(false);
  EXPECT_EQ(GetClipboardText(), "Text #\tMark type\tSubject\r\n4711\t100\tHello\r\n17\t5\tWorld\r\n99\t255\tThird");

  // The list's own keys: Ctrl+C the selection, Ctrl+L everything.
  Focus(list);
  SetClipboardText("");
  PressKey(list->Handle(), 'C', {VK_CONTROL});
  Application().ProcessMessages();
  EXPECT_EQ(GetClipboardText(), "4711\t100\tHello\r\n99\t255\tThird");

  // A header click sorts by that column (numbers as numbers); a second
  // click on it reverses.
  auto clickHeader = [&](int column) {
    EXPECT_TRUE(TestSupport::ClickColumnHeader(list->Handle(), column));
    Application().ProcessMessages();
  };
  auto captions = [&] {
    std::string s;
    for (int i = 0; i < list->Count(); ++i) s += list->Item(i)->Caption() + " ";
    return s;
  };
  clickHeader(1);
  EXPECT_EQ(captions(), "17 4711 99 ");
  clickHeader(1);
  EXPECT_EQ(captions(), "99 4711 17 ");
  clickHeader(2);
  EXPECT_EQ(captions(), "4711 99 17 ");
  clickHeader(0);
  EXPECT_EQ(captions(), "17 99 4711 ");
  list->CopyToClipboard(false);
  EXPECT_EQ(GetClipboardText(), "Text #\tMark type\tSubject\r\n17\t5\tWorld\r\n99\t255\tThird\r\n4711\t100\tHello");
}

TEST_F(Framework, RichEditCopiesToThePlainClipboard)
{
  TRichEdit* edit = List->RichEdit1;
  char cls[64] = {};
  GetClassNameA(edit->Handle(), cls, sizeof(cls));
  EXPECT_STREQ(cls, "RichEdit20A");
  edit->SetText("Line one\rLine two");
  edit->SelectAll();
  SetClipboardText("");
  SendMessageA(edit->Handle(), WM_COPY, 0, 0);
  EXPECT_EQ(GetClipboardText(), "Line one\r\nLine two");

  Focus(edit);
  edit->SetSelection(5, 3);
  PressKey(edit->Handle(), 'X', {VK_CONTROL});
  Application().ProcessMessages();
  EXPECT_EQ(GetClipboardText(), "one");
  EXPECT_EQ(edit->Text(), "Line \rLine two");
  edit->SetReadOnly(true);
  edit->SelectAll();
  SendMessageA(edit->Handle(), WM_CUT, 0, 0);
  EXPECT_EQ(edit->Text(), "Line \rLine two");
}

TEST_F(Framework, MissingRichEditLibraryIsReportedAndTheProgramGoesOn)
{
  TRichEdit::SetLibraryName("NOSUCH20.DLL");
  {
    TMessageBoxRecorder boxes;
    bool destroyed = false;
    std::unique_ptr<TTestListForm> other(CreateForm<TTestListForm>(nullptr, &destroyed));
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].Text,
              "Unable to find Rich Edit Control ver 2.0 or newer. The file \"RICHED20.DLL\" is required for this "
              "program to work.");
    char cls[64] = {};
    GetClassNameA(other->RichEdit1->Handle(), cls, sizeof(cls));
    EXPECT_STRNE(cls, "RichEdit20A");
    other->RichEdit1->SetText("still works");
    EXPECT_EQ(other->RichEdit1->Text(), "still works");
  }
  TRichEdit::SetLibraryName("RICHED20.DLL");
  EXPECT_EQ(TRichEdit::WindowClass(), "RichEdit20A");
}

TEST_F(Framework, CloseActionsMinimiseHideAndFree)
{
  List->Close();  // an MDI child minimises by default
  EXPECT_TRUE(IsIconic(List->HostHandle()));
  List->BringToFront();
  List->OverrideClose = true;
  List->CloseAction = TCloseAction::Hide;
  List->Close();
  EXPECT_FALSE(List->Visible());
  List->Show();
  List->CloseAction = TCloseAction::None;
  List->Close();
  EXPECT_TRUE(List->Visible());
  List->CloseAction = TCloseAction::Free;
  bool derivedGone = false, wholeAtDestroy = false;
  List->DerivedGone = &derivedGone;
  List->WholeAtDestroyOut = &wholeAtDestroy;
  PostMessageA(List->HostHandle(), WM_CLOSE, 0, 0);
  ASSERT_TRUE(Application().ProcessMessagesUntil([&] { return ListDestroyed; }, 5000));
  EXPECT_TRUE(derivedGone);
  EXPECT_TRUE(wholeAtDestroy);  // OnDestroy ran before the window class was torn down
  EXPECT_EQ(Application().Forms().size(), 1u);
}

class TLoopThread : public TThread
{
public:
  explicit TLoopThread(TListView* list) : FList(list) {}
  int Rounds = 0;

protected:
  void Execute() override
  {
    while (!Terminated()) {
      Synchronize([this] { FList->SetColumnCaption(0, "round " + std::to_string(++Rounds)); });
    }
  }

private:
  TListView* FList;
};

TEST(FrameworkShutdown, StopsAndJoinsWorkersBeforeFreeingForms)
{
  Application().Initialize();
  RegisterFormResource("TTestListForm", ListFormText);
  RegisterFormResource("TTestMainForm", MainFormText);
  bool destroyed = false;
  Application().SetMainForm(CreateForm<TTestMainForm>(&Application()));
  auto* form = CreateForm<TTestListForm>(&Application(), &destroyed);
  auto* thread = new TLoopThread(form->ListView1);
  thread->SetFreeOnTerminate(true);
  thread->Start();
  ASSERT_TRUE(Application().ProcessMessagesUntil([&] { return thread->Rounds >= 3; }, 10000));
  Application().Shutdown();
  EXPECT_EQ(LiveThreadCount(), 0u);
  EXPECT_TRUE(destroyed);
  EXPECT_TRUE(Application().Forms().empty());
}

} // namespace
