#include "MainWindowLink.h"

#include "Application.h"
#include "Form.h"

namespace {

TMainWindowLink GLink;

} // namespace

void InstallMainWindowLink(const TMainWindowLink& link)
{
  GLink = link;
}

TForm* LinkedMainWindow()
{
  return GLink.MainWindow ? GLink.MainWindow() : nullptr;
}

TComponent* CommandWindowOwner()
{
  if (TForm* main = LinkedMainWindow()) return main;
  return &Application();
}

void SetMainStatusText(int panel, const std::string& text)
{
  if (GLink.SetStatusText) GLink.SetStatusText(panel, text);
}

void WriteEventLog(const std::string& text)
{
  if (GLink.LogEvent) GLink.LogEvent(text);
}

void ShowTextInReadingWindow(int textNo)
{
  if (GLink.ShowText) GLink.ShowText(textNo);
}

void AddToReadingHistory(int textNo)
{
  if (GLink.AddToHistory) GLink.AddToHistory(textNo);
}

TSortedIntegerList* NoteShownPersons()
{
  return GLink.NoteShownPersons ? GLink.NoteShownPersons() : nullptr;
}

void SaveWindowLayouts()
{
  if (GLink.SaveLayouts) GLink.SaveLayouts();
}

void ReloadWindowSettings()
{
  if (GLink.ReloadSettings) GLink.ReloadSettings();
}

void ReloadOptionSettings()
{
  if (GLink.ReloadOptions) GLink.ReloadOptions();
}
