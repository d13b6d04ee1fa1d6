#include "MessagesForm.h"

#include <string>

#include "EngineBinding.h"

TMessagesForm* MessagesForm = nullptr;

namespace {

constexpr int DefaultWriteAreaHeight = 117;

} // namespace

TMessagesForm::TMessagesForm(TComponent* owner) : TForm(owner, "TMessagesForm")
{
  if (!MessagesForm) MessagesForm = this;
}

TMessagesForm::~TMessagesForm()
{
  if (MessagesForm == this) MessagesForm = nullptr;
}

void TMessagesForm::DeclareBindings(TBindings& b)
{
  b.Field("MessagesActionList", MessagesActionList);
  b.Field("PinMessagesAction", PinMessagesAction);
  b.Field("SendMessageAction", SendMessageAction);
  b.Field("StartChatAction", StartChatAction);
  b.Field("GoOfflineAction", GoOfflineAction);
  b.Field("MessagesMenu", MessagesMenu);
  b.Field("MessagesToolBar", MessagesToolBar);
  b.Field("IncomingEdit", IncomingEdit);
  b.Field("MessagesSplitter", MessagesSplitter);
  b.Field("WriteMessagePanel", WriteMessagePanel);
  b.Field("WriteMessageEdit", WriteMessageEdit);
  b.Field("SentToAllCheckBox", SentToAllCheckBox);
  b.Field("TargetFrame", TargetFrame);
  b.Handler("FormClose", &TMessagesForm::FormClose);
}

void TMessagesForm::FormClose(TComponent*, TCloseAction& Action)
{
  // A chat window goes; the window created at start only leaves the way.
  Action = this == MessagesForm ? TCloseAction::Minimize : TCloseAction::Free;
}

void TMessagesForm::SetConnected(bool connected)
{
  TColor color = connected ? clWindow : clInactiveBorder;
  IncomingEdit->SetColor(color);
  WriteMessageEdit->SetColor(color);
  TargetFrame->ItemList->SetColor(color);
}

void TMessagesForm::LoadSettings()
{
  if (ServerConfiguration) {
    // Typed lines are broken at the guide column, or not at all.
    WriteMessageEdit->AutoWrap = ServerConfiguration->ReadCheckState("AutomaticLineWrap", cbChecked) == cbChecked;
  }
  if (RegistryConfiguration) {
    int height = RegistryConfiguration->ReadInteger("MessageWriteArea", DefaultWriteAreaHeight);
    WriteMessagePanel->SetHeight(height);
  }
}

void TMessagesForm::SaveSettings()
{
  if (RegistryConfiguration) RegistryConfiguration->WriteInteger("MessageWriteArea", WriteMessagePanel->Height());
}
