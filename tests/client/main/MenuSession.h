// A session opened as a person opens it: a stored connection profile, the
// Session menu's "Connect" and the login dialog, the menu items as the menu
// bar shows them; and the administrator on a connection of the test's own,
// beside the program, to prepare the server and read what it holds.
#pragma once

#include <string>
#include <vector>

#include "../core/EngineSession.h"
#include "ConnectingForm.h"
#include "HostConfigForm.h"
#include "LKRequest.h"
#include "LoginForm.h"
#include "LyskomdServer.h"
#include "MainTestSupport.h"
#include "MenuItems.h"
#include "ModalScript.h"
#include "ProtocolText.h"
#include "WindowInput.h"

namespace MainTest {

// A connection profile of the lyskomd (or scripted server) on that port,
// made the one the login dialog shows first.
inline void StoreDefaultProfile(const std::string& name, const std::string& port,
                                const std::string& user = "Administrator (of) LysKOM")
{
  TLyskomRegistryConfiguration store(OmnoraRegistryBaseKey, false);
  store.SetKeyPath(ProfileKeyPath(name));
  TConnectionProfile p;
  p.Server = TestSupport::TLyskomdServer::Host();
  p.Port = port;
  p.User = user;
  WriteConnectionProfile(store, p);
  WriteSetting("DefaultConfiguration", name);
}

// The main window's menu item of that name.
inline TMenuItem* MainMenuItem(const char* name)
{
  auto* item = dynamic_cast<TMenuItem*>(MainForm->FindComponent(name));
  EXPECT_NE(item, nullptr) << name;
  return item;
}

// Whether the menu bar shows the item where a person can choose it.
inline bool MenuShowsEnabled(const char* name)
{
  TMenuItem* item = MainMenuItem(name);
  return item && TestSupport::MenuBarShowsEnabled(item->Command());
}

inline void ChooseMenu(const char* name)
{
  if (TMenuItem* item = MainMenuItem(name)) {
    EXPECT_TRUE(TestSupport::ChooseMenuItem(item->Command())) << name;
  }
}

// "Connect" from the Session menu, the login dialog answered with the
// profile it shows and the password typed.
inline void ConnectThroughTheMenu(const std::string& password)
{
  TModalScript script;
  script.Then<TLoginForm>("LoginForm", [password](TLoginForm* f) {
    TestSupport::ClickAt(f->PwdEdit->Handle(), 3, 3);
    TestSupport::TypeText(f->PwdEdit->Handle(), password);
    TestSupport::ClickAt(f->OkButton->Handle(), 5, 5);
  });
  script.Start();
  ChooseMenu("Connect1");
  EXPECT_TRUE(WaitFor([&] { return script.Done(); }, 20000));
}

inline bool LoggedIn()
{
  return WaitFor([] { return MainForm->Connected && MainForm->Online1->Enabled(); }, 30000);
}

inline bool Disconnected()
{
  return WaitFor([] { return !MainForm->Connected && MenuShowsEnabled("Connect1"); }, 20000);
}

inline TConnectingForm* ConnectingWindow()
{
  return dynamic_cast<TConnectingForm*>(Application().FindForm("ConnectingForm"));
}

// The administrator (or another person) on a connection of the test's own.
class TSessionOnServer
{
public:
  explicit TSessionOnServer(int port, bool loginAsAdministrator = true)
    : FSession(TestSupport::TLyskomdServer::Host(), port, loginAsAdministrator, false)
  {
  }

  bool Login(int person, const std::string& password) { return FSession.Login(person, password); }
  bool Expect(long type, const std::string& args)
  {
    TLKRequest request(type, args);
    return FSession.Expect(request);
  }
  int Number(long type, const std::string& args) { return int(FSession.Number(type, args)); }
  ILKCommunication* Communication() { return FSession.Communication(); }

  int PersonNamed(const std::string& name)
  {
    TLKRequest lookup(L_LOOKUP_Z_NAME, TRequestArgs().Str(name).Bool(true).Bool(false));
    if (lookup.SyncSend(Communication()) != TRequestOutcome::Answered) return 0;
    TComPtr<ILKCollection> result = LKSub(lookup.Response(), "result");
    if (LKCount(result.Get()) != 1) return 0;
    return int(LKInt(LKCollectionOf(LKItem(result.Get(), 0).Get()).Get(), "conf_no"));
  }
  // The person's memberships as the server lists them, in its order.
  std::vector<TComPtr<ILKCollection>> MembershipsOf(int person)
  {
    std::vector<TComPtr<ILKCollection>> memberships;
    TLKRequest request(L_GET_MEMBERSHIP_10, TRequestArgs().Int(person).Int(0).Int(30000).Bool(false));
    if (request.SyncSend(Communication()) != TRequestOutcome::Answered) return memberships;
    TComPtr<ILKCollection> result = LKSub(request.Response(), "result");
    for (long i = 0, n = LKCount(result.Get()); i < n; ++i)
      memberships.push_back(LKCollectionOf(LKItem(result.Get(), i).Get()));
    return memberships;
  }
  std::vector<int> ConferencesOf(int person)
  {
    std::vector<int> confs;
    for (const auto& m : MembershipsOf(person)) confs.push_back(int(LKInt(m.Get(), "conference")));
    return confs;
  }

private:
  EngineSession::TSession FSession;
};

} // namespace MainTest
