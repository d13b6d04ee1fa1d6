// Journeys through the real program: Omnora.exe, started against a lyskomd
// that holds the demo data, driven from outside with real input on the
// test's X display (xdotool moves the pointer and presses keys through the
// X server, as a keyboard and a mouse do). What the program did is checked
// where anyone can see it: on the server, through engine sessions of the
// test's own, and in the program's windows (their captions, places, the
// control that has the focus, the texts they show), never inside it.
//
// The journeys run in order on one program: logged in, reading with the
// blank key, a comment written (and Escape answered No on the way), a
// message sent from a chat and from the messages window, windows opened
// from their menus and keys. What was read reaches the server when the
// session ends (the marks queued meanwhile go out before it logs off), so
// the journeys that read end their session to look there.
#include "ProgramJourneys.h"

namespace {

using namespace Journey;

auto* const Demo = testing::AddGlobalTestEnvironment(new TDemoServer);

class Journeys : public TJourney
{
protected:
  // Whether the window with that caption (inside the main window or free)
  // comes to show whole: one just opened shows a moment before it is laid
  // out in its place.
  static testing::AssertionResult ComesWhole(const std::string& caption)
  {
    const bool whole = WaitUntil([&] { return bool(ShowsWhole(Program->ChildOrWindow(caption))); });
    if (whole) return testing::AssertionSuccess();
    return ShowsWhole(Program->ChildOrWindow(caption)) << " (\"" << caption << "\")";
  }
};

TEST_F(Journeys, StartsLoggedInWithTheProfileNamed)
{
  EXPECT_EQ(SessionsOf(*Admin, Alice), 1);
  EXPECT_TRUE(ShowsWhole(Frame));
  for (const char* caption : {"Read texts", "Active users", "Send message"}) {
    HWND child = Program->Child(caption);
    ASSERT_NE(child, nullptr) << caption;
    EXPECT_TRUE(ShowsWhole(child)) << caption;
  }
}

// The letter first, then the demo conference's welcome with its footnote
// shown within it, then the first comment to the welcome.
TEST_F(Journeys, ReadsThreeTextsWithTheBlankKeyAndTheServerMarksThemRead)
{
  const TReadTexts before = ReadTexts(*Admin, Alice);
  ASSERT_TRUE(Program->Activate(Reading));
  ASSERT_TRUE(ReadNextWithBlank(DinnerLetter));
  ASSERT_TRUE(ReadNextWithBlank(Welcome, {WelcomeFootnote}));
  ASSERT_TRUE(ReadNextWithBlank(WelcomeThanks));
  ASSERT_TRUE(Disconnect());
  EXPECT_TRUE(MarkedReadSince(*Admin, Alice, before, {DinnerLetter, Welcome, WelcomeFootnote, WelcomeThanks}));
  ASSERT_TRUE(Connect());
}

TEST_F(Journeys, WritesACommentFromItsKeyAndTheServerHoldsIt)
{
  const int last = LastText(*Admin);
  ASSERT_GT(last, 0);
  ASSERT_TRUE(Program->Activate(Reading));
  ASSERT_TRUE(ReadNextWithBlank(WelcomeReply));

  Keys("k");
  HWND editor = AwaitWindow("Write text");
  ASSERT_NE(editor, nullptr) << "the editor did not open on k";
  EXPECT_TRUE(ShowsWhole(editor));
  // A comment starts in the body, under the commented text's subject.
  ASSERT_TRUE(WaitUntil([] { return ClassOf(Program->Focus().hwndFocus) == "RichEdit20A"; }))
    << "the focus is in a " << ClassOf(Program->Focus().hwndFocus);
  HWND body = Program->Focus().hwndFocus;
  Keys("shift+Tab");
  ASSERT_TRUE(WaitUntil([] { return ClassOf(Program->Focus().hwndFocus) == "Edit"; }));
  HWND subject = Program->Focus().hwndFocus;
  Keys("End shift+Home");
  TypeText("Journey comment");
  Keys("Return");
  ASSERT_TRUE(WaitUntil([&] { return Program->Focus().hwndFocus == body; }));
  TypeText("Written on the keyboard.");
  ASSERT_TRUE(WaitUntil([&] { return ControlText(body).find("Written on the keyboard.") != std::string::npos; }));
  EXPECT_EQ(ControlText(subject), "Journey comment");

  Keys("ctrl+Return");
  EXPECT_TRUE(WaitUntil([] { return Program->Window("Write text") == nullptr; })) << "the editor stayed open";
  ASSERT_TRUE(WaitUntil([&] { return LastText(*Admin) == last + 1; })) << "no new text on the server";
  const int comment = last + 1;
  EXPECT_EQ(TextOnServer(*Admin, comment), "Journey comment\nWritten on the keyboard.");
  TComPtr<ILKCollection> status = TextStatus(*Admin, comment);
  ASSERT_TRUE(status);
  EXPECT_EQ(LKInt(status.Get(), "author"), Alice);
  EXPECT_EQ(CommentedBy(status.Get()), std::vector<int>{WelcomeReply});
}

TEST_F(Journeys, EscapeInTheEditorAsksAndKeepsTheTextWhenAnsweredNo)
{
  const int last = LastText(*Admin);
  ASSERT_TRUE(Program->Activate(Reading));
  Keys("k");
  HWND editor = AwaitWindow("Write text");
  ASSERT_NE(editor, nullptr);
  // The focus settles in the text's body (a field that takes line breaks).
  HWND body = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    body = Program->Focus().hwndFocus;
    return IsChild(editor, body) && ClassOf(body) == "RichEdit20A" &&
           (GetWindowLongPtrA(body, GWL_STYLE) & ES_WANTRETURN);
  })) << "the focus is in a " << ClassOf(body);
  TypeText("Kept after Escape.");
  ASSERT_TRUE(WaitUntil([&] { return ControlText(body).find("Kept after Escape.") != std::string::npos; }));
  const std::vector<HWND> before = Program->Windows();

  Keys("Escape");
  // The editor asks before it lets the text go.
  HWND question = Program->AwaitNewBox(before);
  ASSERT_NE(question, nullptr) << "Escape asked nothing";
  EXPECT_EQ(BoxText(question), "\"Omnora: Really trash this text?\"");
  EXPECT_TRUE(ShowsWhole(question));
  Keys("n");
  ASSERT_TRUE(Closes(question)) << "n did not answer the question";
  EXPECT_TRUE(IsWindowVisible(editor));
  EXPECT_NE(ControlText(body).find("Kept after Escape."), std::string::npos);
  EXPECT_EQ(LastText(*Admin), last);

  ASSERT_TRUE(WaitUntil([&] { return Program->FocusIn(editor); }));
  Keys("ctrl+Return");
  ASSERT_TRUE(WaitUntil([&] { return LastText(*Admin) == last + 1; }));
  EXPECT_NE(TextOnServer(*Admin, last + 1).find("Kept after Escape."), std::string::npos);
  // Still a comment to the text shown.
  EXPECT_EQ(CommentedBy(TextStatus(*Admin, last + 1).Get()), std::vector<int>{WelcomeReply});
}

