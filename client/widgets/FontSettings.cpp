#include "FontSettings.h"

#include "EngineBinding.h"
#include "LyskomConfiguration.h"

std::string ReadFontSetting(int category)
{
  if (category < 0 || category >= FontCategoryCount) category = fcBody;
  const TFontSettingRow& row = FontSettingTable[category];
  if (!RegistryConfiguration) return row.Default;
  const std::string stored = RegistryConfiguration->ReadString(row.Name, row.Default);
  TFontSetting probe;
  return ParseFontString(stored, probe) ? stored : std::string(row.Default);
}

void ApplyFontSetting(TFontSetting& font, int category)
{
  ApplyFontString(font, ReadFontSetting(category));
}

void ApplyFontSettingToRichFont(ITextFont* font, int category)
{
  ApplyFontStringToRichFont(font, ReadFontSetting(category));
}

void ApplyHeaderFontToRichFont(ITextFont* font)
{
  ApplyFontSettingToRichFont(font, fcHeader);
}

void ApplyBodyFontToRichFont(ITextFont* font)
{
  ApplyFontSettingToRichFont(font, fcBody);
}

void ApplyMessageFontToRichFont(ITextFont* font)
{
  ApplyFontSettingToRichFont(font, fcMessage);
}

void ApplyMessageFont(CHARFORMAT2A& attributes)
{
  ApplyFontStringToTextAttributes(attributes, ReadFontSetting(fcMessage));
}

void ApplyMessageFont(HWND richEdit)
{
  ApplyFontStringToTextAttributes(richEdit, ReadFontSetting(fcMessage));
}
