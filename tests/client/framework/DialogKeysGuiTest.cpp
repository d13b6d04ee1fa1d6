// The keyboard of the framework's windows, typed into the focused control
// and handled by the program's own message loop: the tab order through
// nested containers and pages, fields that take Tab or Enter and fields that
// do not, Enter and Escape in dialogs, access keys, the page keys, radio
// groups, which window's shortcuts a key reaches, and the menu bar after a
// shortcut with Alt.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Actions.h"
#include "Application.h"
#include "CommonControls.h"
#include "Form.h"
#include "FormResources.h"
#include "ListView.h"
#include "MenuItems.h"
#include "ModalScript.h"
#include "Panels.h"
#include "RichEdit.h"
#include "StandardControls.h"
#include "WindowInput.h"

namespace {

using namespace TestSupport;

const char* const MainText = R"(Form KeysMain: TKeysMain
  Caption = "Keys"
  FormStyle = MDIForm
  Width = 800
  Height = 600
  Menu = MainMenu1
  ActionList MainActions
    Action NextAction
      Caption = "&Next text"
      ShortCut = "Alt+Down"
    end
  end
  MainMenu MainMenu1
    MenuItem Session1
      Caption = "&Session"
      MenuItem Next1
        Action = NextAction
      end
    end
    MenuItem Text1
      Caption = "&Texts"
    end
  end
end
)";

// A dialog with fields of every kind, nested in panels, group boxes and pages.
const char* const DialogText = R"(Form KeysDialog: TKeysDialog
  Caption = "Keys"
  BorderStyle = Dialog
  ClientWidth = 440
  ClientHeight = 410
  Label NameLabel
    Caption = "&Name:"
    Left = 8
    Top = 10
  end
  Edit NameEdit
    Left = 80
    Top = 8
    Width = 200
  end
  Panel NotesPanel
    Left = 8
    Top = 36
    Width = 200
    Height = 60
    RichEdit NotesEdit
      Align = Client
    end
  end
  GroupBox PickGroup
    Caption = "&Pick"
    Left = 220
    Top = 36
    Width = 210
    Height = 46
    RichEdit PickEdit
      Align = Client
      WantReturns = false
      WordWrap = false
      ScrollBars = None
    end
  end
  GroupBox OptionsGroup
    Caption = "&Options"
    Left = 8
    Top = 100
    Width = 200
    Height = 70
    CheckBox FirstCheck
      Caption = "&First"
      Left = 8
      Top = 18
    end
    CheckBox SecondCheck
      Caption = "Se&cond"
      Left = 8
      Top = 42
    end
  end
  GroupBox SizeGroup
    Caption = "Si&ze"
    Left = 220
    Top = 100
    Width = 210
    Height = 90
    RadioButton SmallRadio
      Caption = "&Small"
      Left = 8
      Top = 18
    end
    RadioButton MediumRadio
      Caption = "&Medium"
      Left = 8
      Top = 40
    end
    RadioButton LargeRadio
      Caption = "&Large"
      Left = 8
      Top = 62
    end
  end
  Memo NoteMemo
    Left = 8
    Top = 196
    Width = 200
    Height = 40
  end
  PageControl Pages
    Left = 8
    Top = 244
    Width = 424
    Height = 120
    TabSheet GeneralSheet
      Caption = "&General"
      Edit GeneralEdit
        Left = 8
        Top = 8
      end
    end
    TabSheet MoreSheet
      Caption = "Mo&re"
      Edit MoreEdit
        Left = 8
        Top = 8
      end
      Button MoreButton
        Caption = "P&ush"
        Left = 140
        Top = 8
      end
    end
  end
  Button OkButton
    Caption = "Ok"
    Default = true
    ModalResult = Ok
    Left = 190
    Top = 376
  end
  Button CancelButton
    Caption = "Cancel"
    Cancel = true
    ModalResult = Cancel
    Left = 270
    Top = 376
  end
  Button ApplyButton
    Caption = "&Apply"
    Left = 350
    Top = 376
  end
end
)";

