#pragma once

#include "Control.h"

// Plays one of the system's animations (the find-file one) while Active.
class TAnimate : public TControl
{
public:
  explicit TAnimate(TComponent* owner);
  enum class TCommonAVI { None, FindFile, FindComputer, CopyFiles } CommonAVI = TCommonAVI::None;
  bool Active() const { return FActive; }
  void SetActive(bool v);
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;

private:
  bool FActive = false;
  bool FOpened = false;
};
