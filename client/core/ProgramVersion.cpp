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

namespace {

// A string of the program's string table, read through the resource
// functions of the kernel (the core links no window library): the table is
// stored in blocks of sixteen counted UTF-16 strings.
std::string ReadStringResource(unsigned id)
{
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC block = FindResourceA(module, MAKEINTRESOURCEA((id >> 4) + 1), MAKEINTRESOURCEA(6) /* RT_STRING */);
  if (!block) return {};
  HGLOBAL loaded = LoadResource(module, block);
  const auto* p = static_cast<const WCHAR*>(loaded ? LockResource(loaded) : nullptr);
  if (!p) return {};
  const WCHAR* end = p + SizeofResource(module, block) / sizeof(WCHAR);
  for (unsigned i = 0; i < (id & 15) && p < end; ++i) p += 1 + *p;
  if (p >= end || p + 1 + *p > end) return {};
  const int length = *p;
  const int n = WideCharToMultiByte(CP_ACP, 0, p + 1, length, nullptr, 0, nullptr, nullptr);
  std::string text(size_t(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, p + 1, length, text.data(), n, nullptr, nullptr);
  return text;
}

} // namespace

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
  static const std::string date = [] { return ReadStringResource(BuildDateStringId); }();
  return date;
}
