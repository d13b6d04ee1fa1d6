#include "LinkMainWindow.h"

#include "ActiveUsersForm.h"
#include "EventLogForm.h"
#include "MainForm.h"
#include "MainWindowLink.h"
#include "MessagesForm.h"
#include "ReadArticleForm.h"

void LinkMainWindow()
{
  TMainWindowLink link;
  link.MainWindow = []() -> TForm* { return MainForm; };
  link.SetStatusText = [](int panel, const std::string& text) {
    if (MainForm && MainForm->StatusBar1 && MainForm->StatusBar1->PanelCount() > panel)
      MainForm->StatusBar1->SetPanelText(panel, text);
  };
  link.LogEvent = LogEvent;
  link.ShowText = [](int textNo) {
    if (ReadArticleForm) ReadArticleForm->ShowTextByNumber(textNo, true);
  };
  link.AddToHistory = [](int textNo) {
    if (ReadArticleForm) ReadArticleForm->AddToHistory(textNo);
  };
  link.NoteShownPersons = []() -> TSortedIntegerList* {
    return MainForm ? MainForm->NoteShownPersons.get() : nullptr;
  };
  link.SaveLayouts = [] {
    if (MainForm) MainForm->SaveSettings();
    if (ReadArticleForm) ReadArticleForm->SaveSettings();
    if (ActiveUsersForm) ActiveUsersForm->SaveColumnWidths();
    if (MessagesForm) MessagesForm->SaveSettings();
  };
  link.ReloadSettings = [] {
    if (MainForm) MainForm->LoadSettings();
    if (ReadArticleForm) ReadArticleForm->LoadSettings();
    if (ActiveUsersForm) ActiveUsersForm->LoadColumnWidths();
    if (MessagesForm) MessagesForm->LoadSettings();
  };
  link.ReloadOptions = [] {
    if (ReadArticleForm) ReadArticleForm->LoadSettings();
    if (MainForm) MainForm->LoadSettings();
    if (MessagesForm) MessagesForm->LoadSettings();
  };
  InstallMainWindowLink(link);
}
