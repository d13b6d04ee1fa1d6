#include "tools.h"

int ParseSignedInt(const char* p)
{
  if (!p) return 0;
  unsigned value = 0;
  bool negative = false;
  for (; *p; ++p) {
    if (*p == '+') continue;
    if (*p == '-') {
      if (value != 0) return 0;
      negative = true;
      continue;
    }
    if (*p < '0' || *p > '9') break;
    value = value * 10u + unsigned(*p - '0');
  }
  return negative ? int(0u - value) : int(value);
}

int StrToIntLenient(const std::string& s)
{
  return s.empty() ? 0 : ParseSignedInt(s.c_str());
}
