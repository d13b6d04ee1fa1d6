// Messages between users: the session's log of messages and the area in
// which a message is written. One window is created at start; chat windows,
// each bound to one partner, are created when asked for.
#pragma once

#include "CommonControls.h"
#include "Panels.h"
#include "Form.h"
#include "MenuItems.h"
#include "NameFrame.h"
#include "LyskomTextEdit.h"
#include "StandardControls.h"

class TMessagesForm : public TForm
{
public:
  explicit TMessagesForm(TComponent* owner);
  ~TMessagesForm() override;

  TActionList* MessagesActionList = nullptr;
  TAction* PinMessagesAction = nullptr;
  TAction* SendMessageAction = nullptr;
  TAction* StartChatAction = nullptr;
  TAction* GoOfflineAction = nullptr;
  TMainMenu* MessagesMenu = nullptr;
  TToolBar* MessagesToolBar = nullptr;
  TLyskomTextEdit* IncomingEdit = nullptr;
  TSplitter* MessagesSplitter = nullptr;
  TPanel* WriteMessagePanel = nullptr;
  TLyskomTextEdit* WriteMessageEdit = nullptr;
  TCheckBox* SentToAllCheckBox = nullptr;
  TFrame1* TargetFrame = nullptr;

  bool ChatMode = false;
  bool AwayMode = false;

  // The log, the write area and the picker's name field get the window
  // colour when connected and the inactive-border colour when not.
  void SetConnected(bool connected);
  // "AutomaticLineWrap" and "MessageWriteArea" / the latter written back.
  void LoadSettings();
  void SaveSettings();

  void FormClose(TComponent* Sender, TCloseAction& Action);

protected:
  void DeclareBindings(TBindings& b) override;
};

// The messages window created at start (chat windows are others).
extern TMessagesForm* MessagesForm;
