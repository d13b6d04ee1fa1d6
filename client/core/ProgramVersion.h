// The program's own version, from its version resource, and the date of
// its build from its string table. Read once, on first use (the start-up
// of the units reads it early); any thread.
#pragma once

#include <windows.h>

#include <string>

// The four 16-bit parts of a product version.
struct TProgramVersion
{
  WORD Major = 0, Minor = 0, Release = 0, Build = 0;
  bool Found = false;  // false: the module has no version resource
};

// The string-table entry that holds the build date.
constexpr UINT BuildDateStringId = 65280;

// The product version of the running program.
const TProgramVersion& ProgramVersion();
// The product version of a module file; Found is false when it has none.
TProgramVersion ReadProductVersion(const std::string& modulePath);

// The major part as text ("0" for 0.4.6.137).
std::string FormatVersionMajor(const TProgramVersion& v);
// Minor and release run together, then the build ("46 (build 137)").
std::string FormatVersionMinor(const TProgramVersion& v);
// The same for the running program.
const std::string& ProgramVersionMajor();
const std::string& ProgramVersionMinor();

// The build date of the running program (empty when it has none).
const std::string& ProgramBuildDate();
