// The keyboard walk through the windows of the main window's Online menu
// that change conferences and persons, in the real program against a
// seeded lyskomd: each window opened from its menu (and from its key where
// it has one), walked with Tab and Shift+Tab, its access keys tried,
// cancelled with Escape (and the server shown unchanged) and filled in and
// confirmed with Enter (and the server shown changed): a conference
// created with its presentation, a member added, its properties changed, a
// password changed. Screenshots of the walk go to the tests' output.
#include "KeyboardWalk.h"

namespace {

using namespace Journey;

auto* const Demo = testing::AddGlobalTestEnvironment(new TDemoServer);

const char* const WalkConference = "Walk conference";

// The number of the conference with exactly that name, 0 when none.
int ConferenceNamed(TSession& session, const std::string& name)
{
  TLKRequest request(L_LOOKUP_Z_NAME, TRequestArgs().Str(name).Bool(false).Bool(true));
  if (request.SyncSend(session.Communication()) != TRequestOutcome::Answered) return -1;
  TComPtr<ILKCollection> list = LKSub(request.Response(), "result");
  for (long i = 0; i < LKCount(list.Get()); ++i) {
    TComPtr<ILKCollection> match = LKCollectionOf(LKItem(list.Get(), i).Get());
    if (LKString(match.Get(), "name") == name) return int(LKInt(match.Get(), "conf_no"));
  }
  return 0;
}

bool IsMember(TSession& session, int person, int conference)
{
  TLKRequest request(L_QUERY_READ_TEXTS, TRequestArgs().Int(person).Int(conference));
  return request.SyncSend(session.Communication()) == TRequestOutcome::Answered;
}

bool LogsIn(int person, const std::string& password)
{
  TSession session(TLyskomdServer::Host(), TDemoServer::Server->Port(), false, false);
  TLKRequest login(L_LOGIN, TRequestArgs().Int(person).Str(password).Bool(false));
  return login.SyncSend(session.Communication()) == TRequestOutcome::Answered;
}

class WalkConferences : public TJourney
{
protected:
  // The message box that a command shows when it is done, answered with Enter.
  static bool Acknowledged(const std::vector<HWND>& before, const std::string& text)
  {
    HWND box = Program->AwaitNewBox(before);
    if (!box) return false;
    EXPECT_NE(BoxText(box).find(text), std::string::npos) << "the box says " << BoxText(box);
    Keys("Return");
    return Closes(box);
  }
};

TEST_F(WalkConferences, ACreatedConferenceIsCancelledByEscapeAndMadeByEnterWithItsPresentation)
{
  HWND dialog = OpenFromReading("alt+n c n", "Create conference");
  ASSERT_NE(dialog, nullptr) << "Online > Conferences > Create new... opened nothing";
  Walk(*Program, dialog, "create-conference",
       {FieldBeside('n', "&Name:", "Edit"), Ticks('o', "&Open for everyone"), Ticks('c', "Allow &comments"),
        Ticks('s', "&Secret"), Ticks('a', "Allow &anonymous texts")});
  // A name typed and Escape: the dialog goes and nothing is made.
  Keys("alt+n");
  TypeText("Walked away");
  Keys("Escape");
  ASSERT_TRUE(Closes(dialog)) << "Escape kept the dialog";
  EXPECT_EQ(ConferenceNamed(*Admin, "Walked away"), 0);

  // Again, filled in: its name, anonymous texts allowed, Enter.
  dialog = OpenFromReading("alt+n c n", "Create conference");
  ASSERT_NE(dialog, nullptr);
  HWND name = Program->FocusedControl();
  EXPECT_EQ(ControlText(name), "") << "the name of the dialog before was kept";
  TypeText(WalkConference);
  Keys("alt+a Return");
  int conference = 0;
  ASSERT_TRUE(WaitUntil([&] { return (conference = ConferenceNamed(*Admin, WalkConference)) > 0; }))
    << "no conference was made";
  TComPtr<ILKCollection> status = ConferenceStatus(*Admin, conference);
  ASSERT_TRUE(status);
  EXPECT_EQ(LKString(status.Get(), "type.allow_anonymous"), "1");
  EXPECT_EQ(LKString(status.Get(), "type.rd_prot"), "0");
  // The server makes the conference, then the program makes Alice a member.
  EXPECT_TRUE(WaitUntil([&] { return IsMember(*Admin, Alice, conference); })) << "Alice is no member";

  // Its presentation is written next, in the editor: walked, written, sent.
  HWND editor = AwaitWindow("Write text");
  ASSERT_NE(editor, nullptr) << "no editor for the presentation";
  Walk(*Program, editor, "presentation-editor");
  // The subject, then Enter into the body.
  for (int i = 0; i < 5 && ClassOf(Program->FocusedControl()) != "Edit"; ++i) Keys("shift+Tab");
  ASSERT_EQ(ClassOf(Program->FocusedControl()), "Edit");
  EXPECT_EQ(ControlText(Program->FocusedControl()), WalkConference);
  Keys("Return");
  ASSERT_TRUE(WaitUntil([] { return ClassOf(Program->FocusedControl()) == "RichEdit20A"; }));
  TypeText("A conference walked by keys.");
  const std::vector<HWND> before = Program->Windows();
  Keys("ctrl+Return");
  // Alice is no member of where presentations go: she is asked whether to
  // add herself, and says no.
  HWND question = Program->AwaitNewBox(before);
  ASSERT_NE(question, nullptr) << "nothing was asked";
  EXPECT_EQ(BoxText(question), "\"Omnora: Commented user [6] Alice Andersson is not a member of any of the recipient "
                               "conferences. Add user as recipient?\"");
  EXPECT_TRUE(ShowsWhole(question));
  Keys("n");
  EXPECT_TRUE(Closes(editor)) << "the editor stayed open";
  ASSERT_TRUE(WaitUntil([&] {
    status = ConferenceStatus(*Admin, conference);
    return status && LKInt(status.Get(), "presentation") > 0;
  })) << "the conference has no presentation";
  EXPECT_EQ(TextOnServer(*Admin, int(LKInt(status.Get(), "presentation"))),
            std::string(WalkConference) + "\nA conference walked by keys.");
}

TEST_F(WalkConferences, AMemberIsAddedByKeysAndEscapeAddsNone)
{
  const int conference = ConferenceNamed(*Admin, WalkConference);
  ASSERT_GT(conference, 0);
  ASSERT_FALSE(IsMember(*Admin, Cecilia, conference));
  HWND dialog = OpenFromReading("alt+n c a", "Add member to conference");
  ASSERT_NE(dialog, nullptr) << "Online > Conferences > Add member... opened nothing";
  Walk(*Program, dialog, "add-member",
       {FieldInside('u', "&User", "RichEdit20A"), FieldInside('c', "&Conference", "RichEdit20A")});
  Keys("alt+u");
  TypeText(CeciliaName);
  Keys("alt+c");
  TypeText(WalkConference);
  Keys("Escape");
  ASSERT_TRUE(Closes(dialog));
  EXPECT_FALSE(IsMember(*Admin, Cecilia, conference));

  dialog = OpenFromReading("alt+n c a", "Add member to conference");
  ASSERT_NE(dialog, nullptr);
  TypeText(CeciliaName);
  Keys("Tab");
  TypeText(WalkConference);
  const std::vector<HWND> before = Program->Windows();
  Keys("Return");
  EXPECT_TRUE(Acknowledged(before, "Operation Add Member successful"));
  EXPECT_TRUE(WaitUntil([&] { return IsMember(*Admin, Cecilia, conference); })) << "Cecilia is no member";
}

TEST_F(WalkConferences, ConferencePropertiesOpenFromTheirKeyAndChangeOnlyOnOk)
{
  const int conference = ConferenceNamed(*Admin, WalkConference);
  ASSERT_GT(conference, 0);
  const long nice = LKInt(ConferenceStatus(*Admin, conference).Get(), "nice");
  ASSERT_NE(nice, 7);

  // Shift+Alt+Enter asks which conference.
  HWND prompt = OpenFromReading("shift+alt+Return", "Edit conference properties");
  ASSERT_NE(prompt, nullptr) << "Shift+Alt+Enter asked nothing";
  Walk(*Program, prompt, "conference-properties-prompt", {FieldInside('n', "&Name", "RichEdit20A")});
  Keys("alt+n");
  TypeText(WalkConference);
  Keys("Return");
  HWND window = AwaitWindow("Conference attributes");
  ASSERT_NE(window, nullptr);
  Walk(*Program, window, "conference-attributes",
       {ReadFieldBeside('n', "&Name:", "Edit"), Ticks('c', "&Closed conference"), Ticks('s', "&Secret"),
        Ticks('c', "No &comments"), Ticks('a', "Allow &anonymous texts"), Ticks('c', "Forbid se&cret"),
        Ticks('l', "&Letterbox"), FieldInside('v', "Super&visor", "RichEdit20A"),
        FieldInside('u', "S&uper conf", "RichEdit20A"), FieldBeside('g', "&Garb days:", "Edit")});
  Keys("alt+g");
  TypeText("7");
  Keys("Escape");
  ASSERT_TRUE(Closes(window)) << "Escape kept the window";
  EXPECT_EQ(LKInt(ConferenceStatus(*Admin, conference).Get(), "nice"), nice);

  // From the menu, the garbage days changed and Enter.
  prompt = OpenFromReading("alt+n c p", "Edit conference properties");
  ASSERT_NE(prompt, nullptr) << "Online > Conferences > Conference properties asked nothing";
  TypeText(WalkConference);
  Keys("Return");
  window = AwaitWindow("Conference attributes");
  ASSERT_NE(window, nullptr);
  Keys("alt+g");
  TypeText("7");
  Keys("Return");
  EXPECT_TRUE(Closes(window)) << "Enter kept the window";
  EXPECT_TRUE(WaitUntil([&] { return LKInt(ConferenceStatus(*Admin, conference).Get(), "nice") == 7; }));
}

TEST_F(WalkConferences, APasswordIsChangedByKeysAndEscapeKeepsTheOld)
{
  HWND dialog = OpenFromReading("alt+n u p", "Change password");
  ASSERT_NE(dialog, nullptr) << "Online > Users > Change password... opened nothing";
  // It opens on the user's own name.
  EXPECT_EQ(ControlText(Program->FocusedControl()), AliceName);
  Walk(*Program, dialog, "change-password",
       {FieldInside('n', "&Name", "RichEdit20A"), FieldBeside('p', "&Password:", "Edit"),
        FieldBeside('c', "&Confirm pwd:", "Edit"), FieldBeside('o', "&Old pwd:", "Edit")});
  Keys("alt+p");
  TypeText("walked");
  Keys("alt+c");
  TypeText("walked");
  Keys("alt+o");
  TypeText(AlicePassword);
  Keys("Escape");
  ASSERT_TRUE(Closes(dialog));
  EXPECT_TRUE(LogsIn(Alice, AlicePassword));

  dialog = OpenFromReading("alt+n u p", "Change password");
  ASSERT_NE(dialog, nullptr);
  Keys("Tab");
  TypeText("walked");
  Keys("Tab");
  TypeText("walked");
  Keys("Tab");
  TypeText(AlicePassword);
  const std::vector<HWND> before = Program->Windows();
  Keys("Return");
  EXPECT_TRUE(Acknowledged(before, "Successfuly changed password!"));
  EXPECT_TRUE(LogsIn(Alice, "walked"));
  EXPECT_FALSE(LogsIn(Alice, AlicePassword));
}

TEST_F(WalkConferences, DeletingAsksAndNoKeepsTheConference)
{
  const int conference = ConferenceNamed(*Admin, WalkConference);
  ASSERT_GT(conference, 0);
  HWND prompt = OpenFromReading("alt+n c d", "Delete what conference or person?");
  ASSERT_NE(prompt, nullptr) << "Online > Conferences > Delete existing... asked nothing";
  TypeText(WalkConference);
  const std::vector<HWND> before = Program->Windows();
  Keys("Return");
  HWND question = Program->AwaitNewBox(before);
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(BoxText(question), "\"Omnora: This will permanently delete conference [" + std::to_string(conference) +
                                 "] Walk conference.\r\nAre you sure?\"");
  EXPECT_TRUE(ShowsWhole(question));
  ShowWalk("delete-question");
  Keys("n");
  EXPECT_TRUE(Closes(question));
  EXPECT_EQ(ConferenceNamed(*Admin, WalkConference), conference);
}

} // namespace