TEST_F(Journeys, WindowsOpenFromTheirKeysAndMenusAndShowWhole)
{
  ASSERT_TRUE(Program->Activate(Reading));
  // Keys of the main window's commands.
  Keys("shift+ctrl+m");
  EXPECT_TRUE(WaitUntil([] { return Program->Child("Marked texts") != nullptr; })) << "Shift+Ctrl+M";
  EXPECT_TRUE(ComesWhole("Marked texts"));
  Keys("shift+ctrl+f");
  EXPECT_TRUE(WaitUntil([] { return Program->Child("Find texts") != nullptr; })) << "Shift+Ctrl+F";
  EXPECT_TRUE(ComesWhole("Find texts"));

  // A key of the reading window's key mapping: "v" shows who is on.
  ASSERT_TRUE(Program->Activate(Reading));
  Keys("v");
  EXPECT_TRUE(WaitUntil([] { return Program->ActiveChild() == Program->Child("Active users"); })) << "v";
  EXPECT_TRUE(ComesWhole("Active users"));

  // Menus of the menu bar, by their access keys.
  ASSERT_TRUE(Program->Activate(Reading));
  Keys("alt+n t f");
  EXPECT_TRUE(WaitUntil([] { return Program->Children("Find texts").size() == 2; })) << "Online > Texts > Find text";
  ASSERT_TRUE(Program->Activate(Reading));
  Keys("alt+h s");
  EXPECT_TRUE(WaitUntil([] { return Program->ChildOrWindow("Statisitics") != nullptr; })) << "Help > Statistics";
  EXPECT_TRUE(ComesWhole("Statisitics"));

  ASSERT_TRUE(Program->Activate(Frame));
  Keys("alt+h a");
  HWND about = AwaitWindow("About");
  ASSERT_NE(about, nullptr) << "Help > About";
  EXPECT_TRUE(ShowsWhole(about));
  for (HWND button : Descendants(about, "Button"))
    if (Caption(button) == "OK") ClickAt(Centre(button));
  EXPECT_TRUE(WaitUntil([] { return Program->Window("About") == nullptr; }));

  ASSERT_TRUE(Program->Activate(Frame));
  Keys("alt+t w");
  HWND settings = AwaitWindow("Window settings");
  ASSERT_NE(settings, nullptr) << "Tools > Window settings...";
  EXPECT_TRUE(ShowsWhole(settings));
  for (HWND button : Descendants(settings, "Button"))
    if (Caption(button) == "Cancel") ClickAt(Centre(button));
  EXPECT_TRUE(WaitUntil([] { return Program->Window("Window settings") == nullptr; }));
}

