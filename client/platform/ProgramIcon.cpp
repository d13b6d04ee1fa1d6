#include "ProgramIcon.h"

HICON ProgramIcon()
{
  static const HICON icon = [] {
    HICON own = LoadIconA(GetModuleHandleA(nullptr), "MAINICON");
    return own ? own : LoadIconA(nullptr, IDI_APPLICATION);
  }();
  return icon;
}
