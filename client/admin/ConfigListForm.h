// The host list: the stored connection configurations, with adding,
// removing, editing and choosing the default one.
#pragma once

#include <string>

#include "CommonControls.h"
#include "Form.h"
#include "MenuItems.h"
#include "StandardControls.h"

class TConfigListForm : public TForm
{
public:
  explicit TConfigListForm(TComponent* owner) : TForm(owner, "TConfigListForm") {}

  TListView* ListView1 = nullptr;
  TImageList* ImageList1 = nullptr;
  TPopupMenu* PopupMenu1 = nullptr;
  TMenuItem* Properties1 = nullptr;
  TButton* DoneButton = nullptr;
  TButton* AddButton = nullptr;
  TButton* RemoveButton = nullptr;
  TButton* PropertiesButton = nullptr;
  TButton* DefaultButton = nullptr;

  void FormShow(TComponent* Sender);
  void ListView1SelectItem(TComponent* Sender, TListItem* Item, bool Selected);
  void ListView1DblClick(TComponent* Sender);
  void PopupMenu1Popup(TComponent* Sender);
  void AddButtonClick(TComponent* Sender);
  void RemoveButtonClick(TComponent* Sender);
  void PropertiesButtonClick(TComponent* Sender);
  void DefaultButtonClick(TComponent* Sender);

  // Fills the list again from the registry, keeping the row of that name
  // selected (none when empty or gone).
  void RefreshList(const std::string& selectName);
  // The name of the selected row (empty when none is).
  std::string SelectedName() const;

protected:
  void DeclareBindings(TBindings& b) override;

private:
  void UpdateButtons();
};

// Shows the host list modally and frees it.
void ShowConfigList();
