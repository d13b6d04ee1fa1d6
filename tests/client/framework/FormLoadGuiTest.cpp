// Loading form resources: a form with every kind of control loads, binds
// and shows; broken resources fail naming the form, the line and the
// component; every shipped form loads.
#include <gtest/gtest.h>

#include <algorithm>

#include "CommonControls.h"
#include "Panels.h"
#include "Form.h"
#include "FormLoading.h"
#include "InputQuery.h"
#include "ComponentRegistry.h"
#include "Application.h"
#include "MenuItems.h"
#include "WindowInput.h"
#include "ModalScript.h"
#include "RichEdit.h"
#include "StandardControls.h"
#include "TestSupport.h"

namespace {

const char* const TestFrameText = R"(Frame Frame1: TTestFrame
  Width = 300
  Height = 40
  Label NameLabel
    Caption = "Name:"
    Left = 4
    Top = 8
  end
  Edit NameEdit
    Left = 60
    Top = 4
    Width = 200
    OnChange = NameEditChange
  end
end
)";

class TTestFrame : public TFrame
{
public:
  explicit TTestFrame(TComponent* owner) : TFrame(owner, "TTestFrame") {}
  TEdit* NameEdit = nullptr;
  int Changes = 0;
  void NameEditChange(TComponent*) { ++Changes; }

protected:
  void DeclareBindings(TBindings& b) override
  {
    b.Field("NameEdit", NameEdit);
    b.Handler("NameEditChange", &TTestFrame::NameEditChange);
  }
};

