// The progress window shown while logging in or off.
#pragma once

#include <string>

#include "CommonControls.h"
#include "Form.h"
#include "StandardControls.h"

class TConnectingForm : public TForm
{
public:
  explicit TConnectingForm(TComponent* owner) : TForm(owner, "TConnectingForm") {}

  TProgressBar* Gauge1 = nullptr;
  TLabel* EventLabel = nullptr;

  // Shows a step: the status text and the gauge (0 to 100), painted at once
  // so that it shows while the window thread is busy.
  void SetProgress(const std::string& text, int position);

protected:
  void DeclareBindings(TBindings& b) override;
};
