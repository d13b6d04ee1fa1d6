#include "EventLogForm.h"

#include "CommonControls.h"
#include "MainForm.h"
#include "ProtocolText.h"

TEventLogForm* EventLogForm = nullptr;

namespace {

// The platform's short date and long time, as the log stamps its lines.
std::string NowText()
{
  char date[80] = {}, time[80] = {};
  GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, sizeof(date));
  GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, time, sizeof(time));
  return std::string(date) + " " + time;
}

} // namespace

TEventLogForm::TEventLogForm(TComponent* owner) : TForm(owner, "TEventLogForm")
{
  if (!EventLogForm) EventLogForm = this;
}

TEventLogForm::~TEventLogForm()
{
  if (EventLogForm == this) EventLogForm = nullptr;
}

void TEventLogForm::DeclareBindings(TBindings& b)
{
  b.Field("EventRichEdit", EventRichEdit);
  b.Field("PopupMenu1", PopupMenu1);
  b.Field("ClearList1", ClearList1);
  b.Handler("ClearList1Click", &TEventLogForm::ClearList1Click);
}

void TEventLogForm::ClearList1Click(TComponent*)
{
  ClearLog();
}

void TEventLogForm::ClearLog()
{
  EventRichEdit->Clear();
}

void TEventLogForm::AppendText(const std::string& text)
{
  HWND edit = EventRichEdit->Handle();
  SendMessageA(edit, EM_HIDESELECTION, FALSE, 0);
  bool readOnly = EventRichEdit->ReadOnly();
  EventRichEdit->SetReadOnly(false);
  EventRichEdit->SetSelection(EventRichEdit->TextLength(), 0);
  EventRichEdit->ReplaceSelection(text, false);
  EventRichEdit->SetSelection(EventRichEdit->TextLength(), 0);
  EventRichEdit->SetReadOnly(readOnly);
  SendMessageA(edit, EM_SCROLLCARET, 0, 0);
  SendMessageA(edit, EM_HIDESELECTION, TRUE, 0);
}

void LogEvent(const std::string& text)
{
  std::string line;
  line.reserve(text.size() + 32);
  for (char c : text)
    if (c != '\n') line += c;
  if (line.empty() || line.back() != '\r') line += '\r';
  PrefixLines(line, "[" + NowText() + "] ", '\r');
  while (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.find('\r') == std::string::npos && MainForm && MainForm->StatusBar1)
    MainForm->StatusBar1->SetPanelText(0, line);
  if (!EventLogForm) return;
  // Each event begins a line of its own; the first one stands at the top.
  if (EventLogForm->EventRichEdit->TextLength() > 0) line.insert(line.begin(), '\r');
  EventLogForm->AppendText(line);
}
