#include "ThreadStacks.h"

#include <tlhelp32.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "TestSupport.h"

namespace TestSupport {

namespace {

std::string Hex(DWORD64 value)
{
  char text[32];
  std::snprintf(text, sizeof(text), "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

// "module+0xoffset" of a code address, or the bare address outside modules.
std::string Place(DWORD64 address)
{
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<const char*>(address), &module))
    return Hex(address);
  char path[MAX_PATH] = {};
  GetModuleFileNameA(module, path, sizeof(path));
  const char* name = std::strrchr(path, '\\');
  return std::string(name ? name + 1 : path) + "+" + Hex(address - reinterpret_cast<DWORD64>(module));
}

// Walks the stack from the context by the modules' unwind tables; a frame
// without one (a leaf function) returns through the word at the stack
// pointer. Frames are only read inside the committed stack above the first
// stack pointer, which unwinding only ever moves up.
void Walk(CONTEXT context, std::string& out)
{
  MEMORY_BASIC_INFORMATION stack{};
  if (!VirtualQuery(reinterpret_cast<void*>(context.Rsp), &stack, sizeof(stack)) || stack.State != MEM_COMMIT) {
    out += "  " + Place(context.Rip) + "\n";
    return;
  }
  const DWORD64 low = context.Rsp;
  const DWORD64 high = reinterpret_cast<DWORD64>(stack.BaseAddress) + stack.RegionSize;
  for (int depth = 0; depth < 64 && context.Rip != 0; ++depth) {
    out += "  " + Place(context.Rip) + "\n";
    if (context.Rsp < low || context.Rsp + 8 > high) break;
    DWORD64 imageBase = 0;
    PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr);
    if (!function) {
      context.Rip = *reinterpret_cast<DWORD64*>(context.Rsp);
      context.Rsp += 8;
      continue;
    }
    void* handlerData = nullptr;
    DWORD64 establisher = 0;
    RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, function, &context, &handlerData, &establisher,
                     nullptr);
  }
}

} // namespace

std::string ThreadStacks(DWORD markedThread, const char* mark)
{
  std::string out;
  const DWORD self = GetCurrentThreadId();
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return "no thread snapshot\n";
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != GetCurrentProcessId() || entry.th32ThreadID == self) continue;
    out += "thread " + std::to_string(entry.th32ThreadID);
    if (entry.th32ThreadID == markedThread && mark) out += std::string(" (") + mark + ")";
    out += "\n";
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE,
                               entry.th32ThreadID);
    if (!thread) continue;
    // Held only while its registers are read: a held thread may own the
    // heap's or the loader's lock, which the walk itself takes.
    CONTEXT context{};
    context.ContextFlags = CONTEXT_FULL;
    bool read = false;
    if (SuspendThread(thread) != DWORD(-1)) {
      read = GetThreadContext(thread, &context) != FALSE;
      ResumeThread(thread);
    }
    if (read) Walk(context, out);
    CloseHandle(thread);
  }
  CloseHandle(snapshot);
  return out;
}

std::string SaveThreadStacks(const std::string& name, DWORD markedThread, const char* mark)
{
  const std::string text = ThreadStacks(markedThread, mark);
  const std::string path = OutputDir() + "\\" + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

} // namespace TestSupport
