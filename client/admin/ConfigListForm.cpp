#include "ConfigListForm.h"

#include <memory>

#include "HostConfigForm.h"
#include "LyskomConfiguration.h"
#include "MessageBoxes.h"

void TConfigListForm::DeclareBindings(TBindings& b)
{
  b.Field("ListView1", ListView1);
  b.Field("ImageList1", ImageList1);
  b.Field("PopupMenu1", PopupMenu1);
  b.Field("Properties1", Properties1);
  b.Field("DoneButton", DoneButton);
  b.Field("AddButton", AddButton);
  b.Field("RemoveButton", RemoveButton);
  b.Field("PropertiesButton", PropertiesButton);
  b.Field("DefaultButton", DefaultButton);
  b.Handler("FormShow", &TConfigListForm::FormShow);
  b.Handler("ListView1SelectItem", &TConfigListForm::ListView1SelectItem);
  b.Handler("ListView1DblClick", &TConfigListForm::ListView1DblClick);
  b.Handler("PopupMenu1Popup", &TConfigListForm::PopupMenu1Popup);
  b.Handler("AddButtonClick", &TConfigListForm::AddButtonClick);
  b.Handler("RemoveButtonClick", &TConfigListForm::RemoveButtonClick);
  b.Handler("PropertiesButtonClick", &TConfigListForm::PropertiesButtonClick);
  b.Handler("DefaultButtonClick", &TConfigListForm::DefaultButtonClick);
}

void TConfigListForm::FormShow(TComponent*)
{
  RefreshList("");
}

void TConfigListForm::RefreshList(const std::string& selectName)
{
  const std::string defaultName = ReadDefaultConfiguration();
  ListView1->BeginUpdate();
  ListView1->Clear();
  TListItem* selected = nullptr;
  for (const std::string& name : ConnectionProfileNames()) {
    const TConnectionProfile profile = ReadConnectionProfile(name);
    TListItem* item = ListView1->AddItem(name);
    item->AddSubItem(profile.Server);
    item->AddSubItem(profile.Port);
    item->SetImageIndex(SameProfileName(name, defaultName) ? 0 : -1);
    if (!selectName.empty() && SameProfileName(name, selectName)) selected = item;
  }
  ListView1->EndUpdate();
  if (selected) {
    selected->SetSelected(true);
    selected->MakeVisible();
  }
  UpdateButtons();
}

std::string TConfigListForm::SelectedName() const
{
  TListItem* item = ListView1->Selected();
  return item ? item->Caption() : std::string();
}

void TConfigListForm::UpdateButtons()
{
  const bool any = ListView1->Selected() != nullptr;
  PropertiesButton->SetEnabled(any);
  RemoveButton->SetEnabled(any);
  DefaultButton->SetEnabled(any);
  Properties1->SetEnabled(any);
}

void TConfigListForm::ListView1SelectItem(TComponent*, TListItem*, bool)
{
  UpdateButtons();
}

void TConfigListForm::ListView1DblClick(TComponent*)
{
  if (ListView1->Selected()) PropertiesButtonClick(this);
}

void TConfigListForm::PopupMenu1Popup(TComponent*)
{
  UpdateButtons();
}

void TConfigListForm::AddButtonClick(TComponent*)
{
  std::string name;
  for (;;) {
    if (!InputQuery("Add configuration", "Configuration name:", name)) return;
    std::string error = ConfigurationNameError(name);
    if (error.empty() && ConnectionProfileExists(name))
      error = "A configuration named \"" + name + "\" already exists.";
    if (error.empty()) break;
    ShowMessageBox(HostHandle(), error, Caption(), MB_OK | MB_ICONERROR);
  }
  if (!CreateConnectionProfile(name)) {
    ShowMessageBox(HostHandle(), "The configuration \"" + name + "\" could not be created.", Caption(),
                   MB_OK | MB_ICONERROR);
    return;
  }
  if (ReadDefaultConfiguration().empty()) WriteDefaultConfiguration(name);
  // Cancelled properties leave no half-made profile behind (nor a default
  // that names it).
  if (!EditConfiguration(name)) {
    DeleteConnectionProfile(name);
    RefreshList("");
    return;
  }
  RefreshList(name);
}

void TConfigListForm::RemoveButtonClick(TComponent*)
{
  const std::string name = SelectedName();
  if (name.empty()) return;
  DeleteConnectionProfile(name);
  RefreshList("");
}

void TConfigListForm::PropertiesButtonClick(TComponent*)
{
  const std::string name = SelectedName();
  if (name.empty()) return;
  EditConfiguration(name);
  RefreshList(name);
}

void TConfigListForm::DefaultButtonClick(TComponent*)
{
  const std::string name = SelectedName();
  if (name.empty()) return;
  WriteDefaultConfiguration(name);
  RefreshList(name);
}

void ShowConfigList()
{
  TFormPtr<TConfigListForm> form(CreateForm<TConfigListForm>(nullptr));
  form->ShowModal();
}
