// The choose-name window over matches from a real lyskomd: rows at once,
// dates and counts filled in by its worker (also when a worker thread opened
// the window), the filter, Ok without a row, and closing while the worker
// still fills.
#include <atomic>

#include "ChooseNameForm.h"
#include "ClientCaches.h"
#include "EngineClient.h"
#include "LKRequest.h"
#include "LyskomdServer.h"
#include "MainTestSupport.h"
#include "ModalScript.h"
#include "ProtocolText.h"
#include "Threads.h"

namespace {

using namespace MainTest;
using TestSupport::TLyskomdServer;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

class ChooseName : public testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    Server = new TLyskomdServer();
    Server->Start();
  }
  static void TearDownTestSuite()
  {
    delete Server;
    Server = nullptr;
  }
  void SetUp() override
  {
    Comm = TestSupport::ConnectedCommunication(TLyskomdServer::Host(), Server->PortText(), "test");
    ASSERT_TRUE(Comm);
    ASSERT_EQ(CoCreateInstance(CLSID_LKCache, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ILKCache), Cache.PutVoid()),
              S_OK);
    Cache->Init(Comm.Get());
    TComPtr<ILKCommunication> comm = Comm;
    TComPtr<ILKCache> cache = Cache;
    SetEngineObjectSource([comm] { return comm; }, [cache] { return cache; });
    ClearAllCaches();
    TLKRequest login(L_LOGIN, "5 6Hgazonk 0");
    ASSERT_EQ(login.SyncSend(Comm.Get()), TRequestOutcome::Answered);
  }
  void TearDown() override
  {
    ClearAllCaches();
    ClearEngineObjectSource();
    VARIANT_BOOL done = VARIANT_FALSE;
    Comm->Disconnect(&done);
  }
  int NewConference(const std::string& name)
  {
    TLKRequest r(L_CREATE_CONF, TRequestArgs().Str(name).Bits("00000000"));
    EXPECT_EQ(r.SyncSend(Comm.Get()), TRequestOutcome::Answered);
    return int(LKInt(r.Response(), "result"));
  }
  static std::vector<TNameMatch> MatchesOf(const std::vector<std::pair<std::string, int>>& list)
  {
    std::vector<TNameMatch> matches;
    for (const auto& [name, number] : list) {
      TNameMatch m;
      m.Name = name;
      m.ConfNo = number;
      matches.push_back(m);
    }
    return matches;
  }

  TComPtr<ILKCommunication> Comm;
  TComPtr<ILKCache> Cache;
  inline static TLyskomdServer* Server = nullptr;
};

TEST_F(ChooseName, RowsAreFilledInTheBackgroundAndFilteredRegardlessOfCase)
{
  const int a = NewConference("GARDEN Club");
  const int b = NewConference("Kitchen Club");
  TModalScript script;
  script.Then<TChooseNameForm>("ChooseNameForm", [a](TChooseNameForm* f) {
    ASSERT_EQ(f->ListView1->Count(), 2);
    EXPECT_EQ(f->ListView1->Item(0)->ColumnText(5), std::to_string(a));
    // The worker fills the counts: the administrator created both, no member yet.
    EXPECT_TRUE(WaitFor([f] { return f->ListView1->Item(1)->ColumnText(3) == "0"; }));
    EXPECT_FALSE(f->ListView1->Item(0)->ColumnText(2).empty());
    f->FilterEdit->SetText("garden");
    ASSERT_EQ(f->ListView1->Count(), 1);
    EXPECT_EQ(f->ListView1->Item(0)->Caption(), "GARDEN Club");
    f->ListView1->Item(0)->SetSelected(true);
    TModalScript::Click(f->OkButton);
  });
  script.Start();
  EXPECT_EQ(ExecuteChooseName(MatchesOf({{"GARDEN Club", a}, {"Kitchen Club", b}})), a);
  EXPECT_TRUE(script.Done());
}

TEST_F(ChooseName, OkWithoutARowGivesNoneAndCancelGivesCancelled)
{
  TModalScript ok;
  ok.Then<TChooseNameForm>("ChooseNameForm", [](TChooseNameForm* f) { TModalScript::Click(f->OkButton); });
  ok.Start();
  EXPECT_EQ(ExecuteChooseName(MatchesOf({{"One", 1}, {"Two", 2}})), 0);
  TModalScript cancel;
  cancel.Then<TChooseNameForm>("ChooseNameForm", [](TChooseNameForm* f) { TModalScript::Click(f->CancelButton); });
  cancel.Start();
  EXPECT_EQ(ExecuteChooseName(MatchesOf({{"One", 1}, {"Two", 2}})), -1);
}

TEST_F(ChooseName, ClosingWhileTheWorkerFillsNeitherHangsNorCrashes)
{
  std::vector<std::pair<std::string, int>> many;
  for (int i = 0; i < 40; ++i) many.emplace_back("Conference " + std::to_string(i), 1 + i % 4);
  TModalScript script;
  script.Then<TChooseNameForm>("ChooseNameForm", [](TChooseNameForm* f) { TModalScript::Click(f->CancelButton); });
  script.Start();
  EXPECT_EQ(ExecuteChooseName(MatchesOf(many)), -1);
}

