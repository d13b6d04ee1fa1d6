#pragma once

#include "Control.h"

class TDateTimePicker : public TControl
{
public:
  explicit TDateTimePicker(TComponent* owner);
  enum class TKind { Date, Time } Kind = TKind::Date;
  // Local time.
  SYSTEMTIME DateTime() const;
  void SetDateTime(const SYSTEMTIME& t);
  TNotifyEvent OnChange;
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;
  bool HandleNotify(NMHDR* hdr, LRESULT& result) override;

private:
  SYSTEMTIME FValue{};
  bool FValueSet = false;
};
