// The program's windows: the six created at start, in their order and in
// their first state, and every shipped form resource, which loads and binds.
#include <algorithm>

#include "MainTestSupport.h"
#include "ModalScript.h"
#include "WindowInput.h"
#include "Panels.h"
#include "MenuItems.h"
#include "StandardControls.h"
#include "Application.h"
#include "ComponentRegistry.h"

namespace {

using namespace MainTest;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

std::string MenuText(HMENU menu, int position)
{
  char text[128] = {};
  GetMenuStringA(menu, UINT(position), text, sizeof(text), MF_BYPOSITION);
  return text;
}

bool MenuEnabled(HMENU menu, int position)
{
  return (GetMenuState(menu, UINT(position), MF_BYPOSITION) & (MF_DISABLED | MF_GRAYED)) == 0;
}

using StartedProgram = TStartedProgram;

TEST_F(StartedProgram, CreatesTheSixWindowsInOrderAndShowsTheMainWindowIdle)
{
  std::vector<std::string> names;
  for (TForm* f : Application().Forms()) {
    // The text views are parts of the reading window.
    if (f->Embedded()) continue;
    names.push_back(f->ResourceName());
    EXPECT_EQ(f->Owner(), &Application()) << f->ResourceName();
  }
  EXPECT_EQ(names, (std::vector<std::string>{"TMainForm", "TActiveUsersForm", "TMessagesForm", "TReadArticleForm",
                                             "TEventLogForm", "TGetNameForm"}));
  EXPECT_EQ(Application().MainForm(), MainForm);
  ASSERT_TRUE(ActiveUsersForm && MessagesForm && ReadArticleForm && EventLogForm && GetNameForm);
  // The windows that work inside the frame are its children.
  for (TForm* f : std::initializer_list<TForm*>{ActiveUsersForm, MessagesForm, ReadArticleForm})
    EXPECT_TRUE(f->Docked()) << f->ResourceName();
  EXPECT_FALSE(EventLogForm->Visible());
  EXPECT_FALSE(GetNameForm->Visible());
  // Bound to the engine, with the connection sink registered.
  EXPECT_NO_THROW(GetCommunication());
  EXPECT_NO_THROW(GetCache());
  EXPECT_TRUE(MainForm->EventSink);
  EXPECT_GE(MainForm->EventSinkCookie, 0);

  ShowMain();
  HWND frame = MainForm->HostHandle();
  char caption[64] = {};
  GetWindowTextA(frame, caption, sizeof(caption));
  EXPECT_STREQ(caption, "Omnora");
  // The menu bar: the frame's menus, with the active child's merged in.
  HMENU bar = GetMenu(frame);
  ASSERT_NE(bar, nullptr);
  std::vector<std::string> menus;
  for (int i = 0; i < GetMenuItemCount(bar); ++i) menus.push_back(MenuText(bar, i));
  for (const char* m : {"&Session", "O&nline", "&Tools", "&Windows", "&Help"})
    EXPECT_NE(std::find(menus.begin(), menus.end(), m), menus.end()) << m;
  auto online = std::find(menus.begin(), menus.end(), "O&nline");
  ASSERT_NE(online, menus.end());
  EXPECT_FALSE(MenuEnabled(bar, int(online - menus.begin())));
  EXPECT_FALSE(MainForm->Settings2->Enabled());
  EXPECT_TRUE(MainForm->SessionConnectAction->Enabled());
  EXPECT_FALSE(MainForm->SessionDisconnectAction->Enabled());
  EXPECT_FALSE(MainForm->CreateCryptoKey1->Visible());
  EXPECT_FALSE(MainForm->CryptoKeySeparator1->Visible());
  EXPECT_FALSE(MainForm->Connected);
  EXPECT_FALSE(ReadArticleForm->Commands1->Enabled());
  EXPECT_FALSE(ActiveUsersForm->Userlist1->Enabled());
  EXPECT_FALSE(ActiveUsersForm->UpdateSpeedButton->Enabled());

  // The status bar: three panels, the last drawn by the window, between 19
  // and 40 pixels high; the timer runs; both tray icons are hidden.
  TStatusBar* bar1 = MainForm->StatusBar1;
  ASSERT_EQ(bar1->PanelCount(), 3);
  EXPECT_EQ(bar1->Panel(0).Width, MainForm->Width() - 200);
  EXPECT_EQ(bar1->Panel(1).Width, 100);
  EXPECT_TRUE(bar1->Panel(2).OwnerDraw);
  EXPECT_GE(bar1->Height(), 19);
  EXPECT_LE(bar1->Height(), 40);
  EXPECT_EQ(SendMessageA(bar1->Handle(), SB_GETPARTS, 0, 0), 3);
  EXPECT_EQ(MainForm->Timer1->Interval(), 100u);
  EXPECT_TRUE(MainForm->Timer1->Enabled());
  int tick = MainForm->AnimationTick;
  EXPECT_TRUE(WaitFor([&] { return MainForm->AnimationTick >= tick + 2; }, 5000));
  EXPECT_FALSE(MainForm->IconTaskBar1->Visible());
  EXPECT_FALSE(MainForm->MainWndIconTaskBar->Visible());
  // The status bar follows the window's width.
  MainForm->SetBounds(MainForm->Left(), MainForm->Top(), 700, 450);
  Application().ProcessMessages();
  EXPECT_EQ(bar1->Panel(0).Width, 500);

  // A screenshot for a person to look at.
  MainForm->SetBounds(20, 20, 900, 640);
  if (HWND client = Application().MDIClient()) SendMessageA(client, WM_MDICASCADE, 0, 0);
  MainForm->StatusBar1->SetPanelText(1, "Ready");
  RedrawWindow(frame, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  Application().ProcessMessages();
  std::string shot = TestSupport::UnixPathOf(TestSupport::OutputDir()) + "/omnora-main-window.png";
  EXPECT_TRUE(TestSupport::RunUnixCommand("import -window root '" + shot + "'", 20000));
}

TEST_F(StartedProgram, EveryShippedFormLoadsAndBinds)
{
  // Every form resource is a registered window class, or the name picker
  // that the windows embed.
  std::vector<std::string> classes = RegisteredFormClassNames();
  for (const std::string& name : CompiledFormResourceNames())
    EXPECT_TRUE(std::find(classes.begin(), classes.end(), name) != classes.end() || name == "TFrame1") << name;
  // The windows not created at start load, bind and create their windows
  // here (those created at start did so in the fixture).
  for (const std::string& name : classes) {
    if (Application().FindForm(name.substr(1))) continue;
    std::unique_ptr<TForm> form(CreateFormByName(name, nullptr));
    ASSERT_NE(form, nullptr) << name;
    EXPECT_TRUE(IsWindow(form->Handle())) << name;
  }
  // The picker inside the dialogs is whole.
  ASSERT_NE(GetNameForm->NameFrame, nullptr);
  EXPECT_TRUE(IsWindow(GetNameForm->NameFrame->ItemList->Handle()));
  EXPECT_EQ(MessagesForm->TargetFrame->NameGroupBox->Caption(), "&Name");
  // The name dialog works as a modal dialog.
  TModalScript cancel;
  cancel.Then("GetNameForm", [](TForm*) { TModalScript::Click(GetNameForm->CancelButton); });
  cancel.Start();
  GetNameForm->SetCaption("Goto conference");
  EXPECT_EQ(GetNameForm->ShowModal(), mrCancel);
  EXPECT_TRUE(cancel.Done());
  EXPECT_FALSE(GetNameForm->Visible());
  // Commands of the main window shared by the other windows are linked.
  auto* connect = dynamic_cast<TToolButton*>(ReadArticleForm->FindComponent("ConnectButton"));
  ASSERT_NE(connect, nullptr);
  EXPECT_EQ(connect->Action(), MainForm->SessionConnectAction);
}

TEST_F(StartedProgram, WindowMenuAndAboutCommands)
{
  ShowMain();
  HWND client = Application().MDIClient();
  auto active = [&] { return reinterpret_cast<HWND>(SendMessageA(client, WM_MDIGETACTIVE, 0, 0)); };
  // The Windows menu's items, chosen from the menu bar.
  auto choose = [](const char* name) {
    EXPECT_TRUE(TestSupport::ChooseMenuItem(MainForm, name)) << name;
    Application().ProcessMessages();
  };
  // "Next" walks the windows created at start and wraps round.
  ActiveUsersForm->BringToFront();
  ASSERT_EQ(active(), ActiveUsersForm->HostHandle());
  choose("Next1");
  EXPECT_EQ(active(), MessagesForm->HostHandle());
  choose("Next1");
  EXPECT_EQ(active(), ReadArticleForm->HostHandle());
  choose("Next1");
  EXPECT_EQ(active(), ActiveUsersForm->HostHandle());
  // Tiling puts the windows side by side inside the frame.
  choose("TileVertical1");
  RECT a, m;
  GetWindowRect(ActiveUsersForm->HostHandle(), &a);
  GetWindowRect(MessagesForm->HostHandle(), &m);
  EXPECT_TRUE(a.right <= m.left || m.right <= a.left);
  choose("Cascade1");

  // The about box opens modally and goes when closed.
  TModalScript about;
  about.Then("AboutBox", [](TForm* box) { TModalScript::Click(dynamic_cast<TButton*>(box->FindComponent("OKButton"))); });
  about.Start();
  choose("About1");
  EXPECT_TRUE(WaitFor([&] { return about.Done() && !Application().FindForm("AboutBox"); }));
  EXPECT_EQ(Application().FindForm("AboutBox"), nullptr);
}

// Every enabled item of the windows created at start, in their menu bars and
// pop-up menus, runs something, connected or not.
std::vector<std::string> ItemsThatDoNothing()
{
  std::vector<std::string> idle;
  for (TForm* form : {static_cast<TForm*>(MainForm), static_cast<TForm*>(ActiveUsersForm),
                      static_cast<TForm*>(MessagesForm), static_cast<TForm*>(EventLogForm),
                      static_cast<TForm*>(GetNameForm)}) {
    for (TComponent* c : form->Components()) {
      auto* item = dynamic_cast<TMenuItem*>(c);
      if (!item || item->Count() > 0 || item->IsLine() || !item->Visible() || !item->Enabled()) continue;
      // A hidden branch cannot be reached.
      bool reachable = true;
      for (TMenuItem* p = item->Parent(); p; p = p->Parent())
        if (!p->Visible() || (p->Parent() && !p->Enabled())) reachable = false;
      if (!reachable) continue;
      TAction* action = item->Action();
      if (action ? bool(action->OnExecute) : bool(item->OnClick)) continue;
      idle.push_back(form->Name + "." + item->Name + " \"" + item->Caption() + "\"");
    }
  }
  return idle;
}

TEST_F(StartedProgram, EveryEnabledMenuItemDoesSomething)
{
  ShowMain();
  for (bool connected : {false, true}) {
    MainForm->SetConnectedState(connected);
    std::vector<std::string> idle = ItemsThatDoNothing();
    std::string list;
    for (const std::string& s : idle) list += "\n  " + s;
    EXPECT_TRUE(idle.empty()) << (connected ? "connected:" : "idle:") << list;
  }
  MainForm->SetConnectedState(false);
}

} // namespace
