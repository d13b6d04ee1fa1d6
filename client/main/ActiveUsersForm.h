// Who is on: the sessions logged in to the server, one row each.
#pragma once

#include "CommonControls.h"
#include "Panels.h"
#include "Form.h"
#include "MenuItems.h"
#include "StandardControls.h"

class TActiveUsersForm : public TForm
{
public:
  explicit TActiveUsersForm(TComponent* owner);
  ~TActiveUsersForm() override;

  TActionList* ActiveUsersActionList = nullptr;
  TAction* PinActiveUsersAction = nullptr;
  TAction* RefreshActiveAction = nullptr;
  TAction* InstantUpdateActiveAction = nullptr;
  TMainMenu* ActiveUsersMenu = nullptr;
  TMenuItem* Userlist1 = nullptr;
  TPopupMenu* ListPopupMenu = nullptr;
  TSpeedButton* UpdateSpeedButton = nullptr;
  TSpeedButton* ActiveUpdateSpeedButton = nullptr;
  TPanel* Panel1 = nullptr;
  TEdit* NrUsersEdit = nullptr;
  TListView* ListView = nullptr;
  TTimer* IdleTimer = nullptr;

  // Connected: the list gets the window colour; disconnected: it is
  // emptied and gets the inactive-border colour.
  void SetConnected(bool connected);
  // The column widths stored as "WhoIsOnListCol%d" ("-1": the form's own).
  void LoadColumnWidths();
  void SaveColumnWidths();

  void FormClose(TComponent* Sender, TCloseAction& Action);

protected:
  void DeclareBindings(TBindings& b) override;

private:
  void ShowRowCount();
};

extern TActiveUsersForm* ActiveUsersForm;
