#include "DateTimePicker.h"

#include "FormLoading.h"

TDateTimePicker::TDateTimePicker(TComponent* owner) : TControl(owner)
{
  SetBounds(0, 0, 186, 21);
  GetLocalTime(&FValue);
}

void TDateTimePicker::CreateParams(TCreateParams& params)
{
  params.ClassName = DATETIMEPICK_CLASSA;
  params.Style |= WS_TABSTOP | (Kind == TKind::Time ? DTS_TIMEFORMAT : DTS_SHORTDATEFORMAT);
}

void TDateTimePicker::HandleCreated()
{
  SendMessageA(Handle(), DTM_SETSYSTEMTIME, GDT_VALID, LPARAM(&FValue));
}

SYSTEMTIME TDateTimePicker::DateTime() const
{
  SYSTEMTIME t = FValue;
  if (HandleAllocated()) SendMessageA(Handle(), DTM_GETSYSTEMTIME, 0, LPARAM(&t));
  return t;
}

void TDateTimePicker::SetDateTime(const SYSTEMTIME& t)
{
  FValue = t;
  if (HandleAllocated()) SendMessageA(Handle(), DTM_SETSYSTEMTIME, GDT_VALID, LPARAM(&FValue));
}

bool TDateTimePicker::HandleNotify(NMHDR* hdr, LRESULT& result)
{
  if (hdr->code != DTN_DATETIMECHANGE) return false;
  FValue = DateTime();
  if (OnChange) OnChange(this);
  result = 0;
  return true;
}

void TDateTimePicker::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "Kind")
    Kind = ctx.Enum<TKind>(p, {{"Date", TKind::Date}, {"Time", TKind::Time}});
  else if (p.Name == "OnChange")
    ctx.Bind(p, OnChange);
  else
    TControl::ApplyProperty(p, ctx);
}
