#include "AboutBoxForm.h"

#include <shellapi.h>

#include <cstdio>
#include <memory>

#include "ProgramVersion.h"
#include "Application.h"

LRESULT TLinkEdit::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
  switch (msg) {
  case WM_SETCURSOR:
    if (LOWORD(lp) == HTCLIENT) {
      SetCursor(LoadCursor(nullptr, IDC_HAND));
      return TRUE;
    }
    break;
  case WM_LBUTTONUP: {
    LRESULT r = TEdit::WndProc(msg, wp, lp);
    Click();
    return r;
  }
  }
  return TEdit::WndProc(msg, wp, lp);
}

std::function<void(const std::string&)> TAboutBox::ShellOpen = [](const std::string& address) {
  ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
};

void TAboutBox::DeclareBindings(TBindings& b)
{
  b.Field("Panel1", Panel1);
  b.Field("ProductName", ProductName);
  b.Field("Version", Version);
  b.Field("Copyright", Copyright);
  b.Field("Comments", Comments);
  b.Field("SpinCube1", SpinCube1);
  b.Field("Edit1", Edit1);
  b.Field("OKButton", OKButton);
  b.Field("Timer1", Timer1);
  b.Handler("FormShow", &TAboutBox::FormShow);
  b.Handler("FormHide", &TAboutBox::FormHide);
  b.Handler("Timer1Timer", &TAboutBox::Timer1Timer);
  b.Handler("Edit1Click", &TAboutBox::Edit1Click);
}

std::string TAboutBox::VersionCaption()
{
  char text[256];
  std::snprintf(text, sizeof(text), "Version %s.%s %s", ProgramVersionMajor().c_str(), ProgramVersionMinor().c_str(),
                ProgramBuildDate().c_str());
  return text;
}

void TAboutBox::FormShow(TComponent*)
{
  Version->SetCaption(VersionCaption());
  Timer1->SetEnabled(true);
}

void TAboutBox::FormHide(TComponent*)
{
  Timer1->SetEnabled(false);
}

void TAboutBox::Timer1Timer(TComponent*)
{
  SpinCube1->Step();
}

void TAboutBox::Edit1Click(TComponent*)
{
  if (ShellOpen) ShellOpen(Edit1->Text());
}

void ShowAboutBox()
{
  TFormPtr<TAboutBox> box(CreateForm<TAboutBox>(nullptr));
  box->ShowModal();
}
