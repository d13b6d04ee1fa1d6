// The call stacks of every thread of the test program, for a test that has
// caught a thread not answering: written as "module+0xoffset" lines, which
// addr2line turns into functions and lines on the build machine:
//   addr2line -f -C -e bin/<module> 0x<image base + offset>
#pragma once

#include <windows.h>

#include <string>

namespace TestSupport {

// Every thread's stack but the caller's own, as text; markedThread is
// labelled with mark. The stacks are read while the threads run on: a
// stalled thread stands still, a running one may give a garbled tail.
std::string ThreadStacks(DWORD markedThread = 0, const char* mark = nullptr);

// Writes ThreadStacks into the test output folder (OMNORA_TEST_OUTPUT, or the
// temporary folder) under the name, and answers the file's path.
std::string SaveThreadStacks(const std::string& name, DWORD markedThread = 0, const char* mark = nullptr);

} // namespace TestSupport
