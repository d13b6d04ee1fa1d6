#include "ConnectingForm.h"

#include <algorithm>

void TConnectingForm::DeclareBindings(TBindings& b)
{
  b.Field("Gauge1", Gauge1);
  b.Field("EventLabel", EventLabel);
}

void TConnectingForm::SetProgress(const std::string& text, int position)
{
  EventLabel->SetCaption(text);
  Gauge1->SetPosition(std::clamp(position, Gauge1->Min(), Gauge1->Max()));
  if (HostHandle()) UpdateWindow(HostHandle());
  if (Handle()) RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}
