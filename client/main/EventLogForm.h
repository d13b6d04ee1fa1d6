// The window with the client's running log of events, hidden until shown.
#pragma once

#include <string>

#include "Form.h"
#include "MenuItems.h"
#include "LyskomTextEdit.h"

class TEventLogForm : public TForm
{
public:
  explicit TEventLogForm(TComponent* owner);
  ~TEventLogForm() override;

  TLyskomTextEdit* EventRichEdit = nullptr;
  TPopupMenu* PopupMenu1 = nullptr;
  TMenuItem* ClearList1 = nullptr;

  // Empties the log.
  void ClearLog();
  // Puts text at the end of the log (lines end with CR) and scrolls to it.
  void AppendText(const std::string& text);

  void ClearList1Click(TComponent* Sender);

protected:
  void DeclareBindings(TBindings& b) override;
};

// The event-log window created at start (null while there is none).
extern TEventLogForm* EventLogForm;

// Writes text to the event log, each line stamped with the date and time;
// a one-line text also goes to the first panel of the main window's status
// bar. On the window thread.
void LogEvent(const std::string& text);