class MessageJourney : public Journeys
{
protected:
  void SetUp() override
  {
    Journeys::SetUp();
    if (HasFatalFailure()) return;
    Listener = NewSession(Bertil, "bertil");
    Heard = TComPtr<TestSupport::TEventRecorder>(new TestSupport::TEventRecorder());
    LONG cookie = -1;
    ASSERT_EQ(
      Listener->Communication()->Advise(LKEVTYPE_TRANS_ASYNC, static_cast<ILKComEvent*>(Heard.Get()), &cookie), S_OK);
    TLKRequest accept(L_ACCEPT_ASYNC, TRequestArgs().Ints({ASYNC_SEND_MESSAGE}));
    ASSERT_TRUE(Listener->Expect(accept));
  }
  void TearDown() override
  {
    if (Program)
      for (HWND chat : Program->Children("Send message"))
        if (chat != Messages) PostMessageA(chat, WM_CLOSE, 0, 0);
    Listener.reset();
    Journeys::TearDown();
  }

  // The messages from Alice that reached Bertil, each with whom it was
  // sent to (him alone, a conference, or everyone: 0).
  using TMessages = std::vector<std::pair<int, std::string>>;
  TMessages Received()
  {
    TMessages messages;
    for (const auto& e : Heard->Events())
      if (TestSupport::QueryInt(e.Data.Get(), "Event") == ASYNC_SEND_MESSAGE &&
          TestSupport::QueryInt(e.Data.Get(), "sender") == Alice)
        messages.emplace_back(int(TestSupport::QueryInt(e.Data.Get(), "recipient")),
                              TestSupport::QueryString(e.Data.Get(), "message"));
    return messages;
  }
  // Waits for the message that came after the first heard ones: the one
  // text, sent to Bertil alone.
  testing::AssertionResult HeardAlone(size_t heard, const std::string& text)
  {
    if (!WaitUntil([&] { return Received().size() > heard; }))
      return testing::AssertionFailure() << "Bertil heard nothing";
    const TMessages messages = Received();
    const TMessages expected{{Bertil, text}};
    if (TMessages(messages.begin() + long(heard), messages.end()) != expected)
      return testing::AssertionFailure() << "Bertil heard \"" << messages.back().second << "\" sent to "
                                         << messages.back().first << " (and " << messages.size() - heard - 1
                                         << " more), not \"" << text << "\" sent to him alone";
    return testing::AssertionSuccess();
  }

