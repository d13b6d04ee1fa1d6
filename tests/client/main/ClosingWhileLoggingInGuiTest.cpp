// Closing the real program at each moment of a login: Omnora.exe started
// against a seeded lyskomd through a relay that holds the server's answers
// back, closed as a person or "taskkill" closes it, and the server checked
// for what is left of its session.
#include "LoopbackRelay.h"
#include "ProgramJourneys.h"

namespace {

using namespace Journey;

auto* const Demo = testing::AddGlobalTestEnvironment(new TDemoServer);

// Closing the main window at any moment of a login ends the login and the
// program. The program reaches the server through a relay that holds the
// server's answers back at the chosen moment, so that the login waits there
// as it would for a slow server.
class ClosingWhileLoggingIn : public testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    // The program of the journeys before has gone.
    if (TDemoServer::EndJourneys) TDemoServer::EndJourneys();
    Admin = new TSession(TLyskomdServer::Host(), TDemoServer::Server->Port(), true, false);
    Relay = new TestSupport::TLoopbackRelay(TDemoServer::Server->Port());
    CopyProfile(RelayProfile);
    CopyProfile(NewcomerProfile, NewcomerName, "cecilia");
  }
  // The seeded profile with the relay's port, for Alice or another person.
  static void CopyProfile(const char* name, const std::string& user = {}, std::string password = {})
  {
    HKEY from = nullptr, to = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, ProfileKeyPath(ProfileName).c_str(), 0, KEY_READ, &from),
              ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, ProfileKeyPath(name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &to, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCopyTreeA(from, nullptr, to), ERROR_SUCCESS);
    auto set = [&](const char* value, const std::string& text) {
      EXPECT_EQ(RegSetValueExA(to, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), DWORD(text.size() + 1)),
                ERROR_SUCCESS);
    };
    set("Port", Relay->PortText());
    if (!user.empty()) {
      EncodeSavedPassword(password);
      set("User", user);
      set("Pwd", password);
    }
    RegCloseKey(from);
    RegCloseKey(to);
  }
  static void TearDownTestSuite()
  {
    RegDeleteTreeA(HKEY_CURRENT_USER, ProfileKeyPath(RelayProfile).c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER, ProfileKeyPath(NewcomerProfile).c_str());
    delete Relay;
    Relay = nullptr;
    delete Admin;
    Admin = nullptr;
  }
  void SetUp() override
  {
    Relay->Release();
    Relay->HoldAfterRequest(-1);
    ASSERT_TRUE(WaitUntil([] { return SessionsOf(*Admin, Alice) == 0 && Relay->OpenConnections() == 0; }))
      << "a session of an earlier test is still there";
  }
  void TearDown() override
  {
    ScreenshotOnFailure();
    Relay->Release();
  }

  // Omnora started to log in through the relay at once.
  static std::unique_ptr<TOmnora> Start(const char* profile = RelayProfile)
  {
    return std::make_unique<TOmnora>("-a -c \"" + std::string(profile) + "\"");
  }
  // The status line of the login's progress window ("" while there is none).
  static std::string Progress(const TOmnora& program)
  {
    for (HWND h : program.Windows())
      if (Caption(h) == "Omnora" && ClassOf(h) != "OmnoraFrame")
        for (HWND label : Descendants(h, "Static"))
          if (IsWindowVisible(label) && !ControlText(label).empty()) return ControlText(label);
    return {};
  }
  // Waits until the login shows that step and the relay holds the server's
  // answers.
  static testing::AssertionResult LoginWaitsAt(const TOmnora& program, const std::string& step)
  {
    if (!WaitUntil([&] { return Relay->Holding() && Progress(program) == step; }, 60000))
      return testing::AssertionFailure() << "the login shows \"" << Progress(program) << "\", not \"" << step << "\"";
    return testing::AssertionSuccess();
  }
  // Closes the main window as the window manager does, and waits for the
  // program's end: its exit code, or -1 when it is still running.
  static DWORD CloseAndWait(TOmnora& program)
  {
    HWND frame = program.Frame();
    if (!frame) return DWORD(-2);
    PostMessageA(frame, WM_CLOSE, 0, 0);
    return program.AwaitEnd();
  }
  // Whether the server lists no session of the program any more (its
  // connection through the relay is gone, and nobody is logged in as Alice).
  static testing::AssertionResult SessionGone()
  {
    if (!WaitUntil([] { return Relay->OpenConnections() == 0 && SessionsOf(*Admin, Alice) == 0; }))
      return testing::AssertionFailure() << "connections open: " << Relay->OpenConnections()
                                         << ", sessions of Alice: " << SessionsOf(*Admin, Alice);
    return testing::AssertionSuccess();
  }
  // The close that scripts/run sends ("wine taskkill /im Omnora.exe"),
  // aimed at this program by its process id: another program of the same
  // name may run beside it.
  static void Taskkill(const TOmnora& program)
  {
    std::string line = "taskkill.exe /pid " + std::to_string(program.ProcessId());
    STARTUPINFOA si{sizeof(si)};
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    CloseHandle(pi.hThread);
    WaitForSingleObject(pi.hProcess, 20000);
    CloseHandle(pi.hProcess);
  }

  static constexpr const char* RelayProfile = "Journeys through a slow relay";
  // A person of the demo data without a presentation: the login asks for one.
  static constexpr const char* NewcomerProfile = "Journeys of a newcomer";
  static inline const std::string NewcomerName = "Cecilia Carlsson";
  static inline TSession* Admin = nullptr;
  static inline TestSupport::TLoopbackRelay* Relay = nullptr;
};

