#include "ProgressBar.h"

#include <algorithm>

#include "FormLoading.h"

TProgressBar::TProgressBar(TComponent* owner) : TControl(owner)
{
  SetBounds(0, 0, 150, 16);
}

void TProgressBar::CreateParams(TCreateParams& params)
{
  params.ClassName = PROGRESS_CLASSA;
}

void TProgressBar::HandleCreated()
{
  SendMessageA(Handle(), PBM_SETRANGE32, WPARAM(FMin), LPARAM(FMax));
  SendMessageA(Handle(), PBM_SETPOS, WPARAM(FPosition), 0);
}

void TProgressBar::SetRange(int min, int max)
{
  FMin = min;
  FMax = std::max(min, max);
  FPosition = std::clamp(FPosition, FMin, FMax);
  if (HandleAllocated()) HandleCreated();
}

void TProgressBar::SetPosition(int v)
{
  FPosition = std::clamp(v, FMin, FMax);
  if (HandleAllocated()) SendMessageA(Handle(), PBM_SETPOS, WPARAM(FPosition), 0);
}

void TProgressBar::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "Min")
    FMin = ctx.Integer(p);
  else if (p.Name == "Max")
    FMax = ctx.Integer(p);
  else if (p.Name == "Position")
    FPosition = ctx.Integer(p);
  else
    TControl::ApplyProperty(p, ctx);
}
