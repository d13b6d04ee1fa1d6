#include "NoteOnDoorForm.h"

#include <richedit.h>

#include <cstdlib>
#include <vector>

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

namespace {

bool Overlaps(const RECT& a, const RECT& b)
{
  RECT common;
  return IntersectRect(&common, &a, &b) != FALSE;
}

bool Inside(const RECT& r, const RECT& area)
{
  return r.left >= area.left && r.top >= area.top && r.right <= area.right && r.bottom <= area.bottom;
}

// Notes that open together (a letter copies its writer, whose note opens
// too) would all open at the same place: a new note goes where it covers
// none of those open, as near as it can to where it opened; beside, above or
// below one of them, within the screen's work area.
void PlaceClearOfOtherNotes(TNoteOnDoorForm* note)
{
  const HWND window = note->HostHandle();
  if (!window) return;
  std::vector<RECT> others;
  for (TForm* f : Application().Forms())
    if (f != note && dynamic_cast<TNoteOnDoorForm*>(f) && f->HostHandle() && IsWindowVisible(f->HostHandle())) {
      RECT r;
      GetWindowRect(f->HostHandle(), &r);
      others.push_back(r);
    }
  RECT at;
  GetWindowRect(window, &at);
  auto clear = [&](const RECT& r) {
    for (const RECT& o : others)
      if (Overlaps(r, o)) return false;
    return true;
  };
  if (others.empty() || clear(at)) return;
  RECT area{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  const int w = at.right - at.left, h = at.bottom - at.top;
  auto placed = [&](int left, int top) { return RECT{left, top, left + w, top + h}; };
  std::vector<RECT> candidates;
  for (const RECT& o : others) {
    candidates.push_back(placed(o.right, o.top));
    candidates.push_back(placed(o.left - w, o.top));
    candidates.push_back(placed(o.left, o.bottom));
    candidates.push_back(placed(o.left, o.top - h));
  }
  const RECT* best = nullptr;
  long bestDistance = 0;
  for (const RECT& c : candidates) {
    if (!Inside(c, area) || !clear(c)) continue;
    const long distance = std::labs(c.left - at.left) + std::labs(c.top - at.top);
    if (!best || distance < bestDistance) {
      best = &c;
      bestDistance = distance;
    }
  }
  // No room anywhere: a caption's height down and right of the last one.
  const int step = GetSystemMetrics(SM_CYSMCAPTION) + GetSystemMetrics(SM_CYFRAME);
  const RECT target = best ? *best : placed(others.back().left + step, others.back().top + step);
  SetWindowPos(window, nullptr, target.left, target.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

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
  PlaceClearOfOtherNotes(form);
  if (form->HostHandle())
    SetWindowPos(form->HostHandle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  PostMessageA(form->Handle(), TNoteOnDoorForm::WM_FILL_NOTE, 0, 0);
  return form;
}
