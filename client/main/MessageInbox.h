// The part of a messages window that the dispatcher's thread uses: it
// decides whether the window takes an incoming message, posts the line to
// the window, and sends the automatic reply of the away mode. It reads only
// its own state (set by the window thread under its lock), never a control,
// so a window that closes meanwhile costs nothing but a refused message.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

#include "AsyncMsgThread.h"

// One incoming message as the window shows it; posted with WM_SHOW_MESSAGE
// and freed by the window's handler (or by Detach when it never ran).
struct TMessageLine
{
  int Sender = 0;
  int Recipient = 0;  // 0: all users
  std::string SenderName;
  std::string RecipientName;
  std::string Text;
};

// What the away mode replies with, as the window last set it.
struct TAwaySnapshot
{
  bool Active = false;
  std::string Text;
  bool ReplyToAll = false;
};

class TMessageInbox final : public TMessageReceiver
{
public:
  explicit TMessageInbox(HWND window) : FWindow(window) {}

  // Dispatcher's thread. Takes the message (posting a TMessageLine) or
  // refuses it; in away mode the sender may get the automatic reply.
  bool AddIncomingMessage(int sender, int recipient, bool chatPass, const std::string& text) override;

  // Window thread, before the window goes: nothing is posted any more, and
  // lines posted but not yet shown are freed.
  void Detach();

  void SetChatPartner(int partner) { FPartner = partner; }
  int ChatPartner() const { return FPartner.load(); }
  void SetChatMode(bool on) { FChatMode = on; }
  bool ChatMode() const { return FChatMode.load(); }

  void SetAway(const TAwaySnapshot& away);
  TAwaySnapshot Away();

  // The clock of the once-a-minute rule (GetTickCount unless set). Tests.
  static void SetClock(DWORD (*clock)());
  // Forgets when each person was last replied to. Tests.
  static void ForgetAutoReplies();

private:
  void AutoReply(int sender, int recipient);

  std::mutex FLock;
  HWND FWindow;  // under FLock; null once detached
  std::atomic<bool> FChatMode{false};
  std::atomic<int> FPartner{0};
  TAwaySnapshot FAway;  // under FLock
};

// The texts of a message line for the log: "HH:MM:SS [12] Name:" and so on.
// The names are shortened to at most 10 characters.
std::string ShortMessageName(const std::string& name);
