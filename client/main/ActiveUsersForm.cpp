#include "ActiveUsersForm.h"

#include <string>

#include "EngineBinding.h"

TActiveUsersForm* ActiveUsersForm = nullptr;

namespace {

std::string ColumnSetting(int column)
{
  return "WhoIsOnListCol" + std::to_string(column);
}

} // namespace

TActiveUsersForm::TActiveUsersForm(TComponent* owner) : TForm(owner, "TActiveUsersForm")
{
  if (!ActiveUsersForm) ActiveUsersForm = this;
}

TActiveUsersForm::~TActiveUsersForm()
{
  if (ActiveUsersForm == this) ActiveUsersForm = nullptr;
}

void TActiveUsersForm::DeclareBindings(TBindings& b)
{
  b.Field("ActiveUsersActionList", ActiveUsersActionList);
  b.Field("PinActiveUsersAction", PinActiveUsersAction);
  b.Field("RefreshActiveAction", RefreshActiveAction);
  b.Field("InstantUpdateActiveAction", InstantUpdateActiveAction);
  b.Field("ActiveUsersMenu", ActiveUsersMenu);
  b.Field("Userlist1", Userlist1);
  b.Field("ListPopupMenu", ListPopupMenu);
  b.Field("UpdateSpeedButton", UpdateSpeedButton);
  b.Field("ActiveUpdateSpeedButton", ActiveUpdateSpeedButton);
  b.Field("Panel1", Panel1);
  b.Field("NrUsersEdit", NrUsersEdit);
  b.Field("ListView", ListView);
  b.Field("IdleTimer", IdleTimer);
  b.Handler("FormClose", &TActiveUsersForm::FormClose);
}

void TActiveUsersForm::FormClose(TComponent*, TCloseAction& Action)
{
  Action = TCloseAction::Minimize;
}

void TActiveUsersForm::SetConnected(bool connected)
{
  if (!connected) {
    ListView->Clear();
    ShowRowCount();
  }
  ListView->SetColor(connected ? clWindow : clInactiveBorder);
}

void TActiveUsersForm::ShowRowCount()
{
  NrUsersEdit->SetText(std::to_string(ListView->Count()));
}

void TActiveUsersForm::LoadColumnWidths()
{
  if (!RegistryConfiguration) return;
  for (int i = 0; i < ListView->ColumnCount(); ++i) {
    int width = RegistryConfiguration->ReadInteger(ColumnSetting(i), -1);
    if (width != -1) ListView->SetColumnWidth(i, width);
  }
}

void TActiveUsersForm::SaveColumnWidths()
{
  if (!RegistryConfiguration) return;
  for (int i = 0; i < ListView->ColumnCount(); ++i)
    RegistryConfiguration->WriteInteger(ColumnSetting(i), ListView->ColumnWidth(i));
}