// A window of the kind people write in: no default or cancel button.
const char* const WriterText = R"(Form KeysWriter: TKeysWriter
  Caption = "Writer"
  FormStyle = MDIChild
  Width = 400
  Height = 300
  Label TitleLabel
    Caption = "&Title:"
    Left = 8
    Top = 10
  end
  Edit TitleEdit
    Left = 60
    Top = 8
    Width = 200
  end
  Panel LinePanel
    Left = 8
    Top = 36
    Width = 300
    Height = 26
    RichEdit LineEdit
      Align = Client
      WantReturns = false
      WordWrap = false
      ScrollBars = None
    end
  end
  Panel BodyPanel
    Left = 8
    Top = 70
    Width = 300
    Height = 120
    RichEdit BodyEdit
      Align = Client
      WantTabs = true
    end
  end
end
)";

// A window of its own beside the main window, with a drop-down list.
const char* const PropertiesText = R"(Form KeysProperties: TKeysProperties
  Caption = "Properties"
  Width = 300
  Height = 160
  Label KindLabel
    Caption = "&Kind:"
    Left = 8
    Top = 10
  end
  ComboBox KindComboBox
    Style = DropDownList
    Items = ["one", "two", "three"]
    Left = 60
    Top = 8
  end
end
)";

// Two check boxes that underline the same letter, a label that names a
// read field left out of the Tab order, and two pages with one letter.
const char* const TwinsText = R"(Form KeysTwins: TKeysTwins
  Caption = "Twins"
  Width = 300
  Height = 200
  CheckBox ReportCheck
    Caption = "Report &read texts"
    Left = 8
    Top = 8
    Width = 200
  end
  CheckBox TrayCheck
    Caption = "Minimize to t&ray"
    Left = 8
    Top = 32
    Width = 200
  end
  Label SubjectLabel
    Caption = "&Subject:"
    Left = 8
    Top = 60
  end
  Edit SubjectEdit
    ReadOnly = true
    TabStop = false
    Multiline = true
    WantReturns = false
    Left = 60
    Top = 58
    Width = 200
    Height = 40
  end
  Edit OtherEdit
    Left = 60
    Top = 104
    Width = 200
  end
  PageControl TwinPages
    Left = 8
    Top = 130
    Width = 280
    Height = 60
    TabSheet WordsSheet
      Caption = "&Words"
    end
    TabSheet NumbersSheet
      Caption = "Nu&mbers"
    end
    TabSheet WaysSheet
      Caption = "&Ways"
    end
  end
end
)";

// A list with one row and a button after it.
const char* const ListText = R"(Form KeysList: TKeysList
  Caption = "List"
  Width = 300
  Height = 200
  ListView HostsList
    Left = 8
    Top = 8
    Width = 200
    Height = 100
    RowSelect = true
    Columns = [["Host", 150]]
  end
  Button OpenButton
    Caption = "&Open"
    Left = 8
    Top = 120
  end
end
)";

template <class T>
T* Part(TForm* form, const char* name)
{
  auto* c = dynamic_cast<T*>(form->FindComponent(name));
  EXPECT_NE(c, nullptr) << name;
  return c;
}

// The name of the control that has the focus (a combo box for its edit).
std::string Focused()
{
  for (HWND h = GetFocus(); h; h = GetParent(h))
    if (TControl* c = TControl::FromHandle(h)) return c->Name;
  return "(none)";
}

std::vector<std::string> Walk(int presses, unsigned modifiers = 0)
{
  std::vector<std::string> seen;
  for (int i = 0; i < presses; ++i) {
    PressKey(VK_TAB, modifiers);
    seen.push_back(Focused());
  }
  return seen;
}

// Presses Tab until the named control has the focus (false when it never comes).
bool TabTo(const std::string& name)
{
  for (int i = 0; i < 40 && Focused() != name; ++i) PressKey(VK_TAB);
  return Focused() == name;
}