  // Messages > Chat... in the messages window, asked for Bertil; answers
  // the name dialog once the name is typed.
  HWND AskForChat()
  {
    if (!Program->Activate(Messages)) return nullptr;
    Keys("alt+m c");
    return AwaitWindow("Chat");
  }

  // The chat window that opened and took the focus.
  static HWND NewChatWindow()
  {
    HWND chat = nullptr;
    WaitUntil([&] {
      for (HWND w : Program->Children("Send message"))
        if (w != Messages && Program->FocusIn(w)) chat = w;
      return chat != nullptr;
    });
    return chat;
  }

  // Sends from the chat window that has the focus, and waits for Bertil.
  void SendFromChat(HWND chat, const std::string& text)
  {
    // The partner is fixed and shown; then the focus waits in the write
    // area (the one field there to type in).
    HWND partner = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
      for (HWND edit : Descendants(chat, "RichEdit20A"))
        if (ControlText(edit) == BertilName && !IsWindowEnabled(edit)) partner = edit;
      return partner != nullptr;
    })) << "the chat shows no fixed partner";
    HWND focus = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
      focus = Program->Focus().hwndFocus;
      return ClassOf(focus) == "RichEdit20A" && IsChild(chat, focus) && IsWindowEnabled(focus);
    })) << "the focus is in a " << ClassOf(focus);
    EXPECT_NE(partner, focus);
    const size_t heard = Received().size();
    TypeText(text);
    ASSERT_TRUE(WaitUntil([&] { return ControlText(focus) == text; })) << ControlText(focus);
    Keys("ctrl+Return");
    EXPECT_TRUE(HeardAlone(heard, text));
    EXPECT_TRUE(WaitUntil([&] { return ControlText(focus).empty(); }));
  }

  std::unique_ptr<TSession> Listener;  // Bertil, on a connection of the test's
  TComPtr<TestSupport::TEventRecorder> Heard;
};

TEST_F(MessageJourney, AChatMessageReachesTheOtherPerson)
{
  HWND dialog = AskForChat();
  ASSERT_NE(dialog, nullptr) << "Messages > Chat... asked nothing";
  EXPECT_TRUE(ShowsWhole(dialog));
  TypeText(BertilName);
  HWND ok = nullptr;
  for (HWND button : Descendants(dialog, "Button"))
    if (Caption(button) == "Ok") ok = button;
  ASSERT_NE(ok, nullptr);
  ClickAt(Centre(ok));
  HWND chat = NewChatWindow();
  ASSERT_NE(chat, nullptr) << "no chat window took the focus";
  EXPECT_TRUE(ShowsWhole(chat));
  SendFromChat(chat, "Hello Bertil, from the chat window.");
}

// Enter on the name dialog's field takes the name.
TEST_F(MessageJourney, EnterInTheNameDialogOpensTheChat)
{
  HWND dialog = AskForChat();
  ASSERT_NE(dialog, nullptr);
  TypeText(BertilName);
  Keys("Return");
  HWND chat = NewChatWindow();
  ASSERT_NE(chat, nullptr) << "Enter did not take the name";
  SendFromChat(chat, "Hello again, after Enter.");
}

