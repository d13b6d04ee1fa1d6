#include "PresentationPromptForm.h"

#include <memory>

#include "EngineBinding.h"
#include "Application.h"

const char* const NoPresentationPromptSetting = "NoPresentationPrompt";

TNoPresenationForm::TNoPresenationForm(TComponent* owner, TLyskomConfiguration* store)
  : TForm(owner, "TNoPresenationForm"), FStore(store)
{
}

void TNoPresenationForm::DeclareBindings(TBindings& b)
{
  b.Field("Memo1", Memo1);
  b.Field("YesButton", YesButton);
  b.Field("NoButton", NoButton);
  b.Field("DontShowCheckBox", DontShowCheckBox);
  b.Handler("FormHide", &TNoPresenationForm::FormHide);
}

void TNoPresenationForm::FormHide(TComponent*)
{
  TLyskomConfiguration* store = FStore ? FStore : ServerConfiguration;
  if (store) store->WriteBool(NoPresentationPromptSetting, DontShowCheckBox->Checked());
}

bool ExecutePresentationPrompt(TLyskomConfiguration* store)
{
  TFormPtr<TNoPresenationForm> form(CreateForm<TNoPresenationForm>(nullptr, store));
  return form->ShowModal() == mrYes;
}
