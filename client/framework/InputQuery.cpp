#include "InputQuery.h"

#include <memory>

#include "Application.h"
#include "Form.h"
#include "FormLoading.h"
#include "ComponentRegistry.h"
#include "StandardControls.h"

namespace {

class TInputQueryForm : public TForm
{
public:
  explicit TInputQueryForm(TComponent* owner) : TForm(owner, "TInputQueryForm") {}
  TLabel* PromptLabel = nullptr;
  TEdit* ValueEdit = nullptr;

protected:
  void DeclareBindings(TBindings& b) override
  {
    b.Field("PromptLabel", PromptLabel);
    b.Field("ValueEdit", ValueEdit);
  }
};

} // namespace

void RegisterInputQueryForm()
{
  RegisterFormClass<TInputQueryForm>("TInputQueryForm");
}

bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value)
{
  std::unique_ptr<TInputQueryForm> form(CreateForm<TInputQueryForm>(nullptr));
  form->SetCaption(caption);
  form->PromptLabel->SetCaption(prompt);
  form->ValueEdit->SetText(value);
  form->ValueEdit->SelectAll();
  form->SetActiveControl(form->ValueEdit);
  if (form->ShowModal() != mrOk) return false;
  value = form->ValueEdit->Text();
  return true;
}