const char* const AllControlsText = R"(# Every kind of component the windows use.
Form AllControlsForm: TAllControlsForm
  Caption = "All controls"
  ClientWidth = 640
  ClientHeight = 440
  Position = ScreenCenter
  KeyPreview = true
  Menu = MainMenu1
  ActiveControl = NameEdit
  OnCreate = FormCreate
  OnKeyDown = FormKeyDown
  OnClose = FormClose
  ImageList ImageList1
    Width = 16
    Bitmap = "TrayImages"
  end
  ActionList ActionList1
    Images = ImageList1
    Action ReadTextAction
      Caption = "&Read text"
      Hint = "Read selected text"
      ShortCut = "Ctrl+R"
      ImageIndex = 1
      OnExecute = ReadTextActionExecute
    end
    Action CopyListAction
      Caption = "&Copy list"
      ShortCut = "Ctrl+L"
      OnExecute = CopyListActionExecute
    end
  end
  MainMenu MainMenu1
    MenuItem File1
      Caption = "&File"
      MenuItem Read1
        Action = ReadTextAction
      end
      MenuItem N1
        Caption = "-"
      end
      MenuItem Exit1
        Caption = "E&xit"
        ShortCut = "Ctrl+Q"
        OnClick = Exit1Click
      end
    end
    MenuItem Help1
      Caption = "&Help"
    end
  end
  PopupMenu ListPopupMenu
    OnPopup = ListPopupMenuPopup
    MenuItem Copy1
      Caption = "&Copy"
      OnClick = Copy1Click
    end
    MenuItem CopyList1
      Action = CopyListAction
    end
  end
  Timer Timer1
    Interval = 100
    Enabled = false
    OnTimer = Timer1Timer
  end
  ToolBar ToolBar1
    Images = ImageList1
    ShowCaptions = true
    List = true
    ToolButton ReadButton
      Action = ReadTextAction
    end
    ToolButton Sep1
      Style = Separator
    end
    ToolButton PinButton
      Caption = "Pin"
      Hint = "Attach/Detach"
      Style = Check
      Down = true
      OnClick = PinButtonClick
    end
  end
  StatusBar StatusBar1
    Panels = [[300, "Ready"], [100], [50, OwnerDraw]]
    MinHeight = 19
    MaxHeight = 40
    OnDrawPanel = StatusBar1DrawPanel
    OnDblClick = StatusBar1DblClick
  end
  Panel LeftPanel
    Align = Left
    Width = 220
    BevelOuter = None
    PageControl PageControl1
      Align = Client
      OnChange = PageControl1Change
      TabSheet FindSheet
        Caption = "Find"
        Label NameLabel
          Caption = "&Name:"
          Left = 8
          Top = 10
        end
        Edit NameEdit
          Left = 8
          Top = 26
          Width = 196
          Anchors = [Left, Top, Right]
          OnChange = NameEditChange
        end
        ComboBox SubjComboBox
          Left = 8
          Top = 54
          Width = 196
          Items = ["one", "two", "three"]
          ItemIndex = 1
          Style = DropDownList
        end
        CheckBox RegexpCheckBox
          Caption = "&Regexp search"
          Left = 8
          Top = 84
          Width = 150
          Hint = "Supported regexp functions"
        end
        RadioButton OneRadio
          Caption = "One"
          Left = 8
          Top = 106
          Width = 80
          Checked = true
        end
        RadioButton TwoRadio
          Caption = "Two"
          Left = 100
          Top = 106
          Width = 80
        end
        Button FindButton
          Caption = "&Find"
          Left = 8
          Top = 132
          Default = true
          OnClick = FindButtonClick
        end
        SpeedButton AttachSpeedButton
          Caption = "A"
          Hint = "Attach/Detach"
          Left = 92
          Top = 132
          GroupIndex = 1
          AllowAllUp = true
        end
        Button ReadTextButton
          Action = ReadTextAction
          Left = 8
          Top = 244
          Width = 100
        end
        GroupBox OptionsBox
          Caption = "Options"
          Left = 8
          Top = 166
          Width = 196
          Height = 70
          CheckBox IncludeReadCheckBox
            Caption = "Include &read texts"
            Left = 8
            Top = 20
            Width = 150
            Checked = true
          end
          Memo NoteMemo
            Left = 8
            Top = 40
            Width = 180
            Height = 24
            Text = "memo"
          end
        end
      end
      TabSheet SearchSheet
        Caption = "Search"
        DateTimePicker FromPicker
          Left = 8
          Top = 8
          OnChange = FromPickerChange
        end
        ProgressBar SearchProgress
          Left = 8
          Top = 40
          Max = 100
          Position = 40
        end
        Animate Animate1
          Left = 8
          Top = 64
          CommonAVI = FindFile
        end
      end
      TabSheet TreeSheet
        Caption = "Tree"
        TreeView TreeView1
          Align = Client
          OnChange = TreeView1Change
          OnDblClick = TreeView1DblClick
        end
      end
    end
  end
  Splitter LeftSplitter
    Align = Left
    MinSize = 60
  end
  Panel ClientPanel
    Align = Client
    BevelOuter = None
    ListView ListView1
      Align = Top
      Height = 180
      MultiSelect = true
      Columns = [["Nr", 50, Right], ["Name", 200], ["Unread", 80, Right]]
      PopupMenu = ListPopupMenu
      OnColumnClick = ListView1ColumnClick
      OnSelectItem = ListView1SelectItem
      OnCompare = ListView1Compare
      OnDblClick = ListView1DblClick
    end
    Splitter ListSplitter
      Align = Top
      MinSize = 40
    end
    Frame TargetFrame: TTestFrame
      Align = Bottom
      Height = 40
    end
    RichEdit RichEdit1
      Align = Client
      ScrollBars = Vertical
      ReadOnly = false
      Color = clWindow
      Font = "Courier New;10;$80000008;"
      OnChange = RichEdit1Change
    end
  end
end
)";

class TAllControlsForm : public TForm
{
public:
  explicit TAllControlsForm(TComponent* owner) : TForm(owner, "TAllControlsForm") {}

  TActionList* ActionList1 = nullptr;
  TAction* ReadTextAction = nullptr;
  TMainMenu* MainMenu1 = nullptr;
  TPopupMenu* ListPopupMenu = nullptr;
  TTimer* Timer1 = nullptr;
  TToolBar* ToolBar1 = nullptr;
  TToolButton* PinButton = nullptr;
  TStatusBar* StatusBar1 = nullptr;
  TPageControl* PageControl1 = nullptr;
  TEdit* NameEdit = nullptr;
  TComboBox* SubjComboBox = nullptr;
  TCheckBox* RegexpCheckBox = nullptr;
  TRadioButton* OneRadio = nullptr;
  TRadioButton* TwoRadio = nullptr;
  TButton* FindButton = nullptr;
  TSpeedButton* AttachSpeedButton = nullptr;
  TGroupBox* OptionsBox = nullptr;
  TButton* ReadTextButton = nullptr;
  TDateTimePicker* FromPicker = nullptr;
  TProgressBar* SearchProgress = nullptr;
  TAnimate* Animate1 = nullptr;
  int DateChanges = 0;
  void FromPickerChange(TComponent*) { ++DateChanges; }
  TMemo* NoteMemo = nullptr;
  TTreeView* TreeView1 = nullptr;
  TSplitter* LeftSplitter = nullptr;
  TPanel* LeftPanel = nullptr;
  TListView* ListView1 = nullptr;
  TTestFrame* TargetFrame = nullptr;
  TRichEdit* RichEdit1 = nullptr;
  TImageList* ImageList1 = nullptr;

