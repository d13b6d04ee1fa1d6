#include "UserMessages.h"

#include <deque>
#include <memory>
#include <mutex>

#include "WindowSeams.h"
#include "SyncObjects.h"

namespace {

struct TUserMessageQueue
{
  TCriticalSection Lock;
  std::deque<std::string> Messages;
};

// Created and freed on the window thread while no worker runs; the
// messages themselves are guarded by the queue's own lock.
std::unique_ptr<TUserMessageQueue> UserMessageQueue;

} // namespace

void CreateUserMessageQueue()
{
  if (!UserMessageQueue) UserMessageQueue = std::make_unique<TUserMessageQueue>();
}

void FreeUserMessageQueue()
{
  UserMessageQueue.reset();
}

void QueueUserMessage(const std::string& msg)
{
  if (!UserMessageQueue) return;
  std::lock_guard<TCriticalSection> guard(UserMessageQueue->Lock);
  UserMessageQueue->Messages.push_back(msg);
}

int UserMessageCount()
{
  if (!UserMessageQueue) return 0;
  std::lock_guard<TCriticalSection> guard(UserMessageQueue->Lock);
  return int(UserMessageQueue->Messages.size());
}

void TakeUserMessage(std::string& msg)
{
  msg.clear();
  if (!UserMessageQueue) return;
  std::lock_guard<TCriticalSection> guard(UserMessageQueue->Lock);
  if (UserMessageQueue->Messages.empty()) return;
  msg = std::move(UserMessageQueue->Messages.front());
  UserMessageQueue->Messages.pop_front();
}

std::string TakeUserMessage()
{
  std::string msg;
  TakeUserMessage(msg);
  return msg;
}

UINT UserMessageIcon(const std::string& msg)
{
  if (msg.empty()) return 0;
  if (msg[0] == '!') return MB_ICONERROR;
  if (msg[0] == 'i') return MB_ICONINFORMATION;
  return 0;
}

std::string UserMessageText(const std::string& msg)
{
  return msg.empty() ? std::string() : msg.substr(1);
}

void ShowUserMessage(HWND owner, const std::string& msg)
{
  AskUser(owner, UserMessageText(msg), "Omnora", MB_OK | UserMessageIcon(msg));
}
