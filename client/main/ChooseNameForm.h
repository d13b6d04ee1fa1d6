// The window that lets the user pick one of several conferences or persons
// that matched a name. The dates and counts of each row are filled in by a
// worker while the window is shown.
#pragma once

#include <memory>
#include <mutex>
#include <deque>
#include <string>
#include <vector>

#include "CommonControls.h"
#include "Form.h"
#include "Lookups.h"
#include "MenuItems.h"
#include "StandardControls.h"
#include "Threads.h"

class TChooseNameForm;

// Loads the status of each queued conference and hands it to the window's rows.
class TConfStatGatherThread : public TThread
{
public:
  TConfStatGatherThread(TChooseNameForm* form, const std::vector<TNameMatch>& matches);
  ~TConfStatGatherThread() override;

protected:
  void Execute() override;

private:
  TChooseNameForm* FForm;
  std::mutex FLock;
  std::deque<TNameMatch> FQueue;
};

class TChooseNameForm : public TForm
{
public:
  explicit TChooseNameForm(TComponent* owner);
  ~TChooseNameForm() override;

  TListView* ListView1 = nullptr;
  TImageList* ImageList1 = nullptr;
  TPopupMenu* PopupMenu1 = nullptr;
  TEdit* FilterEdit = nullptr;
  TButton* OkButton = nullptr;
  TButton* CancelButton = nullptr;
  TButton* PresentationButton = nullptr;

  // Set before showing.
  std::vector<TNameMatch> Matches;
  // The number chosen with "Ok" (0: none selected).
  int ChosenNumber = 0;

  void FormShow(TComponent* Sender);
  void FilterEditChange(TComponent* Sender);
  void OkButtonClick(TComponent* Sender);
  void ListView1DblClick(TComponent* Sender);
  // Names and dates as the locale orders text, without regard to case; the
  // counts and numbers as numbers.
  void ListView1Compare(TComponent* Sender, TListItem* A, TListItem* B, int Column, int& Result);
  void PresentationButtonClick(TComponent* Sender);
  void Copy1Click(TComponent* Sender);
  void CopyList1Click(TComponent* Sender);

  // Empties and fills the list from Matches through the filter.
  void BuildList();
  // Fills the row of the conference from its loaded status, if it is listed.
  void FillDetails(int confNo);
  // The number of the selected row; 0 when none is selected.
  int SelectedNumber() const;

protected:
  void DeclareBindings(TBindings& b) override;

private:
  void StopGathering();
  std::vector<std::pair<int, TListItem*>> FRows;  // conference number to row
  std::unique_ptr<TConfStatGatherThread> FGatherer;
};

// Shows the window modally over the matches: the chosen number, 0 when none
// was selected, -1 when cancelled.
int ExecuteChooseName(const std::vector<TNameMatch>& matches);