  int Created = 0, Reads = 0, Finds = 0, DrawnPanels = 0;

  void FormCreate(TComponent*)
  {
    ++Created;
    ListView1->AddItem("3")->AddSubItem("Gamma");
    ListView1->AddItem("1")->AddSubItem("Alpha");
    TTreeNode* root = TreeView1->AddChild(nullptr, "Root text");
    TreeView1->AddChild(root, "Comment");
    root->Expand();
    RichEdit1->SetText("Rich text\rwith two lines");
    StatusBar1->SetPanelText(1, "1:1");
  }
  void FormKeyDown(TComponent*, WORD&, TShiftState) {}
  void FormClose(TComponent*, TCloseAction&) {}
  void ReadTextActionExecute(TComponent*) { ++Reads; }
  void CopyListActionExecute(TComponent*) { ListView1->CopyToClipboard(false); }
  void Exit1Click(TComponent*) { Close(); }
  void ListPopupMenuPopup(TComponent*) {}
  void Copy1Click(TComponent*) { ListView1->CopyToClipboard(true); }
  void Timer1Timer(TComponent*) {}
  void PinButtonClick(TComponent*) {}
  void StatusBar1DrawPanel(TComponent*, int, HDC dc, const RECT& r)
  {
    ++DrawnPanels;
    HBRUSH b = CreateSolidBrush(RGB(200, 120, 40));
    FillRect(dc, &r, b);
    DeleteObject(b);
  }
  void StatusBar1DblClick(TComponent*) {}
  void PageControl1Change(TComponent*) { ++PageChanges; }
  void NameEditChange(TComponent*) {}
  void FindButtonClick(TComponent*) { ++Finds; }
  TTreeNode* ChangedNode = nullptr;
  int PageChanges = 0;
  void TreeView1Change(TComponent*, TTreeNode* node) { ChangedNode = node; }
  void TreeView1DblClick(TComponent*) {}
  void ListView1ColumnClick(TComponent*, int) {}
  void ListView1SelectItem(TComponent*, TListItem*, bool) {}
  void ListView1Compare(TComponent*, TListItem* a, TListItem* b, int column, int& result)
  {
    result = a->ColumnText(column).compare(b->ColumnText(column));
  }
  void ListView1DblClick(TComponent*) {}
  void RichEdit1Change(TComponent*) {}

protected:
  void DeclareBindings(TBindings& b) override
  {
    b.Field("ActionList1", ActionList1);
    b.Field("ReadTextAction", ReadTextAction);
    b.Field("MainMenu1", MainMenu1);
    b.Field("ListPopupMenu", ListPopupMenu);
    b.Field("Timer1", Timer1);
    b.Field("ToolBar1", ToolBar1);
    b.Field("PinButton", PinButton);
    b.Field("StatusBar1", StatusBar1);
    b.Field("PageControl1", PageControl1);
    b.Field("NameEdit", NameEdit);
    b.Field("SubjComboBox", SubjComboBox);
    b.Field("RegexpCheckBox", RegexpCheckBox);
    b.Field("OneRadio", OneRadio);
    b.Field("TwoRadio", TwoRadio);
    b.Field("FindButton", FindButton);
    b.Field("AttachSpeedButton", AttachSpeedButton);
    b.Field("OptionsBox", OptionsBox);
    b.Field("ReadTextButton", ReadTextButton);
    b.Field("FromPicker", FromPicker);
    b.Field("SearchProgress", SearchProgress);
    b.Field("Animate1", Animate1);
    b.Handler("FromPickerChange", &TAllControlsForm::FromPickerChange);
    b.Field("NoteMemo", NoteMemo);
    b.Field("TreeView1", TreeView1);
    b.Field("LeftSplitter", LeftSplitter);
    b.Field("LeftPanel", LeftPanel);
    b.Field("ListView1", ListView1);
    b.Field("TargetFrame", TargetFrame);
    b.Field("RichEdit1", RichEdit1);
    b.Field("ImageList1", ImageList1);
    b.Handler("FormCreate", &TAllControlsForm::FormCreate);
    b.Handler("FormKeyDown", &TAllControlsForm::FormKeyDown);
    b.Handler("FormClose", &TAllControlsForm::FormClose);
    b.Handler("ReadTextActionExecute", &TAllControlsForm::ReadTextActionExecute);
    b.Handler("CopyListActionExecute", &TAllControlsForm::CopyListActionExecute);
    b.Handler("Exit1Click", &TAllControlsForm::Exit1Click);
    b.Handler("ListPopupMenuPopup", &TAllControlsForm::ListPopupMenuPopup);
    b.Handler("Copy1Click", &TAllControlsForm::Copy1Click);
    b.Handler("Timer1Timer", &TAllControlsForm::Timer1Timer);
    b.Handler("PinButtonClick", &TAllControlsForm::PinButtonClick);
    b.Handler("StatusBar1DrawPanel", &TAllControlsForm::StatusBar1DrawPanel);
    b.Handler("StatusBar1DblClick", &TAllControlsForm::StatusBar1DblClick);
    b.Handler("PageControl1Change", &TAllControlsForm::PageControl1Change);
    b.Handler("NameEditChange", &TAllControlsForm::NameEditChange);
    b.Handler("FindButtonClick", &TAllControlsForm::FindButtonClick);
    b.Handler("TreeView1Change", &TAllControlsForm::TreeView1Change);
    b.Handler("TreeView1DblClick", &TAllControlsForm::TreeView1DblClick);
    b.Handler("ListView1ColumnClick", &TAllControlsForm::ListView1ColumnClick);
    b.Handler("ListView1SelectItem", &TAllControlsForm::ListView1SelectItem);
    b.Handler("ListView1Compare", &TAllControlsForm::ListView1Compare);
    b.Handler("ListView1DblClick", &TAllControlsForm::ListView1DblClick);
    b.Handler("RichEdit1Change", &TAllControlsForm::RichEdit1Change);
  }
};

