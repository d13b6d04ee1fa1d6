// A conference's status (get-conf-stat) with its aux items as property rows
// and its members as a sortable table, gathered by a worker thread.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "CommonControls.h"
#include "Form.h"
#include "MenuItems.h"
#include "WindowWorker.h"
#include "Vantor.h"

class TConfStatisticsWorker;

class TConfStatisticsForm : public TForm
{
public:
  explicit TConfStatisticsForm(TComponent* owner) : TForm(owner, "TConfStatisticsForm") {}

  // A new window for the conference, owned by the main window; shown by the caller.
  static TConfStatisticsForm* CreateFor(int confNo);

  TListView* StatListView = nullptr;
  TListView* MembersListView = nullptr;
  TStatusBar* StatusBar1 = nullptr;
  TPopupMenu* PopupMenu1 = nullptr;

  int ConfNo = 0;
  int SortColumn = 2;
  int SortDirection = 1;
  bool Working() const { return FWorker.Running(); }

  void AddStatRows(const std::vector<std::pair<std::string, std::string>>& rows);
  void AddMemberRow(const std::vector<std::string>& columns);

  void FormShow(TComponent* Sender);
  void FormClose(TComponent* Sender, TCloseAction& Action);
  void FormDestroy(TComponent* Sender);
  void Copy1Click(TComponent* Sender);
  void CopyList1Click(TComponent* Sender);
  void MembersListViewColumnClick(TComponent* Sender, int Column);
  void MembersListViewCompare(TComponent* Sender, TListItem* A, TListItem* B, int Column, int& Result);

protected:
  void DeclareBindings(TBindings& b) override;

private:
  friend class TConfStatisticsWorker;
  void SortList();
  TWorkerSlot FWorker;
};

// The conference-status rows of a get-conf-stat "result", in order; names
// come from the client's name cache.
std::vector<std::pair<std::string, std::string>> ConferenceStatusRows(ILKCollection* result);
