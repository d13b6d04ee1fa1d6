// The base of the two text views that the reading window docks into its
// panels: the operations through which the window, the message dispatcher
// and the views drive a view without knowing which kind it is.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "FindDialog.h"
#include "Form.h"
#include "KomLinks.h"
#include "LyskomTextEdit.h"
#include "LyskomTypes.h"
#include "SortedLists.h"

// A message to the user on its way to a view: built on the dispatcher's
// thread, posted with WM_SHOW_MESSAGE, owned and freed by the view.
struct UserMessageRecord
{
  UserMessageRecord() { ++FLive; }
  ~UserMessageRecord() { --FLive; }
  UserMessageRecord(const UserMessageRecord&) = delete;
  UserMessageRecord& operator=(const UserMessageRecord&) = delete;
  // Records not yet freed (a record lost on its way would stay counted).
  static int LiveCount() { return FLive.load(); }

  int SenderNo = 0;
  int RecipientNo = 0;  // 0: a broadcast
  std::string SenderName;
  std::string RecipientName;
  std::string Text;  // lines end with CR LF
  TDateTime When = 0;

private:
  static inline std::atomic<int> FLive{0};
};

// The recipient name of a broadcast.
extern const char* const EveryoneText;

// Builds the record of a message (name look-ups through the caches).
UserMessageRecord* NewUserMessageRecord(const std::string& text, int sender, int recipient, TDateTime when);

// Keeps a rich-text control writable for a scope and read-only after it.
class TWritableScope
{
public:
  explicit TWritableScope(TRichEdit& edit) : FEdit(edit) { FEdit.SetReadOnly(false); }
  ~TWritableScope() { FEdit.SetReadOnly(true); }

private:
  TRichEdit& FEdit;
};

class TCustomArticleViewForm : public TForm
{
public:
  TCustomArticleViewForm(TComponent* owner, std::string resourceName);
  ~TCustomArticleViewForm() override;

  // Restore and store the view's own panel sizes.
  virtual void LoadLayout() = 0;
  virtual void SaveLayout() = 0;
  // The text control's colour: window background when active, inactive
  // border otherwise.
  virtual void SetActive(bool active);
  virtual void Rot13Text() = 0;
  virtual void GetViewText(std::string& text);
  virtual void ShowFindDialog();
  virtual void ClearView() = 0;
  // Scrolls one page when more of the shown texts lies below; true when it did.
  virtual bool PageDown() = 0;
  virtual void ShowText(int textNo) = 0;
  // The text last shown, 0 when none is (after ClearView): what a view of
  // the other kind shows in its place.
  virtual int ShownText() const = 0;
  // Any thread: posts the message to the view's own window, which shows it.
  // Answers false (the record freed) when the window is gone.
  virtual bool ShowUserMessage(const std::string& text, int sender, int recipient, TDateTime when);

  // The view's text control and its find dialog (bound by DeclareViewBindings).
  TLyskomTextEdit* MainEdit = nullptr;
  TFindDialog* FindDialog1 = nullptr;
  TRichEditKomLinks& Links() { return *FLinks; }

  void MainEditMouseMove(TComponent* Sender, TShiftState Shift, int X, int Y);
  void FindDialog1Find(TComponent* Sender);
  void FindDialog1Close(TComponent* Sender);

  bool BriefMode() const { return FBriefMode; }
  void SetBriefMode(bool value) { FBriefMode = value; }

  // Posts a record to the view's window; false (and the record freed) when
  // it could not be posted. Takes ownership.
  bool PostUserMessage(UserMessageRecord* record);

protected:
  // Shows one message (the record stays the caller's).
  virtual void ShowMessageRecord(const UserMessageRecord& record) = 0;
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
  // Frees the messages still queued for the window before it goes.
  void BeforeDestruction() override;
  // The point at which a find dialog opens for a control of this view.
  POINT FindDialogPoint(TControl* control) const;
  // Binds MainEdit, FindDialog1 and the handlers above; each view calls it
  // from its DeclareBindings.
  void DeclareViewBindings(TBindings& b);
  // Scrolls the text one page when more than its last trailingLines lines
  // lies below the window; true when it did.
  bool PageDownText(int trailingLines);
  // The character of the text control under a point of its client area; -1
  // without a control.
  int CharFromClientPoint(int x, int y) const;
  // A left button pressed at a character of the text control: a link there
  // is followed once the control has taken the press.
  void LinkButtonDown(int position, int x, int y);
  // The top-level window that holds the view, for boxes.
  HWND OwnerWindow() const;

  TKomLinksPtr FLinks;

private:
  void DiscardQueuedMessages();
  void FollowPressedLink(int position, LPARAM point);
  bool FBriefMode = false;
  // Whether the text control hid its selection before the find dialog opened.
  bool FHidesSelection = true;
};

// Walks the footnotes of a text depth first, footnotes of a footnote right
// after it: show is called once for each footnote (not for the text itself),
// however deep or circular the chain; a footnote it refuses (false) is
// passed over with its own footnotes. shown collects the texts walked.
void ForEachFootnote(int textNo, TSortedIntegerList& shown, const std::function<bool(int)>& show);

// Fetches the statuses, bodies and authors' names of the texts into the
// client caches on a few workers at once, so that showing many texts (the
// comments of a text) does not wait for one round trip after another.
// Waits, running synchronised calls on the window thread, until done.
void PrefetchTexts(const std::vector<int>& texts);
