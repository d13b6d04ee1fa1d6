// The editor of one new text: its rows (recipients, the texts it comments
// or is a footnote to, what it becomes after creation), its subject and its
// body; submitting creates it on the server. Openers queue what the editor
// starts with through the Add operations, set PresetSubject and FocusBody,
// show it and call ApplyPending; a worker then adds the queued recipients.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CommonControls.h"
#include "Panels.h"
#include "Form.h"
#include "LyskomTextEdit.h"
#include "MenuItems.h"
#include "StandardControls.h"
#include "TextCreation.h"
#include "Threads.h"

class TWriteTextForm;

// Adds the opener's recipients on a worker: each conference's status is
// loaded there, a comment to an original conference goes to its super
// conference, and each recipient's note on the door is shown.
class TAddRcptThread : public TThread
{
public:
  explicit TAddRcptThread(TWriteTextForm* form) : FForm(form) {}
  ~TAddRcptThread() override;

protected:
  void Execute() override;

private:
  TWriteTextForm* FForm;
  int FTarget = 0;
  int FNoteText = 0;
};

class TWriteTextForm : public TForm
{
public:
  explicit TWriteTextForm(TComponent* owner);
  ~TWriteTextForm() override;

  TActionList* WriteActionList = nullptr;
  TAction* SubmitTextAction = nullptr;
  TAction* SubmitText2Action = nullptr;
  TAction* TrashTextAction = nullptr;
  TAction* AddRcptAction = nullptr;
  TAction* AddCCRcptAction = nullptr;
  TAction* AddBCCRcptAction = nullptr;
  TAction* AddFAQAction = nullptr;
  TAction* AddComToAction = nullptr;
  TAction* QuoteAction = nullptr;
  TAction* ClipboardQoutedPasteAction = nullptr;
  TAction* ROT13Action = nullptr;
  TAction* ReadConfirmationAction = nullptr;
  TAction* NoCommentsAction = nullptr;
  TAction* PersonalCommentsAction = nullptr;
  TAction* PinWriteFormAction = nullptr;
  TAction* ClipboardCopyAction = nullptr;
  TAction* ClipboardCutAction = nullptr;
  TAction* ClipboardPasteAction = nullptr;
  TMainMenu* WriteMenu = nullptr;
  TMenuItem* NewText1 = nullptr;
  TPopupMenu* ListPopupMenu = nullptr;
  TToolBar* WriteToolBar = nullptr;
  TListView* ListView = nullptr;
  TEdit* SubjectEdit = nullptr;
  TLyskomTextEdit* WriteTextEdit = nullptr;

  // What the opener queues; nothing shows until ApplyPending.
  void AddRecipient(int conference);
  void AddCCRecipient(int conference);
  void AddCommentTo(int textNo);
  void AddFootnoteTo(int textNo);
  void AddPresentationFor(int conference);
  void AddFAQFor(int conference);
  void AddMOTDFor(int conference);
  std::string PresetSubject;
  bool FocusBody = false;
  bool IsComment = false;
  // Once, after the window is shown: rows for the queued entries, then the
  // recipient worker.
  void ApplyPending();
  std::atomic<bool> RecipientThreadRunning{false};

  // Adds a row; a recipient row first removes every recipient row of the
  // same conference, whatever its kind.
  void AddRow(TRowKind kind, int number);
  void AddRow(TRowKind kind, int number, const std::string& name);
  // The rows as they stand, in list order.
  std::vector<TTextRow> Rows() const;
  TTextWishes Wishes() const;

  // Submits the text; true when it was created (the window then closes).
  bool SubmitText();
  // The number of the text created last (0: none).
  int CreatedTextNo() const { return FCreatedTextNo; }
  bool CheckNoCommentsWish();
  bool CheckPersonalCommentsWish();
  bool CheckCommentedAuthors();
  void SetEditingEnabled(bool on);

  // Replaces the whole body by its cipher text in hexadecimal, and back.
  void EncryptBody();
  void DecryptBody();
  void QuoteCommentedTexts();
  void LoadPresentationText(int conference);
  void LoadFaqText(int conference);

