#include "EngineBinding.h"
#include "MessageInbox.h"

#include <algorithm>
#include <exception>
#include <map>
#include <memory>

#include "ClientCaches.h"
#include "LKRequest.h"
#include "SessionState.h"
#include "ProtocolText.h"
#include "TextHelpers.h"
#include "PostedMessages.h"
#include "WindowMessages.h"

namespace {

constexpr DWORD AutoReplyIntervalMs = 60000;

std::mutex AutoReplyLock;
std::map<int, DWORD> AutoReplyTimes;  // person -> tick count of the last reply
DWORD (*AutoReplyClock)() = [] { return GetTickCount(); };

// The name of a person or conference; "Everyone" when it cannot be had.
std::string MessageName(int number)
{
  if (number == 0) return "Everyone";
  try {
    std::string name;
    FetchNameByNumber(number, name);
    return name;
  } catch (const std::exception&) {
    return "Everyone";
  }
}

// The away text as it goes out: no carriage returns, no trailing line feeds.
std::string ReplyText(std::string text)
{
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

} // namespace

std::string ShortMessageName(const std::string& name)
{
  std::string shortened;
  ShortenName(name, 10, shortened);
  return shortened;
}

bool TMessageInbox::AddIncomingMessage(int sender, int recipient, bool chatPass, const std::string& text)
{
  const int self = CurrentPersNo.load();
  if (chatPass) {
    if (!FChatMode || FPartner != sender || recipient != self) return false;
  } else if (FChatMode && FPartner != sender) {
    return false;
  }

  auto line = std::make_unique<TMessageLine>();
  line->Sender = sender;
  line->Recipient = recipient;
  line->RecipientName = ShortMessageName(MessageName(recipient));
  line->SenderName = ShortMessageName(MessageName(sender));
  line->Text = text;
  {
    std::lock_guard<std::mutex> guard(FLock);
    if (!FWindow || !PostMessageA(FWindow, WM_SHOW_MESSAGE, 0, reinterpret_cast<LPARAM>(line.get())))
      return false;
    line.release();  // the window's handler frees it
  }
  AutoReply(sender, recipient);
  return true;
}

void TMessageInbox::Detach()
{
  HWND window;
  {
    std::lock_guard<std::mutex> guard(FLock);
    window = FWindow;
    FWindow = nullptr;
    FAway.Active = false;
  }
  if (!window) return;
  MSG msg;
  while (TakePostedMessage(window, WM_SHOW_MESSAGE, msg))
    delete reinterpret_cast<TMessageLine*>(msg.lParam);
}

void TMessageInbox::SetAway(const TAwaySnapshot& away)
{
  std::lock_guard<std::mutex> guard(FLock);
  FAway = away;
}

TAwaySnapshot TMessageInbox::Away()
{
  std::lock_guard<std::mutex> guard(FLock);
  return FAway;
}

void TMessageInbox::SetClock(DWORD (*clock)())
{
  std::lock_guard<std::mutex> guard(AutoReplyLock);
  AutoReplyClock = clock ? clock : [] { return GetTickCount(); };
}

void TMessageInbox::ForgetAutoReplies()
{
  std::lock_guard<std::mutex> guard(AutoReplyLock);
  AutoReplyTimes.clear();
}

void TMessageInbox::AutoReply(int sender, int recipient)
{
  const int self = CurrentPersNo.load();
  TAwaySnapshot away = Away();
  if (!away.Active || sender == self) return;
  if (!away.ReplyToAll && recipient != self) return;
  {
    // One reply per sender and minute; the entry is taken before the
    // request, so two messages at once do not both get one.
    std::lock_guard<std::mutex> guard(AutoReplyLock);
    const DWORD now = AutoReplyClock();
    auto at = AutoReplyTimes.find(sender);
    if (at != AutoReplyTimes.end()) {
      const DWORD forward = now - at->second, backward = at->second - now;
      if (std::min(forward, backward) < AutoReplyIntervalMs) return;
    }
    AutoReplyTimes[sender] = now;
  }
  TComPtr<ILKCommunication> comm = GetCommunicationOrNull();
  if (!comm) return;
  TLKRequest request(L_SEND_MESSAGE, TRequestArgs().Int(sender).Str(ReplyText(away.Text)));
  // Whether it arrived is not looked at: an away reply is a courtesy.
  request.SyncSend(comm.Get());
  std::lock_guard<std::mutex> guard(FLock);
  if (FWindow) PostMessageA(FWindow, WM_AUTO_REPLY_SENT, 0, 0);
}