bool IsDrawnDefault(TControl* button)
{
  return (GetWindowLongPtrA(button->Handle(), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
}

// Counts the frame's requests to open its menu bar from the keyboard, and
// keeps the menu closed so that the test goes on.
LRESULT CALLBACK CountKeyMenu(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR counter)
{
  if (msg == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_KEYMENU) {
    ++*reinterpret_cast<int*>(counter);
    return 0;
  }
  return DefSubclassProc(hwnd, msg, wp, lp);
}

class DialogKeys : public testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    Application().Initialize();
    RegisterFormResource("TKeysMain", MainText);
    RegisterFormResource("TKeysDialog", DialogText);
    RegisterFormResource("TKeysWriter", WriterText);
    RegisterFormResource("TKeysProperties", PropertiesText);
    RegisterFormResource("TKeysTwins", TwinsText);
    RegisterFormResource("TKeysList", ListText);
  }

  void SetUp() override
  {
    Main = CreateForm<TForm>(nullptr, std::string("TKeysMain"));
    Application().SetMainForm(Main);
    Main->Show();
    Application().ProcessMessages();
  }

  void TearDown() override
  {
    for (TForm* f : std::vector<TForm*>(Application().Forms()))
      if (f != Main) f->Free();
    Main->Free();
    Application().ProcessMessages();
  }

  TForm* OpenDialog()
  {
    TForm* dialog = CreateForm<TForm>(nullptr, std::string("TKeysDialog"));
    Part<TRadioButton>(dialog, "MediumRadio")->SetChecked(true);
    return dialog;
  }

  // Shows a form as the program shows a window of its own and waits until it has the focus.
  void ShowActive(TForm* form)
  {
    form->Show();
    form->BringToFront();
    Application().ProcessMessagesUntil([&] { return GetFocus() && IsChild(form->Handle(), GetFocus()); }, 5000);
  }

  TForm* Main = nullptr;
};

TEST_F(DialogKeys, TabAndShiftTabVisitEveryFieldThroughContainersAndPages)
{
  TForm* dialog = OpenDialog();
  Part<TEdit>(dialog, "NameEdit")->SetText("old name");
  Part<TRichEdit>(dialog, "NotesEdit")->SetText("first line");
  Part<TRichEdit>(dialog, "PickEdit")->SetText("old pick");
  ShowActive(dialog);
  EXPECT_EQ(Focused(), "NameEdit");

  const std::vector<std::string> order{"NotesEdit",   "PickEdit", "FirstCheck", "SecondCheck",  "MediumRadio",
                                       "NoteMemo",    "Pages",    "GeneralEdit", "OkButton",    "CancelButton",
                                       "ApplyButton", "NameEdit"};
  EXPECT_EQ(Walk(int(order.size())), order);
  std::vector<std::string> back(order.rbegin() + 1, order.rend());
  back.push_back("NameEdit");
  EXPECT_EQ(Walk(int(back.size()), mkShift), back);

  // Reached by Tab, a one-line field is selected whole: typing replaces it.
  // A field of several lines keeps its text and takes the typing at the caret.
  PressKey(VK_TAB, mkShift);
  PressKey(VK_TAB);
  TypeText("new");
  EXPECT_EQ(Part<TEdit>(dialog, "NameEdit")->Text(), "new");
  PressKey(VK_TAB);
  TypeText("x");
  EXPECT_NE(Part<TRichEdit>(dialog, "NotesEdit")->Text().find("first line"), std::string::npos);
  PressKey(VK_TAB);
  TypeText("new");
  EXPECT_EQ(Part<TRichEdit>(dialog, "PickEdit")->Text(), "new");

  // The tab strip is a stop of its own; the arrow keys turn its pages, and
  // Tab goes on into the page shown.
  auto* pages = Part<TPageControl>(dialog, "Pages");
  ASSERT_TRUE(TabTo("Pages"));
  PressKey(VK_RIGHT);
  EXPECT_EQ(pages->ActivePage(), Part<TTabSheet>(dialog, "MoreSheet"));
  EXPECT_EQ(Walk(3), (std::vector<std::string>{"MoreEdit", "MoreButton", "OkButton"}));
}

