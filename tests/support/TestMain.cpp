// The entry point of every test program: the process's threads share the
// multithreaded apartment, as the engine and the client do.
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

// A test program that dies of an exception says so, and what it wrote
// before is not lost in a buffer: its output goes to a file that the runner
// shows afterwards.
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info)
{
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  std::fprintf(stderr, "\nThe test program ended by exception 0x%08lx at %p.\n", record->ExceptionCode,
               record->ExceptionAddress);
  std::fflush(stderr);
  return EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

int main(int argc, char** argv)
{
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  SetUnhandledExceptionFilter(ReportCrash);
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  testing::InitGoogleTest(&argc, argv);
  int rc = RUN_ALL_TESTS();
  CoUninitialize();
  return rc;
}
