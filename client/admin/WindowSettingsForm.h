// The window settings dialog: the start-up size of the main window, the
// style of the main reading view and the five fonts, kept in the registry.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "Panels.h"
#include "FontSettings.h"
#include "Form.h"
#include "RichEdit.h"
#include "SharedTables.h"
#include "StandardControls.h"

class TLyskomConfiguration;

// The sample's lines, each shown in the font of its category.
constexpr int FontSampleLineCount = 11;
extern const char* const FontSampleLines[FontSampleLineCount];
extern const int FontSampleCategories[FontSampleLineCount];

class TWindowSettingsForm : public TForm
{
public:
  explicit TWindowSettingsForm(TComponent* owner) : TForm(owner, "TWindowSettingsForm") {}

  TPageControl* PageControl1 = nullptr;
  TTabSheet* SizeSheet = nullptr;
  TTabSheet* FontSheet = nullptr;
  TRadioButton* MaximizedRadioButton = nullptr;
  TRadioButton* MinimizedRadioButton = nullptr;
  TRadioButton* CurrentSizeRadioButton = nullptr;
  TRadioButton* FormViewRadioButton = nullptr;
  TRadioButton* EditBufferRadioButton = nullptr;
  TEdit* WidthEdit = nullptr;
  TEdit* HeightEdit = nullptr;
  TRichEdit* SampleRichEdit = nullptr;
  TComboBox* FontCategoryComboBox = nullptr;
  TEdit* FontNameEdit = nullptr;
  TButton* EditFontButton = nullptr;
  TButton* OkButton = nullptr;
  TButton* CancelButton = nullptr;
  TButton* ApplyButton = nullptr;

  // The store edited (RegistryConfiguration unless set before showing).
  TLyskomConfiguration* Configuration = nullptr;
  // The font strings being edited, by category; stored on "Ok" or "Apply".
  std::array<std::string, FontCategoryCount> FontStrings;
  // Lets the user edit a font; false when cancelled. The system's font
  // dialog unless replaced.
  std::function<bool(TFontSetting& font)> FontDialog;

  // The radio groups' indexes (-1 when none is checked).
  int StartWindowSizeIndex() const;
  int ReadingViewIndex() const;
  // Stores the page's values, then has the open windows store their layout
  // and reload every setting.
  void SaveSettings();
  // Puts the sample into the sample control in the edited fonts.
  void FormatSample();

  void FormCreate(TComponent* Sender);
  void FormShow(TComponent* Sender);
  void FontCategoryComboBoxChange(TComponent* Sender);
  void EditFontButtonClick(TComponent* Sender);
  void OkButtonClick(TComponent* Sender);
  void ApplyButtonClick(TComponent* Sender);

protected:
  void DeclareBindings(TBindings& b) override;

private:
  void ShowCategoryFont();
};

// The system's font dialog on a font setting; false when cancelled.
bool ChooseFontSetting(HWND owner, TFontSetting& font);

// Shows the dialog modally; true when the user confirmed it with "Ok".
bool ExecuteWindowSettingsForm();