TEST_F(DialogKeys, FieldsTakeTheKeysTheyAskForAndEscapeDestroysNothing)
{
  TForm* writer = CreateForm<TForm>(nullptr, std::string("TKeysWriter"));
  ShowActive(writer);
  auto* line = Part<TRichEdit>(writer, "LineEdit");
  auto* body = Part<TRichEdit>(writer, "BodyEdit");
  ASSERT_EQ(Focused(), "TitleEdit");
  EXPECT_EQ(Walk(2), (std::vector<std::string>{"LineEdit", "BodyEdit"}));

  // The body takes Tab and Enter; Tab stays in it.
  TypeText("a");
  PressKey(VK_TAB);
  TypeText("b");
  PressKey(VK_RETURN);
  TypeText("c");
  EXPECT_EQ(body->Text(), "a\tb\rc");
  EXPECT_EQ(Focused(), "BodyEdit");

  // A one-line field takes no line break, even with no button to press.
  PressKey('T', mkAlt);
  PressKey(VK_TAB);
  ASSERT_EQ(Focused(), "LineEdit");
  TypeText("one");
  PressKey(VK_RETURN);
  EXPECT_EQ(line->Text(), "one");

  // Escape in any field leaves every window standing with its text.
  for (const char* name : {"TitleEdit", "LineEdit", "BodyEdit"}) {
    Part<TControl>(writer, name)->SetFocus();
    PressKey(VK_ESCAPE);
    Application().ProcessMessages();
  }
  for (const char* name : {"TitleEdit", "LinePanel", "LineEdit", "BodyPanel", "BodyEdit"}) {
    TControl* c = Part<TControl>(writer, name);
    EXPECT_TRUE(IsWindow(c->Handle())) << name;
    EXPECT_TRUE(IsWindowVisible(c->Handle())) << name;
  }
  EXPECT_TRUE(writer->Visible());
  EXPECT_EQ(line->Text(), "one");
  EXPECT_EQ(body->Text(), "a\tb\rc");
}

TEST_F(DialogKeys, EnterPressesTheFocusedButtonElseTheDefaultAndEscapeCancels)
{
  TForm* dialog = OpenDialog();
  auto* ok = Part<TButton>(dialog, "OkButton");
  auto* apply = Part<TButton>(dialog, "ApplyButton");
  int applied = 0;
  apply->OnClick = [&](TComponent*) { ++applied; };
  auto run = [&](const std::function<void()>& keys) {
    TModalScript script;
    script.Then("KeysDialog", [&](TForm*) { keys(); });
    script.Start();
    const int result = dialog->ShowModal();
    EXPECT_TRUE(script.Done());
    return result;
  };

  // Enter in a field presses the default button; in a one-line field too.
  EXPECT_EQ(run([] { PressKey(VK_RETURN); }), mrOk);
  EXPECT_EQ(run([&] {
              Part<TControl>(dialog, "PickEdit")->SetFocus();
              TypeText("abc");
              PressKey(VK_RETURN);
            }),
            mrOk);
  EXPECT_EQ(Part<TRichEdit>(dialog, "PickEdit")->Text(), "abc");
  // Enter in a field of several lines is a line break.
  EXPECT_EQ(run([&] {
              Part<TControl>(dialog, "NotesEdit")->SetFocus();
              TypeText("x");
              PressKey(VK_RETURN);
              TypeText("y");
              EXPECT_EQ(Part<TRichEdit>(dialog, "NotesEdit")->Text(), "x\ry");
              PressKey(VK_ESCAPE);
            }),
            mrCancel);

  // On a button, Enter presses that button, which is drawn as the default.
  EXPECT_EQ(run([&] {
              PressKey('N', mkAlt);
              PressKey(VK_TAB, mkShift);
              ASSERT_EQ(Focused(), "ApplyButton");
              EXPECT_TRUE(IsDrawnDefault(apply));
              EXPECT_FALSE(IsDrawnDefault(ok));
              PressKey(VK_RETURN);
              EXPECT_EQ(applied, 1);
              EXPECT_TRUE(dialog->IsModal());
              PressKey(VK_TAB, mkShift);
              ASSERT_EQ(Focused(), "CancelButton");
              PressKey(VK_RETURN);
            }),
            mrCancel);
  EXPECT_EQ(applied, 1);

  // A disabled default button is not pressed.
  ok->SetEnabled(false);
  EXPECT_EQ(run([&] {
              PressKey('N', mkAlt);
              PressKey(VK_RETURN);
              EXPECT_EQ(dialog->ModalResult(), mrNone);
              PressKey(VK_ESCAPE);
            }),
            mrCancel);
  ok->SetEnabled(true);
  // Escape in any field cancels the dialog and takes nothing with it.
  for (const char* name : {"NotesEdit", "PickEdit", "NoteMemo"})
    EXPECT_EQ(run([&] {
                Part<TControl>(dialog, name)->SetFocus();
                PressKey(VK_ESCAPE);
              }),
              mrCancel)
      << name;
  for (const char* name : {"NotesPanel", "NotesEdit", "PickGroup", "PickEdit", "NoteMemo"})
    EXPECT_TRUE(IsWindow(Part<TControl>(dialog, name)->Handle())) << name;
  EXPECT_EQ(Part<TRichEdit>(dialog, "NotesEdit")->Text(), "x\ry");
}

