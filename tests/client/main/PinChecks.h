// The pin of a list window, checked as a person sees it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include "Application.h"
#include "Form.h"
#include "MainForm.h"
#include "MenuItems.h"
#include "ToolBar.h"
#include "WindowInput.h"

namespace MainTest {

// Pin, from the window's tool button or its menu item, switches the window
// between a child of the main window and a free window; the button and the
// menu item show which it is.
inline void ExpectPinSwitchesByButtonAndMenu(TForm* form, const char* buttonName, const char* itemName)
{
  form->BringToFront();
  Application().ProcessMessages();
  auto* pin = dynamic_cast<TToolButton*>(form->FindComponent(buttonName));
  auto* item = dynamic_cast<TMenuItem*>(form->FindComponent(itemName));
  ASSERT_TRUE(pin && item);
  auto shown = [&](bool pinned) {
    const HWND host = form->HostHandle();
    const bool child = GetAncestor(host, GA_PARENT) == Application().MDIClient();
    const bool down = SendMessageA(pin->ToolBar()->Handle(), TB_ISBUTTONCHECKED, pin->Command(), 0) != 0;
    const HMENU bar = GetMenu(child ? MainForm->HostHandle() : host);
    const bool checked = (GetMenuState(bar, item->Command(), MF_BYCOMMAND) & MF_CHECKED) != 0;
    return child == pinned && down == pinned && checked == pinned && IsWindowVisible(host);
  };
  auto becomes = [&](bool pinned) { return Application().ProcessMessagesUntil([&] { return shown(pinned); }, 10000); };
  ASSERT_TRUE(shown(true));
  ASSERT_TRUE(TestSupport::ClickToolButton(pin));
  EXPECT_TRUE(becomes(false));
  ASSERT_TRUE(TestSupport::ChooseMenuItem(form, itemName));
  EXPECT_TRUE(becomes(true));
  ASSERT_TRUE(TestSupport::ClickToolButton(pin));
  EXPECT_TRUE(becomes(false));
  ASSERT_TRUE(TestSupport::ClickToolButton(pin));
  EXPECT_TRUE(becomes(true));
}

} // namespace MainTest
