// A person's status (get-person-stat) as property rows and the person's
// memberships as a sortable table, gathered by a worker thread.
#pragma once

#include <string>
#include <vector>

#include "CommonControls.h"
#include "Form.h"
#include "MenuItems.h"
#include "WindowWorker.h"
#include "Vantor.h"

class TUserStatisticsWorker;

class TUserStatisticsForm : public TForm
{
public:
  explicit TUserStatisticsForm(TComponent* owner) : TForm(owner, "TUserStatisticsForm") {}

  // A new window for the person, owned by the main window; shown by the caller.
  static TUserStatisticsForm* CreateFor(int personNo);

  TListView* StatListView = nullptr;
  TListView* MembershipListView = nullptr;
  TStatusBar* StatusBar1 = nullptr;
  TPopupMenu* PopupMenu1 = nullptr;

  int PersonNo = 0;
  int SortColumn = 2;
  int SortDirection = 1;
  // Whether the worker is still gathering.
  bool Working() const { return FWorker.Running(); }

  void AddStatRow(const std::string& property, const std::string& value);
  void AddMembershipRow(const std::vector<std::string>& columns);

  void FormShow(TComponent* Sender);
  void FormClose(TComponent* Sender, TCloseAction& Action);
  void FormDestroy(TComponent* Sender);
  void Copy1Click(TComponent* Sender);
  void CopyList1Click(TComponent* Sender);
  void MembershipListViewColumnClick(TComponent* Sender, int Column);
  void MembershipListViewCompare(TComponent* Sender, TListItem* A, TListItem* B, int Column, int& Result);

protected:
  void DeclareBindings(TBindings& b) override;

private:
  friend class TUserStatisticsWorker;
  void SortList();
  TWorkerSlot FWorker;
};

// The person-status rows of a get-person-stat "result", in order.
std::vector<std::pair<std::string, std::string>> PersonStatusRows(ILKCollection* result);
