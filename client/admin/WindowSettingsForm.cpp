#include "WindowSettingsForm.h"

#include <commdlg.h>

#include <cstring>

#include "EngineBinding.h"
#include "LyskomConfiguration.h"
#include "MainWindowLink.h"
#include "GdiOwners.h"
#include "Application.h"

const char* const FontSampleLines[FontSampleLineCount] = {
  "4711 2001-05-17 14:32 /3 lines/ Nils Exempel",
  "Recipient: Omnora (the client) <12>",
  "",
  "Subject: How a text looks",
  "",
  "The body of a text is shown in this font.",
  "(4711) ------------------------------------------",
  "Comment in text 4712 by Anna Exempel",
  "",
  "Sent message: See you at the meeting",
  "Message: The meeting starts at ten",
};

const int FontSampleCategories[FontSampleLineCount] = {
  fcHeader, fcHeader, fcHeader, fcSubject, fcBody, fcBody, fcBody, fcBody, fcBody, fcSentMessage, fcMessage,
};

namespace {

// "Courier New, 10" for a font string; the string itself when it is none.
std::string FontDisplayName(const std::string& setting)
{
  TFontSetting font;
  if (!ParseFontString(setting, font)) return setting;
  return font.Name + ", " + std::to_string(font.Size);
}

} // namespace

void TWindowSettingsForm::DeclareBindings(TBindings& b)
{
  b.Field("PageControl1", PageControl1);
  b.Field("SizeSheet", SizeSheet);
  b.Field("FontSheet", FontSheet);
  b.Field("MaximizedRadioButton", MaximizedRadioButton);
  b.Field("MinimizedRadioButton", MinimizedRadioButton);
  b.Field("CurrentSizeRadioButton", CurrentSizeRadioButton);
  b.Field("FormViewRadioButton", FormViewRadioButton);
  b.Field("EditBufferRadioButton", EditBufferRadioButton);
  b.Field("WidthEdit", WidthEdit);
  b.Field("HeightEdit", HeightEdit);
  b.Field("SampleRichEdit", SampleRichEdit);
  b.Field("FontCategoryComboBox", FontCategoryComboBox);
  b.Field("FontNameEdit", FontNameEdit);
  b.Field("EditFontButton", EditFontButton);
  b.Field("OkButton", OkButton);
  b.Field("CancelButton", CancelButton);
  b.Field("ApplyButton", ApplyButton);
  b.Handler("FormCreate", &TWindowSettingsForm::FormCreate);
  b.Handler("FormShow", &TWindowSettingsForm::FormShow);
  b.Handler("FontCategoryComboBoxChange", &TWindowSettingsForm::FontCategoryComboBoxChange);
  b.Handler("EditFontButtonClick", &TWindowSettingsForm::EditFontButtonClick);
  b.Handler("OkButtonClick", &TWindowSettingsForm::OkButtonClick);
  b.Handler("ApplyButtonClick", &TWindowSettingsForm::ApplyButtonClick);
}

void TWindowSettingsForm::FormCreate(TComponent*)
{
  Configuration = RegistryConfiguration;
  // The fonts are read whatever the sample control can do, so that saving
  // never writes empty font settings.
  for (int i = 0; i < FontCategoryCount; ++i) FontStrings[size_t(i)] = ReadFontSetting(i);
  FontDialog = [this](TFontSetting& font) { return ChooseFontSetting(HostHandle(), font); };
}

void TWindowSettingsForm::FormShow(TComponent*)
{
  if (Configuration) {
    int size = Configuration->ReadInteger("StartWindowSizeMode", 2);
    if (size < 0 || size > 2) size = 2;
    MaximizedRadioButton->SetChecked(size == 0);
    MinimizedRadioButton->SetChecked(size == 1);
    CurrentSizeRadioButton->SetChecked(size == 2);
    int view = Configuration->ReadInteger("ReadingViewStyle", 0);
    if (view < 0 || view > 1) view = 0;
    FormViewRadioButton->SetChecked(view == 0);
    EditBufferRadioButton->SetChecked(view == 1);
  }
  TForm* main = LinkedMainWindow();
  WidthEdit->SetText(std::to_string(main ? main->Width() : 0));
  HeightEdit->SetText(std::to_string(main ? main->Height() : 0));

  FormatSample();
  std::vector<std::string> captions;
  for (const TFontSettingRow& row : FontSettingTable) captions.push_back(row.Caption);
  FontCategoryComboBox->SetItems(captions);
  FontCategoryComboBox->SetItemIndex(0);
  ShowCategoryFont();
  PageControl1->SetActivePage(SizeSheet);
}

