#include "AsyncMsgThread.h"

#include <objbase.h>

#include <algorithm>
#include <exception>
#include <utility>

#include "Activity.h"
#include "EngineBinding.h"
#include "LKRequest.h"
#include "LyskomConfiguration.h"
#include "SessionState.h"
#include "TrafficStatistics.h"
#include "ProtocolText.h"
#include "ReadingOrder.h"
#include "SubjectScanner.h"
#include "TextServices.h"
#include "UserMessages.h"

namespace {

constexpr DWORD FlushIntervalMs = 30000;
constexpr DWORD InactiveCheckIntervalMs = 1000;
constexpr int ActivityWait = 4;
constexpr int ActivityInactive = 7;

DWORD TickDifference(DWORD now, DWORD then)
{
  // Either order: a clock that wraps still gives the distance.
  DWORD forward = now - then, backward = then - now;
  return std::min(forward, backward);
}

bool SettingOn(const char* name)
{
  TLyskomServerConfiguration* settings = ServerConfiguration;
  return settings && settings->ReadBool(name, false);
}

// A priority threshold setting; a text that is not a number counts as 0.
int LevelSetting(const char* name)
{
  TLyskomServerConfiguration* settings = ServerConfiguration;
  if (!settings) return 255;
  return StrToIntLenient(settings->ReadString(name, "255"));
}

// The integer member, or false when the message lacks it.
bool MemberInt(ILKCollection* message, const char* path, int& value)
{
  TVariant v = LKValue(message, path);
  if (v.Type() != VT_I4) return false;
  value = int(v.AsInt());
  return true;
}

bool MemberString(ILKCollection* message, const char* path, std::string& value)
{
  TVariant v = LKValue(message, path);
  if (v.Type() != VT_BSTR) return false;
  value = v.AsString();
  return true;
}

// The text status carried by a message; none when it has none.
TTextStatRef MessageTextStat(ILKCollection* message)
{
  TComPtr<ILKCollection> sub = LKSub(message, "text_stat");
  if (!sub) return nullptr;
  auto stat = std::make_shared<TextStatType>();
  ParseTextStat(*stat, sub.Get());
  return stat;
}

class TApartment
{
public:
  TApartment() : FResult(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~TApartment()
  {
    if (SUCCEEDED(FResult)) CoUninitialize();
  }

private:
  HRESULT FResult;
};

} // namespace

// ---------------------------------------------------------------------------
// TAsyncQueue

void TAsyncQueue::Push(ILKCollection* message)
{
  if (!message) return;
  std::lock_guard<std::mutex> guard(FLock);
  FMessages.emplace_back(message);
}

TComPtr<ILKCollection> TAsyncQueue::Pop()
{
  std::lock_guard<std::mutex> guard(FLock);
  if (FMessages.empty()) return {};
  TComPtr<ILKCollection> first = std::move(FMessages.front());
  FMessages.pop_front();
  return first;
}

size_t TAsyncQueue::Count()
{
  std::lock_guard<std::mutex> guard(FLock);
  return FMessages.size();
}

void TAsyncQueue::Drop()
{
  std::deque<TComPtr<ILKCollection>> dropped;
  {
    std::lock_guard<std::mutex> guard(FLock);
    dropped.swap(FMessages);
  }
  FDropped += long(dropped.size());
  // The references go outside the lock.
}

void TAsyncQueue::Wait(DWORD timeoutMs)
{
  std::unique_lock<std::mutex> lock(FLock);
  FWake.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return FWoken; });
}

void TAsyncQueue::Wake()
{
  {
    std::lock_guard<std::mutex> guard(FLock);
    FWoken = true;
  }
  FWake.notify_all();
}

// ---------------------------------------------------------------------------
// TAsyncRcpt

