#include "CustomArticleView.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

#include "ClientCaches.h"
#include "TextHelpers.h"
#include "Threads.h"
#include "PostedMessages.h"
#include "WindowMessages.h"

const char* const EveryoneText = "Everyone";

namespace {

// Posted to a view by a press on a link: wParam the character, lParam the point.
constexpr UINT WM_FOLLOW_PRESSED_LINK = WM_APP + 0x30;

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

void ForEachFootnote(int textNo, TSortedIntegerList& shown, const std::function<bool(int)>& show)
{
  // A list of its own rather than recursion: a chain may be long or circular.
  std::vector<int> pending{textNo};
  bool root = true;
  while (!pending.empty()) {
    const int current = pending.back();
    pending.pop_back();
    int at = 0;
    if (shown.Find(current, at)) continue;
    if (!root && !show(current)) continue;
    root = false;
    TTextStatRef status = TextStatByNumber(current);
    if (!status) continue;
    shown.Add(current);
    std::vector<int> footnotes;
    status->ForEachMiscInfo<TMiscInfoFootIn>([&](const TMiscInfoFootIn& f) { footnotes.push_back(f.TextNo); });
    for (auto it = footnotes.rbegin(); it != footnotes.rend(); ++it)
      if (!shown.Find(*it, at)) pending.push_back(*it);
  }
}

TCustomArticleViewForm::TCustomArticleViewForm(TComponent* owner, std::string resourceName)
  : TForm(owner, std::move(resourceName)), FLinks(AcquireKomLinksPtr())
{
}

void TCustomArticleViewForm::DeclareViewBindings(TBindings& b)
{
  b.Field("MainEdit", MainEdit);
  b.Field("FindDialog1", FindDialog1);
  b.Handler("MainEditMouseMove", &TCustomArticleViewForm::MainEditMouseMove);
  b.Handler("FindDialog1Find", &TCustomArticleViewForm::FindDialog1Find);
  b.Handler("FindDialog1Close", &TCustomArticleViewForm::FindDialog1Close);
}

void TCustomArticleViewForm::SetActive(bool active)
{
  MainEdit->SetColor(active ? clWindow : clInactiveBorder);
}

void TCustomArticleViewForm::GetViewText(std::string& text)
{
  text = MainEdit->Caption();
}

void TCustomArticleViewForm::ShowFindDialog()
{
  FindDialog1->SetPosition(FindDialogPoint(MainEdit));
  // What the search selects shows while the dialog has the focus; a view
  // that hides its selection otherwise does so again when the dialog closes.
  if (!FindDialog1->Handle()) FHidesSelection = MainEdit->HideSelection;
  MainEdit->SetHideSelection(false);
  FindDialog1->Execute();
}

void TCustomArticleViewForm::FindDialog1Close(TComponent*)
{
  MainEdit->SetHideSelection(FHidesSelection);
}

void TCustomArticleViewForm::FindDialog1Find(TComponent*)
{
  FindInRichEdit(*MainEdit, FindDialog1->SearchText, FindDialog1->Down, FindDialog1->MatchCase,
                 FindDialog1->WholeWord);
}

bool TCustomArticleViewForm::PageDownText(int trailingLines)
{
  if (!MainEdit->HandleAllocated()) return false;
  HWND h = MainEdit->Handle();
  POINTL pt{2, MainEdit->ClientRect().bottom - 2};
  int bottomChar = int(SendMessageA(h, EM_CHARFROMPOS, 0, LPARAM(&pt)));
  int bottomLine = int(SendMessageA(h, EM_EXLINEFROMCHAR, 0, bottomChar));
  int lastLine = int(SendMessageA(h, EM_EXLINEFROMCHAR, 0, std::max(0, MainEdit->TextLength())));
  if (bottomLine >= lastLine - trailingLines) return false;
  SendMessageA(h, WM_VSCROLL, SB_PAGEDOWN, 0);
  int first = int(SendMessageA(h, EM_GETFIRSTVISIBLELINE, 0, 0));
  int start = int(SendMessageA(h, EM_LINEINDEX, WPARAM(first), 0));
  MainEdit->SetSelection(std::max(0, start), 0);
  return true;
}

int TCustomArticleViewForm::CharFromClientPoint(int x, int y) const
{
  if (!MainEdit->HandleAllocated()) return -1;
  POINTL pt{x, y};
  return int(SendMessageA(MainEdit->Handle(), EM_CHARFROMPOS, 0, LPARAM(&pt)));
}

void TCustomArticleViewForm::LinkButtonDown(int position, int x, int y)
{
  if (position < 0 || !FLinks->LinkAt(position) || !Handle()) return;
  PostMessageA(Handle(), WM_FOLLOW_PRESSED_LINK, WPARAM(position), MAKELPARAM(x, y));
}

void TCustomArticleViewForm::FollowPressedLink(int position, LPARAM point)
{
  // The press made the control start a selection that only its button-up
  // ends. Following the link may open a box, which takes that button-up, and
  // the control would go on selecting as the pointer moves: end it first.
  if (MainEdit->HandleAllocated() && GetCapture() == MainEdit->Handle())
    SendMessageA(MainEdit->Handle(), WM_LBUTTONUP, 0, point);
  FLinks->ClickLink(position, OwnerWindow());
}

void TCustomArticleViewForm::MainEditMouseMove(TComponent*, TShiftState, int X, int Y)
{
  int position = CharFromClientPoint(X, Y);
  // Kept over the control until the pointer leaves the link: the control
  // would otherwise put its own pointer back on the next move.
  const bool overLink = position >= 0 && FLinks->LinkAt(position);
  MainEdit->Cursor = overLink ? LoadCursor(nullptr, IDC_HAND) : nullptr;
  if (overLink) SetCursor(MainEdit->Cursor);
}

HWND TCustomArticleViewForm::OwnerWindow() const
{
  return Handle() ? GetAncestor(Handle(), GA_ROOT) : nullptr;
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
  if (msg == WM_FOLLOW_PRESSED_LINK) {
    FollowPressedLink(int(wp), lp);
    return 0;
  }
  return TForm::WndProc(msg, wp, lp);
}

void TCustomArticleViewForm::DiscardQueuedMessages()
{
  HWND window = Handle();
  if (!window) return;
  MSG m;
  while (TakePostedMessage(window, WM_SHOW_MESSAGE, m))
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
