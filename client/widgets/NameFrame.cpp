#include "NameFrame.h"

#include <algorithm>
#include <cstdlib>

#include "ClientCaches.h"

TFrame1::TFrame1(TComponent* owner) : TFrame(owner, "TFrame1") {}

void TFrame1::DeclareBindings(TBindings& b)
{
  b.Field("NameGroupBox", NameGroupBox);
  b.Field("ItemList", ItemList);
  b.Field("BrowseButton", BrowseButton);
  b.Field("NamePopupMenu", NamePopupMenu);
  b.Field("LyskomCompletion1", LyskomCompletion1);
  b.Field("RegexpCompletion1", RegexpCompletion1);
  b.Field("NumberCompletion1", NumberCompletion1);
  b.Field("ShowConferences1", ShowConferences1);
  b.Field("ShowUsers1", ShowUsers1);
  b.Handler("LyskomCompletion1Click", &TFrame1::LyskomCompletion1Click);
  b.Handler("RegexpCompletion1Click", &TFrame1::RegexpCompletion1Click);
  b.Handler("NumberCompletion1Click", &TFrame1::NumberCompletion1Click);
  b.Handler("ShowConferences1Click", &TFrame1::ShowConferences1Click);
  b.Handler("ShowUsers1Click", &TFrame1::ShowUsers1Click);
  b.Handler("NamePopupMenuPopup", &TFrame1::NamePopupMenuPopup);
  b.Handler("BrowseButtonClick", &TFrame1::BrowseButtonClick);
}

void TFrame1::SetConfTypes(TLKConfTypes kinds)
{
  ConfTypes = kinds;
  ShowKindChecks();
}

void TFrame1::ShowKindChecks()
{
  if (ShowConferences1) ShowConferences1->SetChecked((ConfTypes & ctConferences) != 0);
  if (ShowUsers1) ShowUsers1->SetChecked((ConfTypes & ctUsers) != 0);
}

void TFrame1::Loaded()
{
  TFrame::Loaded();
  if (!ItemList) return;
  ItemList->OnCompletion = [this](TItemEditList* sender, std::string& text, int mode, bool& italic, int& number) {
    return Completion(sender, text, mode, italic, number);
  };
  // The pop-up menu's shortcuts work while the list has the focus.
  ItemList->OnKeyDown = [this](TComponent*, WORD& key, TShiftState shift) {
    if (shift != ssCtrl) return;
    const int mode = key == 'K' ? 1 : key == 'N' ? 2 : key == 'R' ? 3 : 0;
    if (mode == 0) return;
    ItemList->Complete(mode);
    key = 0;
  };
  ShowKindChecks();
  if (BrowseButton) FDesignedBrowseWidth = BrowseButton->Width();
  FitBrowseButton();
}

void TFrame1::SetFont(const TFontInfo& f)
{
  TFrame::SetFont(f);
  FitBrowseButton();
}

void TFrame1::FitBrowseButton()
{
  if (!BrowseButton || !BrowseButton->HandleAllocated()) return;
  const int width = std::max(FDesignedBrowseWidth, BrowseButton->CaptionFitWidth());
  if (width == BrowseButton->Width()) return;
  BrowseButton->SetWidth(width);
  if (NameGroupBox) NameGroupBox->Realign();
}

void TFrame1::SetEnabled(bool v)
{
  TFrame::SetEnabled(v);
  for (TControl* c : {static_cast<TControl*>(NameGroupBox), static_cast<TControl*>(ItemList),
                      static_cast<TControl*>(BrowseButton)})
    if (c) c->SetEnabled(v);
}

int TFrame1::SelectedNumber()
{
  if (!ItemList) return 0;
  if (ItemList->ItemCount() == 0) ItemList->Complete(1);
  return ItemList->ItemCount() > 0 ? ItemList->ItemNumber(0) : 0;
}

std::string TFrame1::NameText() const
{
  return ItemList ? ItemList->Caption() : std::string();
}

void TFrame1::SetNameText(const std::string& text)
{
  if (!ItemList) return;
  ItemList->SetText(text);
  ItemList->SetSelection(0, 65535);
}

bool TFrame1::Completion(TItemEditList* Sender, std::string& Text, int Mode, bool& Italic, int& Number)
{
  Sender->Clear();
  Italic = false;
  int number = 0;
  switch (Mode) {
  case 1:
    number = LookupName(Text, ConfTypes);
    break;
  case 3:
    number = LookupNameRegexp(Text, ConfTypes);
    break;
  case 2: {
    // A number only (blanks around it allowed); the kinds are not checked.
    const size_t first = Text.find_first_not_of(" \t");
    const size_t last = Text.find_last_not_of(" \t");
    const std::string digits = first == std::string::npos ? std::string() : Text.substr(first, last - first + 1);
    if (!digits.empty() && digits.size() <= 9 && digits.find_first_not_of("0123456789") == std::string::npos)
      number = std::atoi(digits.c_str());
    break;
  }
  default:
    return false;
  }
  if (number < 1) return false;
  Text = NameByNumber(number);
  Number = number;
  return true;
}

void TFrame1::LyskomCompletion1Click(TComponent*)
{
  if (ItemList) ItemList->Complete(1);
}

void TFrame1::RegexpCompletion1Click(TComponent*)
{
  if (ItemList) ItemList->Complete(3);
}

void TFrame1::NumberCompletion1Click(TComponent*)
{
  if (ItemList) ItemList->Complete(2);
}

void TFrame1::ShowConferences1Click(TComponent*)
{
  ShowConferences1->SetChecked(!ShowConferences1->Checked());
  ConfTypes = (ShowConferences1->Checked() ? ctConferences : 0) | (ShowUsers1->Checked() ? ctUsers : 0);
}

void TFrame1::ShowUsers1Click(TComponent*)
{
  ShowUsers1->SetChecked(!ShowUsers1->Checked());
  ConfTypes = (ShowConferences1->Checked() ? ctConferences : 0) | (ShowUsers1->Checked() ? ctUsers : 0);
}

void TFrame1::NamePopupMenuPopup(TComponent*)
{
  ShowKindChecks();
}

void TFrame1::BrowseButtonClick(TComponent*)
{
  if (ItemList) ItemList->Complete(1);
}