TEST_F(ClosingWhileLoggingIn, RightAfterStartTheProgramEnds)
{
  auto program = Start();
  ASSERT_TRUE(program->Started());
  ASSERT_TRUE(WaitUntil([&] { return program->Frame() != nullptr; }, 60000));
  EXPECT_EQ(CloseAndWait(*program), 0u);
  EXPECT_TRUE(SessionGone());
}

TEST_F(ClosingWhileLoggingIn, WhileWaitingForTheServersGreetingTheProgramEnds)
{
  Relay->Hold();
  auto program = Start();
  ASSERT_TRUE(LoginWaitsAt(*program, "Waiting for initial negotiation..."));
  EXPECT_EQ(CloseAndWait(*program), 0u);
  EXPECT_TRUE(SessionGone());
}

TEST_F(ClosingWhileLoggingIn, AfterTheServerLoggedThePersonInTheSessionEnds)
{
  Relay->HoldAfterRequest(L_LOGIN);
  auto program = Start();
  ASSERT_TRUE(LoginWaitsAt(*program, "Logging on"));
  ASSERT_TRUE(WaitUntil([] { return SessionsOf(*Admin, Alice) == 1; })) << "the server did not log Alice in";
  EXPECT_EQ(CloseAndWait(*program), 0u);
  EXPECT_TRUE(SessionGone());
}

TEST_F(ClosingWhileLoggingIn, WhileTheMembershipsLoadTheSessionEnds)
{
  Relay->HoldAfterRequest(L_GET_MEMBERSHIP_10);
  auto program = Start();
  ASSERT_TRUE(LoginWaitsAt(*program, "Retrieving membership info"));
  EXPECT_EQ(SessionsOf(*Admin, Alice), 1);
  EXPECT_EQ(CloseAndWait(*program), 0u);
  EXPECT_TRUE(SessionGone());
}

TEST_F(ClosingWhileLoggingIn, WhileTheLoginAsksForAPresentationTheSessionEnds)
{
  auto program = Start(NewcomerProfile);
  HWND prompt = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (prompt = program->Window("Presenation")) != nullptr; }, 60000))
    << "the login asked for no presentation";
  EXPECT_EQ(SessionsOf(*Admin, Cecilia), 1);
  EXPECT_EQ(CloseAndWait(*program), 0u);
  EXPECT_TRUE(SessionGone());
  EXPECT_TRUE(WaitUntil([] { return SessionsOf(*Admin, Cecilia) == 0; }));
}

TEST_F(ClosingWhileLoggingIn, TaskkillWhileWaitingForTheServerEndsTheProgram)
{
  Relay->Hold();
  auto program = Start();
  ASSERT_TRUE(LoginWaitsAt(*program, "Waiting for initial negotiation..."));
  Taskkill(*program);
  EXPECT_EQ(program->AwaitEnd(), 0u);
  EXPECT_TRUE(SessionGone());
}

TEST_F(ClosingWhileLoggingIn, TaskkillWhileTheMembershipsLoadEndsTheSession)
{
  Relay->HoldAfterRequest(L_GET_MEMBERSHIP_10);
  auto program = Start();
  ASSERT_TRUE(LoginWaitsAt(*program, "Retrieving membership info"));
  Taskkill(*program);
  EXPECT_EQ(program->AwaitEnd(), 0u);
  EXPECT_TRUE(SessionGone());
}

TEST_F(ClosingWhileLoggingIn, TaskkillOnceLoggedInLogsOutAndEnds)
{
  auto program = Start();
  HWND reading = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (reading = program->Child("Read texts")) != nullptr; }, 60000));
  ASSERT_TRUE(WaitUntil([&] { return ConferenceRows(reading) > 0; }, 60000)) << "the login did not end";
  EXPECT_EQ(SessionsOf(*Admin, Alice), 1);
  Taskkill(*program);
  EXPECT_EQ(program->AwaitEnd(), 0u);
  EXPECT_TRUE(SessionGone());
}

} // namespace
