// The tray icon: showing and hiding it, changing its picture, and the
// shell's notifications turned into events.
#include <gtest/gtest.h>

#include <vector>

#include "Form.h"
#include "TrayIcon.h"

namespace {

struct TRecorded
{
  std::vector<std::string> Events;
  std::vector<UINT> Messages;
};

void Wire(TIconTaskBar& icon, TRecorded& r)
{
  icon.OnShow = [&](TComponent*) { r.Events.push_back("show"); };
  icon.OnClose = [&](TComponent*) { r.Events.push_back("close"); };
  icon.OnClick = [&](TComponent*) { r.Events.push_back("click"); };
  icon.OnDblClick = [&](TComponent*) { r.Events.push_back("dblclick"); };
  icon.OnMouseDown = [&](TComponent*, TMouseButton b, TShiftState, int, int) {
    r.Events.push_back(b == TMouseButton::Left ? "down-left" : b == TMouseButton::Right ? "down-right" : "down-middle");
  };
  icon.OnMouseMove = [&](TComponent*, TShiftState, int, int) { r.Events.push_back("move"); };
  icon.OnEvent = [&](TComponent*, UINT m) {
    r.Messages.push_back(m);
    r.Events.push_back("event");
  };
}

void Notify(TIconTaskBar& icon, UINT mouse)
{
  SendMessageA(icon.MessageWindow(), TIconTaskBar::CallbackMessage, 0, LPARAM(mouse));
}

class IconTaskBar : public testing::Test
{
protected:
  static void SetUpTestSuite() { Application().Initialize(); }
};

TEST_F(IconTaskBar, ShowsOnceHidesOnceAndKeepsTheLastData)
{
  TIconTaskBar icon(nullptr);
  TRecorded r;
  Wire(icon, r);
  EXPECT_FALSE(icon.Visible());
  EXPECT_EQ(icon.MessageWindow(), nullptr);
  icon.HideIcon();
  EXPECT_TRUE(r.Events.empty());

  icon.Hint = "Omnora";
  icon.ShowIcon(1);
  EXPECT_TRUE(icon.Visible());
  EXPECT_TRUE(IsWindow(icon.MessageWindow()));
  icon.ShowIcon(2);
  EXPECT_EQ(icon.Data(), 2);
  EXPECT_EQ(r.Events, (std::vector<std::string>{"show"}));

  icon.HideIcon();
  icon.HideIcon();
  EXPECT_FALSE(icon.Visible());
  EXPECT_EQ(r.Events, (std::vector<std::string>{"show", "close"}));
  // The window stays for the next showing.
  HWND window = icon.MessageWindow();
  icon.ShowIcon(3);
  EXPECT_EQ(icon.MessageWindow(), window);
}

TEST_F(IconTaskBar, ANewPictureShowsAtTheNextShowing)
{
  TIconTaskBar icon(nullptr);
  TRecorded r;
  Wire(icon, r);
  EXPECT_EQ(icon.Icon(), nullptr);
  icon.SetIcon(LoadIconA(nullptr, IDI_INFORMATION));
  EXPECT_NE(icon.Icon(), nullptr);
  EXPECT_FALSE(icon.Visible());
  EXPECT_TRUE(r.Events.empty());
  icon.ShowIcon(0);
  // On a visible entry the picture changes by showing the entry again.
  icon.SetIcon(LoadIconA(nullptr, IDI_WARNING));
  EXPECT_TRUE(icon.Visible());
  EXPECT_NE(icon.Icon(), nullptr);
  EXPECT_EQ(r.Events, (std::vector<std::string>{"show", "close", "show"}));
  // A long tip is cut to what the shell holds, without harm.
  icon.Hint = std::string(200, 'x');
  icon.HideIcon();
  icon.ShowIcon(0);
  EXPECT_TRUE(icon.Visible());
}

TEST_F(IconTaskBar, ShellNotificationsBecomeEvents)
{
  TIconTaskBar icon(nullptr);
  TRecorded r;
  Wire(icon, r);
  icon.ShowIcon(0);
  r.Events.clear();

  Notify(icon, WM_MOUSEMOVE);
  Notify(icon, WM_RBUTTONDOWN);
  Notify(icon, WM_RBUTTONUP);
  Notify(icon, WM_LBUTTONDOWN);
  Notify(icon, WM_LBUTTONUP);
  Notify(icon, WM_MBUTTONDOWN);
  Notify(icon, WM_MBUTTONUP);
  Notify(icon, WM_LBUTTONDBLCLK);
  Notify(icon, WM_RBUTTONDBLCLK);
  Notify(icon, WM_CONTEXTMENU);
  EXPECT_EQ(r.Events, (std::vector<std::string>{"event", "move", "event", "down-right", "event", "click", "event",
                                                "down-left", "event", "click", "event", "down-middle", "event",
                                                "click", "event", "dblclick", "event", "dblclick", "event"}));
  EXPECT_EQ(r.Messages.back(), UINT(WM_CONTEXTMENU));
  EXPECT_EQ(r.Messages.size(), 10u);
}

} // namespace
