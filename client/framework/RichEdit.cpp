#include "RichEdit.h"

#include <mutex>

#include "Clipboard.h"
#include "Form.h"
#include "FormLoading.h"
#include "Application.h"
#include "MessageBoxes.h"

namespace {

struct TRichEditLibrary
{
  std::string Name = "RICHED20.DLL";
  bool Tried = false;
  bool Loaded = false;
  std::string Class;
};

TRichEditLibrary& Library()
{
  static TRichEditLibrary lib;
  return lib;
}

// Loads the library once per name; answers whether Rich Edit 2.0 is there.
bool LoadRichEdit()
{
  TRichEditLibrary& lib = Library();
  if (!lib.Tried) {
    lib.Tried = true;
    lib.Loaded = LoadLibraryA(lib.Name.c_str()) != nullptr;
    if (lib.Loaded) {
      lib.Class = "RichEdit20A";
    } else if (LoadLibraryA("RICHED32.DLL")) {
      lib.Class = "RichEdit";
    } else {
      lib.Class = "EDIT";
    }
  }
  return lib.Loaded;
}

// Rich Edit ends lines with CR alone; the clipboard's text wants CR LF.
std::string ToClipboardLines(const std::string& s)
{
  std::string out;
  out.reserve(s.size() + s.size() / 16);
  for (size_t i = 0; i < s.size(); ++i) {
    out += s[i];
    if (s[i] == '\r' && (i + 1 >= s.size() || s[i + 1] != '\n')) out += '\n';
  }
  return out;
}

} // namespace

const char* TRichEdit::MissingLibraryText()
{
  return "Unable to find Rich Edit Control ver 2.0 or newer. The file \"RICHED20.DLL\" is required for this program "
         "to work.";
}

std::string TRichEdit::WindowClass()
{
  LoadRichEdit();
  return Library().Class;
}

void TRichEdit::SetLibraryName(const std::string& name)
{
  Library() = TRichEditLibrary();
  Library().Name = name;
}

TRichEdit::TRichEdit(TComponent* owner) : TControl(owner)
{
  SetBounds(0, 0, 185, 89);
}

void TRichEdit::SetHideSelection(bool v)
{
  HideSelection = v;
  if (!HandleAllocated()) return;
  if (Library().Class == "EDIT") {
    LONG_PTR style = GetWindowLongPtrA(Handle(), GWL_STYLE);
    style = v ? (style & ~LONG_PTR(ES_NOHIDESEL)) : (style | ES_NOHIDESEL);
    SetWindowLongPtrA(Handle(), GWL_STYLE, style);
    InvalidateRect(Handle(), nullptr, TRUE);
    return;
  }
  // The rich-edit control reads a changed window style only when created;
  // its options are what it draws by (and it keeps the style in step).
  SendMessageA(Handle(), EM_SETOPTIONS, v ? ECOOP_AND : ECOOP_OR, v ? ~LPARAM(ECO_NOHIDESEL) : ECO_NOHIDESEL);
  InvalidateRect(Handle(), nullptr, FALSE);
}

void TRichEdit::CreateParams(TCreateParams& params)
{
  if (!LoadRichEdit())
    ShowMessageBox(nullptr, MissingLibraryText(), Application().Title, MB_OK | MB_ICONERROR);
  params.ClassName = Library().Class;
  params.Style |= WS_TABSTOP | ES_MULTILINE;
  if (!HideSelection) params.Style |= ES_NOHIDESEL;
  if (Border) params.ExStyle |= WS_EX_CLIENTEDGE;
  if (FReadOnly) params.Style |= ES_READONLY;
  if (WantReturns) params.Style |= ES_WANTRETURN;
  if (!HideScrollBars) params.Style |= ES_DISABLENOSCROLL;
  if (ScrollBars == TScrollBars::Vertical || ScrollBars == TScrollBars::Both) params.Style |= WS_VSCROLL | ES_AUTOVSCROLL;
  if (ScrollBars == TScrollBars::Horizontal || ScrollBars == TScrollBars::Both || !WordWrap)
    params.Style |= WS_HSCROLL | ES_AUTOHSCROLL;
}

