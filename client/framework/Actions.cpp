#include "Actions.h"

#include <algorithm>
#include <cctype>

#include "CommonControls.h"
#include "FormLoading.h"

namespace {

struct TKeyName
{
  WORD Key;
  const char* Name;
};

const TKeyName KeyNames[] = {
    {VK_BACK, "BkSp"},  {VK_TAB, "Tab"},    {VK_RETURN, "Enter"}, {VK_ESCAPE, "Esc"},  {VK_SPACE, "Space"},
    {VK_PRIOR, "PgUp"}, {VK_NEXT, "PgDn"},  {VK_END, "End"},      {VK_HOME, "Home"},   {VK_LEFT, "Left"},
    {VK_UP, "Up"},      {VK_RIGHT, "Right"}, {VK_DOWN, "Down"},   {VK_INSERT, "Ins"},  {VK_DELETE, "Del"},
};

std::string Lower(std::string s)
{
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string KeyText(WORD key)
{
  if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) return std::string(1, char(key));
  if (key >= VK_F1 && key <= VK_F24) return "F" + std::to_string(key - VK_F1 + 1);
  for (const auto& k : KeyNames)
    if (k.Key == key) return k.Name;
  return {};
}

bool KeyFromText(const std::string& text, WORD& key)
{
  if (text.size() == 1) {
    char c = char(std::toupper(static_cast<unsigned char>(text[0])));
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
      key = WORD(c);
      return true;
    }
  }
  std::string t = Lower(text);
  if (t.size() >= 2 && t[0] == 'f' && std::all_of(t.begin() + 1, t.end(), ::isdigit)) {
    int n = std::stoi(t.substr(1));
    if (n >= 1 && n <= 24) {
      key = WORD(VK_F1 + n - 1);
      return true;
    }
  }
  for (const auto& k : KeyNames)
    if (t == Lower(k.Name)) {
      key = k.Key;
      return true;
    }
  if (t == "return") key = VK_RETURN;
  else if (t == "escape") key = VK_ESCAPE;
  else if (t == "delete") key = VK_DELETE;
  else if (t == "insert") key = VK_INSERT;
  else if (t == "backspace") key = VK_BACK;
  else return false;
  return true;
}

} // namespace

TShortCut MakeShortCut(WORD key, TShiftState shift)
{
  TShortCut s = TShortCut(key & 0xFF);
  if (shift & ssShift) s |= scShift;
  if (shift & ssCtrl) s |= scCtrl;
  if (shift & ssAlt) s |= scAlt;
  return s;
}

std::string ShortCutToText(TShortCut shortCut)
{
  std::string key = KeyText(WORD(shortCut & 0xFF));
  if (key.empty()) return {};
  std::string s;
  if (shortCut & scShift) s += "Shift+";
  if (shortCut & scCtrl) s += "Ctrl+";
  if (shortCut & scAlt) s += "Alt+";
  return s + key;
}

bool TextToShortCut(const std::string& text, TShortCut& shortCut)
{
  TShortCut mods = 0;
  size_t start = 0;
  for (;;) {
    size_t plus = text.find('+', start);
    // A trailing "+" alone would be the key itself; no short cut uses it.
    if (plus == std::string::npos || plus == text.size() - 1) break;
    std::string m = Lower(text.substr(start, plus - start));
    if (m == "shift") mods |= scShift;
    else if (m == "ctrl" || m == "control") mods |= scCtrl;
    else if (m == "alt") mods |= scAlt;
    else return false;
    start = plus + 1;
  }
  WORD key = 0;
  if (!KeyFromText(text.substr(start), key)) return false;
  shortCut = TShortCut(mods | key);
  return true;
}

// ---------------------------------------------------------------------------

TActionLink::~TActionLink()
{
  SetAction(nullptr);
}

bool TActionLink::Enabled(bool own) const
{
  return own && (!FAction || FAction->Enabled());
}

bool TActionLink::Visible(bool own) const
{
  return own && (!FAction || FAction->Visible());
}

void TActionLink::SetEnabled(bool v, bool& own)
{
  if (FAction)
    FAction->SetEnabled(v);
  else
    own = v;
}

void TActionLink::SetChecked(bool v, bool& own)
{
  if (FAction)
    FAction->SetChecked(v);
  else
    own = v;
}

