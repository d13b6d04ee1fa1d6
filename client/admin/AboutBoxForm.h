// The about box: the program's name, version and home page beside a
// spinning figure.
#pragma once

#include <functional>
#include <string>

#include "Panels.h"
#include "Form.h"
#include "StandardControls.h"
#include "SpinCube.h"

// A borderless edit that reads as a link: hand cursor, and a click raises
// OnClick.
class TLinkEdit : public TEdit
{
public:
  explicit TLinkEdit(TComponent* owner) : TEdit(owner) {}

protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
};

class TAboutBox : public TForm
{
public:
  explicit TAboutBox(TComponent* owner) : TForm(owner, "TAboutBox") {}

  TPanel* Panel1 = nullptr;
  TLabel* ProductName = nullptr;
  TLabel* Version = nullptr;
  TLabel* Copyright = nullptr;
  TLabel* Comments = nullptr;
  TSpinCube* SpinCube1 = nullptr;
  TLinkEdit* Edit1 = nullptr;
  TButton* OKButton = nullptr;
  TTimer* Timer1 = nullptr;

  void FormShow(TComponent* Sender);
  void FormHide(TComponent* Sender);
  void Timer1Timer(TComponent* Sender);
  void Edit1Click(TComponent* Sender);

  // "Version 0.13 (build 18) 2025-01-31" for the running program.
  static std::string VersionCaption();
  // Opens an address in the user's web browser; tests replace it.
  static std::function<void(const std::string&)> ShellOpen;

protected:
  void DeclareBindings(TBindings& b) override;
};

// Shows the about box modally and frees it.
void ShowAboutBox();
