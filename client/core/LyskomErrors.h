// LysKOM error codes as English sentences, the report of a failed request
// to the user, and the client's protocol exceptions.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <stdexcept>
#include <string>

#include "Vantor.h"

struct TLyskomErrorRow
{
  const char* Text;
  int Code;
};

constexpr int LyskomErrorTableSize = 54;
extern const TLyskomErrorRow LyskomErrorTable[LyskomErrorTableSize];

// The table's text for the code, or "Unknown error #" and the code.
std::string LyskomErrorText(int code);

// The reply's "error_no"; 0 when the reply, the member or a number is missing.
int LyskomErrorCode(ILKCollection* response);
// The same for a reply held in a VARIANT (its IDispatch or IUnknown).
int LyskomErrorCode(const VARIANT& response);

// Marker, then prefix and CR LF (nothing when prefix is empty), then the error text.
std::string LyskomErrorMessage(int code, const std::string& prefix, char marker);

// Queues the message for the reply of a failed request (see QueueUserMessage).
void ReportLyskomError(const VARIANT& response, const std::string& prefix, char marker);
void ReportLyskomError(ILKCollection* response, const std::string& prefix, char marker);

// The system's text for an error code (a Win32 error or an HRESULT), without
// the trailing line break and full stop; empty when the system has none.
std::string SystemErrorText(DWORD code);

// Queues the message for an engine call that failed: the marker, the prefix
// and CR LF, then the engine's description of the failure (its error
// information, else the system's text for the result).
void ReportEngineFailure(HRESULT result, const std::string& prefix, char marker);

// Base of the client's protocol exceptions.
class LyskomException : public std::runtime_error
{
public:
  explicit LyskomException(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// A number that has no name.
class NoSuchConferenceException : public LyskomException
{
public:
  NoSuchConferenceException() : LyskomException("No such name") {}
  explicit NoSuchConferenceException(const std::string& message) : LyskomException(message) {}
};