void TRichEdit::HandleCreated()
{
  if (Library().Class == "EDIT") return;
  if (PlainText) SendMessageA(Handle(), EM_SETTEXTMODE, TM_PLAINTEXT, 0);
  SendMessageA(Handle(), EM_EXLIMITTEXT, 0, MaxLength > 0 ? MaxLength : 0x7FFFFFFE);
  SendMessageA(Handle(), EM_SETEVENTMASK, 0, ENM_CHANGE | ENM_SELCHANGE | ENM_LINK);
  if (!WordWrap) SendMessageA(Handle(), EM_SETTARGETDEVICE, 0, 1);
  if (Color() != clDefault) SetColor(Color());
  if (!FCaption.empty()) SetWindowTextA(Handle(), FCaption.c_str());
}

void TRichEdit::SetColor(TColor c)
{
  TControl::SetColor(c);
  if (HandleAllocated() && Library().Class != "EDIT")
    SendMessageA(Handle(), EM_SETBKGNDCOLOR, c == clDefault, c == clDefault ? 0 : LPARAM(ColorToRGB(c)));
}

void TRichEdit::SetReadOnly(bool v)
{
  FReadOnly = v;
  if (HandleAllocated()) SendMessageA(Handle(), EM_SETREADONLY, v, 0);
}

std::string TRichEdit::Caption() const
{
  if (!HandleAllocated() || Library().Class == "EDIT") return TControl::Caption();
  GETTEXTLENGTHEX len{GTL_PRECISE | GTL_NUMBYTES, CP_ACP};
  LRESULT n = SendMessageA(Handle(), EM_GETTEXTLENGTHEX, WPARAM(&len), 0);
  if (n <= 0) return {};
  std::string s(size_t(n) + 1, '\0');
  GETTEXTEX get{};
  get.cb = DWORD(s.size());
  get.flags = GT_DEFAULT;
  get.codepage = CP_ACP;
  LRESULT got = SendMessageA(Handle(), EM_GETTEXTEX, WPARAM(&get), LPARAM(s.data()));
  s.resize(size_t(got > 0 ? got : 0));
  return s;
}

int TRichEdit::TextLength() const
{
  if (!HandleAllocated()) return int(FCaption.size());
  if (Library().Class == "EDIT") return GetWindowTextLengthA(Handle());
  GETTEXTLENGTHEX len{GTL_DEFAULT | GTL_NUMCHARS, CP_ACP};
  return int(SendMessageA(Handle(), EM_GETTEXTLENGTHEX, WPARAM(&len), 0));
}

int TRichEdit::SelStart() const
{
  CHARRANGE r{0, 0};
  if (HandleAllocated()) SendMessageA(Handle(), EM_EXGETSEL, 0, LPARAM(&r));
  return int(r.cpMin);
}

int TRichEdit::SelLength() const
{
  CHARRANGE r{0, 0};
  if (HandleAllocated()) SendMessageA(Handle(), EM_EXGETSEL, 0, LPARAM(&r));
  return int(r.cpMax - r.cpMin);
}

void TRichEdit::SetSelection(int start, int length)
{
  if (!HandleAllocated()) return;
  CHARRANGE r{start, length < 0 ? -1 : start + length};
  SendMessageA(Handle(), EM_EXSETSEL, 0, LPARAM(&r));
}

std::string TRichEdit::SelText() const
{
  int n = SelLength();
  if (n <= 0) return {};
  std::string s(size_t(n) * 2 + 1, '\0');
  LRESULT got = SendMessageA(Handle(), EM_GETSELTEXT, 0, LPARAM(s.data()));
  s.resize(size_t(got > 0 ? got : 0));
  return s;
}

void TRichEdit::ReplaceSelection(const std::string& text, bool canUndo)
{
  if (HandleAllocated()) SendMessageA(Handle(), EM_REPLACESEL, canUndo, LPARAM(text.c_str()));
}

