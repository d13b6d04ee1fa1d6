// Searches the texts of one conference of which the user is a member by
// author, subject and body, with plain substrings or regular expressions. A
// worker thread walks the conference's local text numbers and adds each hit.
#pragma once

#include <string>

#include "CommonControls.h"
#include "ConfsAndTexts.h"
#include "Panels.h"
#include "Form.h"
#include "LyskomTypes.h"
#include "MenuItems.h"
#include "NameFrame.h"
#include "StandardControls.h"
#include "WindowWorker.h"

class TFindTextFormThread;

extern const char* const ConferenceRequiredMessage;
extern const char* const NotAMemberMessage;
// The preset regular expressions of both pattern lists.
extern const char* const FindTextPresetPatterns[4];

// What the search looks for, handed to the worker as a copy.
struct TFindTextParameters
{
  int ConfNo = 0;
  TConferenceRef Conference;
  TMembershipRef Membership;
  int Author = -1;           // -1: no author criterion
  std::string Subject;       // empty: no subject criterion
  std::string Body;          // empty: no body criterion
  int LastCount = -1;        // -1 (or below): every text
  TDateTime EarliestDate = 0;
  bool IncludeRead = true;
  bool IncludeUnread = true;
  bool Regexp = false;
};

// The first local number a search of count texts looks at: exactly the last
// count numbers up to last, or first when the conference has no more.
int SearchStart(int first, int last, int count);
// The progress bar's position; 100 when there is nothing between start and last.
int SearchProgress(int current, int start, int last);

class TFindTextForm : public TForm
{
public:
  explicit TFindTextForm(TComponent* owner) : TForm(owner, "TFindTextForm") {}

  TPageControl* PageControl1 = nullptr;
  TTabSheet* FindSheet = nullptr;
  TTabSheet* TextSheet = nullptr;
  TFrame1* RcptFrame = nullptr;
  TFrame1* ByFrame = nullptr;
  TComboBox* SubjComboBox = nullptr;
  TComboBox* BodyComboBox = nullptr;
  TCheckBox* RegexpCheckBox = nullptr;
  TEdit* LLastEdit = nullptr;
  TCheckBox* IncludeReadCheckBox = nullptr;
  TCheckBox* IncludeUnreadCheckBox = nullptr;
  TDateTimePicker* DateTimePicker = nullptr;
  TAnimate* Animate1 = nullptr;
  TButton* FindButton = nullptr;
  TButton* StopButton = nullptr;
  TButton* DoneButton = nullptr;
  TProgressBar* ProgressBar1 = nullptr;
  TListView* ListView1 = nullptr;
  TPopupMenu* PopupMenu1 = nullptr;
  TSpeedButton* AttachSpeedButton = nullptr;

  TWorkerSlot SearchThread;
  bool Searching() const { return SearchThread.Running(); }

  // Whether the recipient picker holds text: the other criteria and "Find"
  // follow it.
  void UpdateCriteria();
  void AddHit(int textNo, const std::string& author, const std::string& subject, const std::string& date);
  void SearchDone();

  void FormShow(TComponent* Sender);
  void FormClose(TComponent* Sender, TCloseAction& Action);
  void FormDestroy(TComponent* Sender);
  void FindButtonClick(TComponent* Sender);
  void StopButtonClick(TComponent* Sender);
  void DoneButtonClick(TComponent* Sender);
  void AttachSpeedButtonClick(TComponent* Sender);
  void ListView1DblClick(TComponent* Sender);
  void ListView1ColumnClick(TComponent* Sender, int Column);
  void ListView1Compare(TComponent* Sender, TListItem* A, TListItem* B, int Column, int& Result);
  void Copy1Click(TComponent* Sender);
  void CopyList1Click(TComponent* Sender);

protected:
  void DeclareBindings(TBindings& b) override;

private:
  int FSortColumn = -1;
  bool FSortDescending = false;
  // While Find resolves the typed names the picker empties for a moment;
  // the criteria keep their state (a focused Find is not disabled).
  bool FResolvingNames = false;
  bool FCriteriaHooked = false;
};

// Opens a new text-search window.
TFindTextForm* ShowFindText();
