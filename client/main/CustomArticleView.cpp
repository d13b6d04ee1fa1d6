#include "CustomArticleView.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

#include "ClientCaches.h"
#include "TextHelpers.h"
#include "Threads.h"
#include "WindowMessages.h"

const char* const EveryoneText = "Everyone";

namespace {

// One worker of PrefetchTexts: takes numbers off the shared list until none is left.
class TPrefetchThread : public TThread
{
public:
  TPrefetchThread(const std::vector<int>& texts, std::atomic<size_t>& next) : FTexts(texts), FNext(next) {}
  ~TPrefetchThread() override
  {
    Terminate();
    WaitFor();
  }

protected:
  void Execute() override
  {
    for (size_t i = FNext++; i < FTexts.size() && !Terminated(); i = FNext++) {
      if (TTextStatRef stat = TextStatByNumber(FTexts[i])) PrefetchName(stat->Author);
      TextBodyByNumber(FTexts[i]);
    }
  }

private:
  const std::vector<int>& FTexts;
  std::atomic<size_t>& FNext;
};

} // namespace

void PrefetchTexts(const std::vector<int>& texts)
{
  std::vector<int> missing;
  for (int t : texts)
    if (t > 0 && !IsTextStatCached(t)) missing.push_back(t);
  if (missing.size() < 2) return;
  std::atomic<size_t> next{0};
  std::vector<std::unique_ptr<TPrefetchThread>> workers;
  const size_t count = std::min<size_t>(8, missing.size());
  for (size_t i = 0; i < count; ++i) {
    workers.push_back(std::make_unique<TPrefetchThread>(missing, next));
    workers.back()->Start();
  }
  for (auto& w : workers) w->WaitFor();
}


UserMessageRecord* NewUserMessageRecord(const std::string& text, int sender, int recipient, TDateTime when)
{
  auto record = std::make_unique<UserMessageRecord>();
  record->SenderNo = sender;
  record->RecipientNo = recipient;
  record->SenderName = NameByNumber(sender);
  record->RecipientName = recipient == 0 ? EveryoneText : NameByNumber(recipient);
  ConvertLfToCrLf(text, record->Text);
  record->When = when;
  return record.release();
}

TCustomArticleViewForm::TCustomArticleViewForm(TComponent* owner, std::string resourceName)
  : TForm(owner, std::move(resourceName))
{
}

TCustomArticleViewForm::~TCustomArticleViewForm()
{
  DiscardQueuedMessages();
}

bool TCustomArticleViewForm::ShowUserMessage(const std::string& text, int sender, int recipient, TDateTime when)
{
  return PostUserMessage(NewUserMessageRecord(text, sender, recipient, when));
}

bool TCustomArticleViewForm::PostUserMessage(UserMessageRecord* record)
{
  std::unique_ptr<UserMessageRecord> owned(record);
  HWND window = Handle();
  if (!owned || !window || !IsWindow(window)) return false;
  if (!PostMessageA(window, WM_SHOW_MESSAGE, 0, LPARAM(owned.get()))) return false;
  owned.release();
  return true;
}

LRESULT TCustomArticleViewForm::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
  if (msg == WM_SHOW_MESSAGE) {
    std::unique_ptr<UserMessageRecord> record(reinterpret_cast<UserMessageRecord*>(lp));
    if (record) ShowMessageRecord(*record);
    return 0;
  }
  return TForm::WndProc(msg, wp, lp);
}

void TCustomArticleViewForm::DiscardQueuedMessages()
{
  HWND window = Handle();
  if (!window) return;
  MSG m;
  while (PeekMessageA(&m, window, WM_SHOW_MESSAGE, WM_SHOW_MESSAGE, PM_REMOVE))
    delete reinterpret_cast<UserMessageRecord*>(m.lParam);
}

void TCustomArticleViewForm::BeforeDestruction()
{
  DiscardQueuedMessages();
  TForm::BeforeDestruction();
}

POINT TCustomArticleViewForm::FindDialogPoint(TControl* control) const
{
  POINT pt{control->Left() + control->Width() / 2 + 10, control->Top()};
  if (control->Parent() && control->Parent()->HandleAllocated()) ClientToScreen(control->Parent()->Handle(), &pt);
  return pt;
}
