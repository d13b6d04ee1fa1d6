// The options dialog "Configuration": alerts, what-am-I-doing messages, the
// key mapping, the filter option and reading options, all kept in the
// person's user area on the server.
#pragma once

#include <functional>
#include <list>
#include <string>

#include "CommonControls.h"
#include "Panels.h"
#include "Form.h"
#include "StandardControls.h"

class TLyskomServerConfiguration;

extern const char* const ConfigLoadFailedMessage;
extern const char* const DefaultKeysQuestion;
extern const char* const DefaultKeysCaption;

class TConfigForm : public TForm
{
public:
  explicit TConfigForm(TComponent* owner) : TForm(owner, "TConfigForm") {}

  // Set by the opener before the dialog is shown.
  TLyskomServerConfiguration* Configuration = nullptr;
  int PersonNo = 0;

  TPageControl* PageControl1 = nullptr;
  TTabSheet* AlertsSheet = nullptr;
  TCheckBox* SoundAllMsgCheckBox = nullptr;
  TCheckBox* SoundPersMsgCheckBox = nullptr;
  TCheckBox* SoundPriTextCheckBox = nullptr;
  TEdit* SoundPriTextLvlEdit = nullptr;
  TCheckBox* TrayAllMsgCheckBox = nullptr;
  TCheckBox* TrayPersMsgCheckBox = nullptr;
  TCheckBox* TrayPriTextCheckBox = nullptr;
  TEdit* TrayPriTextLvlEdit = nullptr;
  TCheckBox* FocusAllMsgCheckBox = nullptr;
  TCheckBox* FocusPersMsgCheckBox = nullptr;
  TCheckBox* FocusPriTextCheckBox = nullptr;
  TEdit* FocusPriTextLvlEdit = nullptr;
  TListView* ActivityListView = nullptr;
  TEdit* ActivityMessageEdit = nullptr;
  TButton* SetActivityButton = nullptr;
  TListView* KeyListView = nullptr;
  TEdit* KeySequenceEdit = nullptr;
  TComboBox* CommandComboBox = nullptr;
  TButton* AddKeyButton = nullptr;
  TButton* RemoveKeyButton = nullptr;
  TButton* DefaultKeysButton = nullptr;
  TCheckBox* FilterAddedTextsCheckBox = nullptr;
  TCheckBox* ShowSubjTreeCheckBox = nullptr;
  TCheckBox* MarkReadTextsCheckBox = nullptr;
  TCheckBox* AutomaticLineWrapCheckBox = nullptr;
  TCheckBox* AlignTextsToTopCheckBox = nullptr;
  TCheckBox* ShowCommentedTextCheckBox = nullptr;
  TCheckBox* MinimizeMainWinToTrayCheckBox = nullptr;
  TCheckBox* AutoInactiveMsgCheckBox = nullptr;
  TCheckBox* ReformatTextsCheckBox = nullptr;
  TCheckBox* ThreadIntoNonMemberConfCheckBox = nullptr;
  TCheckBox* IndicateThreadLeaveMembershipCheckBox = nullptr;
  TButton* OkButton = nullptr;
  TButton* CancelButton = nullptr;
  TButton* ApplyButton = nullptr;

  // Whether the user area could be read when the dialog opened; without it
  // the settings are kept for this run and never written over it.
  bool UserAreaRead() const { return FUserAreaRead; }
  // The command id a key row stands for (empty for none).
  static std::string RowCommandId(TListItem* item);

  // Saves the pages into the store, has the windows reload their settings
  // and stores the user area on the server ("Ok" and "Apply"); false, with
  // nothing saved, when a level is not a whole number.
  bool SaveSettings();

  void FormShow(TComponent* Sender);
  void ActivityListViewSelectItem(TComponent* Sender, TListItem* Item, bool Selected);
  void SetActivityButtonClick(TComponent* Sender);
  void KeyListViewSelectItem(TComponent* Sender, TListItem* Item, bool Selected);
  void AddKeyButtonClick(TComponent* Sender);
  void RemoveKeyButtonClick(TComponent* Sender);
  void DefaultKeysButtonClick(TComponent* Sender);
  void OkButtonClick(TComponent* Sender);
  void ApplyButtonClick(TComponent* Sender);

protected:
  void DeclareBindings(TBindings& b) override;

private:
  struct TCheckSetting
  {
    TCheckBox* Box;
    const char* Name;
  };
  std::vector<TCheckSetting> CheckSettings();
  std::vector<std::pair<TEdit*, const char*>> LevelSettings();
  void FillKeyList(const std::vector<std::pair<std::string, std::string>>& pairs);
  TListItem* AddKeyRow(const std::string& keys, const std::string& commandId);

  bool FUserAreaRead = false;
  // The command ids of the key rows (rows point at them: stable addresses).
  std::list<std::string> FRowIds;
};

// Shows the options dialog modally on the store for the person; true when
// the user confirmed it with "Ok".
bool ExecuteConfigForm(TLyskomServerConfiguration& config, int personNo);