STDMETHODIMP TAsyncRcpt::NewTrans(LONG, VARIANT InData)
{
  try {
    TComPtr<ILKCollection> message = LKCollectionOf(InData);
    if (!message) return E_INVALIDARG;
    CountAsyncMessage(ReplyByteCount(message.Get()));
    FQueue->Push(message.Get());
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP TAsyncRcpt::Notification(NotificationEvents NotifyType, LONG)
{
  // The greeting of a new connection, or the end of one: what is still
  // queued belongs to a session that is over.
  if (NotifyType == LKNF_CONNECT || NotifyType == LKNF_DISCONNECT) FQueue->Drop();
  return S_OK;
}

// ---------------------------------------------------------------------------
// TAsyncMsgThread

TAsyncMsgThread::TAsyncMsgThread(TAsyncWindowLink* link) : FLink(link) {}

TAsyncMsgThread::~TAsyncMsgThread()
{
  Terminate();
  WaitFor();
}

void TAsyncMsgThread::AddMessageForm(std::shared_ptr<TMessageReceiver> form)
{
  if (!form) return;
  std::lock_guard<std::mutex> guard(FFormsLock);
  FMessageForms.push_back(std::move(form));
}

void TAsyncMsgThread::RemoveMessageForm(const TMessageReceiver* form)
{
  std::lock_guard<std::mutex> guard(FFormsLock);
  FMessageForms.erase(std::remove_if(FMessageForms.begin(), FMessageForms.end(),
                                     [form](const auto& f) { return f.get() == form; }),
                      FMessageForms.end());
}

std::vector<std::shared_ptr<TMessageReceiver>> TAsyncMsgThread::MessageForms()
{
  std::lock_guard<std::mutex> guard(FFormsLock);
  return FMessageForms;
}

void TAsyncMsgThread::TerminatedSet()
{
  FQueue->Wake();
}

void TAsyncMsgThread::Execute()
{
  TApartment apartment;
  TComPtr<ILKComEvent> sink(new TAsyncRcpt(FQueue));
  TComPtr<ILKCommunication> comm = GetCommunicationOrNull();
  LONG asyncCookie = -1, notifyCookie = -1;
  if (comm) {
    HRESULT hr = comm->Advise(LKEVTYPE_TRANS_ASYNC, sink.Get(), &asyncCookie);
    if (FAILED(hr)) asyncCookie = -1;
    hr = comm->Advise(LKEVTYPE_NOTIFICATIONS, sink.Get(), &notifyCookie);
    if (FAILED(hr)) notifyCookie = -1;
  }
  FAdvised = asyncCookie >= 0;

  while (!Terminated()) {
    try {
      Round();
    } catch (...) {
      // A message that cannot be handled is lost; the next round goes on.
    }
  }

  if (comm) {
    // Failures are ignored: the engine drops its sinks when it goes anyway.
    if (asyncCookie >= 0) (void)comm->Unadvise(asyncCookie);
    if (notifyCookie >= 0) (void)comm->Unadvise(notifyCookie);
  }
  FAdvised = false;
}

void TAsyncMsgThread::Round()
{
  if (!FBoxOpen->load() && UserMessageCount() > 0) ShowNextUserMessage();
  FlushMarkReadIfDue(FlushIntervalMs);
  const DWORD now = GetTickCount();
  if (FFirstInactiveCheck || TickDifference(now, FLastInactiveCheck) > InactiveCheckIntervalMs) {
    FFirstInactiveCheck = false;
    CheckScreenSaver();
    FLastInactiveCheck = now;
  }
  FQueue->Wait(RoundPauseMs);
  while (FDispatchEnabled && !Terminated() && !FBoxOpen->load()) {
    TComPtr<ILKCollection> message = FQueue->Pop();
    if (!message) break;
    try {
      Dispatch(message.Get());
    } catch (...) {
      // This message is lost; the others are not.
    }
    if (MessagePauseMs) FQueue->Wait(MessagePauseMs);
  }
}

void TAsyncMsgThread::ShowNextUserMessage()
{
  std::string message = TakeUserMessage();
  if (message.empty() || !FLink) return;
  FBoxOpen->store(true);
  std::shared_ptr<std::atomic<bool>> open = FBoxOpen;
  if (!FLink->ShowUserMessageBox(message, [open] { open->store(false); })) FBoxOpen->store(false);
}

void TAsyncMsgThread::CheckScreenSaver()
{
  const bool running = FLink && FLink->ScreenSaverRunning();
  if (running && !FInactive) {
    SetActivity(ActivityInactive);
    if (SettingOn("AutoInactiveMsg") && FLink) FLink->SetAway(true);
    FInactive = true;
  } else if (!running && FInactive) {
    SetActivity(ActivityWait);
    if (SettingOn("AutoInactiveMsg") && FLink) FLink->SetAway(false);
    FInactive = false;
  }
}

void TAsyncMsgThread::Log(const std::string& text)
{
  if (FLink) FLink->LogEvent(text);
}

void TAsyncMsgThread::ReadStateChanged()
{
  if (FLink) FLink->ReadStateChanged();
}

void TAsyncMsgThread::Dispatch(ILKCollection* message)
{
  struct TCount
  {
    std::atomic<long>& Counter;
    ~TCount() { ++Counter; }
  } count{FDispatched};
  int event = -1;
  if (!message || !MemberInt(message, "Event", event)) return;
  switch (event) {
  case ASYNC_NEW_TEXT:
  case ASYNC_NEW_TEXT_10: HandleNewText(message); break;
  case ASYNC_NEW_NAME: HandleNewName(message); break;
  case ASYNC_I_AM_ON: HandleIAmOn(message); break;
  case ASYNC_SYNC_DB: Log("Database is syncronizing."); break;
  case ASYNC_LEAVE_CONF: HandleLeaveConf(message); break;
  case ASYNC_LOGIN: HandleLogin(message); break;
  case ASYNC_SEND_MESSAGE: HandleSendMessage(message); break;
  case ASYNC_LOGOUT: HandleLogout(message); break;
  case ASYNC_DELETED_TEXT: HandleDeletedText(message); break;
  case ASYNC_NEW_RECIPIENT: HandleRecipientChange(message, false); break;
  case ASYNC_SUB_RECIPIENT: HandleRecipientChange(message, true); break;
  case ASYNC_NEW_MEMBERSHIP: HandleNewMembership(message); break;
  default: break;  // not wanted, or unknown: dropped
  }
}

void TAsyncMsgThread::HandleNewText(ILKCollection* message)
{
  int textNo = 0;
  if (!MemberInt(message, "text_no", textNo) || textNo <= 0) return;
  TTextStatRef stat = MessageTextStat(message);
  if (!stat) return;
  StoreTextStat(textNo, stat);

  // Cached texts it comments or is a footnote to learn of it at once;
  // others are fetched whole when needed.
  auto link = [textNo](int target, auto item) {
    TTextStatRef cached;
    if (!CachedTextStat(target, cached) || !cached) return;
    item->TextNo = textNo;
    cached->AddTextLinkOnce(std::move(item));
  };
  stat->ForEachMiscInfo<TMiscInfoFootTo>(
    [&](const TMiscInfoFootTo& item) { link(item.TextNo, std::make_unique<TMiscInfoFootIn>()); });
  stat->ForEachMiscInfo<TMiscInfoCommTo>(
    [&](const TMiscInfoCommTo& item) { link(item.TextNo, std::make_unique<TMiscInfoCommIn>()); });

  const int trayLevel = LevelSetting("TrayPriTextLvl");
  const int soundLevel = LevelSetting("SoundPriTextLvl");
  bool trayWanted = false, soundWanted = false;
  stat->ForEachMiscInfo<TMiscInfoNormal>([&](const TMiscInfoNormal& item) {
    TMembershipRef membership = MembershipByConf(item.ConfNo);
    if (!membership) return;
    if (TConferenceRef conf = ConferenceByNumber(item.ConfNo)) {
      conf->RaiseHighestLocalNo(item.LocalNo);
      conf->SetLocalToGlobal(item.LocalNo, textNo);
    }
    membership->mHasUnread = true;
    membership->mbDirty = true;
    if (trayLevel < membership->Priority) trayWanted = true;
    if (soundLevel < membership->Priority) soundWanted = true;
  });

  if (stat->Author == CurrentPersNo.load()) {
    MarkTextRead(textNo, true);
  } else if (!FilterText(textNo)) {
    PrefetchTextTree(textNo);
    if (trayWanted && SettingOn("TrayPriText")) {
      FTrayData = 1;
      if (FLink) FLink->ShowTrayIcon(1);
    }
    if (soundWanted && SettingOn("SoundPriText") && FLink) FLink->Beep();
  }
  ReadStateChanged();
}

void TAsyncMsgThread::HandleNewName(ILKCollection* message)
{
  int confNo = 0;
  std::string name;
  if (!MemberInt(message, "conf_no", confNo) || !MemberString(message, "new_name", name)) return;
  SetCachedName(confNo, name);
}

void TAsyncMsgThread::HandleIAmOn(ILKCollection* message)
{
  TWhoInfo info;
  if (!MemberInt(message, "info.session", info.Session) || !MemberInt(message, "info.person", info.Person))
    return;
  MemberInt(message, "info.working_conference", info.WorkingConference);
  MemberString(message, "info.what_am_i_doing", info.WhatAmIDoing);
  MemberString(message, "info.username", info.UserName);
  info.PersonName = NameByNumber(info.Person);
  info.ConferenceName = info.WorkingConference > 0 ? NameByNumber(info.WorkingConference) : std::string();
  if (FLink) FLink->SessionActive(info);
}

void TAsyncMsgThread::HandleLeaveConf(ILKCollection* message)
{
  int confNo = 0;
  if (!MemberInt(message, "conf_no", confNo)) return;
  // The scanner must not walk a membership while it goes.
  TSubjectTreeAsyncThread* scanner = SubjectTreeAsyncThread;
  if (scanner) scanner->PauseScan();
  RemoveMembership(confNo);
  InvalidateConference(confNo);
  if (scanner) scanner->ContinueScan();
  ReadStateChanged();
}

void TAsyncMsgThread::HandleLogin(ILKCollection* message)
{
  int persNo = 0, sessionNo = 0;
  if (!MemberInt(message, "pers_no", persNo) || !MemberInt(message, "session_no", sessionNo)) return;
  std::optional<StaticSessionInfoType> session = QueryWhoInfo(sessionNo, persNo);
  std::string name;
  if (session) {
    session->PersonNo = persNo;
    session->SessionNo = sessionNo;
    if (session->PersonName.empty()) session->PersonName = NameByNumber(persNo);
    name = session->PersonName;
  } else {
    name = NameByNumber(persNo);
  }
  Log(name + " logged in.");
  if (session && FLink) FLink->SessionLoggedIn(*session);
}

void TAsyncMsgThread::HandleLogout(ILKCollection* message)
{
  int persNo = 0, sessionNo = 0;
  if (!MemberInt(message, "pers_no", persNo) || !MemberInt(message, "session_no", sessionNo)) return;
  if (FLink) FLink->SessionLoggedOut(sessionNo);
  Log(NameByNumber(persNo) + " logged off.");
}

void TAsyncMsgThread::HandleSendMessage(ILKCollection* message)
{
  int recipient = 0, sender = 0;
  std::string text;
  if (!MemberInt(message, "recipient", recipient) || !MemberInt(message, "sender", sender) ||
      !MemberString(message, "message", text))
    return;
  std::replace(text.begin(), text.end(), '\n', '\r');

  bool claimed = false;
  const auto forms = MessageForms();
  for (const auto& form : forms)
    if (form->AddIncomingMessage(sender, recipient, true, text)) {
      claimed = true;
      break;
    }
  if (!claimed) {
    for (const auto& form : forms) form->AddIncomingMessage(sender, recipient, false, text);
    if (FLink) {
      SYSTEMTIME now;
      GetLocalTime(&now);
      double when = 0;
      SystemTimeToVariantTime(&now, &when);
      FLink->ShowMessageInView(sender, recipient, text, when);
    }
  }

  const bool personal = recipient != 0 && recipient == CurrentPersNo.load();
  if ((SettingOn("SoundAllMsg") || (personal && SettingOn("SoundPersMsg"))) && FLink) FLink->Beep();
  if (SettingOn("TrayAllMsg") || (personal && SettingOn("TrayPersMsg"))) {
    FTrayData = 2;
    if (FLink) FLink->ShowTrayIcon(2);
  }
  if ((SettingOn("FocusAllMsg") || (personal && SettingOn("FocusPersMsg"))) && FLink) FLink->RestoreApplication();
}

void TAsyncMsgThread::HandleDeletedText(ILKCollection* message)
{
  int textNo = 0;
  if (!MemberInt(message, "text_no", textNo) || textNo <= 0) return;
  if (TTextStatRef stat = MessageTextStat(message)) {
    stat->ForEachMiscInfo<TMiscInfoNormal>([&](const TMiscInfoNormal& item) {
      if (TConferenceRef conf = ConferenceByNumber(item.ConfNo)) conf->SetLocalToGlobal(item.LocalNo, 0);
      // The gap is read here only: the server has nothing left to mark.
      if (TMembershipRef membership = MembershipByConf(item.ConfNo)) membership->MarkRead(item.LocalNo, false);
    });
    stat->ForEachMiscInfo<TMiscInfoGText>([](const TMiscInfoGText& item) { InvalidateTextStat(item.TextNo); });
  }
  InvalidateTextStat(textNo);
  InvalidateText(textNo);
  ReadStateChanged();
}

void TAsyncMsgThread::HandleRecipientChange(ILKCollection* message, bool removed)
{
  int textNo = 0, confNo = 0;
  if (!MemberInt(message, "text_no", textNo) || !MemberInt(message, "conf_no", confNo)) return;
  if (removed) {
    TTextStatRef cached;
    if (CachedTextStat(textNo, cached) && cached) {
      cached->ForEachMiscInfo<TMiscInfoNormal>([&](const TMiscInfoNormal& item) {
        if (item.ConfNo != confNo || item.LocalNo <= 0) return;
        if (TConferenceRef conf = ConferenceByNumber(confNo)) conf->SetLocalToGlobal(item.LocalNo, 0);
        // Locally only: the text is no longer there for the server to mark.
        if (TMembershipRef membership = MembershipByConf(confNo)) membership->MarkRead(item.LocalNo, false);
      });
    }
  }
  InvalidateTextStat(textNo);
  TextStatByNumber(textNo);
  if (TConferenceRef conf = ConferenceByNumber(confNo)) conf->ClearLoaded();
  if (TMembershipRef membership = MembershipByConf(confNo)) {
    membership->mHasUnread = true;
    membership->mbDirty = true;
  }
  ReadStateChanged();
}

void TAsyncMsgThread::HandleNewMembership(ILKCollection* message)
{
  int persNo = 0, confNo = 0;
  if (!MemberInt(message, "pers_no", persNo) || !MemberInt(message, "conf_no", confNo) || confNo <= 0) return;
  if (persNo != CurrentPersNo.load()) return;
  auto membership = std::make_shared<TLyskomMembership>(confNo);
  membership->Priority = 100;
  membership->SetLastTextRead(0);
  membership->mHasUnread = true;
  membership->mbDirty = true;
  // A membership loaded from the server knows more than this one.
  if (!StoreMembershipIfAbsent(membership)) return;
  Log(NameByNumber(persNo) + " is now a member of " + NameByNumber(confNo) + ".");
  ReadStateChanged();
}