void TActionLink::SetVisible(bool v, bool& own)
{
  // Shown or hidden here alone: a popup that hides its item of a shared
  // action must not take the action out of every other menu.
  own = v;
}

void TActionLink::SetAction(TAction* action)
{
  if (action == FAction) return;
  if (FAction) {
    auto& links = FAction->FLinks;
    links.erase(std::remove(links.begin(), links.end(), this), links.end());
  }
  FAction = action;
  if (FAction) {
    FAction->FLinks.push_back(this);
    if (FChanged) FChanged();
  }
}

TAction::~TAction()
{
  for (TActionLink* link : FLinks) link->FAction = nullptr;
  if (FActionList) {
    auto& list = FActionList->FActions;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
}

void TAction::Changed()
{
  // A client may unlink itself while being told.
  std::vector<TActionLink*> links = FLinks;
  for (TActionLink* link : links)
    if (std::find(FLinks.begin(), FLinks.end(), link) != FLinks.end() && link->FChanged) link->FChanged();
}

void TAction::SetCaption(const std::string& v)
{
  FCaption = v;
  Changed();
}

void TAction::SetHint(const std::string& v)
{
  FHint = v;
  Changed();
}

void TAction::SetShortCut(TShortCut v)
{
  FShortCut = v;
  Changed();
}

void TAction::SetImageIndex(int v)
{
  FImageIndex = v;
  Changed();
}

void TAction::SetEnabled(bool v)
{
  if (v == FEnabled) return;
  FEnabled = v;
  Changed();
}

void TAction::SetChecked(bool v)
{
  if (v == FChecked) return;
  FChecked = v;
  Changed();
}

void TAction::SetVisible(bool v)
{
  if (v == FVisible) return;
  FVisible = v;
  Changed();
}

bool TAction::HandlesShortCut(TShortCut s) const
{
  if (!s) return false;
  return FShortCut == s || std::find(FSecondary.begin(), FSecondary.end(), s) != FSecondary.end();
}

bool TAction::Execute()
{
  if (!FEnabled) return false;
  int previous = FArgument;
  FArgument = Tag >= 1 ? Tag : 0;
  if (Tag >= 1) Tag = 0;
  if (AutoCheck) SetChecked(!FChecked);
  struct TRestore
  {
    int& Slot;
    int Value;
    ~TRestore() { Slot = Value; }
  } restore{FArgument, previous};
  if (OnExecute) OnExecute(this);
  return true;
}

void TAction::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  const std::string& n = p.Name;
  if (n == "Caption")
    FCaption = ctx.String(p);
  else if (n == "Hint")
    FHint = ctx.String(p);
  else if (n == "ShortCut") {
    if (!TextToShortCut(ctx.String(p), FShortCut)) ctx.Fail(p, "not a short cut: " + p.Value.Text);
  } else if (n == "SecondaryShortCuts") {
    for (const std::string& s : ctx.StringList(p)) {
      TShortCut sc = 0;
      if (!TextToShortCut(s, sc)) ctx.Fail(p, "not a short cut: " + s);
      FSecondary.push_back(sc);
    }
  } else if (n == "ImageIndex")
    FImageIndex = ctx.Integer(p);
  else if (n == "Enabled")
    FEnabled = ctx.Boolean(p);
  else if (n == "Checked")
    FChecked = ctx.Boolean(p);
  else if (n == "Visible")
    FVisible = ctx.Boolean(p);
  else if (n == "AutoCheck")
    AutoCheck = ctx.Boolean(p);
  else if (n == "OnExecute")
    ctx.Bind(p, OnExecute);
  else
    TComponent::ApplyProperty(p, ctx);
}

// ---------------------------------------------------------------------------

TActionList::~TActionList()
{
  for (TAction* a : FActions) a->FActionList = nullptr;
}

TAction* TActionList::FindShortCut(TShortCut s) const
{
  for (TAction* a : FActions)
    if (a->HandlesShortCut(s) && a->Enabled()) return a;
  return nullptr;
}

bool TActionList::AcceptsChild(TComponent* child) const
{
  return dynamic_cast<TAction*>(child) != nullptr;
}

void TActionList::AddChild(TComponent* child)
{
  auto* a = static_cast<TAction*>(child);
  a->FActionList = this;
  FActions.push_back(a);
}

void TActionList::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "Images")
    Images = ctx.Ref<TImageList>(p);
  else
    TComponent::ApplyProperty(p, ctx);
}