bool RichEditClassOk(TRichEdit* edit)
{
  char name[64] = {};
  GetClassNameA(edit->Handle(), name, sizeof(name));
  return std::string(name) == "RichEdit20A";
}

class FormLoad : public testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    Application().Initialize();
    RegisterClass<TTestFrame>("TTestFrame");
    RegisterFormResource("TTestFrame", TestFrameText);
    RegisterFormResource("TAllControlsForm", AllControlsText);
  }
  void TearDown() override { RegisterFormResource("TTestFrame", TestFrameText); }

  // Loads the all-controls form with one line replaced (or inserted after
  // the line that holds `after`) and answers the load error.
  static EFormError BrokenLoad(const std::string& find, const std::string& replace)
  {
    std::string text = AllControlsText;
    size_t at = text.find(find);
    EXPECT_NE(at, std::string::npos) << find;
    text.replace(at, find.size(), replace);
    RegisterFormResource("TAllControlsForm", text);
    try {
      delete CreateForm<TAllControlsForm>(nullptr);
      ADD_FAILURE() << "no load error after replacing " << find;
    } catch (const EFormError& e) {
      RegisterFormResource("TAllControlsForm", AllControlsText);
      return e;
    }
    RegisterFormResource("TAllControlsForm", AllControlsText);
    return EFormError("", 0, "", "");
  }

  static int LineOf(const std::string& text)
  {
    std::string all = AllControlsText;
    size_t at = all.find(text);
    return 1 + int(std::count(all.begin(), all.begin() + long(at), '\n'));
  }
};

