// The user's marked texts: one row per text and recipient, with the mark's
// type, the subject and the author; the selected text is shown below. The
// list is filled by a worker thread.
#pragma once

#include <string>
#include <vector>

#include "CommonControls.h"
#include "Panels.h"
#include "Form.h"
#include "LyskomTextEdit.h"
#include "MenuItems.h"
#include "StandardControls.h"
#include "WindowWorker.h"

class TAsyncUpdateMarkedTextsThread;

extern const char* const ChangeMarkTypeCaption;
extern const char* const ChangeMarkTypePrompt;

class TViewMarksForm : public TForm
{
public:
  explicit TViewMarksForm(TComponent* owner) : TForm(owner, "TViewMarksForm") {}

  TPanel* Panel1 = nullptr;
  TSpeedButton* AttachSpeedButton = nullptr;
  TLabel* WorkingLabel = nullptr;
  TListView* ListView1 = nullptr;
  TLyskomTextEdit* RichEdit1 = nullptr;
  TPopupMenu* PopupMenu1 = nullptr;

  int SortColumn = 0;
  bool SortDescending = false;
  TWorkerSlot FillThread;

  // Asks for a new mark type; replaceable by tests (false: cancelled).
  std::function<bool(std::string& value)> AskMarkType;

  // Empties the list and starts filling it, unless a fill runs.
  void Fill();
  void AddRow(int textNo, int markType, const std::string& subject, const std::string& author,
              const std::string& recipient);
  // The text number of the selected row; 0 when none is selected.
  int SelectedTextNo() const;

  void FormShow(TComponent* Sender);
  void FormClose(TComponent* Sender, TCloseAction& Action);
  void FormDestroy(TComponent* Sender);
  void AttachSpeedButtonClick(TComponent* Sender);
  void ListView1SelectItem(TComponent* Sender, TListItem* Item, bool Selected);
  void ListView1ColumnClick(TComponent* Sender, int Column);
  void ListView1Compare(TComponent* Sender, TListItem* A, TListItem* B, int Column, int& Result);
  void View1Click(TComponent* Sender);
  void Delete1Click(TComponent* Sender);
  void ChangeType1Click(TComponent* Sender);
  void Copy1Click(TComponent* Sender);
  void CopyList1Click(TComponent* Sender);

protected:
  void DeclareBindings(TBindings& b) override;
};

// Opens a new marked-texts window.
TViewMarksForm* ShowMarkedTexts();
