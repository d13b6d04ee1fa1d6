#include "StatisiticsForm.h"

#include "ClientCaches.h"
#include "MainWindowLink.h"
#include "TrafficStatistics.h"
#include "Application.h"

void TStatisiticsForm::DeclareBindings(TBindings& b)
{
  b.Field("BytesSentEdit", BytesSentEdit);
  b.Field("BytesReceivedEdit", BytesReceivedEdit);
  b.Field("TransEdit", TransEdit);
  b.Field("AsyncEdit", AsyncEdit);
  b.Field("NameFromNumberEdit", NameFromNumberEdit);
  b.Field("TextStatEdit", TextStatEdit);
  b.Field("TextBodyEdit", TextBodyEdit);
  b.Field("SessionEdit", SessionEdit);
  b.Field("CloseButton", CloseButton);
  b.Field("Timer1", Timer1);
  b.Handler("FormShow", &TStatisiticsForm::FormShow);
  b.Handler("FormClose", &TStatisiticsForm::FormClose);
  b.Handler("Timer1Timer", &TStatisiticsForm::Timer1Timer);
  b.Handler("CloseButtonClick", &TStatisiticsForm::CloseButtonClick);
}

void TStatisiticsForm::Refresh()
{
  const TTrafficCounters traffic = TrafficCounters();
  BytesSentEdit->SetText(FormatByteCount(traffic.BytesSent));
  BytesReceivedEdit->SetText(FormatByteCount(traffic.BytesReceived));
  TransEdit->SetText(std::to_string(traffic.Transactions));
  AsyncEdit->SetText(std::to_string(traffic.AsyncMessages));
  const TCacheCounters caches = CacheCounters();
  NameFromNumberEdit->SetText(FormatHitRate(caches.NameHits, caches.NameMisses));
  TextStatEdit->SetText(FormatHitRate(caches.TextStatHits, caches.TextStatMisses));
  TextBodyEdit->SetText(FormatHitRate(caches.TextHits, caches.TextMisses));
  SessionEdit->SetText(FormatHitRate(caches.SessionHits, caches.SessionMisses));
}

void TStatisiticsForm::FormShow(TComponent*)
{
  Refresh();
  Timer1->SetEnabled(true);
}

void TStatisiticsForm::FormClose(TComponent*, TCloseAction& Action)
{
  Timer1->SetEnabled(false);
  Action = TCloseAction::Free;
}

void TStatisiticsForm::Timer1Timer(TComponent*)
{
  Refresh();
}

void TStatisiticsForm::CloseButtonClick(TComponent*)
{
  Close();
}

TStatisiticsForm* ShowStatisitics()
{
  auto* form = CreateForm<TStatisiticsForm>(CommandWindowOwner());
  form->Show();
  return form;
}
