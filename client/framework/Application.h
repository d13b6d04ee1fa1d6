// The program object (TApplication): the forms, the message loop and
// shut-down, and the ways to create a form.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Control.h"

class TForm;

// The program object: the forms, the message loop and shut-down.
class TApplication : public TComponent
{
public:
  TApplication();

  // Registers the window classes, prepares the common controls and makes
  // the calling thread the window thread. Safe to call more than once.
  void Initialize();
  std::string Title = "Omnora";

  TForm* MainForm() const { return FMainForm; }
  void SetMainForm(TForm* form) { FMainForm = form; }
  // Every form that exists, in creation order.
  const std::vector<TForm*>& Forms() const { return FForms; }
  TForm* FindForm(const std::string& name) const;
  // The form that was activated last (null: none).
  TForm* ActiveForm() const;
  // The form that a window belongs to (the hosted one, not an embedded one).
  TForm* FormOfWindow(HWND hwnd) const;
  HWND MDIClient() const;
  // A hidden window of the program (owner of popups, deferred work).
  HWND UtilityWindow();

  // Shows the main form and runs messages until it closes, then shuts down.
  int Run();
  void Terminate(int exitCode = 0);
  bool Terminated() const { return FTerminated; }
  // Waits for one message and handles it; false after WM_QUIT.
  bool HandleMessage();
  // Handles the messages that are waiting.
  void ProcessMessages();
  // Handles messages until done() answers true or the time runs out.
  bool ProcessMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs);
  // One message through the loop's order: modeless dialogs, key preview,
  // short cuts (the active form's, then the main form's), dialog keys
  // (DialogKeys.h), MDI keys, translate and dispatch.
  void ProcessMessage(MSG& msg);
  // Runs the first enabled action or menu item bound to the key of msg: the
  // focused control's pop-up menu, the forms around it, then the main form
  // when the focus is in it or in a window docked in it.
  bool IsShortCut(const MSG& msg);

  void AddModelessDialog(HWND dialog);
  void RemoveModelessDialog(HWND dialog);

  // Stops and joins every worker thread (StopWorkers), then frees the forms
  // (last created first) while everything they use still exists.
  void Shutdown();
  // Stops and joins the program's workers; installed by the program, which
  // knows them (the framework knows no model).
  std::function<void()> StopWorkers;

private:
  friend class TForm;
  void FormCreated(TForm* form);
  void FormDestroyed(TForm* form);
  static LRESULT CALLBACK UtilityProc(HWND, UINT, WPARAM, LPARAM);

  std::vector<TForm*> FForms;
  std::vector<HWND> FModelessDialogs;
  TForm* FMainForm = nullptr;
  TForm* FActiveForm = nullptr;
  HWND FUtility = nullptr;
  bool FInitialized = false;
  bool FTerminated = false;
  int FExitCode = 0;
};

TApplication& Application();

// Initialises a new form and hands it over; one that fails to load is
// deleted before the error goes on.
template <class T>
T* InitializeNewForm(std::unique_ptr<T> form)
{
  form->Initialize();
  return form.release();
}

// Creates a form of class T (constructed from args) and initialises it.
template <class T, class... A>
T* CreateForm(A&&... args)
{
  Application().Initialize();
  return InitializeNewForm(std::unique_ptr<T>(new T(std::forward<A>(args)...)));
}

// The same for a form shown inside a panel of another form.
template <class T, class... A>
T* CreateEmbeddedForm(TControl* parent, A&&... args)
{
  Application().Initialize();
  std::unique_ptr<T> form(new T(std::forward<A>(args)...));
  form->SetEmbedParent(parent);
  return InitializeNewForm(std::move(form));
}
