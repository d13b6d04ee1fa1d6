#include "FormLoading.h"

#include <cxxabi.h>

#include <climits>
#include <cstdlib>

#include "Form.h"

std::string ReadableTypeName(const char* mangled)
{
  int status = 0;
  char* d = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string s = (status == 0 && d) ? d : mangled;
  std::free(d);
  return s;
}

void TLoadContext::Fail(int line, const std::string& message) const
{
  throw EFormError(FFormName, line, FComponent, message);
}

void TLoadContext::UnknownProperty(const TFormProperty& p) const
{
  if (p.Name.rfind("On", 0) == 0) Fail(p, "unknown event " + p.Name);
  Fail(p, "unknown property " + p.Name);
}

std::string TLoadContext::String(const TFormProperty& p) const
{
  if (p.Value.Kind != TFormValue::String) Fail(p, p.Name + " must be a string, not " + p.Value.KindName());
  return p.Value.Text;
}

int TLoadContext::Integer(const TFormProperty& p) const
{
  if (p.Value.Kind != TFormValue::Integer) Fail(p, p.Name + " must be an integer, not " + p.Value.KindName());
  if (p.Value.Number > INT_MAX || p.Value.Number < INT_MIN) {
    if (p.Value.Number <= 0xFFFFFFFFLL && p.Value.Number > 0) return int(unsigned(p.Value.Number));
    Fail(p, p.Name + " is out of range");
  }
  return int(p.Value.Number);
}

bool TLoadContext::Boolean(const TFormProperty& p) const
{
  if (p.Value.Kind == TFormValue::Identifier) {
    if (p.Value.Text == "true" || p.Value.Text == "True") return true;
    if (p.Value.Text == "false" || p.Value.Text == "False") return false;
  }
  Fail(p, p.Name + " must be true or false");
}

std::string TLoadContext::Identifier(const TFormProperty& p) const
{
  if (p.Value.Kind != TFormValue::Identifier)
    Fail(p, p.Name + " must be an identifier, not " + p.Value.KindName());
  return p.Value.Text;
}

std::vector<std::string> TLoadContext::StringList(const TFormProperty& p) const
{
  if (p.Value.Kind != TFormValue::List) Fail(p, p.Name + " must be a list of strings");
  std::vector<std::string> result;
  for (const TFormValue& v : p.Value.Items) {
    if (v.Kind != TFormValue::String) Fail(v.Line, p.Name + " must be a list of strings");
    result.push_back(v.Text);
  }
  return result;
}

unsigned TLoadContext::Set(const TFormProperty& p, std::initializer_list<std::pair<const char*, unsigned>> names) const
{
  if (p.Value.Kind != TFormValue::List) Fail(p, p.Name + " must be a list such as [" + names.begin()->first + "]");
  unsigned result = 0;
  for (const TFormValue& v : p.Value.Items) {
    bool found = false;
    for (const auto& n : names)
      if (v.Kind == TFormValue::Identifier && v.Text == n.first) {
        result |= n.second;
        found = true;
      }
    if (!found) Fail(v.Line, "unknown member " + (v.Kind == TFormValue::Identifier ? v.Text : "") + " of " + p.Name);
  }
  return result;
}

TColor TLoadContext::Color(const TFormProperty& p) const
{
  static const std::pair<const char*, TColor> names[] = {
      {"clDefault", clDefault},
      {"clBtnFace", clBtnFace},
      {"clBtnText", clSystem | COLOR_BTNTEXT},
      {"clBtnShadow", clSystem | COLOR_BTNSHADOW},
      {"clBtnHighlight", clSystem | COLOR_BTNHIGHLIGHT},
      {"clWindow", clWindow},
      {"clWindowText", clWindowText},
      {"clWindowFrame", clSystem | COLOR_WINDOWFRAME},
      {"clInactiveBorder", clInactiveBorder},
      {"clInactiveCaption", clSystem | COLOR_INACTIVECAPTION},
      {"clInactiveCaptionText", clSystem | COLOR_INACTIVECAPTIONTEXT},
      {"clActiveCaption", clSystem | COLOR_ACTIVECAPTION},
      {"clCaptionText", clSystem | COLOR_CAPTIONTEXT},
      {"clHighlight", clSystem | COLOR_HIGHLIGHT},
      {"clHighlightText", clSystem | COLOR_HIGHLIGHTTEXT},
      {"clGrayText", clSystem | COLOR_GRAYTEXT},
      {"clInfoBk", clInfoBk},
      {"clInfoText", clSystem | COLOR_INFOTEXT},
      {"clAppWorkSpace", clSystem | COLOR_APPWORKSPACE},
      {"clBlack", RGB(0, 0, 0)},
      {"clWhite", RGB(255, 255, 255)},
      {"clMaroon", RGB(128, 0, 0)},
      {"clGreen", RGB(0, 128, 0)},
      {"clNavy", RGB(0, 0, 128)},
      {"clRed", RGB(255, 0, 0)},
      {"clBlue", RGB(0, 0, 255)},
      {"clYellow", RGB(255, 255, 0)},
      {"clGray", RGB(128, 128, 128)},
      {"clSilver", RGB(192, 192, 192)},
  };
  if (p.Value.Kind == TFormValue::Integer) return TColor(p.Value.Number);
  if (p.Value.Kind == TFormValue::Identifier)
    for (const auto& n : names)
      if (p.Value.Text == n.first) return n.second;
  Fail(p, p.Name + " must be a colour such as clBtnFace or $00FF00");
}

TFontInfo TLoadContext::Font(const TFormProperty& p) const
{
  TFontInfo f;
  if (!TFontInfo::Parse(String(p), f)) Fail(p, p.Name + " must read \"Name;Size;$Colour;Styles\"");
  return f;
}

TComponent* TLoadContext::Reference(const TFormProperty& p) const
{
  std::string ref = Identifier(p);
  size_t dot = ref.find('.');
  TComponent* c = nullptr;
  if (dot == std::string::npos) {
    c = FRoot->FindComponent(ref);
    if (!c) Fail(p, p.Name + ": no component " + ref + " in this form");
  } else {
    if (ControlHooks().ResolveGlobalReference)
      c = ControlHooks().ResolveGlobalReference(ref.substr(0, dot), ref.substr(dot + 1));
    if (!c) Fail(p, p.Name + ": no component " + ref);
  }
  return c;
}

const TBindings::THandlerEntry* TLoadContext::FindHandler(const TFormProperty& p) const
{
  std::string name = Identifier(p);
  const TBindings::THandlerEntry* h = FBindings.FindHandler(name);
  if (!h) Fail(p, "no handler " + name + " in the binding table");
  if (!h->Function) Fail(p, "handler " + name + " is declared for another class");
  return h;
}
