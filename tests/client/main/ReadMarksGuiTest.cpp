// Texts read in the reading window are marked read on the server when the
// queue of read marks is flushed, in every main window that a process
// creates in turn (each test here has one of its own).
#include <windows.h>
#include <commctrl.h>

#include "../core/EngineSession.h"
#include "ClientCaches.h"
#include "ProgramWithServer.h"
#include "WindowMessages.h"

namespace {

using namespace MainTest;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

class ReadMarks : public TReadingProgram
{
protected:
  const char* WriterName() const override { return "Writer of marked texts"; }

  // A new conference with one text: the reading window lists it, a click
  // selects its row and Enter there reads the text. Answers what the server
  // then holds as read in it, once the queue is flushed.
  int ReadOneTextWithEnter(const std::string& conferenceName)
  {
    const int conf = Session->CreateConference(conferenceName);
    const int text = Author->TextTo(conf, "Marked\nRead with Enter.\n");
    LoadMembership(conf);
    RelistMemberships();
    TListView* list = ReadArticleForm->ConfListView;
    EXPECT_EQ(list->Count(), 1);
    if (list->Count() != 1) return -1;
    RECT r{};
    r.left = LVIR_LABEL;
    SendMessageA(list->Handle(), LVM_GETITEMRECT, 0, LPARAM(&r));
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageA(list->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(list->Handle(), WM_LBUTTONUP, 0, at);
    Application().ProcessMessages();
    EXPECT_EQ(GetFocus(), list->Handle());
    PostMessageA(GetFocus(), WM_KEYDOWN, VK_RETURN, 1);
    PostMessageA(GetFocus(), WM_KEYUP, VK_RETURN, LPARAM(0xC0000001));
    EXPECT_TRUE(WaitFor([&] { return list->Item(0)->ColumnText(3) == "0"; })) << "the text was not read";
    EXPECT_EQ(ReadArticleForm->CurrentText(), text);
    // The flush that the program makes every half minute.
    FlushMarkRead(true);
    TComPtr<ILKCollection> membership = Session->QueryMembership(conf);
    return membership ? int(LKInt(membership.Get(), "last_text_read")) : -1;
  }
};

TEST_F(ReadMarks, ReachTheServerFromTheFirstMainWindow)
{
  EXPECT_EQ(ReadOneTextWithEnter("Marked in the first window"), 1);
}

// Runs after the test above, whose main window has gone.
TEST_F(ReadMarks, ReachTheServerFromALaterMainWindowOfTheProcess)
{
  EXPECT_EQ(ReadOneTextWithEnter("Marked in a later window"), 1);
}

} // namespace