void TRichEdit::CopyToClipboard()
{
  if (SelLength() > 0) SetClipboardText(ToClipboardLines(SelText()));
}

void TRichEdit::CutToClipboard()
{
  if (FReadOnly || SelLength() <= 0) return;
  CopyToClipboard();
  ReplaceSelection("", true);
}

void TRichEdit::PasteFromClipboard()
{
  if (HandleAllocated() && !FReadOnly) SendMessageA(Handle(), WM_PASTE, 0, 0);
}

bool TRichEdit::HandleCommand(WORD code, WORD)
{
  if (code != EN_CHANGE) return false;
  if (OnChange) OnChange(this);
  return true;
}

bool TRichEdit::HandleNotify(NMHDR* hdr, LRESULT& result)
{
  result = 0;
  if (hdr->code == EN_SELCHANGE) {
    if (OnSelectionChange) OnSelectionChange(this);
    return true;
  }
  return false;
}

LRESULT TRichEdit::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
  switch (msg) {
  case WM_COPY:
    CopyToClipboard();
    return 0;
  case WM_CUT:
    CutToClipboard();
    return 0;
  case WM_KEYDOWN: {
    TShiftState s = KeyboardShiftState();
    if (s == ssCtrl && (wp == 'C' || wp == VK_INSERT)) {
      CopyToClipboard();
      return 0;
    }
    if ((s == ssCtrl && wp == 'X') || (s == ssShift && wp == VK_DELETE)) {
      CutToClipboard();
      return 0;
    }
    if (wp == VK_RETURN && !WantReturns) {
      RaiseKeyEvent(msg, wp);
      return 0;
    }
    break;
  }
  case WM_GETDLGCODE: {
    // Never handed the message: with it the control would switch to its
    // dialog mode, post WM_CLOSE to its parent on Escape and ask the parent
    // for a default button on Enter. What it takes it says here instead.
    LRESULT code = TControl::WndProc(msg, wp, 0) & ~LRESULT(DLGC_WANTALLKEYS | DLGC_WANTTAB);
    if (WantTabs) code |= DLGC_WANTTAB;
    if (WantReturns && !FReadOnly && wp == VK_RETURN) code |= DLGC_WANTMESSAGE;
    // Only a one-line field is selected whole when the Tab key reaches it.
    if (WantReturns) code &= ~LRESULT(DLGC_HASSETSEL);
    return code;
  }
  case WM_CHAR:
    // A field of one line takes no line breaks.
    if (!WantReturns && (wp == '\r' || wp == '\n')) {
      RaiseKeyEvent(msg, wp);
      return 0;
    }
    break;
  }
  return TControl::WndProc(msg, wp, lp);
}

void TRichEdit::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  const std::string& n = p.Name;
  if (n == "ReadOnly")
    FReadOnly = ctx.Boolean(p);
  else if (n == "ScrollBars")
    ScrollBars = ctx.Enum<TScrollBars>(p, {{"None", TScrollBars::None},
                                           {"Horizontal", TScrollBars::Horizontal},
                                           {"Vertical", TScrollBars::Vertical},
                                           {"Both", TScrollBars::Both}});
  else if (n == "WordWrap")
    WordWrap = ctx.Boolean(p);
  else if (n == "HideSelection")
    HideSelection = ctx.Boolean(p);
  else if (n == "HideScrollBars")
    HideScrollBars = ctx.Boolean(p);
  else if (n == "PlainText")
    PlainText = ctx.Boolean(p);
  else if (n == "WantTabs")
    WantTabs = ctx.Boolean(p);
  else if (n == "WantReturns")
    WantReturns = ctx.Boolean(p);
  else if (n == "BorderStyle")
    Border = ctx.Enum<bool>(p, {{"None", false}, {"Single", true}});
  else if (n == "MaxLength")
    MaxLength = ctx.Integer(p);
  else if (n == "OnChange")
    ctx.Bind(p, OnChange);
  else if (n == "OnSelectionChange")
    ctx.Bind(p, OnSelectionChange);
  else
    TControl::ApplyProperty(p, ctx);
}
