#include "LyskomErrors.h"

#include <cerrno>
#include <cstdlib>
#include <climits>

#include "ComHandles.h"
#include "LKRequest.h"
#include "UserMessages.h"

const TLyskomErrorRow LyskomErrorTable[LyskomErrorTableSize] = {
  {"No error has occured", 0},
  {"Not implemented yet", 2},
  {"No longer implemented", 3},
  {"Wrong or illegal password", 4},
  {"String too long", 5},
  {"Not logged in.", 6},
  {"System is in \"singel-user mode\"", 7},
  {"Attempt to use conference number 0.", 8},
  {"Undefined or secret conference", 9},
  {"Undefined or secret person", 10},
  {"No \"read/write permission\"", 11},
  {"No permission", 12},
  {"Not member in conf", 13},
  {"No such global text-no, or no access", 14},
  {"Can't use text no 0", 15},
  {"No such local text-no", 16},
  {"Can't use local text no 0", 17},
  {"Too short or too long or contains illegal chars", 18},
  {"Index out of range.", 19},
  {"Already exists", 20},
  {"Already exists ", 21},
  {"Cannot be secret and !rd-prot", 22},
  {"Cannot change letter-box flag", 23},
  {"Database is corrupted.", 24},
  {"Illegal misc field.", 25},
  {"Info-type parameter was illegal.", 26},
  {"Already recipient to this text.", 27},
  {"Already comment to this text.", 28},
  {"Already footnote to this text.", 29},
  {"Not recipient", 30},
  {"Not comment to this text.", 31},
  {"Not footnote to this text.", 32},
  {"Too many recipients", 33},
  {"Too many comments", 34},
  {"Too many footnotes", 35},
  {"Too many marks.", 36},
  {"Only the author may add footnotes or delete texts.", 37},
  {"Can't connect to specified server", 38},
  {"Couldn't get memory for result", 39},
  {"Client can't understand server", 40},
  {"Client thinks that server says it can't understand client.", 41},
  {"This session doesn't exist", 42},
  {"Regexp compilation failed", 43},
  {"Attempt to unmark an unmarked text", 44},
  {"Temporary failure.  Try again later", 45},
  {"An array sent to the server was too big.", 46},
  {"Anonymous text not allowed in conference.", 47},
  {"Illegal Aux item.", 48},
  {"Attempt to manipulate an aux-item without enough permissions.", 49},
  {"Unknown async type.", 50},
  {"Internal server error.", 51},
  {"Server feature disabled.", 52},
  {"Message not sent.", 53},
  {"Invalid membership type.", 54},
};

namespace {

// A whole 32-bit decimal number, blanks around it allowed; 0 otherwise.
int NumberOrZero(const std::string& text)
{
  size_t begin = text.find_first_not_of(" \t");
  size_t end = text.find_last_not_of(" \t");
  if (begin == std::string::npos) return 0;
  std::string s = text.substr(begin, end - begin + 1);
  const char* start = s.c_str();
  char* stop = nullptr;
  errno = 0;
  long long value = std::strtoll(start, &stop, 10);
  if (stop == start || *stop != '\0' || errno == ERANGE || value < INT_MIN || value > INT_MAX) return 0;
  return int(value);
}

} // namespace

std::string LyskomErrorText(int code)
{
  for (const TLyskomErrorRow& row : LyskomErrorTable)
    if (row.Code == code) return row.Text;
  return "Unknown error #" + std::to_string(code);
}

int LyskomErrorCode(ILKCollection* response)
{
  if (!response) return 0;
  // A reply without "error_no" (the engine's own failures have none) makes
  // Query fail; that counts as code 0.
  TBStr path("error_no");
  TVariant value;
  if (FAILED(response->Query(path.Get(), value.Put()))) return 0;
  switch (value.Type()) {
  case VT_I4:
    return int(value.Get().lVal);
  case VT_I2:
  case VT_UI1:
  case VT_BSTR:
    return NumberOrZero(value.AsString());
  default:
    return 0;
  }
}

int LyskomErrorCode(const VARIANT& response)
{
  return LyskomErrorCode(LKCollectionOf(response).Get());
}

std::string LyskomErrorMessage(int code, const std::string& prefix, char marker)
{
  std::string message(1, marker);
  if (!prefix.empty()) message += prefix + "\r\n";
  return message + LyskomErrorText(code);
}

void ReportLyskomError(const VARIANT& response, const std::string& prefix, char marker)
{
  QueueUserMessage(LyskomErrorMessage(LyskomErrorCode(response), prefix, marker));
}

void ReportLyskomError(ILKCollection* response, const std::string& prefix, char marker)
{
  QueueUserMessage(LyskomErrorMessage(LyskomErrorCode(response), prefix, marker));
}

std::string SystemErrorText(DWORD code)
{
  char* buffer = nullptr;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text;
  if (n && buffer) text.assign(buffer, n);
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
    text.pop_back();
  return text;
}

void ReportEngineFailure(HRESULT result, const std::string& prefix, char marker)
{
  std::string text;
  TComPtr<IErrorInfo> info;
  TBStr description;
  // S_OK only: S_FALSE says this thread holds no error information.
  if (GetErrorInfo(0, info.Put()) == S_OK && info && SUCCEEDED(info->GetDescription(description.Put())))
    text = description.Str();
  if (text.empty()) text = SystemErrorText(DWORD(result));
  if (text.empty()) text = FormatText("Error 0x%08lX", static_cast<unsigned long>(result));
  std::string message(1, marker);
  if (!prefix.empty()) message += prefix + "\r\n";
  QueueUserMessage(message + text);
}
