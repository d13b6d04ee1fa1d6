// Messages between users: the session's log of messages and the area in
// which a message is written. One window is created at start; chat windows,
// each bound to one partner, are created when asked for. While the away
// window is open, personal messages are answered with its text.
#pragma once

#include <memory>
#include <string>

#include "CommonControls.h"
#include "Panels.h"
#include "Form.h"
#include "LyskomTypes.h"
#include "MenuItems.h"
#include "MessageInbox.h"
#include "NameFrame.h"
#include "LyskomTextEdit.h"
#include "StandardControls.h"

class TMessagesForm;

// The away window: the text replied with, whether conference messages get
// it too, and how many replies went out. Open means away.
class TOfflineMessageForm : public TForm
{
public:
  explicit TOfflineMessageForm(TComponent* owner);

  TMemo* MessageMemo = nullptr;
  TButton* Button1 = nullptr;
  TEdit* SendCountEdit = nullptr;
  TCheckBox* ReplyToAllCheckBox = nullptr;

  // The messages window whose away mode this is (set before showing).
  TMessagesForm* Messages = nullptr;

  // One more automatic reply was sent.
  void CountReply();

  void FormShow(TComponent* Sender);
  void FormHide(TComponent* Sender);
  void FormClose(TComponent* Sender, TCloseAction& Action);
  void Button1Click(TComponent* Sender);
  void MessageMemoChange(TComponent* Sender);
  void ReplyToAllCheckBoxClick(TComponent* Sender);

protected:
  void DeclareBindings(TBindings& b) override;

private:
  // What the dispatcher's thread replies with, from the controls.
  void PublishAway();
  // The away text and the reply-to-all choice, kept for the next time.
  void SaveSettings();
};

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
  TOfflineMessageForm* AwayForm = nullptr;
  // When the last incoming line was written to the log; 0 for never.
  TDateTime LastMessageTime = 0;

  // Dispatcher's thread: takes the message when it is for this window
  // (chatPass: only a chat with the sender takes it) and posts it here.
  bool AddIncomingMessage(int Sender, int Recipient, bool ChatPass, const std::string& Text);
  // A chat window's partner is fixed; its picker and to-everyone box go.
  void SetChatMode(bool On);
  // The picker shows the name of the person or conference.
  void SetTarget(int Number);
  // The log, the write area and the picker's name field get the window
  // colour when connected and the inactive-border colour when not.
  void SetConnected(bool connected);
  // "AutomaticLineWrap" and "MessageWriteArea" / the latter written back.
  void LoadSettings();
  void SaveSettings();
  // Ends the away mode when it is on.
  void CloseOfflineForm();
  // The number in the picker (typed text looked up); 0 or less for none.
  int TargetNumber();
  // Writes one incoming line to the log (WM_SHOW_MESSAGE's work).
  void ShowMessageLine(const TMessageLine& line, TDateTime now);

  // The part the dispatcher uses; shared so it outlives the window.
  const std::shared_ptr<TMessageInbox>& Inbox() const { return FInbox; }

  void FormCreate(TComponent* Sender);
  void FormDestroy(TComponent* Sender);
  void FormActivate(TComponent* Sender);
  void FormClose(TComponent* Sender, TCloseAction& Action);
  void PinMessagesActionExecute(TComponent* Sender);
  void SendMessageActionExecute(TComponent* Sender);
  void StartChatActionExecute(TComponent* Sender);
  void GoOfflineActionExecute(TComponent* Sender);
  void SentToAllCheckBoxClick(TComponent* Sender);

protected:
  void DeclareBindings(TBindings& b) override;
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
  friend class TOfflineMessageForm;
  // Appends text at the end of the log in the font of the category, then
  // (when given) in a colour of its own, and scrolls to it.
  void AppendToLog(const std::string& text, int fontCategory, COLORREF color = CLR_INVALID);
  void UpdatePickerState();
  // Gives the write area's controls the room that its font needs.
  void FitWriteAreaToFont();

  // The write area's sizes as designed: the least it is given.
  struct TDesignedWriteArea
  {
    int BoxWidth = 0, BoxHeight = 0, FieldHeight = 0, TargetHeight = 0;
  } FDesigned;

  std::shared_ptr<TMessageInbox> FInbox;
};

// The messages window created at start (chat windows are others).
extern TMessagesForm* MessagesForm;