TEST_F(ChooseName, AnAmbiguousLookupAsksThroughTheWindow)
{
  const int a = NewConference("Twin Alpha");
  NewConference("Twin Beta");
  SetNameChooser(ExecuteChooseName);
  TModalScript script;
  script.Then<TChooseNameForm>("ChooseNameForm", [](TChooseNameForm* f) {
    ASSERT_EQ(f->ListView1->Count(), 2);
    f->ListView1->Item(0)->SetSelected(true);
    TModalScript::Click(f->OkButton);
  });
  script.Start();
  EXPECT_EQ(LookupName("Twin", ctConferences), a);
  SetNameChooser(TNameChooser());
}

// A lookup on a worker, as the login thread makes one: the window opens
// through the worker's synchronised call.
class TLookupThread : public TThread
{
public:
  explicit TLookupThread(std::string name) : FName(std::move(name)), FWake(Application().UtilityWindow()) {}
  ~TLookupThread() override
  {
    Terminate();
    WaitFor();
  }
  // 0 until the lookup has answered.
  std::atomic<int> Chosen{0};

protected:
  void Execute() override
  {
    Chosen = LookupName(FName, ctConferences);
    // Wakes the window thread's loop, which waits for messages.
    PostMessageA(FWake, WM_NULL, 0, 0);
  }

private:
  std::string FName;
  HWND FWake;
};

TEST_F(ChooseName, RowsAreFilledWhileAWorkersLookupWaitsForTheChoice)
{
  const int a = NewConference("Pair Alpha");
  const int b = NewConference("Pair Beta");
  SetNameChooser(ExecuteChooseName);
  bool filled = false;
  TModalScript script;
  script.Then<TChooseNameForm>("ChooseNameForm", [&](TChooseNameForm* f) {
    ASSERT_EQ(f->ListView1->Count(), 2);
    // The window's own worker fills the dates and counts while the lookup's
    // thread still waits for the window.
    filled = WaitFor(
      [f] {
        return f->ListView1->Item(0)->ColumnText(3) == "0" && f->ListView1->Item(1)->ColumnText(3) == "0" &&
               !f->ListView1->Item(1)->ColumnText(2).empty();
      },
      30000);
    PostMessageA(GetFocus() ? GetFocus() : f->ListView1->Handle(), WM_KEYDOWN, VK_ESCAPE, 1);
  });
  script.Start();
  TLookupThread lookup("Pair");
  lookup.Start();
  // The program's message loop runs the lookup's call, and so the window.
  EXPECT_TRUE(WaitFor([&] { return lookup.Chosen.load() != 0; }, 60000));
  EXPECT_TRUE(script.Done());
  EXPECT_TRUE(filled) << "conferences " << a << " and " << b << " never got their counts";
  EXPECT_EQ(lookup.Chosen.load(), -1);
  SetNameChooser(TNameChooser());
}

} // namespace

namespace {

void ClickHeader(TListView* list, int column)
{
  NMLISTVIEW nm{};
  nm.hdr.hwndFrom = list->Handle();
  nm.hdr.idFrom = UINT_PTR(GetDlgCtrlID(list->Handle()));
  nm.hdr.code = LVN_COLUMNCLICK;
  nm.iItem = -1;
  nm.iSubItem = column;
  SendMessageA(GetParent(list->Handle()), WM_NOTIFY, nm.hdr.idFrom, LPARAM(&nm));
}

std::string Column(TListView* list, int column)
{
  std::string s;
  for (int i = 0; i < list->Count(); ++i) s += list->Item(i)->ColumnText(column) + " ";
  return s;
}

// A header click sorts by its column, numbers as numbers, names as text
// without regard to case (also a name of digits); a second click on it
// reverses the order.
TEST_F(ChooseName, HeaderClicksSortAndReverse)
{
  TModalScript script;
  script.Then<TChooseNameForm>("ChooseNameForm", [](TChooseNameForm* f) {
    TListView* list = f->ListView1;
    ClickHeader(list, 5);
    EXPECT_EQ(Column(list, 5), "2 9 10 ");
    ClickHeader(list, 5);
    EXPECT_EQ(Column(list, 5), "10 9 2 ");
    ClickHeader(list, 0);
    EXPECT_EQ(Column(list, 0), "10 apple Banana ");
    ClickHeader(list, 0);
    EXPECT_EQ(Column(list, 0), "Banana apple 10 ");
    TModalScript::Click(f->CancelButton);
  });
  script.Start();
  EXPECT_EQ(ExecuteChooseName(MatchesOf({{"10", 10}, {"Banana", 9}, {"apple", 2}})), -1);
  EXPECT_TRUE(script.Done());
}

} // namespace
