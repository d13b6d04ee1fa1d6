// The note on the door with the program's windows standing: shown on top
// with the note's subject, date and joined paragraphs; Escape and a right
// click close it; "Don't show this message again" holds for the rest of the
// run; notes opened together cover no other; a note whose text is gone
// opens no window, or stays empty.
#include <winsock2.h>
#include <windows.h>

#include "../core/EngineSession.h"
#include "../main/MainTestSupport.h"
#include "../main/ProgramWithServer.h"
#include "ClientCaches.h"
#include "LyskomdServer.h"
#include "NoteOnDoorForm.h"
#include "Application.h"
#include "WindowInput.h"

namespace {

using namespace MainTest;
using TestSupport::TLyskomdServer;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

class NoteOnDoor : public TProgramWithServer
{
protected:
  void SetUp() override
  {
    TProgramWithServer::SetUp();
    ClearAllCaches();
  }
  void TearDown() override
  {
    ClearAllCaches();
    TProgramWithServer::TearDown();
  }
  // A conference whose note on the door is the text given.
  int DoorWithNote(const std::string& name, const std::string& note)
  {
    const int conf = Session->CreateConference(name);
    const int text = Session->TextTo(conf, note);
    TLKRequest motd(L_SET_CONF_MOTD, TRequestArgs().Int(conf).Int(text));
    EXPECT_TRUE(Session->Expect(motd));
    return conf;
  }
  static bool IsOpen(TForm* form)
  {
    const auto& all = Application().Forms();
    return std::find(all.begin(), all.end(), form) != all.end();
  }

};

TEST_F(NoteOnDoor, ShownOnTopAndClosedByEscapeOrRightClick)
{
  ShowMain();
  const int conf = DoorWithNote("Door One", "Away\nBack\nsoon.");
  TNoteOnDoorForm* form = ShowNoteOnDoor(conf);
  ASSERT_NE(form, nullptr);
  ASSERT_TRUE(WaitFor([&] { return form->NoteEdit->TextLength() > 0; }));
  EXPECT_TRUE(GetWindowLongA(form->HostHandle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  const std::string text = form->NoteEdit->Text();
  EXPECT_EQ(text.rfind("Away\r", 0), 0u) << text;
  EXPECT_NE(text.find("\rBack soon.\r"), std::string::npos) << text;
  EXPECT_EQ(form->NoteEdit->Color(), clInfoBk);

  PostMessageA(form->NoteEdit->Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_TRUE(WaitFor([&] { return !IsOpen(form); }));

  TNoteOnDoorForm* again = ShowNoteOnDoor(conf);
  ASSERT_NE(again, nullptr);
  Application().ProcessMessages();
  ASSERT_TRUE(TestSupport::PressButtonAt(again->NoteEdit->Handle(), 5, 5, true));
  EXPECT_TRUE(WaitFor([&] { return !IsOpen(again); }));
}

TEST_F(NoteOnDoor, DeclinedNoteStaysAwayForTheRun)
{
  ShowMain();
  const int conf = DoorWithNote("Door Two", "Busy\nDo not disturb.");
  TNoteOnDoorForm* form = ShowNoteOnDoor(conf);
  ASSERT_NE(form, nullptr);
  form->DontShowCheckBox->SetChecked(true);
  TestSupport::CloseWindow(form);
  Application().ProcessMessages();
  EXPECT_EQ(ShowNoteOnDoor(conf), nullptr);
  EXPECT_EQ(Application().FindForm("NoteOnDoorForm"), nullptr);
  // Other doors still show theirs.
  EXPECT_NE(ShowNoteOnDoor(DoorWithNote("Door Three", "Open\nCome in.")), nullptr);
}

// Notes that open together (a letter copies its writer, whose note opens
// too) each open where they cover no other, on the screen.
TEST_F(NoteOnDoor, NotesOpenedTogetherCoverNoOtherNote)
{
  ShowMain();
  std::vector<TNoteOnDoorForm*> notes;
  for (const char* door : {"Door Five", "Door Six", "Door Seven"}) {
    notes.push_back(ShowNoteOnDoor(DoorWithNote(door, std::string(door) + "\nOut.")));
    ASSERT_NE(notes.back(), nullptr) << door;
  }
  Application().ProcessMessages();
  RECT screen{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &screen, 0);
  std::vector<RECT> shown;
  for (TNoteOnDoorForm* note : notes) {
    ASSERT_TRUE(IsWindowVisible(note->HostHandle()));
    RECT r{};
    GetWindowRect(note->HostHandle(), &r);
    RECT inside{};
    IntersectRect(&inside, &r, &screen);
    EXPECT_TRUE(EqualRect(&inside, &r)) << "a note reaches beyond the screen";
    for (const RECT& other : shown) {
      RECT common{};
      EXPECT_FALSE(IntersectRect(&common, &r, &other)) << "one note covers another";
    }
    shown.push_back(r);
  }
  for (TNoteOnDoorForm* note : notes) TestSupport::CloseWindow(note);
}

TEST_F(NoteOnDoor, NoteWhoseTextIsGoneShowsNothing)
{
  ShowMain();
  const int conf = DoorWithNote("Door Four", "Soon gone\nx");
  TConferenceRef status = ConferenceByNumber(conf);
  ASSERT_TRUE(status && status->LoadStatus());
  const int note = status->GetMsgOfDay();
  TLKRequest remove(L_DELETE_TEXT, TRequestArgs().Int(note));
  ASSERT_TRUE(Session->Expect(remove));
  ClearAllCaches();
  EXPECT_EQ(ShowNoteOnDoor(conf), nullptr);

  // Opened all the same, the window stays empty.
  TNoteOnDoorForm* form = CreateForm<TNoteOnDoorForm>(&Application());
  ASSERT_TRUE(form->SetUp(conf));
  form->Show();
  EXPECT_FALSE(form->FillNote());
  EXPECT_EQ(form->NoteEdit->TextLength(), 0);
}

} // namespace
