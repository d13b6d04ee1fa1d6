// The images of the tool bars, menus and tray are the program's own strips:
// whole, at their size, transparent where drawn so; on every bar each button
// shows an image of its own, and menu items show their action's image.
#include <fstream>
#include <set>

#include "GdiOwners.h"
#include "MenuItems.h"
#include "MainTestSupport.h"
#include "ToolBar.h"

namespace {

using namespace MainTest;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

// The number of images in a strip's pixel art: the bitmap built into the
// program must hold as many.
int ImagesInArt(const std::string& strip)
{
  std::ifstream art(
      TestSupport::WindowsPathOf(std::string(OMNORA_TESTS_DIR) + "/../client/forms/images/" + strip + ".txt"));
  int count = 0;
  for (std::string line; std::getline(art, line);) count += line.rfind("image ", 0) == 0;
  return count;
}

// Whether any pixel of an image, drawn over white, shows the mask colour.
bool ShowsMaskColour(TImageList* list, int i)
{
  TWindowDC screen(nullptr);
  TMemoryDC dc(screen);
  TBitmapObject canvas(CreateCompatibleBitmap(screen, 16, 16));
  TSelectObject selected(dc, canvas);
  RECT all{0, 0, 16, 16};
  FillRect(dc, &all, HBRUSH(GetStockObject(WHITE_BRUSH)));
  list->Draw(dc, 0, 0, i);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      if (GetPixel(dc, x, y) == TImageList::MaskColor) return true;
  return false;
}

void ExpectStrip(TImageList* list, int count, const std::string& what)
{
  ASSERT_NE(list, nullptr) << what;
  EXPECT_EQ(list->Count(), count) << what;
  int width = 0, height = 0;
  EXPECT_TRUE(ImageList_GetIconSize(list->Handle(), &width, &height)) << what;
  EXPECT_EQ(width, 16) << what;
  EXPECT_EQ(height, 16) << what;
  for (int i = 0; i < list->Count(); ++i) EXPECT_FALSE(ShowsMaskColour(list, i)) << what << " image " << i;
}

using StartedProgram = TStartedProgram;

TEST_F(StartedProgram, ToolBarsAndTrayShowTheProgramsOwnImages)
{
  ShowMain();
  const int actionImages = ImagesInArt("ActionImages");
  ASSERT_GT(actionImages, 1);
  ExpectStrip(MainForm->ToolbarImageList, actionImages, "main window actions");
  ExpectStrip(MainForm->IconsImageList, ImagesInArt("TrayImages"), "tray");
  EXPECT_EQ(MainForm->IconsImageList->Count(), 2);
  for (int i : {0, 1}) {
    HICON icon = MainForm->IconsImageList->GetIcon(i);
    EXPECT_NE(icon, nullptr) << "tray image " << i;
    if (icon) DestroyIcon(icon);
  }

  struct TBar
  {
    TForm* Form;
    const char* Name;
  } bars[] = {{ReadArticleForm, "ReadToolBar"}, {MessagesForm, "MessagesToolBar"},
              {ActiveUsersForm, "ActiveUsersToolBar"}};
  for (const TBar& b : bars) {
    auto* bar = dynamic_cast<TToolBar*>(b.Form->FindComponent(b.Name));
    ASSERT_NE(bar, nullptr) << b.Name;
    ExpectStrip(bar->Images, actionImages, b.Name);
    EXPECT_EQ(HIMAGELIST(SendMessageA(bar->Handle(), TB_GETIMAGELIST, 0, 0)), bar->Images->Handle());
    // Buttons of actions from other windows (Connect, Disconnect on the
    // reading bar) take their index in this bar's list: no two may meet.
    std::set<int> shown;
    for (int i = 0; i < bar->ButtonCount(); ++i) {
      if (bar->Button(i)->Style == TToolButtonStyle::Separator) continue;
      TBBUTTON button{};
      ASSERT_TRUE(SendMessageA(bar->Handle(), TB_GETBUTTON, WPARAM(i), LPARAM(&button)));
      std::string name = std::string(b.Name) + "." + bar->Button(i)->Name;
      EXPECT_GE(button.iBitmap, 0) << name;
      EXPECT_LT(button.iBitmap, actionImages) << name;
      EXPECT_TRUE(shown.insert(button.iBitmap).second) << name << " shows the image of another button";
    }
  }

  // Items of drop-down menus leave their image to the menu's owner, which
  // draws the action's image or a blank (their captions line up); the menu
  // bar's own items show none.
  auto menuBitmap = [](TMenuItem* item) {
    MENUITEMINFOA info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_BITMAP;
    EXPECT_TRUE(GetMenuItemInfoA(item->Parent()->Handle(), item->Command(), FALSE, &info)) << item->Name;
    return info.hbmpItem;
  };
  auto item = [](TForm* form, const char* name) {
    auto* found = dynamic_cast<TMenuItem*>(form->FindComponent(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  };
  for (const char* name : {"ReadNext1", "Back1", "WriteNewText1", "PinWindow1", "MarkCommentsRead1"}) {
    if (TMenuItem* i = item(ReadArticleForm, name)) {
      EXPECT_EQ(menuBitmap(i), HBMMENU_CALLBACK) << name;
    }
  }
  if (TMenuItem* i = item(ReadArticleForm, "Commands1")) {
    EXPECT_EQ(menuBitmap(i), nullptr);
  }
  if (TMenuItem* i = item(MainForm, "Connect1")) {
    EXPECT_EQ(menuBitmap(i), HBMMENU_CALLBACK);
  }

  // Screenshots of the bars and of a menu for a person to look at.
  RedrawWindow(MainForm->HostHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Application().ProcessMessages();
  std::string shot = TestSupport::UnixPathOf(TestSupport::OutputDir()) + "/toolbar-images.png";
  EXPECT_TRUE(TestSupport::RunUnixCommand("import -window root '" + shot + "'", 20000));
  SetTimer(nullptr, 0, 500, [](HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    std::string menuShot = TestSupport::UnixPathOf(TestSupport::OutputDir()) + "/menu-images.png";
    TestSupport::RunUnixCommand("import -window root '" + menuShot + "'", 20000);
    EndMenu();
  });
  TrackPopupMenu(item(ReadArticleForm, "Commands1")->Handle(), TPM_LEFTALIGN, 120, 120, 0, MainForm->HostHandle(),
                 nullptr);
}

} // namespace
