// The defaults of the person's settings (the server store): one table, read
// both where a setting is used and by the options dialog, so that the
// dialog shows what the client actually does for a setting never stored.
#pragma once

#include <string>

class TLyskomConfiguration;

struct TSettingDefault
{
  const char* Name;
  const char* Value;
};

constexpr int ServerSettingDefaultCount = 25;
extern const TSettingDefault ServerSettingDefaults[ServerSettingDefaultCount];

// The table's default of a setting; empty for a name not in it.
std::string ServerSettingDefault(const std::string& name);

// A setting of the store, with the table's default when none is stored.
std::string ReadServerSetting(TLyskomConfiguration& config, const std::string& name);
bool ReadServerFlag(TLyskomConfiguration& config, const std::string& name);

// The what-am-I-doing message of an activity (a row of ActivityTable): its
// stored "Activity-" setting, else the activity's own text; the override
// has no text of its own.
std::string ActivityMessage(TLyskomConfiguration& config, int activity);
