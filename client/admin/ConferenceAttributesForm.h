// The properties of one conference or person's mailbox: its type, its
// supervisor and super conference, its garbage-collection days and, for a
// mailbox, where comments to the person's texts are sent. Not modal: the
// window loads itself when shown and frees itself when closed.
#pragma once

#include <string>

#include "Form.h"
#include "NameFrame.h"
#include "StandardControls.h"

extern const char* const ConfStatFailedMessage;
extern const char* const ConfInfoFailedMessage;

// The recipient types that comments may be sent as, by combo box entry.
constexpr int SendCommentsTypes[3] = {0, 1, 15};

class TConferenceAttributesForm : public TForm
{
public:
  explicit TConferenceAttributesForm(TComponent* owner) : TForm(owner, "TConferenceAttributesForm") {}

  TEdit* NameEdit = nullptr;
  TCheckBox* ClosedCheckBox = nullptr;
  TCheckBox* NoCommentsCheckBox = nullptr;
  TCheckBox* ForbidSecretCheckBox = nullptr;
  TCheckBox* SecretCheckBox = nullptr;
  TCheckBox* AnonymousCheckBox = nullptr;
  TCheckBox* LetterboxCheckBox = nullptr;
  TFrame1* SupervisorFrame = nullptr;
  TFrame1* SuperConfFrame = nullptr;
  TEdit* GarbDaysEdit = nullptr;
  TFrame1* SendCommentsFrame = nullptr;
  TLabel* SendCommentsAsLabel = nullptr;
  TComboBox* SendCommentsAsComboBox = nullptr;
  TButton* OkButton = nullptr;
  TButton* CancelButton = nullptr;
  TButton* ApplyButton = nullptr;

  // Set by the opener before the window is shown.
  int ConfNo = 0;

  // What the last load found.
  bool Loaded() const { return FLoaded; }
  bool IsMailbox() const { return FMailbox; }
  int SendCommentsAuxNo() const { return FSendCommentsAuxNo; }

  // Fills the window from the server; false (with Ok and Apply disabled)
  // when any step fails, so that nothing half-loaded is sent back.
  bool LoadConference();
  // Sends the window's values; false when the input was refused before
  // anything was sent.
  bool ApplyChanges();
  // "1"/"0" per type bit: closed, no comments, secret, letterbox, anonymous
  // texts allowed, forbid secret, then "00".
  std::string ConfTypeText() const;

  void FormShow(TComponent* Sender);
  void FormClose(TComponent* Sender, TCloseAction& Action);
  void OkButtonClick(TComponent* Sender);
  void CancelButtonClick(TComponent* Sender);
  void ApplyButtonClick(TComponent* Sender);

protected:
  void DeclareBindings(TBindings& b) override;

private:
  void SetLoaded(bool loaded);
  // Shows or hides the mailbox's send-comments-to rows; the buttons close
  // up under what is shown.
  void ShowSendComments(bool show);
  void SendCommentsTo();

  bool FLoaded = false;
  bool FMailbox = false;
  int FSendCommentsAuxNo = -1;
  int FLoadedSuperConf = 0;
};

// Opens a new properties window for the conference (not modal).
TConferenceAttributesForm* ShowConferenceAttributes(int confNo);
