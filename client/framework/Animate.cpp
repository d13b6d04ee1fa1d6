#include "Animate.h"

#include "FormLoading.h"

TAnimate::TAnimate(TComponent* owner) : TControl(owner)
{
  SetBounds(0, 0, 100, 80);
}

void TAnimate::CreateParams(TCreateParams& params)
{
  params.ClassName = ANIMATE_CLASSA;
  params.Style |= ACS_CENTER | ACS_TRANSPARENT;
}

void TAnimate::HandleCreated()
{
  // The common animations are resources of the shell library; where it has
  // none, the control stays empty.
  int id = CommonAVI == TCommonAVI::FindFile       ? 150
           : CommonAVI == TCommonAVI::FindComputer ? 152
           : CommonAVI == TCommonAVI::CopyFiles    ? 160
                                                   : 0;
  HMODULE shell = id ? LoadLibraryA("SHELL32.DLL") : nullptr;
  FOpened = shell && SendMessageA(Handle(), ACM_OPENA, WPARAM(shell), LPARAM(id));
  if (FActive) SetActive(true);
}

void TAnimate::SetActive(bool v)
{
  FActive = v;
  if (!HandleAllocated() || !FOpened) return;
  if (v)
    SendMessageA(Handle(), ACM_PLAY, WPARAM(-1), MAKELPARAM(0, 0xFFFF));
  else
    SendMessageA(Handle(), ACM_STOP, 0, 0);
}

void TAnimate::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "CommonAVI")
    CommonAVI = ctx.Enum<TCommonAVI>(p, {{"None", TCommonAVI::None},
                                         {"FindFile", TCommonAVI::FindFile},
                                         {"FindComputer", TCommonAVI::FindComputer},
                                         {"CopyFiles", TCommonAVI::CopyFiles}});
  else if (p.Name == "Active")
    FActive = ctx.Boolean(p);
  else
    TControl::ApplyProperty(p, ctx);
}