TEST_F(DialogKeys, AccessKeysReachTheControlTheyUnderline)
{
  TForm* dialog = OpenDialog();
  auto* first = Part<TCheckBox>(dialog, "FirstCheck");
  auto* second = Part<TCheckBox>(dialog, "SecondCheck");
  int pushes = 0;
  Part<TButton>(dialog, "MoreButton")->OnClick = [&](TComponent*) { ++pushes; };
  ShowActive(dialog);

  // A label names the field after it, a group box the field inside it.
  PressKey('P', mkAlt);
  EXPECT_EQ(Focused(), "PickEdit");
  PressKey('N', mkAlt);
  EXPECT_EQ(Focused(), "NameEdit");
  PressKey('Z', mkAlt);
  EXPECT_EQ(Focused(), "MediumRadio");
  // A check box is clicked, a radio button chosen.
  PressKey('F', mkAlt);
  EXPECT_TRUE(first->Checked());
  EXPECT_EQ(Focused(), "FirstCheck");
  PressKey('L', mkAlt);
  EXPECT_TRUE(Part<TRadioButton>(dialog, "LargeRadio")->Checked());
  EXPECT_FALSE(Part<TRadioButton>(dialog, "MediumRadio")->Checked());
  // Where the focused control takes no characters the letter alone will do;
  // in a field it is typed.
  PressKey('F', mkAlt);
  TypeText("c");
  EXPECT_TRUE(second->Checked());
  PressKey('N', mkAlt);
  TypeText("c");
  EXPECT_EQ(Part<TEdit>(dialog, "NameEdit")->Text(), "c");
  EXPECT_FALSE(first->Checked());
  // A page's tab, and a button on it.
  PressKey('R', mkAlt);
  EXPECT_EQ(Part<TPageControl>(dialog, "Pages")->ActivePage(), Part<TTabSheet>(dialog, "MoreSheet"));
  EXPECT_EQ(Focused(), "Pages");
  PressKey('U', mkAlt);
  EXPECT_EQ(pushes, 1);
  // A key that names nothing changes nothing.
  PressKey('Q', mkAlt);
  EXPECT_EQ(Focused(), "MoreButton");
}

TEST_F(DialogKeys, AKeyThatTwoControlsShareReachesThemInTurnAndPagesWithOneLetterTurnInTurn)
{
  TForm* twins = CreateForm<TForm>(nullptr, std::string("TKeysTwins"));
  auto* report = Part<TCheckBox>(twins, "ReportCheck");
  auto* tray = Part<TCheckBox>(twins, "TrayCheck");
  ShowActive(twins);
  Part<TControl>(twins, "OtherEdit")->SetFocus();

  // Each press goes on to the next box with the letter; none is ticked on
  // the way, Space ticks the one reached.
  PressKey('R', mkAlt);
  EXPECT_EQ(Focused(), "ReportCheck");
  PressKey('R', mkAlt);
  EXPECT_EQ(Focused(), "TrayCheck");
  EXPECT_FALSE(report->Checked());
  EXPECT_FALSE(tray->Checked());
  PressKey(VK_SPACE);
  EXPECT_TRUE(tray->Checked());
  EXPECT_FALSE(report->Checked());

  // The label's read field is no Tab stop: its key reaches the field after
  // it that Tab stops at.
  PressKey('S', mkAlt);
  EXPECT_EQ(Focused(), "OtherEdit");
  PressKey(VK_TAB);
  EXPECT_EQ(Focused(), "TwinPages");
  PressKey(VK_TAB, mkShift);
  EXPECT_EQ(Focused(), "OtherEdit");

  // Pages that share a letter are shown in turn.
  auto* pages = Part<TPageControl>(twins, "TwinPages");
  PressKey('W', mkAlt);
  EXPECT_EQ(pages->ActivePage(), Part<TTabSheet>(twins, "WaysSheet"));
  PressKey('W', mkAlt);
  EXPECT_EQ(pages->ActivePage(), Part<TTabSheet>(twins, "WordsSheet"));
  PressKey('M', mkAlt);
  PressKey('W', mkAlt);
  EXPECT_EQ(pages->ActivePage(), Part<TTabSheet>(twins, "WaysSheet"));
}

