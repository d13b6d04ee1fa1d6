#include "ProgramVersion.h"

#include <cstdio>
#include <vector>

TProgramVersion ReadProductVersion(const std::string& modulePath)
{
  TProgramVersion v;
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(modulePath.c_str(), &ignored);
  if (size == 0) return v;
  std::vector<BYTE> data(size);
  if (!GetFileVersionInfoA(modulePath.c_str(), 0, size, data.data())) return v;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &length) || !info ||
      length < sizeof(VS_FIXEDFILEINFO))
    return v;
  v.Major = HIWORD(info->dwProductVersionMS);
  v.Minor = LOWORD(info->dwProductVersionMS);
  v.Release = HIWORD(info->dwProductVersionLS);
  v.Build = LOWORD(info->dwProductVersionLS);
  v.Found = true;
  return v;
}

const TProgramVersion& ProgramVersion()
{
  static const TProgramVersion version = [] {
    char path[MAX_PATH * 2] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof(path));
    if (n == 0 || n >= sizeof(path)) return TProgramVersion{};
    return ReadProductVersion(path);
  }();
  return version;
}

std::string FormatVersionMajor(const TProgramVersion& v)
{
  return std::to_string(v.Major);
}

std::string FormatVersionMinor(const TProgramVersion& v)
{
  char text[64];
  std::snprintf(text, sizeof(text), "%d%d (build %d)", int(v.Minor), int(v.Release), int(v.Build));
  return text;
}

const std::string& ProgramVersionMajor()
{
  static const std::string text = FormatVersionMajor(ProgramVersion());
  return text;
}

const std::string& ProgramVersionMinor()
{
  static const std::string text = FormatVersionMinor(ProgramVersion());
  return text;
}

const std::string& ProgramBuildDate()
{
  static const std::string date = [] {
    char text[256] = {};
    int n = LoadStringA(GetModuleHandleA(nullptr), BuildDateStringId, text, sizeof(text));
    return std::string(text, size_t(n > 0 ? n : 0));
  }();
  return date;
}
