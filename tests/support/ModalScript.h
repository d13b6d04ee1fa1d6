// Drives modal dialogs of the form framework in GUI tests. A script is a list
// of steps; each waits until the form of its name is the dialog on top (shown,
// modal and enabled, so not under a nested dialog) and then acts on it, one
// step per timer tick. Actions must not block: they post input (Click, and
// the helpers of WindowInput.h) instead of calling handlers that open
// further dialogs.
//
// When no step can run for a while (a dialog the script did not expect, or
// one that never came), or a dialog stays open long after the last step,
// the script gives up and closes the modal forms, so that the test fails
// instead of hanging.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "Panels.h"
#include "Form.h"
#include "Application.h"
#include "WindowInput.h"

class TModalScript
{
public:
  using TStep = std::function<void(TForm*)>;

  explicit TModalScript(DWORD patienceMs = 15000) : FPatience(patienceMs)
  {
    FTimer.SetEnabled(false);
    FTimer.SetInterval(20);
    FTimer.OnTimer = [this](TComponent*) { Tick(); };
  }
  ~TModalScript() { FTimer.SetEnabled(false); }

  TModalScript(const TModalScript&) = delete;
  TModalScript& operator=(const TModalScript&) = delete;

  // Adds a step for the form of that name (its resource's form name).
  TModalScript& Then(const std::string& formName, TStep step)
  {
    FSteps.push_back({formName, std::move(step)});
    return *this;
  }
  // The same, with the form as its class.
  template <class T>
  TModalScript& Then(const std::string& formName, std::function<void(T*)> step)
  {
    return Then(formName, [step = std::move(step)](TForm* f) { step(dynamic_cast<T*>(f)); });
  }

  void Start()
  {
    FLastProgress = GetTickCount();
    FTimer.SetEnabled(true);
  }
  bool Done() const { return FNext == FSteps.size(); }
  size_t StepsDone() const { return FNext; }
  bool GaveUp() const { return FGaveUp; }

  // A click in the middle of a button or check box, handled once the step
  // has returned.
  static void Click(TControl* control) { EXPECT_TRUE(TestSupport::ClickControl(control->Handle())) << control->Name; }

  // The form of that name when it is the modal dialog on top.
  static TForm* TopModal(const std::string& formName)
  {
    TForm* form = Application().FindForm(formName);
    if (!form || !form->IsModal() || !form->HostHandle()) return nullptr;
    if (!IsWindowVisible(form->HostHandle()) || !IsWindowEnabled(form->HostHandle())) return nullptr;
    return form;
  }

private:
  void Tick()
  {
    // Nobody acts on a dialog while a menu is open over it.
    if (FBusy || (TestSupport::OpenPopupMenu() && GetTickCount() - FLastProgress <= FPatience)) return;
    if (Done()) {
      // A dialog that the last step left open (a step that failed before
      // its closing click) is closed after a while, so that the test fails
      // instead of hanging in it.
      bool modalOpen = false;
      for (TForm* f : Application().Forms()) modalOpen = modalOpen || (f->IsModal() && f->HostHandle());
      if (!modalOpen) FTimer.SetEnabled(false);
      else if (GetTickCount() - FLastProgress > FPatience) GiveUp();
      return;
    }
    if (TForm* form = TopModal(FSteps[FNext].Form)) {
      FBusy = true;
      const size_t step = FNext++;
      FSteps[step].Step(form);
      FBusy = false;
      FLastProgress = GetTickCount();
      return;
    }
    if (GetTickCount() - FLastProgress > FPatience) GiveUp();
  }
  void GiveUp()
  {
    FGaveUp = true;
    FTimer.SetEnabled(false);
    if (TestSupport::OpenPopupMenu()) EndMenu();
    for (TForm* f : Application().Forms())
      if (f->IsModal() && f->HostHandle()) PostMessageA(f->HostHandle(), WM_CLOSE, 0, 0);
  }

  struct TEntry
  {
    std::string Form;
    TStep Step;
  };
  std::vector<TEntry> FSteps;
  size_t FNext = 0;
  bool FBusy = false;
  bool FGaveUp = false;
  DWORD FPatience;
  DWORD FLastProgress = 0;
  TTimer FTimer{nullptr};
};