// Tabbed into with no row chosen, a list shows the focus on its first row;
// the first Down chooses that row (the only one here), not the one after it.
TEST_F(DialogKeys, AListTabbedIntoShowsItsFocusRowAndDownChoosesIt)
{
  TForm* form = CreateForm<TForm>(nullptr, std::string("TKeysList"));
  auto* list = Part<TListView>(form, "HostsList");
  list->AddItem("kom.example");
  ShowActive(form);
  Part<TControl>(form, "OpenButton")->SetFocus();
  PressKey(VK_TAB);
  ASSERT_EQ(Focused(), "HostsList");
  EXPECT_EQ(SendMessageA(list->Handle(), LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED), 0);
  EXPECT_EQ(list->Selected(), nullptr);
  PressKey(VK_DOWN);
  ASSERT_NE(list->Selected(), nullptr);
  EXPECT_EQ(list->Selected()->Caption(), "kom.example");
  PressKey(VK_DOWN);
  EXPECT_EQ(list->Selected()->Caption(), "kom.example");
}

TEST_F(DialogKeys, CtrlTabAndCtrlPageKeysTurnThePages)
{
  TForm* dialog = OpenDialog();
  auto* pages = Part<TPageControl>(dialog, "Pages");
  int changes = 0;
  pages->OnChange = [&](TComponent*) { ++changes; };
  ShowActive(dialog);
  Part<TControl>(dialog, "GeneralEdit")->SetFocus();

  PressKey(VK_TAB, mkCtrl);
  EXPECT_EQ(pages->ActivePage(), Part<TTabSheet>(dialog, "MoreSheet"));
  EXPECT_EQ(Focused(), "MoreEdit");
  PressKey(VK_TAB, mkCtrl);
  EXPECT_EQ(pages->ActivePage(), Part<TTabSheet>(dialog, "GeneralSheet"));
  EXPECT_EQ(Focused(), "GeneralEdit");
  PressKey(VK_TAB, mkCtrl | mkShift);
  EXPECT_EQ(pages->ActivePage(), Part<TTabSheet>(dialog, "MoreSheet"));
  PressKey(VK_PRIOR, mkCtrl);
  EXPECT_EQ(pages->ActivePage(), Part<TTabSheet>(dialog, "GeneralSheet"));
  PressKey(VK_NEXT, mkCtrl);
  EXPECT_EQ(pages->ActivePage(), Part<TTabSheet>(dialog, "MoreSheet"));
  EXPECT_EQ(changes, 5);
  // From a field outside the pages they turn too, and the focus stays.
  Part<TControl>(dialog, "NameEdit")->SetFocus();
  PressKey(VK_TAB, mkCtrl);
  EXPECT_EQ(pages->ActivePage(), Part<TTabSheet>(dialog, "GeneralSheet"));
  EXPECT_EQ(Focused(), "NameEdit");
}

TEST_F(DialogKeys, ArrowKeysChooseWithinARadioGroup)
{
  TForm* dialog = OpenDialog();
  int clicks = 0;
  for (const char* name : {"SmallRadio", "MediumRadio", "LargeRadio"})
    Part<TRadioButton>(dialog, name)->OnClick = [&](TComponent*) { ++clicks; };
  ShowActive(dialog);
  auto checked = [&] {
    for (const char* name : {"SmallRadio", "MediumRadio", "LargeRadio"})
      if (Part<TRadioButton>(dialog, name)->Checked()) return std::string(name);
    return std::string();
  };
  ASSERT_TRUE(TabTo("MediumRadio"));
  PressKey(VK_DOWN);
  EXPECT_EQ(Focused(), "LargeRadio");
  EXPECT_EQ(checked(), "LargeRadio");
  PressKey(VK_DOWN);
  EXPECT_EQ(checked(), "SmallRadio");
  PressKey(VK_UP);
  PressKey(VK_LEFT);
  EXPECT_EQ(checked(), "MediumRadio");
  PressKey(VK_RIGHT);
  EXPECT_EQ(checked(), "LargeRadio");
  EXPECT_EQ(clicks, 5);
  // Tab leaves the group; coming back lands on the chosen button.
  PressKey(VK_TAB);
  EXPECT_EQ(Focused(), "NoteMemo");
  PressKey(VK_TAB, mkShift);
  EXPECT_EQ(Focused(), "LargeRadio");
}

