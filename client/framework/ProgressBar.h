#pragma once

#include "Control.h"

class TProgressBar : public TControl
{
public:
  explicit TProgressBar(TComponent* owner);
  int Min() const { return FMin; }
  int Max() const { return FMax; }
  void SetRange(int min, int max);
  int Position() const { return FPosition; }
  void SetPosition(int v);
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;

private:
  int FMin = 0, FMax = 100, FPosition = 0;
};
