// The dispatcher of the server's asynchronous messages: the engine's sink
// queues each message, and one thread works the queue off, keeping the
// client caches and read state in step with the server and telling the
// windows. The same thread shows the queued user messages, sends queued read
// marks every 30 seconds and marks the user inactive while the screen saver
// runs.
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ClientCaches.h"
#include "ComHandles.h"
#include "Threads.h"
#include "Vantor.h"

// A session as an i-am-on message describes it.
struct TWhoInfo
{
  int Person = 0;
  int WorkingConference = 0;
  int Session = 0;
  std::string WhatAmIDoing;
  std::string UserName;
  std::string PersonName;
  std::string ConferenceName;
};

// A messages window as the dispatcher sees it. Called on the dispatcher's
// thread: it may only read its own thread-safe state and post to its window.
class TMessageReceiver
{
public:
  virtual ~TMessageReceiver() = default;
  // True when this window took the message (chatPass: only a chat with the
  // sender takes it).
  virtual bool AddIncomingMessage(int sender, int recipient, bool chatPass, const std::string& text) = 0;
};

// What the dispatcher tells the windows. Every call comes on the
// dispatcher's thread and hands its work to the window thread without
// waiting for it, so that no window can hold the dispatcher up.
class TAsyncWindowLink
{
public:
  virtual ~TAsyncWindowLink() = default;
  // The reading window recounts its unread texts.
  virtual void ReadStateChanged() = 0;
  virtual void LogEvent(const std::string& text) = 0;
  // The notification tray icon with its data (1 new text, 2 message).
  virtual void ShowTrayIcon(int trayData) = 0;
  // Restores the program and brings it to the front.
  virtual void RestoreApplication() = 0;
  // The who-is-on window's rows; each gets its own copy of the record.
  virtual void SessionLoggedIn(const StaticSessionInfoType& session) = 0;
  virtual void SessionLoggedOut(int sessionNo) = 0;
  virtual void SessionActive(const TWhoInfo& info) = 0;
  // A message that no messages window claimed, for the reading window's view.
  virtual void ShowMessageInView(int sender, int recipient, const std::string& text, TDateTime when) = 0;
  // Away mode on (the messages window's go-offline command) or off.
  virtual void SetAway(bool away) = 0;
  // The sound signal of a new text or message.
  virtual void Beep() = 0;
  // Whether the screen saver runs just now.
  virtual bool ScreenSaverRunning() = 0;
  // Shows a user message (marker first) in a box on the window thread;
  // closed is called once the box is closed, or the message dropped. False
  // when it could not be handed over.
  virtual bool ShowUserMessageBox(const std::string& message, std::function<void()> closed) = 0;
};

// The queue between the engine's threads and the dispatcher. Shared with the
// engine's sink, so that a late call of the sink finds it alive.
class TAsyncQueue
{
public:
  void Push(ILKCollection* message);
  // The oldest message; empty when there is none.
  TComPtr<ILKCollection> Pop();
  size_t Count();
  // Drops every queued message (the connection they came on is over).
  void Drop();
  // Waits up to timeoutMs, or until Wake.
  void Wait(DWORD timeoutMs);
  void Wake();
  // The number of messages dropped by Drop so far.
  long DroppedCount() const { return FDropped.load(); }

private:
  std::mutex FLock;
  std::condition_variable FWake;
  std::deque<TComPtr<ILKCollection>> FMessages;
  bool FWoken = false;
  std::atomic<long> FDropped{0};
};

// The engine's sink for asynchronous messages (kind 3), also advised for
// connection notifications (kind 4): a new or lost connection drops what
// is still queued, so that no message of one connection reaches the caches
// of the next.
class TAsyncRcpt final : public TSimpleComObject<ILKComEvent>
{
public:
  explicit TAsyncRcpt(std::shared_ptr<TAsyncQueue> queue) : FQueue(std::move(queue)) {}

  STDMETHODIMP NewTrans(LONG InIX, VARIANT InData) override;
  STDMETHODIMP Notification(NotificationEvents NotifyType, LONG Tag) override;

private:
  ~TAsyncRcpt() override = default;
  std::shared_ptr<TAsyncQueue> FQueue;
};

class TAsyncMsgThread : public TThread
{
public:
  // link may be null: nothing is then told to windows.
  explicit TAsyncMsgThread(TAsyncWindowLink* link);
  ~TAsyncMsgThread() override;

  // Messages windows register when created and unregister when destroyed
  // (window thread). The dispatcher keeps its own reference, so a window
  // that goes while a message is offered leaves a receiver that only
  // refuses.
  void AddMessageForm(std::shared_ptr<TMessageReceiver> form);
  void RemoveMessageForm(const TMessageReceiver* form);

  // Messages are worked off only while set; those that arrive meanwhile
  // wait (until the connection they came on ends).
  void SetDispatchEnabled(bool enabled) { FDispatchEnabled = enabled; }
  bool DispatchEnabled() const { return FDispatchEnabled.load(); }

  // The user was switched to inactive by the screen-saver check.
  bool Inactive() const { return FInactive.load(); }
  // What was last handed to the tray icon: 1 new text, 2 message.
  int TrayData() const { return FTrayData.load(); }

  // True once the sink is registered with the engine.
  bool Advised() const { return FAdvised.load(); }
  std::shared_ptr<TAsyncQueue> Queue() const { return FQueue; }
  // Messages handled so far (whatever their number).
  long DispatchedCount() const { return FDispatched.load(); }

  // Handles one message on the calling thread, as the loop does.
  void Dispatch(ILKCollection* message);

  // Pauses of the loop (70 ms a round, 10 ms between two messages).
  DWORD RoundPauseMs = 70;
  DWORD MessagePauseMs = 10;

protected:
  void Execute() override;
  void TerminatedSet() override;

private:
  void Round();
  void ShowNextUserMessage();
  void CheckScreenSaver();

  void HandleNewText(ILKCollection* message);
  void HandleNewName(ILKCollection* message);
  void HandleIAmOn(ILKCollection* message);
  void HandleLeaveConf(ILKCollection* message);
  void HandleLogin(ILKCollection* message);
  void HandleSendMessage(ILKCollection* message);
  void HandleLogout(ILKCollection* message);
  void HandleDeletedText(ILKCollection* message);
  void HandleRecipientChange(ILKCollection* message, bool removed);
  void HandleNewMembership(ILKCollection* message);

  void Log(const std::string& text);
  void ReadStateChanged();
  std::vector<std::shared_ptr<TMessageReceiver>> MessageForms();

  TAsyncWindowLink* FLink;
  std::shared_ptr<TAsyncQueue> FQueue = std::make_shared<TAsyncQueue>();
  std::mutex FFormsLock;
  std::vector<std::shared_ptr<TMessageReceiver>> FMessageForms;
  std::atomic<bool> FDispatchEnabled{false};
  std::atomic<bool> FInactive{false};
  std::atomic<int> FTrayData{0};
  std::atomic<bool> FAdvised{false};
  std::atomic<long> FDispatched{0};
  // Set while a user message is shown; nothing is dispatched meanwhile.
  std::shared_ptr<std::atomic<bool>> FBoxOpen = std::make_shared<std::atomic<bool>>(false);
  DWORD FLastInactiveCheck = 0;
  bool FFirstInactiveCheck = true;
};