TEST_F(DialogKeys, DisablingTheFocusedButtonPassesTheFocusOn)
{
  TForm* dialog = OpenDialog();
  ShowActive(dialog);
  ASSERT_TRUE(TabTo("OkButton"));
  Part<TControl>(dialog, "OkButton")->SetEnabled(false);
  EXPECT_EQ(Focused(), "CancelButton");
  // The keyboard still works there.
  PressKey(VK_TAB);
  EXPECT_EQ(Focused(), "ApplyButton");
}

TEST_F(DialogKeys, MainWindowShortcutsReachOnlyTheWindowsDockedInIt)
{
  int nexts = 0;
  Part<TAction>(Main, "NextAction")->OnExecute = [&](TComponent*) { ++nexts; };
  int keyMenus = 0;
  ASSERT_TRUE(SetWindowSubclass(Main->HostHandle(), CountKeyMenu, 1, DWORD_PTR(&keyMenus)));

  TForm* writer = CreateForm<TForm>(nullptr, std::string("TKeysWriter"));
  ShowActive(writer);
  ASSERT_TRUE(writer->Docked());
  ASSERT_EQ(Focused(), "TitleEdit");
  // Alt alone, pressed and let go, opens the menu bar.
  {
    HoldKey(VK_MENU, true);
    PostMessageA(KeyTarget(), WM_SYSKEYDOWN, VK_MENU, LPARAM(1) << 29 | 1);
    PostMessageA(KeyTarget(), WM_SYSKEYUP, VK_MENU, LPARAM(0xE0000001));
    HoldKey(VK_MENU, false);
    Application().ProcessMessages();
  }
  EXPECT_EQ(keyMenus, 1);
  // A shortcut with Alt runs its command and leaves the menu bar alone,
  // whichever key is let go first.
  PressKey(VK_DOWN, mkAlt);
  EXPECT_EQ(nexts, 1);
  EXPECT_EQ(keyMenus, 1);
  {
    // Alt reads as up once its release is handled.
    const LPARAM down = LPARAM(1) << 29 | 1, up = down | LPARAM(0xC0000000);
    HoldKey(VK_MENU, true);
    PostMessageA(KeyTarget(), WM_SYSKEYDOWN, VK_MENU, down);
    PostMessageA(KeyTarget(), WM_SYSKEYDOWN, VK_DOWN, down);
    PostMessageA(KeyTarget(), WM_SYSKEYUP, VK_MENU, up);
    HoldKey(VK_MENU, false);
    PostMessageA(KeyTarget(), WM_KEYUP, VK_DOWN, LPARAM(0xC0000001));
    Application().ProcessMessages();
  }
  EXPECT_EQ(nexts, 2);
  EXPECT_EQ(keyMenus, 1);
  // So does an access key of the window.
  PressKey(VK_TAB);
  PressKey('T', mkAlt);
  EXPECT_EQ(Focused(), "TitleEdit");
  EXPECT_EQ(keyMenus, 1);

  // In a window of its own the main window's shortcuts do nothing: Alt+Down
  // opens the drop-down list there.
  TForm* properties = CreateForm<TForm>(nullptr, std::string("TKeysProperties"));
  ShowActive(properties);
  ASSERT_FALSE(properties->Docked());
  auto* kinds = Part<TComboBox>(properties, "KindComboBox");
  ASSERT_EQ(Focused(), "KindComboBox");
  PressKey(VK_DOWN, mkAlt);
  EXPECT_EQ(nexts, 2);
  EXPECT_TRUE(SendMessageA(kinds->Handle(), CB_GETDROPPEDSTATE, 0, 0));
  // Escape closes the list, and only the list.
  PressKey(VK_ESCAPE);
  EXPECT_FALSE(SendMessageA(kinds->Handle(), CB_GETDROPPEDSTATE, 0, 0));
  EXPECT_TRUE(properties->Visible());
  RemoveWindowSubclass(Main->HostHandle(), CountKeyMenu, 1);
}

} // namespace