void TWindowSettingsForm::FormatSample()
{
  std::string text;
  for (int i = 0; i < FontSampleLineCount; ++i) {
    if (i > 0) text += '\r';
    text += FontSampleLines[i];
  }
  SampleRichEdit->SetText(text);
  HWND edit = SampleRichEdit->Handle();
  int start = 0;
  for (int i = 0; i < FontSampleLineCount; ++i) {
    const int length = int(std::strlen(FontSampleLines[i]));
    CHARFORMAT2A format{};
    format.cbSize = sizeof(format);
    if (ApplyFontStringToTextAttributes(format, FontStrings[size_t(FontSampleCategories[i])]) ||
        ApplyFontStringToTextAttributes(format, FontSettingTable[FontSampleCategories[i]].Default)) {
      CHARRANGE range{start, start + length + 1};
      SendMessageA(edit, EM_EXSETSEL, 0, LPARAM(&range));
      SendMessageA(edit, EM_SETCHARFORMAT, SCF_SELECTION, LPARAM(&format));
    }
    start += length + 1;
  }
  CHARRANGE none{0, 0};
  SendMessageA(edit, EM_EXSETSEL, 0, LPARAM(&none));
}

void TWindowSettingsForm::ShowCategoryFont()
{
  const int i = FontCategoryComboBox->ItemIndex();
  FontNameEdit->SetText(i >= 0 && i < FontCategoryCount ? FontDisplayName(ReadFontSetting(i)) : "");
}

void TWindowSettingsForm::FontCategoryComboBoxChange(TComponent*)
{
  ShowCategoryFont();
}

void TWindowSettingsForm::EditFontButtonClick(TComponent*)
{
  const int i = FontCategoryComboBox->ItemIndex();
  if (i < 0 || i >= FontCategoryCount || !FontDialog) return;
  TFontSetting font;
  if (!ParseFontString(FontStrings[size_t(i)], font)) ParseFontString(FontSettingTable[i].Default, font);
  if (!FontDialog(font)) return;
  FontStrings[size_t(i)] = FontToSettingString(font);
  FormatSample();
}

int TWindowSettingsForm::StartWindowSizeIndex() const
{
  if (MaximizedRadioButton->Checked()) return 0;
  if (MinimizedRadioButton->Checked()) return 1;
  if (CurrentSizeRadioButton->Checked()) return 2;
  return -1;
}

int TWindowSettingsForm::ReadingViewIndex() const
{
  if (FormViewRadioButton->Checked()) return 0;
  if (EditBufferRadioButton->Checked()) return 1;
  return -1;
}

void TWindowSettingsForm::SaveSettings()
{
  if (!Configuration) return;
  if (StartWindowSizeIndex() >= 0) Configuration->WriteInteger("StartWindowSizeMode", StartWindowSizeIndex());
  if (ReadingViewIndex() >= 0) Configuration->WriteInteger("ReadingViewStyle", ReadingViewIndex());
  for (int i = 0; i < FontCategoryCount; ++i)
    if (!FontStrings[size_t(i)].empty()) Configuration->WriteString(FontSettingTable[i].Name, FontStrings[size_t(i)]);

  // The windows keep their present layout through the reload.
  SaveWindowLayouts();
  ReloadWindowSettings();
}

void TWindowSettingsForm::OkButtonClick(TComponent*)
{
  SaveSettings();
}

void TWindowSettingsForm::ApplyButtonClick(TComponent*)
{
  SaveSettings();
}

bool ChooseFontSetting(HWND owner, TFontSetting& font)
{
  LOGFONTA lf{};
  std::strncpy(lf.lfFaceName, font.Name.c_str(), LF_FACESIZE - 1);
  const int dpi = ScreenPixelsPerInch();
  lf.lfHeight = -MulDiv(font.Size, dpi, 72);
  lf.lfWeight = font.Bold ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = font.Italic;
  lf.lfUnderline = font.Underline;
  lf.lfStrikeOut = font.StrikeOut;
  lf.lfCharSet = DEFAULT_CHARSET;
  CHOOSEFONTA cf{};
  cf.lStructSize = sizeof(cf);
  cf.hwndOwner = owner;
  cf.lpLogFont = &lf;
  cf.Flags = CF_SCREENFONTS | CF_EFFECTS | CF_INITTOLOGFONTSTRUCT;
  cf.rgbColors = FontColorToRGB(font.Color);
  if (!ChooseFontA(&cf)) return false;
  font.Name = lf.lfFaceName;
  font.Size = cf.iPointSize > 0 ? cf.iPointSize / 10 : MulDiv(lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight, 72, dpi);
  font.Bold = lf.lfWeight >= FW_BOLD;
  font.Italic = lf.lfItalic != 0;
  font.Underline = lf.lfUnderline != 0;
  font.StrikeOut = lf.lfStrikeOut != 0;
  // The window-text colour stays a system colour unless another was chosen.
  if (cf.rgbColors != FontColorToRGB(font.Color)) font.Color = cf.rgbColors;
  return true;
}

bool ExecuteWindowSettingsForm()
{
  TFormPtr<TWindowSettingsForm> form(CreateForm<TWindowSettingsForm>(nullptr));
  return form->ShowModal() == mrOk;
}
