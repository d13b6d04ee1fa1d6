#include "ConfigForm.h"

#include "DecimalInput.h"
#include "LyskomConfiguration.h"
#include "MainWindowLink.h"
#include "MessageBoxes.h"
#include "SettingDefaults.h"
#include "SharedTables.h"
#include "UserMessages.h"
#include "Application.h"

const char* const ConfigLoadFailedMessage = "Failed to get configuration from the server";
const char* const DefaultKeysQuestion = "This will remove all your custom settings. Ary you sure?";
const char* const DefaultKeysCaption = "Set default mappings";

namespace {

TCheckState ToCheckState(TCheckBoxState s)
{
  switch (s) {
  case cbChecked: return TCheckState::Checked;
  case cbGrayed: return TCheckState::Grayed;
  default: return TCheckState::Unchecked;
  }
}

TCheckBoxState FromCheckState(TCheckState s)
{
  switch (s) {
  case TCheckState::Checked: return cbChecked;
  case TCheckState::Grayed: return cbGrayed;
  default: return cbUnchecked;
  }
}

const TKeyCommand* CommandById(const std::string& id)
{
  return FindKeyCommand(KeyCommandNumber(id));
}

} // namespace

void TConfigForm::DeclareBindings(TBindings& b)
{
  b.Field("PageControl1", PageControl1);
  b.Field("AlertsSheet", AlertsSheet);
  b.Field("SoundAllMsgCheckBox", SoundAllMsgCheckBox);
  b.Field("SoundPersMsgCheckBox", SoundPersMsgCheckBox);
  b.Field("SoundPriTextCheckBox", SoundPriTextCheckBox);
  b.Field("SoundPriTextLvlEdit", SoundPriTextLvlEdit);
  b.Field("TrayAllMsgCheckBox", TrayAllMsgCheckBox);
  b.Field("TrayPersMsgCheckBox", TrayPersMsgCheckBox);
  b.Field("TrayPriTextCheckBox", TrayPriTextCheckBox);
  b.Field("TrayPriTextLvlEdit", TrayPriTextLvlEdit);
  b.Field("FocusAllMsgCheckBox", FocusAllMsgCheckBox);
  b.Field("FocusPersMsgCheckBox", FocusPersMsgCheckBox);
  b.Field("FocusPriTextCheckBox", FocusPriTextCheckBox);
  b.Field("FocusPriTextLvlEdit", FocusPriTextLvlEdit);
  b.Field("ActivityListView", ActivityListView);
  b.Field("ActivityMessageEdit", ActivityMessageEdit);
  b.Field("SetActivityButton", SetActivityButton);
  b.Field("KeyListView", KeyListView);
  b.Field("KeySequenceEdit", KeySequenceEdit);
  b.Field("CommandComboBox", CommandComboBox);
  b.Field("AddKeyButton", AddKeyButton);
  b.Field("RemoveKeyButton", RemoveKeyButton);
  b.Field("DefaultKeysButton", DefaultKeysButton);
  b.Field("FilterAddedTextsCheckBox", FilterAddedTextsCheckBox);
  b.Field("ShowSubjTreeCheckBox", ShowSubjTreeCheckBox);
  b.Field("MarkReadTextsCheckBox", MarkReadTextsCheckBox);
  b.Field("AutomaticLineWrapCheckBox", AutomaticLineWrapCheckBox);
  b.Field("AlignTextsToTopCheckBox", AlignTextsToTopCheckBox);
  b.Field("ShowCommentedTextCheckBox", ShowCommentedTextCheckBox);
  b.Field("MinimizeMainWinToTrayCheckBox", MinimizeMainWinToTrayCheckBox);
  b.Field("AutoInactiveMsgCheckBox", AutoInactiveMsgCheckBox);
  b.Field("ReformatTextsCheckBox", ReformatTextsCheckBox);
  b.Field("ThreadIntoNonMemberConfCheckBox", ThreadIntoNonMemberConfCheckBox);
  b.Field("IndicateThreadLeaveMembershipCheckBox", IndicateThreadLeaveMembershipCheckBox);
  b.Field("OkButton", OkButton);
  b.Field("CancelButton", CancelButton);
  b.Field("ApplyButton", ApplyButton);
  b.Handler("FormShow", &TConfigForm::FormShow);
  b.Handler("ActivityListViewSelectItem", &TConfigForm::ActivityListViewSelectItem);
  b.Handler("SetActivityButtonClick", &TConfigForm::SetActivityButtonClick);
  b.Handler("KeyListViewSelectItem", &TConfigForm::KeyListViewSelectItem);
  b.Handler("AddKeyButtonClick", &TConfigForm::AddKeyButtonClick);
  b.Handler("RemoveKeyButtonClick", &TConfigForm::RemoveKeyButtonClick);
  b.Handler("DefaultKeysButtonClick", &TConfigForm::DefaultKeysButtonClick);
  b.Handler("OkButtonClick", &TConfigForm::OkButtonClick);
  b.Handler("ApplyButtonClick", &TConfigForm::ApplyButtonClick);
}

