#include "SettingDefaults.h"

#include <cstring>

#include "LyskomConfiguration.h"
#include "SharedTables.h"

const TSettingDefault ServerSettingDefaults[ServerSettingDefaultCount] = {
  {"AlignTextsToTop", "1"},
  {"AutoInactiveMsg", "0"},
  {"AutomaticLineWrap", "1"},
  {"FilterAddedTexts", "1"},
  {"FocusAllMsg", "0"},
  {"FocusPersMsg", "0"},
  {"FocusPriText", "1"},
  {"FocusPriTextLvl", "250"},
  {"IndicateThreadLeaveMembership", "1"},
  {"MarkReadTexts", "1"},
  {"MinimizeMainWinToTray", "0"},
  {"NoPresentationPrompt", "0"},
  {"OfflineReplyToAll", "0"},
  {"ReformatTexts", "0"},
  {"ShowCommentedText", "1"},
  {"ShowSubjTree", "1"},
  {"SoundAllMsg", "0"},
  {"SoundPersMsg", "0"},
  {"SoundPriText", "0"},
  {"SoundPriTextLvl", "255"},
  {"ThreadIntoNonMemberConf", "0"},
  {"TrayAllMsg", "0"},
  {"TrayPersMsg", "0"},
  {"TrayPriText", "0"},
  {"TrayPriTextLvl", "255"},
};

std::string ServerSettingDefault(const std::string& name)
{
  for (const TSettingDefault& row : ServerSettingDefaults)
    if (name == row.Name) return row.Value;
  return std::string();
}

std::string ReadServerSetting(TLyskomConfiguration& config, const std::string& name)
{
  return config.ReadString(name, ServerSettingDefault(name));
}

bool ReadServerFlag(TLyskomConfiguration& config, const std::string& name)
{
  return config.ReadBool(name, ServerSettingDefault(name) == "1");
}

std::string ActivityMessage(TLyskomConfiguration& config, int activity)
{
  const LyskomActivities& row = ActivityTable[activity];
  const std::string stored = config.ReadString(std::string("Activity-") + row.Key, "");
  if (!stored.empty() || activity == ActivityOverride) return stored;
  return row.Text;
}
