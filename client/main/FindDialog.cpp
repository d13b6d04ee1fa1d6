#include "FindDialog.h"

#include <richedit.h>

#include <algorithm>
#include <cstring>

#include "Form.h"
#include "RichEdit.h"

namespace {

UINT FindMessage()
{
  static UINT message = RegisterWindowMessageA(FINDMSGSTRINGA);
  return message;
}

const char* const OwnerClass = "OmnoraFindOwner";

void RegisterOwnerClass(WNDPROC proc)
{
  static bool done = false;
  if (done) return;
  done = true;
  WNDCLASSA wc{};
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = OwnerClass;
  RegisterClassA(&wc);
}

} // namespace

TFindDialog::TFindDialog(TComponent* owner) : TComponent(owner) {}

TFindDialog::~TFindDialog()
{
  CloseDialog();
  if (FOwner) DestroyWindow(FOwner);
}

void TFindDialog::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "OnFind")
    ctx.Bind(p, OnFind);
  else if (p.Name == "OnClose")
    ctx.Bind(p, OnClose);
  else
    TComponent::ApplyProperty(p, ctx);
}

LRESULT CALLBACK TFindDialog::OwnerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
  if (msg == FindMessage()) {
    auto* self = reinterpret_cast<TFindDialog*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self) {
      try {
        self->Notified();
      } catch (...) {
        HandleCallbackException();
      }
    }
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

void TFindDialog::Execute()
{
  if (FDialog && IsWindow(FDialog)) {
    SetForegroundWindow(FDialog);
    return;
  }
  RegisterOwnerClass(&TFindDialog::OwnerProc);
  if (!FOwner) {
    // A hidden window of its own receives the dialog's notifications.
    FOwner = CreateWindowExA(0, OwnerClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    if (!FOwner) return;
    SetWindowLongPtrA(FOwner, GWLP_USERDATA, LONG_PTR(this));
  }
  lstrcpynA(FBuffer, SearchText.c_str(), sizeof(FBuffer));
  FRecord = FINDREPLACEA{};
  FRecord.lStructSize = sizeof(FRecord);
  FRecord.hwndOwner = FOwner;
  FRecord.Flags = (Down ? FR_DOWN : 0) | (MatchCase ? FR_MATCHCASE : 0) | (WholeWord ? FR_WHOLEWORD : 0);
  FRecord.lpstrFindWhat = FBuffer;
  FRecord.wFindWhatLen = sizeof(FBuffer);
  FDialog = FindTextA(&FRecord);
  if (!FDialog) return;
  Application().AddModelessDialog(FDialog);
  if (FPositioned) SetWindowPos(FDialog, nullptr, FPosition.x, FPosition.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(FDialog, SW_SHOW);
}

void TFindDialog::CloseDialog()
{
  if (!FDialog) return;
  HWND dialog = FDialog;
  FDialog = nullptr;
  Application().RemoveModelessDialog(dialog);
  if (IsWindow(dialog)) DestroyWindow(dialog);
}

void TFindDialog::Notified()
{
  if (FRecord.Flags & FR_DIALOGTERM) {
    if (FDialog) Application().RemoveModelessDialog(FDialog);
    FDialog = nullptr;
    if (OnClose) OnClose(this);
    return;
  }
  if (!(FRecord.Flags & FR_FINDNEXT)) return;
  SearchText = FBuffer;
  Down = (FRecord.Flags & FR_DOWN) != 0;
  MatchCase = (FRecord.Flags & FR_MATCHCASE) != 0;
  WholeWord = (FRecord.Flags & FR_WHOLEWORD) != 0;
  if (OnFind) OnFind(this);
}

bool FindInRichEdit(TRichEdit& edit, const std::string& text, bool down, bool matchCase, bool wholeWord)
{
  if (!edit.HandleAllocated() || text.empty()) return false;
  const int length = edit.TextLength();
  const int selStart = edit.SelStart();
  const int selLength = edit.SelLength();
  FINDTEXTEXA find{};
  find.lpstrText = text.c_str();
  WPARAM flags = (matchCase ? FR_MATCHCASE : 0) | (wholeWord ? FR_WHOLEWORD : 0);
  int from = 0, to = 0;
  if (down) {
    from = selLength > 0 ? std::min(length, selStart + selLength + 1) : 0;
    to = length;
    flags |= FR_DOWN;
    find.chrg = {from, to};
  } else {
    from = selLength > 0 ? std::max(0, selStart - 1) : length;
    to = 0;
    find.chrg = {from, to};
  }
  LRESULT found = SendMessageA(edit.Handle(), EM_FINDTEXTEX, flags, LPARAM(&find));
  if (found < 0) {
    edit.SetSelection(from, 0);
    return false;
  }
  edit.SetSelection(int(find.chrgText.cpMin), int(find.chrgText.cpMax - find.chrgText.cpMin));
  SendMessageA(edit.Handle(), EM_SCROLLCARET, 0, 0);
  return true;
}