  void FormShow(TComponent* Sender);
  void FormClose(TComponent* Sender, TCloseAction& Action);
  void FormCloseQuery(TComponent* Sender, bool& CanClose);
  void FormKeyDown(TComponent* Sender, WORD& Key, TShiftState Shift);
  void FormKeyPress(TComponent* Sender, char& Key);
  void SubmitTextActionExecute(TComponent* Sender);
  void SubmitText2ActionExecute(TComponent* Sender);
  void TrashTextActionExecute(TComponent* Sender);
  void AddRcptActionExecute(TComponent* Sender);
  void AddCCRcptActionExecute(TComponent* Sender);
  void AddBCCRcptActionExecute(TComponent* Sender);
  void AddFAQActionExecute(TComponent* Sender);
  void AddComToActionExecute(TComponent* Sender);
  void QuoteActionExecute(TComponent* Sender);
  void ClipboardQoutedPasteActionExecute(TComponent* Sender);
  void ROT13ActionExecute(TComponent* Sender);
  void ToggleCheckActionExecute(TComponent* Sender);
  void PinWriteFormActionExecute(TComponent* Sender);
  void ClipboardCopyActionExecute(TComponent* Sender);
  void ClipboardCutActionExecute(TComponent* Sender);
  void ClipboardPasteActionExecute(TComponent* Sender);
  void CopyRow1Click(TComponent* Sender);
  void CopyList1Click(TComponent* Sender);
  void DeleteItem1Click(TComponent* Sender);
  void MakeRcpt1Click(TComponent* Sender);
  void MakeCC1Click(TComponent* Sender);
  void MakeBCC1Click(TComponent* Sender);
  void WriteTextEditEnter(TComponent* Sender);
  void WriteTextEditChange(TComponent* Sender);
  void WriteTextEditSelectionChange(TComponent* Sender);

  // Asks for a conference or person; -1 when cancelled. Tests replace it.
  static std::function<int(const std::string& caption)> NameAsker;

protected:
  void DeclareBindings(TBindings& b) override;
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
  friend class TAddRcptThread;
  // Takes the first queued recipient; false when none is left.
  bool TakePendingRecipient(int& conference);
  bool AskYesNo(const std::string& text);
  void AddAskedRow(TRowKind kind, const std::string& caption);
  void SetSelectedKind(TRowKind kind);
  void ShowCaretPosition();
  void ApplyBodyFont();
  std::string FocusedEditSelection();
  // Whether the subject or body holds text the user put there (not only
  // what the editor opened with).
  bool HoldsTypedText() const;
  // "Really trash this text?"; true when the user says Yes.
  bool ConfirmTrash();
  // Closes the window once the user has said to throw its text away.
  void Trash();

  std::mutex FPendingLock;
  std::vector<int> PendingRecipients;
  std::vector<int> PendingCCRecipients;
  std::vector<int> PendingCommentTo;
  std::vector<int> PendingFootnoteTo;
  std::vector<int> PendingPresentationFor;
  std::vector<int> PendingFAQFor;
  std::vector<int> PendingMOTDFor;
  std::unique_ptr<TAddRcptThread> FRecipientThread;
  // The editor whose caret the main window's status bar shows.
  static inline TWriteTextForm* CaretShownBy = nullptr;
  bool FClosing = false;
  bool FAskingTrash = false;
  bool FTrashConfirmed = false;
  std::string FOpenedSubject;
  std::string FOpenedBody;
  int FCreatedTextNo = 0;
};

// Openers of the editor for the reading window and the text services. Each
// shows a new editor and answers it.
TWriteTextForm* OpenWriteTextForm();
// A new text to a conference (none for 0).
TWriteTextForm* WriteNewText(int conference);
// A comment to a text, to its recipients; a personal comment goes to its
// author and the writer instead.
TWriteTextForm* WriteComment(int textNo, bool personal);
// A footnote to a text, to its recipients.
TWriteTextForm* WriteFootnote(int textNo);
// A letter to a person (or conference), with a copy to the writer.
TWriteTextForm* WriteLetter(int recipient);
// A presentation of a conference or person, to the server's presentation
// conference; an existing presentation is loaded for editing.
TWriteTextForm* WritePresentationText(int number, bool forPerson);
// A FAQ of a conference, and a message of the day (note on the door).
TWriteTextForm* WriteFaqText(int conference);
TWriteTextForm* WriteMotdText(int conference);

// The reading window's writing commands by their key-command numbers: 2 a
// comment to the current text, 3 a personal comment, 4 a footnote (only to
// the writer's own text), 5 a new text to the current conference, 6 a letter
// to someone asked for. False for other numbers.
bool RunWriteCommand(int command, int currentText, int currentConference);
