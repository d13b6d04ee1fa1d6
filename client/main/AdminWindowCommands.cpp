#include "AdminWindowCommands.h"

#include "Actions.h"
#include "ConferenceAttributesForm.h"
#include "ConfigForm.h"
#include "EngineBinding.h"
#include "FindTextForm.h"
#include "LyskomConfiguration.h"
#include "ViewMarksForm.h"
#include "ConfStatisticsForm.h"
#include "Form.h"
#include "GetNameForm.h"
#include "MenuItems.h"
#include "ReadArticleForm.h"
#include "SessionState.h"
#include "StatisiticsForm.h"
#include "UserStatisticsForm.h"
#include "WriteTextForm.h"

namespace {

void BindAction(TForm* form, const char* name, std::function<void(int argument)> command)
{
  auto* action = dynamic_cast<TAction*>(form->FindComponent(name));
  if (!action) return;
  action->OnExecute = [action, command](TComponent*) { command(action->Argument()); };
}

void BindMenuItem(TForm* form, const char* name, std::function<void()> command)
{
  auto* item = dynamic_cast<TMenuItem*>(form->FindComponent(name));
  if (!item) return;
  item->OnClick = [command](TComponent*) { command(); };
}

} // namespace

void ConferencePropertiesCommand(int confNo)
{
  if (confNo < 1) confNo = AskForName("Edit conference properties", "", ctConferences);
  if (confNo < 1) return;
  ShowConferenceAttributes(confNo);
}

void OptionsCommand()
{
  if (ServerConfiguration) ExecuteConfigForm(*ServerConfiguration, CurrentPersNo.load());
}

void ConferenceStatisticsCommand(int confNo)
{
  if (confNo < 1) confNo = AskForName("View statistics", "", ctConferences);
  if (confNo < 1) return;
  TConfStatisticsForm::CreateFor(confNo)->Show();
}

void PersonStatisticsCommand(int personNo)
{
  if (personNo < 1) personNo = AskForName("View statistics", "", ctUsers);
  if (personNo < 1) return;
  TUserStatisticsForm::CreateFor(personNo)->Show();
}

void BindAdminWindowCommands(TForm* mainForm)
{
  BindAction(mainForm, "ViewMarkedAction", [](int) { ShowMarkedTexts(); });
  BindAction(mainForm, "FindTextAction", [](int) { ShowFindText(); });
  BindAction(mainForm, "ConfStatAction", ConferenceStatisticsCommand);
  BindAction(mainForm, "PersStatAction", PersonStatisticsCommand);
  BindMenuItem(mainForm, "Statistics1", [] { ShowStatisitics(); });
  BindAction(mainForm, "ConfPropertiesAction", ConferencePropertiesCommand);
  BindMenuItem(mainForm, "Settings2", OptionsCommand);
}

void BindWriteCommands(TReadArticleForm* form)
{
  if (!form) return;
  const auto bind = [form](TAction* action, int command) {
    if (!action || action->OnExecute) return;
    action->OnExecute = [form, command](TComponent*) {
      RunWriteCommand(command, form->CurrentText(), form->SelectedConference());
    };
  };
  bind(form->FollowUpTextAction, 2);
  bind(form->PrivateReplyToTextAction, 3);
  bind(form->AddFootnoteAction, 4);
  bind(form->WriteNewTextAction, 5);
  bind(form->WriteLetterAction, 6);
}