// Tab leaves the name field for the write area.
TEST_F(MessageJourney, AMessageWrittenInTheMessagesWindowReachesTheOtherPerson)
{
  // The window opens on its name field while no name is chosen.
  ASSERT_TRUE(Program->Activate(Messages));
  HWND name = Program->Focus().hwndFocus;
  ASSERT_EQ(ControlText(name), "");
  TypeText(BertilName);
  ASSERT_TRUE(WaitUntil([&] { return ControlText(name) == BertilName; })) << ControlText(name);
  Keys("Tab");
  ASSERT_TRUE(WaitUntil([&] {
    HWND focus = Program->Focus().hwndFocus;
    return focus != name && ClassOf(focus) == "RichEdit20A" && ControlText(focus).empty();
  }, 5000)) << "Tab did not reach the write area";
  EXPECT_EQ(ControlText(name), BertilName);
  const size_t heard = Received().size();
  TypeText("Hello from the messages window.");
  Keys("ctrl+Return");
  EXPECT_TRUE(HeardAlone(heard, "Hello from the messages window."));
}

// Session > Disconnect, then Session > Connect through the login dialog:
// the new session reports what is read as the first one did.
class ReconnectJourney : public Journeys
{
};

TEST_F(ReconnectJourney, TextsReadAfterConnectingAgainAreMarkedReadOnTheServer)
{
  ASSERT_TRUE(Disconnect());
  ASSERT_TRUE(Connect());
  const TReadTexts before = ReadTexts(*Admin, Alice);
  ASSERT_TRUE(Program->Activate(Reading));
  // The demo conference is read: the books conference comes next.
  ASSERT_TRUE(ReadNextWithBlank(GoodBook));
  ASSERT_TRUE(Disconnect());
  EXPECT_TRUE(MarkedReadSince(*Admin, Alice, before, {GoodBook}));
  // The journeys after it close a program that is logged in.
  ASSERT_TRUE(Connect());
}

// Last of the journeys on the program started with "-a".
class JourneysEnd : public Journeys
{
};

TEST_F(JourneysEnd, ClosingTheMainWindowLogsOutAndEnds)
{
  const DWORD code = Program->Close();
  EndProgram();
  Ended = true;
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(WaitUntil([] { return SessionsOf(*Admin, Alice) == 0; })) << "Alice is still logged in";
}

// Without "-a" the program waits; Enter in the reading window connects
// through the login dialog, which opens on the profile named with "-c" and
// its password, and Enter there logs in.
class LoginJourney : public testing::Test
{
protected:
  void TearDown() override { ScreenshotOnFailure(); }
};

TEST_F(LoginJourney, EnterLogsInThroughTheLoginDialog)
{
  // The program of the journeys before has gone.
  if (TDemoServer::EndJourneys) TDemoServer::EndJourneys();
  TSession admin(TLyskomdServer::Host(), TDemoServer::Server->Port(), true, false);
  ASSERT_TRUE(WaitUntil([&] { return SessionsOf(admin, Alice) == 0; }));
  TOmnora program(std::string("-c \"") + ProfileName + "\"");
  ASSERT_TRUE(program.Started());
  HWND frame = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (frame = program.Frame()) != nullptr && Caption(frame) == "Omnora"; }, 60000));
  HWND reading = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (reading = program.Child("Read texts")) != nullptr; }));
  ASSERT_TRUE(program.Activate(reading));
  Keys("Return");
  HWND login = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (login = program.Window("Login")) != nullptr && program.FocusIn(login); }))
    << "Enter opened no login dialog";
  EXPECT_TRUE(ShowsWhole(login));
  Keys("Return");
  EXPECT_TRUE(WaitUntil([&] { return Caption(frame) == MainCaption; }, 60000)) << Caption(frame);
  EXPECT_TRUE(WaitUntil([&] { return SessionsOf(admin, Alice) == 1; }, 60000));
  // Closed once the login is through: the conferences are listed.
  EXPECT_TRUE(WaitUntil([&] { return ConferenceRows(reading) > 0; }, 60000)) << "the conferences were not listed";
  EXPECT_EQ(program.Close(), 0u);
}

} // namespace
