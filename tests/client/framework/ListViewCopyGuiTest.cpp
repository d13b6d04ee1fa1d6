// Copying a real report-view list view to the clipboard.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "ListViewCopy.h"

namespace {

const char* const kWindowClass = "OmnoraToolsListViewTestWindow";

std::string ClipboardText()
{
  std::string text;
  if (!OpenClipboard(nullptr)) return "<clipboard not available>";
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    if (const char* p = static_cast<const char*>(GlobalLock(data))) {
      text = p;
      GlobalUnlock(data);
    }
  } else {
    text = "<no text on the clipboard>";
  }
  CloseClipboard();
  return text;
}

void PutOtherTextOnClipboard()
{
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, 6);
  memcpy(GlobalLock(mem), "stale", 6);
  GlobalUnlock(mem);
  SetClipboardData(CF_TEXT, mem);
  CloseClipboard();
}

// One window serves every test: a clipboard owner's window takes Wine
// seconds to destroy.
class ToolsListViewTest : public testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kWindowClass;
    wc.hbrBackground = HBRUSH(COLOR_WINDOW + 1);
    RegisterClassA(&wc);
    FWindow = CreateWindowExA(0, kWindowClass, "List copy", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                              40, 40, 640, 300, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!FWindow) return;
    FView = CreateWindowExA(0, WC_LISTVIEWA, "",
                            WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS,
                            0, 0, 620, 260, FWindow, nullptr, GetModuleHandleA(nullptr), nullptr);
    Pump();
  }

  static void TearDownTestSuite()
  {
    if (FWindow) DestroyWindow(FWindow);
    FWindow = FView = nullptr;
    Pump();
  }

  void SetUp() override
  {
    ASSERT_TRUE(FWindow);
    ASSERT_TRUE(FView);
    SendMessageA(FView, LVM_DELETEALLITEMS, 0, 0);
    while (SendMessageA(FView, LVM_DELETECOLUMN, 0, 0)) {}
  }

  static void Pump()
  {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }

  void AddColumns(const std::vector<std::string>& captions)
  {
    for (size_t i = 0; i < captions.size(); ++i) {
      LVCOLUMNA column = {};
      column.mask = LVCF_TEXT | LVCF_WIDTH;
      column.cx = 150;
      column.pszText = const_cast<char*>(captions[i].c_str());
      ASSERT_EQ(int(i), int(SendMessageA(FView, LVM_INSERTCOLUMNA, i, LPARAM(&column))));
    }
  }

  void AddRow(const std::vector<std::string>& cells)
  {
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = int(SendMessageA(FView, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<char*>(cells[0].c_str());
    const int row = int(SendMessageA(FView, LVM_INSERTITEMA, 0, LPARAM(&item)));
    ASSERT_GE(row, 0);
    for (size_t sub = 1; sub < cells.size(); ++sub) {
      LVITEMA subItem = {};
      subItem.iSubItem = int(sub);
      subItem.pszText = const_cast<char*>(cells[sub].c_str());
      SendMessageA(FView, LVM_SETITEMTEXTA, row, LPARAM(&subItem));
    }
  }

  void Select(int row)
  {
    LVITEMA state = {};
    state.stateMask = LVIS_SELECTED;
    state.state = LVIS_SELECTED;
    SendMessageA(FView, LVM_SETITEMSTATE, row, LPARAM(&state));
  }

  void FillSample()
  {
    AddColumns({"Name", "Number", "Where"});
    AddRow({"Administrator (of) LysKOM", "5", "Reading"});
    AddRow({"\xc5sa \xd6" "berg", "17", ""});
    AddRow({"Guest", "1234", "Writing a text"});
    AddRow({std::string(600, 'x'), "9", std::string(300, 'y') + "end"});
  }

  static HWND FWindow;
  static HWND FView;
};

HWND ToolsListViewTest::FWindow = nullptr;
HWND ToolsListViewTest::FView = nullptr;

} // namespace

TEST_F(ToolsListViewTest, CopiesAllRowsAfterTheColumnCaptions)
{
  FillSample();
  Pump();
  PutOtherTextOnClipboard();
  ASSERT_TRUE(CopyListViewToClipboard(FView, false));
  EXPECT_EQ("Name\tNumber\tWhere"
            "\r\nAdministrator (of) LysKOM\t5\tReading"
            "\r\n\xc5sa \xd6" "berg\t17\t"
            "\r\nGuest\t1234\tWriting a text"
            "\r\n" + std::string(600, 'x') + "\t9\t" + std::string(300, 'y') + "end",
            ClipboardText());
}

TEST_F(ToolsListViewTest, CopiesOnlySelectedRowsWithoutCaptions)
{
  FillSample();
  Select(1);
  Select(2);
  Pump();
  ASSERT_TRUE(CopyListViewToClipboard(FView, true));
  EXPECT_EQ("\xc5sa \xd6" "berg\t17\t"
            "\r\nGuest\t1234\tWriting a text",
            ClipboardText());

  Select(0);
  ASSERT_TRUE(CopyListViewToClipboard(FView, true));
  EXPECT_EQ("Administrator (of) LysKOM\t5\tReading"
            "\r\n\xc5sa \xd6" "berg\t17\t"
            "\r\nGuest\t1234\tWriting a text",
            ClipboardText());
}

TEST_F(ToolsListViewTest, EmptyListsGiveCaptionsOrNothing)
{
  AddColumns({"Conference", "Unread"});
  PutOtherTextOnClipboard();
  ASSERT_TRUE(CopyListViewToClipboard(FView, false));
  EXPECT_EQ("Conference\tUnread", ClipboardText());

  AddRow({"Only", "3"});
  ASSERT_TRUE(CopyListViewToClipboard(FView, true));
  EXPECT_EQ("", ClipboardText());

  EXPECT_FALSE(CopyListViewToClipboard(nullptr, false));
}
