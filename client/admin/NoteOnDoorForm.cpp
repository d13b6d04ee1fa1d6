#include "NoteOnDoorForm.h"

#include <richedit.h>

#include "ClientCaches.h"
#include "LyskomTypes.h"
#include "MainWindowLink.h"
#include "SortedLists.h"
#include "TextHelpers.h"
#include "Application.h"

void TNoteOnDoorForm::DeclareBindings(TBindings& b)
{
  b.Field("NoteEdit", NoteEdit);
  b.Field("DontShowCheckBox", DontShowCheckBox);
  b.Handler("FormClose", &TNoteOnDoorForm::FormClose);
  b.Handler("FormKeyDown", &TNoteOnDoorForm::FormKeyDown);
  b.Handler("NoteEditMouseDown", &TNoteOnDoorForm::NoteEditMouseDown);
}

bool TNoteOnDoorForm::SetUp(int number)
{
  int index = 0;
  TSortedIntegerList* shown = NoteShownPersons();
  if (shown && shown->Find(number, index)) return false;
  FNumber = number;
  return true;
}

void TNoteOnDoorForm::InsertRun(const std::string& text, const char* face, int points, bool bold, WORD alignment)
{
  const HWND edit = NoteEdit->Handle();
  const int end = NoteEdit->TextLength();
  NoteEdit->SetSelection(end, 0);
  CHARFORMAT2A format{};
  format.cbSize = sizeof format;
  format.dwMask = CFM_FACE | CFM_SIZE | CFM_BOLD | CFM_COLOR;
  format.dwEffects = (bold ? CFE_BOLD : 0) | CFE_AUTOCOLOR;
  format.yHeight = points * 20;
  lstrcpynA(format.szFaceName, face, LF_FACESIZE);
  SendMessageA(edit, EM_SETCHARFORMAT, SCF_SELECTION, LPARAM(&format));
  PARAFORMAT2 para{};
  para.cbSize = sizeof para;
  para.dwMask = PFM_ALIGNMENT;
  para.wAlignment = alignment;
  SendMessageA(edit, EM_SETPARAFORMAT, 0, LPARAM(&para));
  NoteEdit->ReplaceSelection(text, false);
}

bool TNoteOnDoorForm::FillNote()
{
  TConferenceRef conf = ConferenceByNumber(FNumber);
  if (!conf || !conf->LoadStatus()) return false;
  const int textNo = conf->GetMsgOfDay();
  if (textNo == 0) return false;
  TTextRef text = TextBodyByNumber(textNo);
  TTextStatRef stat = TextStatByNumber(textNo);
  if (!text || !stat) return false;
  NoteEdit->SelectAll();
  InsertRun(text->GetSubject() + "\r", "Arial", 14, true, PFA_CENTER);
  InsertRun(DateTimeToText(stat->CreationTime) + "\r", "Arial", 12, true, PFA_CENTER);
  // Paragraphs joined: the window is narrow.
  std::string body = text->GetBody();
  CleanTextForDisplay(body, true);
  InsertRun(body, "MS Sans Serif", 10, false, PFA_LEFT);
  NoteEdit->SetSelection(0, 0);
  return true;
}

LRESULT TNoteOnDoorForm::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
  if (msg == WM_FILL_NOTE) {
    FillNote();
    return 0;
  }
  return TForm::WndProc(msg, wp, lp);
}

void TNoteOnDoorForm::FormClose(TComponent*, TCloseAction& Action)
{
  TSortedIntegerList* shown = NoteShownPersons();
  if (DontShowCheckBox->Checked() && shown) shown->Add(FNumber);
  Action = TCloseAction::Free;
}

void TNoteOnDoorForm::FormKeyDown(TComponent*, WORD& Key, TShiftState)
{
  if (Key == VK_ESCAPE) {
    Key = 0;
    Close();
  }
}

void TNoteOnDoorForm::NoteEditMouseDown(TComponent*, TMouseButton Button, TShiftState, int, int)
{
  if (Button == TMouseButton::Right) Close();
}

TNoteOnDoorForm* ShowNoteOnDoor(int number)
{
  // Nothing to show (no note, or its text is gone): no window at all.
  TConferenceRef conf = ConferenceByNumber(number);
  if (!conf || !conf->LoadStatus() || conf->GetMsgOfDay() == 0 || !TextBodyByNumber(conf->GetMsgOfDay()))
    return nullptr;
  TNoteOnDoorForm* form = CreateForm<TNoteOnDoorForm>(&Application());
  if (!form->SetUp(number)) {
    form->Free();
    return nullptr;
  }
  form->NoteEdit->SetColor(clInfoBk);
  form->Show();
  if (form->HostHandle())
    SetWindowPos(form->HostHandle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  PostMessageA(form->Handle(), TNoteOnDoorForm::WM_FILL_NOTE, 0, 0);
  return form;
}