std::vector<TConfigForm::TCheckSetting> TConfigForm::CheckSettings()
{
  return {
    {SoundAllMsgCheckBox, "SoundAllMsg"},
    {SoundPersMsgCheckBox, "SoundPersMsg"},
    {SoundPriTextCheckBox, "SoundPriText"},
    {TrayAllMsgCheckBox, "TrayAllMsg"},
    {TrayPersMsgCheckBox, "TrayPersMsg"},
    {TrayPriTextCheckBox, "TrayPriText"},
    {FocusAllMsgCheckBox, "FocusAllMsg"},
    {FocusPersMsgCheckBox, "FocusPersMsg"},
    {FocusPriTextCheckBox, "FocusPriText"},
    {FilterAddedTextsCheckBox, "FilterAddedTexts"},
    {ShowSubjTreeCheckBox, "ShowSubjTree"},
    {MarkReadTextsCheckBox, "MarkReadTexts"},
    {AutomaticLineWrapCheckBox, "AutomaticLineWrap"},
    {AlignTextsToTopCheckBox, "AlignTextsToTop"},
    {ShowCommentedTextCheckBox, "ShowCommentedText"},
    {MinimizeMainWinToTrayCheckBox, "MinimizeMainWinToTray"},
    {AutoInactiveMsgCheckBox, "AutoInactiveMsg"},
    {ReformatTextsCheckBox, "ReformatTexts"},
    {ThreadIntoNonMemberConfCheckBox, "ThreadIntoNonMemberConf"},
    {IndicateThreadLeaveMembershipCheckBox, "IndicateThreadLeaveMembership"},
  };
}

std::vector<std::pair<TEdit*, const char*>> TConfigForm::LevelSettings()
{
  return {{SoundPriTextLvlEdit, "SoundPriTextLvl"},
          {TrayPriTextLvlEdit, "TrayPriTextLvl"},
          {FocusPriTextLvlEdit, "FocusPriTextLvl"}};
}

std::string TConfigForm::RowCommandId(TListItem* item)
{
  if (!item || !item->Data) return std::string();
  return *static_cast<const std::string*>(item->Data);
}

TListItem* TConfigForm::AddKeyRow(const std::string& keys, const std::string& commandId)
{
  TListItem* item = KeyListView->AddItem(keys);
  const TKeyCommand* command = CommandById(commandId);
  item->AddSubItem(command ? command->Description : "");
  // A binding of a command this client does not know keeps its id, so
  // that saving gives it back as it was stored.
  FRowIds.push_back(commandId);
  item->Data = &FRowIds.back();
  return item;
}

void TConfigForm::FillKeyList(const std::vector<std::pair<std::string, std::string>>& pairs)
{
  KeyListView->BeginUpdate();
  KeyListView->Clear();
  FRowIds.clear();
  for (const auto& [keys, id] : pairs) AddKeyRow(keys, id);
  KeyListView->EndUpdate();
  RemoveKeyButton->SetEnabled(false);
}

void TConfigForm::FormShow(TComponent*)
{
  if (!Configuration) return;
  FUserAreaRead = ReadUserArea(*Configuration, PersonNo, false);
  if (!FUserAreaRead) ShowMessageBox(HostHandle(), ConfigLoadFailedMessage, "Omnora", MB_OK);

  TLyskomServerConfiguration& config = *Configuration;
  for (const TCheckSetting& s : CheckSettings()) {
    const TCheckBoxState fallback = ServerSettingDefault(s.Name) == "1" ? cbChecked : cbUnchecked;
    s.Box->SetState(ToCheckState(config.ReadCheckState(s.Name, fallback)));
  }
  for (const auto& [edit, name] : LevelSettings()) edit->SetText(ReadServerSetting(config, name));

  ActivityListView->BeginUpdate();
  ActivityListView->Clear();
  for (int i = 0; i < ActivityCount; ++i) {
    TListItem* item = ActivityListView->AddItem(ActivityTable[i].Text);
    item->AddSubItem(ActivityMessage(config, i));
  }
  ActivityListView->EndUpdate();
  ActivityMessageEdit->Clear();

  std::vector<std::string> descriptions;
  for (const TKeyCommand& c : KeyCommandTable) descriptions.push_back(c.Description);
  CommandComboBox->SetItems(descriptions);
  FillKeyList(config.KeyMappingPairs());

  PageControl1->SetActivePage(AlertsSheet);
}