TEST_F(FormLoad, EveryControlKindLoadsBindsAndShows)
{
  std::unique_ptr<TAllControlsForm> form(CreateForm<TAllControlsForm>(nullptr));
  EXPECT_EQ(form->Name, "AllControlsForm");
  EXPECT_EQ(form->Created, 1);
  // Fields are bound, windows exist, the frame's own components are its own.
  ASSERT_NE(form->TargetFrame, nullptr);
  EXPECT_EQ(form->TargetFrame->Name, "TargetFrame");
  ASSERT_NE(form->TargetFrame->NameEdit, nullptr);
  EXPECT_NE(form->TargetFrame->NameEdit, form->NameEdit);
  EXPECT_EQ(form->TargetFrame->Height(), 40);
  EXPECT_TRUE(IsWindow(form->TargetFrame->NameEdit->Handle()));
  EXPECT_EQ(GetParent(form->TargetFrame->NameEdit->Handle()), form->TargetFrame->Handle());
  for (TControl* c : std::initializer_list<TControl*>{form->NameEdit, form->ListView1, form->RichEdit1, form->TreeView1,
                                                      form->StatusBar1, form->ToolBar1, form->NoteMemo})
    EXPECT_TRUE(c->HandleAllocated()) << c->Name;
  EXPECT_EQ(GetParent(form->NoteMemo->Handle()), form->OptionsBox->Handle());

  // Properties reached the windows.
  EXPECT_EQ(form->Caption(), "All controls");
  EXPECT_EQ(form->ClientWidth(), 640);
  EXPECT_EQ(form->ClientHeight(), 440);
  EXPECT_EQ(form->SubjComboBox->ItemIndex(), 1);
  EXPECT_EQ(form->SubjComboBox->Text(), "two");
  EXPECT_TRUE(form->OneRadio->Checked());
  EXPECT_EQ(form->NoteMemo->Text(), "memo");
  EXPECT_EQ(form->ListView1->ColumnCount(), 3);
  EXPECT_EQ(form->ListView1->ColumnWidth(1), 200);
  EXPECT_EQ(form->ListView1->Count(), 2);
  EXPECT_EQ(form->StatusBar1->PanelCount(), 3);
  EXPECT_TRUE(form->StatusBar1->Panel(2).OwnerDraw);
  EXPECT_TRUE(form->PinButton->Down());
  EXPECT_EQ(form->ImageList1->Count(), 2);
  EXPECT_EQ(RichEditClassOk(form->RichEdit1), true);
  ASSERT_NE(GetMenu(form->HostHandle()), nullptr);
  EXPECT_EQ(GetMenuItemCount(GetMenu(form->HostHandle())), 2);
  EXPECT_EQ(form->PageControl1->ActivePage()->Caption(), "Find");
  EXPECT_EQ(SendMessageA(form->SearchProgress->Handle(), PBM_GETPOS, 0, 0), 40);
  form->SearchProgress->SetPosition(250);
  EXPECT_EQ(form->SearchProgress->Position(), 100);
  SYSTEMTIME day{};
  day.wYear = 2025;
  day.wMonth = 12;
  day.wDay = 9;
  form->FromPicker->SetDateTime(day);
  EXPECT_EQ(form->FromPicker->DateTime().wYear, 2025);
  EXPECT_EQ(form->FromPicker->DateTime().wDay, 9);
  form->Animate1->SetActive(true);
  form->Animate1->SetActive(false);

  // Pages: the tab chosen shows its sheet and hides the others.
  HWND tabs = form->PageControl1->Handle();
  SendMessageA(tabs, TCM_SETCURSEL, 2, 0);
  NMHDR change{tabs, UINT_PTR(GetDlgCtrlID(tabs)), UINT(TCN_SELCHANGE)};
  SendMessageA(GetParent(tabs), WM_NOTIFY, change.idFrom, LPARAM(&change));
  EXPECT_EQ(form->PageChanges, 1);
  EXPECT_EQ(form->PageControl1->ActivePageIndex(), 2);
  auto shown = [](TControl* c) { return (GetWindowLongA(c->Handle(), GWL_STYLE) & WS_VISIBLE) != 0; };
  EXPECT_TRUE(shown(form->PageControl1->Page(2)));
  EXPECT_FALSE(shown(form->PageControl1->Page(0)));
  EXPECT_FALSE(shown(form->PageControl1->Page(1)));
  // The tree reports the node selected.
  TTreeNode* comment = form->TreeView1->Item(0)->Item(0);
  form->TreeView1->Select(comment);
  EXPECT_EQ(form->ChangedNode, comment);
  EXPECT_EQ(form->TreeView1->Selected(), comment);
  form->PageControl1->SetActivePage(form->PageControl1->Page(0));

  // Layout by Align inside the form: tool bar on top, status bar at the
  // bottom, the left panel and its splitter, the client panel after them.
  form->Show();
  ASSERT_TRUE(Application().ProcessMessagesUntil([&] { return form->Visible(); }, 5000));
  EXPECT_EQ(form->ToolBar1->Top(), 0);
  EXPECT_EQ(form->StatusBar1->Top() + form->StatusBar1->Height(), 440);
  EXPECT_EQ(form->LeftPanel->Left(), 0);
  EXPECT_EQ(form->LeftPanel->Top(), form->ToolBar1->Height());
  EXPECT_EQ(form->LeftSplitter->Left(), 220);
  EXPECT_EQ(form->ListView1->Parent()->Left(), 223);
  EXPECT_EQ(form->ListView1->Width(), 640 - 223);
  EXPECT_EQ(form->RichEdit1->Top(), 183);
  EXPECT_EQ(form->RichEdit1->Top() + form->RichEdit1->Height(), form->TargetFrame->Top());
  // The anchored edit follows the width of its page.
  int before = form->NameEdit->Width();
  form->LeftSplitter->MoveBy(40);
  EXPECT_EQ(form->LeftPanel->Width(), 260);
  EXPECT_EQ(form->NameEdit->Width(), before + 40);
  form->LeftSplitter->MoveBy(-1000);
  EXPECT_EQ(form->LeftPanel->Width(), 60);  // not below MinSize

  // Handlers are bound: a click on a button and the action's menu item run
  // them (the panel wide enough again to show the buttons).
  form->LeftSplitter->MoveBy(160);
  const auto click = [](TControl* control) {
    EXPECT_TRUE(TestSupport::ClickControl(control->Handle())) << control->Name;
    Application().ProcessMessages();
  };
  click(form->FindButton);
  EXPECT_EQ(form->Finds, 1);
  EXPECT_TRUE(TestSupport::ChooseMenuItem(form.get(), "Read1"));
  Application().ProcessMessages();
  EXPECT_EQ(form->Reads, 1);
  // A button and a tool button linked to the action follow it and run it.
  EXPECT_EQ(form->ReadTextButton->Caption(), "&Read text");
  click(form->ReadTextButton);
  EXPECT_EQ(form->Reads, 2);
  EXPECT_TRUE(TestSupport::ClickToolButton(dynamic_cast<TToolButton*>(form->FindComponent("ReadButton"))));
  Application().ProcessMessages();
  EXPECT_EQ(form->Reads, 3);
  form->ReadTextAction->SetEnabled(false);
  EXPECT_FALSE(IsWindowEnabled(form->ReadTextButton->Handle()));
  EXPECT_FALSE(TestSupport::ClickControl(form->ReadTextButton->Handle()));
  EXPECT_FALSE(TestSupport::ChooseMenuItem(form.get(), "Read1"));
  Application().ProcessMessages();
  EXPECT_EQ(form->Reads, 3);
  form->ReadTextAction->SetEnabled(true);
  EXPECT_TRUE(IsWindowEnabled(form->ReadTextButton->Handle()));
  // A check tool button keeps its state in step with the bar.
  HWND bar = form->ToolBar1->Handle();
  EXPECT_TRUE(SendMessageA(bar, TB_ISBUTTONCHECKED, form->PinButton->Command(), 0));
  EXPECT_TRUE(TestSupport::ClickToolButton(form->PinButton));
  Application().ProcessMessages();
  EXPECT_FALSE(form->PinButton->Down());
  EXPECT_FALSE(SendMessageA(bar, TB_ISBUTTONCHECKED, form->PinButton->Command(), 0));
  EXPECT_TRUE(TestSupport::ClickToolButton(form->PinButton));
  Application().ProcessMessages();
  EXPECT_TRUE(form->PinButton->Down());

  // A screenshot for a person to look at.
  form->ListView1->Item(0)->SetSelected(true);
  ASSERT_TRUE(Application().ProcessMessagesUntil([&] { return form->DrawnPanels > 0; }, 5000));
  RedrawWindow(form->HostHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Application().ProcessMessages();
  std::string shot = TestSupport::UnixPathOf(TestSupport::OutputDir()) + "/framework-all-controls.png";
  EXPECT_TRUE(TestSupport::RunUnixCommand("import -window root '" + shot + "'", 20000));
}

TEST_F(FormLoad, BrokenResourcesNameFormLineAndComponent)
{
  struct TCase
  {
    const char* Find;
    const char* Replace;
    const char* Component;
    const char* Message;
  } cases[] = {
      {"OnClick = FindButtonClick", "OnClick = NoSuchHandler", "FindButton", "no handler NoSuchHandler"},
      {"OnClick = FindButtonClick", "OnClick = FormKeyDown", "FindButton", "does not fit event OnClick"},
      {"OnClick = FindButtonClick", "OnClik = FindButtonClick", "FindButton", "unknown event OnClik"},
      {"Default = true", "Defualt = true", "FindButton", "unknown property Defualt"},
      {"Default = true", "Default = 1", "FindButton", "Default must be true or false"},
      {"Width = 196\n          Anchors", "Width = \"wide\"\n          Anchors", "NameEdit", "Width must be an integer"},
      {"PopupMenu = ListPopupMenu", "PopupMenu = NoSuchMenu", "ListView1", "no component NoSuchMenu"},
      {"PopupMenu = ListPopupMenu", "PopupMenu = ImageList1", "ListView1", "is not a TPopupMenu"},
      {"Action = ReadTextAction\n      end\n      MenuItem N1", "Action = Elsewhere.ReadTextAction\n      end\n      MenuItem N1",
       "Read1", "no component Elsewhere.ReadTextAction"},
      {"Button FindButton", "Edit FindButton", "FindButton", "FindButton is not a TButton"},
      {"ComboBox SubjComboBox", "Combobox SubjComboBox", "SubjComboBox", "unknown component type Combobox"},
      {"Panel ClientPanel", "Panel ClientPanel: TNoSuchPanel", "ClientPanel", "unknown class TNoSuchPanel"},
      {"Frame TargetFrame: TTestFrame", "Panel TargetFrame: TTestFrame", "TargetFrame", "class TTestFrame is not a Panel"},
      {"Memo NoteMemo", "Memo NameEdit", "NameEdit", "a second component named NameEdit"},
      {"Align = Left\n    MinSize = 60", "Align = Leftish\n    MinSize = 60", "LeftSplitter", "Align must be one of"},
      {"Anchors = [Left, Top, Right]", "Anchors = [Left, Top, Up]", "NameEdit", "unknown member Up of Anchors"},
      {"ShortCut = \"Ctrl+L\"", "ShortCut = \"Ctrl+Lock\"", "CopyListAction", "not a short cut"},
      {"Panels = [[300, \"Ready\"], [100], [50, OwnerDraw]]", "Panels = [[300, \"Ready\"], [100], [50, Fancy]]",
       "StatusBar1", "a panel is"},
      {"TreeView TreeView1", "Timer TreeView1", "TreeView1", "TreeView1 is not a TTreeView"},
      {"Bitmap = \"TrayImages\"", "Bitmap = \"NoSuchImages\"", "ImageList1", "no bitmap resource NoSuchImages"},
      {"Width = 16\n    Bitmap", "Width = 24\n    Bitmap", "ImageList1", "not a row of images 24 wide"},
      {"Width = 16\n    Bitmap", "Height = 24\n    Bitmap", "ImageList1", "16 pixels high, not 24"},
      {"Width = 16\n    Bitmap = \"TrayImages\"", "Bitmap = \"TrayImages\"\n    Width = 32", "ImageList1",
       "Width must come before Bitmap"},
  };
  for (const TCase& c : cases) {
    EFormError e = BrokenLoad(c.Find, c.Replace);
    SCOPED_TRACE(c.Replace);
    EXPECT_EQ(e.Form(), "TAllControlsForm");
    EXPECT_EQ(e.Component(), c.Component) << e.what();
    EXPECT_NE(e.Message().find(c.Message), std::string::npos) << e.what();
    EXPECT_GT(e.Line(), 1) << e.what();
  }
  // Lines are those of the resource.
  EXPECT_EQ(BrokenLoad("OnClick = FindButtonClick", "OnClick = NoSuchHandler").Line(),
            LineOf("OnClick = FindButtonClick"));
  EXPECT_EQ(BrokenLoad("Button FindButton", "Edit FindButton").Line(), LineOf("Button FindButton"));

  // A control inside a control that holds none.
  EFormError e = BrokenLoad("        Button FindButton", "        Label Inner\n          Button FindButton\n"
                                                        "            Caption = \"x\"\n          end\n        end\n"
                                                        "        Label Spare");
  EXPECT_EQ(e.Component(), "FindButton");
  EXPECT_NE(e.Message().find("a Label cannot hold a Button"), std::string::npos) << e.what();

  // A component the class binds but the form lacks.
  e = BrokenLoad("  Splitter LeftSplitter\n    Align = Left\n    MinSize = 60\n  end\n", "");
  EXPECT_EQ(e.Component(), "LeftSplitter");
  EXPECT_NE(e.Message().find("the class binds LeftSplitter"), std::string::npos) << e.what();

  // A broken frame resource names the frame's resource and line.
  RegisterFormResource("TTestFrame", std::string(TestFrameText).replace(std::string(TestFrameText).find("OnChange"), 8,
                                                                        "OnChanged"));
  try {
    delete CreateForm<TAllControlsForm>(nullptr);
    ADD_FAILURE() << "no error from the broken frame";
  } catch (const EFormError& fe) {
    EXPECT_EQ(fe.Form(), "TTestFrame");
    EXPECT_EQ(fe.Line(), 13);
    EXPECT_EQ(fe.Component(), "NameEdit");
  }
  RegisterFormResource("TTestFrame", TestFrameText);

  // A resource for another class.
  e = BrokenLoad("Form AllControlsForm: TAllControlsForm", "Form AllControlsForm: TOtherForm");
  EXPECT_NE(e.Message().find("for class TOtherForm"), std::string::npos);
  // Nothing of a failed form stays behind.
  EXPECT_TRUE(Application().Forms().empty());
}

TEST_F(FormLoad, EveryShippedFormLoads)
{
  std::vector<std::string> names = CompiledFormResourceNames();
  ASSERT_FALSE(names.empty());
  for (const std::string& name : names) {
    std::string text;
    ASSERT_TRUE(FindFormResource(name, text));
    TFormNode root = ParseFormText(name, text);
    EXPECT_EQ(root.ClassName, name);
  }
  // Every form class this program knows loads, binds and creates its windows.
  std::vector<std::string> classes = RegisteredFormClassNames();
  EXPECT_NE(std::find(classes.begin(), classes.end(), "TInputQueryForm"), classes.end());
  for (const std::string& name : classes) {
    if (name.rfind("TTest", 0) == 0 || name == "TAllControlsForm") continue;
    std::unique_ptr<TForm> form(CreateFormByName(name, nullptr));
    ASSERT_NE(form, nullptr) << name;
    EXPECT_TRUE(IsWindow(form->Handle())) << name;
  }
  EXPECT_EQ(CreateFormByName("TNoSuchForm", nullptr), nullptr);
  // The input box is the framework's own shipped form: drive it.
  bool sawBox = false;
  TModalScript script;
  script.Then("InputQueryForm", [&](TForm* box) {
    sawBox = true;
    auto* edit = dynamic_cast<TEdit*>(box->FindComponent("ValueEdit"));
    auto* label = dynamic_cast<TLabel*>(box->FindComponent("PromptLabel"));
    EXPECT_EQ(label->Caption(), "Global text number:");
    EXPECT_EQ(box->Caption(), "Read text");
    EXPECT_EQ(edit->Text(), "12");
    edit->SetText("4711");
    TModalScript::Click(dynamic_cast<TButton*>(box->FindComponent("OkButton")));
  });
  script.Start();
  std::string value = "12";
  EXPECT_TRUE(InputQuery("Read text", "Global text number:", value));
  EXPECT_TRUE(sawBox);
  EXPECT_EQ(value, "4711");
  EXPECT_EQ(Application().FindForm("InputQueryForm"), nullptr);
}

} // namespace
