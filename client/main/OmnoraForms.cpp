#include "OmnoraForms.h"

#include <exception>

#include "AboutBoxForm.h"
#include "ChangePasswordForm.h"
#include "ConferenceAttributesForm.h"
#include "ConfigForm.h"
#include "ConfMemberForm.h"
#include "ConfStatisticsForm.h"
#include "FindTextForm.h"
#include "ViewMarksForm.h"
#include "StatisiticsForm.h"
#include "UserStatisticsForm.h"
#include "ChooseNameForm.h"
#include "CreateConfForm.h"
#include "ConfigListForm.h"
#include "ConnectingForm.h"
#include "HostConfigForm.h"
#include "LoginForm.h"
#include "NewUserForm.h"
#include "NoteOnDoorForm.h"
#include "PresentationPromptForm.h"
#include "TextRcptEditForm.h"
#include "WriteTextForm.h"
#include "ActiveUsersForm.h"
#include "ArticleFormViewForm.h"
#include "ArticleViewForm.h"
#include "FindDialog.h"
#include "PanelNoBG.h"
#include "EventLogForm.h"
#include "Form.h"
#include "ComponentRegistry.h"
#include "Application.h"
#include "GetNameForm.h"
#include "LinkMainWindow.h"
#include "MainForm.h"
#include "MessageBoxes.h"
#include "MessagesForm.h"
#include "NameFrame.h"
#include "ReadArticleForm.h"
#include "WindowLayer.h"
#include "WindowSettingsForm.h"
#include "ProcessObjects.h"

void RegisterOmnoraForms()
{
  static bool done = false;
  if (done) return;
  done = true;
  // The windows that commands open reach the main and reading windows.
  LinkMainWindow();
  RegisterStandardComponents();
  RegisterClass<TFrame1>("TFrame1");
  RegisterType<TFindDialog>("FindDialog");
  RegisterClass<TPanelNoBG>("TPanelNoBG");
  RegisterFormClass<TMainForm>("TMainForm");
  RegisterFormClass<TActiveUsersForm>("TActiveUsersForm");
  RegisterFormClass<TMessagesForm>("TMessagesForm");
  RegisterFormClass<TReadArticleForm>("TReadArticleForm");
  RegisterFormClass<TEventLogForm>("TEventLogForm");
  RegisterFormClass<TGetNameForm>("TGetNameForm");
  RegisterFormClass<TArticleViewForm>("TArticleViewForm");
  RegisterFormClass<TArticleFormViewForm>("TArticleFormViewForm");
  // The windows that commands open later.
  RegisterClass<TLinkEdit>("TLinkEdit");
  RegisterFormClass<TAboutBox>("TAboutBox");
  RegisterFormClass<TLoginForm>("TLoginForm");
  RegisterFormClass<THostConfigForm>("THostConfigForm");
  RegisterFormClass<TConfigListForm>("TConfigListForm");
  RegisterFormClass<TConnectingForm>("TConnectingForm");
  RegisterFormClass<TNewUserForm>("TNewUserForm");
  RegisterFormClass<TNoPresenationForm>("TNoPresenationForm");
  RegisterFormClass<TConfigForm>("TConfigForm");
  RegisterFormClass<TWindowSettingsForm>("TWindowSettingsForm");
  RegisterFormClass<TCreateConfForm>("TCreateConfForm");
  RegisterFormClass<TChooseNameForm>("TChooseNameForm");
  RegisterFormClass<TChangePasswordForm>("TChangePasswordForm");
  RegisterFormClass<TConfMemberForm>("TConfMemberForm");
  RegisterFormClass<TConferenceAttributesForm>("TConferenceAttributesForm");
  RegisterFormClass<TStatisiticsForm>("TStatisiticsForm");
  RegisterFormClass<TUserStatisticsForm>("TUserStatisticsForm");
  RegisterFormClass<TConfStatisticsForm>("TConfStatisticsForm");
  RegisterFormClass<TViewMarksForm>("TViewMarksForm");
  RegisterFormClass<TFindTextForm>("TFindTextForm");
  RegisterFormClass<TWriteTextForm>("TWriteTextForm");
  RegisterFormClass<TNoteOnDoorForm>("TNoteOnDoorForm");
  RegisterFormClass<TTextRcptEditForm>("TTextRcptEditForm");
  RegisterFormClass<TOfflineMessageForm>("TOfflineMessageForm");
}

void CreateStartupForms()
{
  RegisterOmnoraForms();
  TApplication* app = &Application();
  CreateForm<TMainForm>(app);
  CreateForm<TActiveUsersForm>(app);
  CreateForm<TMessagesForm>(app);
  CreateForm<TReadArticleForm>(app);
  CreateForm<TEventLogForm>(app);
  CreateForm<TGetNameForm>(app);
}

int RunOmnora()
{
  InstallWindowLayer();
  TUnitsScope units;
  if (!units.Ok()) return 1;
  Application().Initialize();
  Application().Title = "Omnora";
  try {
    CreateStartupForms();
    // Nothing that needs a server works before a login.
    if (MainForm) MainForm->SetConnectedState(false);
  } catch (const std::exception& e) {
    ShowMessageBox(nullptr, e.what(), Application().Title, MB_OK | MB_ICONERROR);
    Application().Shutdown();
    return 1;
  }
  return Application().Run();
}