void TConfigForm::ActivityListViewSelectItem(TComponent*, TListItem* Item, bool Selected)
{
  if (Selected && Item) ActivityMessageEdit->SetText(Item->ColumnText(1));
}

void TConfigForm::SetActivityButtonClick(TComponent*)
{
  if (TListItem* item = ActivityListView->Selected()) item->SetSubItem(0, ActivityMessageEdit->Text());
}

void TConfigForm::KeyListViewSelectItem(TComponent*, TListItem*, bool)
{
  TListItem* item = KeyListView->Selected();
  RemoveKeyButton->SetEnabled(item != nullptr);
  if (!item) return;
  KeySequenceEdit->SetText(item->Caption());
  const std::string command = item->ColumnText(1);
  const auto& items = CommandComboBox->Items();
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i] == command) {
      CommandComboBox->SetItemIndex(int(i));
      return;
    }
  CommandComboBox->SetItemIndex(-1);
}

void TConfigForm::AddKeyButtonClick(TComponent*)
{
  const int index = CommandComboBox->ItemIndex();
  if (index < 0 || index >= int(CommandComboBox->Items().size())) return;
  const std::string& description = CommandComboBox->Items()[size_t(index)];
  for (const TKeyCommand& c : KeyCommandTable)
    if (description == c.Description) {
      AddKeyRow(KeySequenceEdit->Text(), c.Id);
      return;
    }
}

void TConfigForm::RemoveKeyButtonClick(TComponent*)
{
  TListItem* item = KeyListView->Selected();
  if (!item) return;
  // The row's id stays in FRowIds until the list is refilled: a few bytes.
  KeyListView->DeleteItem(item);
  RemoveKeyButton->SetEnabled(KeyListView->Selected() != nullptr);
}

void TConfigForm::DefaultKeysButtonClick(TComponent*)
{
  if (ShowMessageBox(HostHandle(), DefaultKeysQuestion, DefaultKeysCaption, MB_YESNO) != IDYES) return;
  FillKeyList(DefaultKeyMapping());
}

bool TConfigForm::SaveSettings()
{
  if (!Configuration) return true;
  // A level that is not a number would read as 0 and alert for every text.
  std::vector<std::pair<const char*, int>> levels;
  for (const auto& [edit, name] : LevelSettings()) {
    int level = 0;
    if (!ParseDecimalInput(edit->Text(), level)) {
      QueueUserMessage(NotAValidNumberMessage);
      PageControl1->SetActivePage(AlertsSheet);
      SetActiveControl(edit);
      return false;
    }
    levels.emplace_back(name, level);
  }
  TLyskomServerConfiguration& config = *Configuration;
  for (const TCheckSetting& s : CheckSettings()) config.WriteCheckState(s.Name, FromCheckState(s.Box->State()));
  for (const auto& [name, level] : levels) config.WriteString(name, std::to_string(level));

  for (int i = 0; i < ActivityListView->Count() && i < ActivityCount; ++i)
    config.WriteString(std::string("Activity-") + ActivityTable[i].Key, ActivityListView->Item(i)->ColumnText(1));

  config.KeyMapping().Clear();
  for (int i = 0; i < KeyListView->Count(); ++i) {
    TListItem* item = KeyListView->Item(i);
    const std::string id = RowCommandId(item);
    if (!id.empty()) config.SetKeyBinding(item->Caption(), id);
  }
  config.SaveKeyMapping();

  ReloadOptionSettings();

  // A user area that could not be read is not replaced: what it held would
  // be lost. The settings then hold for this run only.
  if (!FUserAreaRead) {
    QueueUserMessage(UserAreaNotReadMessage);
    return true;
  }
  WriteUserArea(config, PersonNo);
  return true;
}

void TConfigForm::OkButtonClick(TComponent*)
{
  // Refused input keeps the dialog open for mending.
  if (!SaveSettings()) SetModalResult(mrNone);
}

void TConfigForm::ApplyButtonClick(TComponent*)
{
  SaveSettings();
}

bool ExecuteConfigForm(TLyskomServerConfiguration& config, int personNo)
{
  TFormPtr<TConfigForm> form(CreateForm<TConfigForm>(nullptr));
  form->Configuration = &config;
  form->PersonNo = personNo;
  return form->ShowModal() == mrOk;
}
