// The client's traffic counters and the hit rates of its caches, refreshed
// every three seconds while the window is shown.
#pragma once

#include "Panels.h"
#include "Form.h"
#include "StandardControls.h"

class TStatisiticsForm : public TForm
{
public:
  explicit TStatisiticsForm(TComponent* owner) : TForm(owner, "TStatisiticsForm") {}

  TEdit* BytesSentEdit = nullptr;
  TEdit* BytesReceivedEdit = nullptr;
  TEdit* TransEdit = nullptr;
  TEdit* AsyncEdit = nullptr;
  TEdit* NameFromNumberEdit = nullptr;
  TEdit* TextStatEdit = nullptr;
  TEdit* TextBodyEdit = nullptr;
  TEdit* SessionEdit = nullptr;
  TButton* CloseButton = nullptr;
  TTimer* Timer1 = nullptr;

  void Refresh();

  void FormShow(TComponent* Sender);
  void FormClose(TComponent* Sender, TCloseAction& Action);
  void Timer1Timer(TComponent* Sender);
  void CloseButtonClick(TComponent* Sender);

protected:
  void DeclareBindings(TBindings& b) override;
};

// Opens a new statistics window (not modal).
TStatisiticsForm* ShowStatisitics();
