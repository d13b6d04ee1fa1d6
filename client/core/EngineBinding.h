// The client's binding to the engine: one communication object and one
// cache object for the whole run, published in the process's Global
// Interface Table so that every thread fetches a reference of its own.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "ComHandles.h"
#include "Vantor.h"

// The engine version this client is built for (major, minor, release, build).
constexpr LONG ExpectedEngineVersion[4] = {0, 1, 3, 18};

extern const char* const EngineRegisterFailedMessage;
extern const char* const EngineVersionMismatchMessage;
extern const char* const EngineVersionMismatchCaption;

// A COM call of the binding that failed, with its result.
class EOleSysError : public std::runtime_error
{
public:
  EOleSysError(const std::string& message, HRESULT code) : std::runtime_error(message), FCode(code) {}
  HRESULT ErrorCode() const { return FCode; }

private:
  HRESULT FCode;
};

// The unit's start on the window thread: joins the multithreaded apartment.
// Its end releases the engine objects if they are still held and leaves the
// apartment.
bool InitializeGlobalData();
void FinalizeGlobalData();

// The platform's Global Interface Table, the one kept while the
// communication object is held; throws EOleSysError.
TComPtr<IGlobalInterfaceTable> CreateGlobalInterfaceTable();

// A new engine object; while the communication object is held,
// transactions and collections come from a class factory kept for the run.
HRESULT CreateEngineObject(REFCLSID clsid, REFIID iid, void** object);

// Creates the communication object (registering the "Vantor.dll" that the
// library search finds when the engine's classes are not registered) and
// publishes it. When the engine cannot be had, shows
// EngineRegisterFailedMessage and ends the program with exit code 1. An
// engine of another version is warned about once and used all the same.
// Window thread, once, before anything else uses the engine.
void CreateCommunicationObject();
// Registers the engine library found by the platform's library search
// ("Vantor.dll", the program's folder first); false when it cannot be done.
bool RegisterEngineLibrary();
// Creates the cache object on the communication object and publishes it.
// Throws EOleSysError when it cannot be created.
void CreateCacheObject();

// The one entrance to the engine: the calling thread's reference to the
// engine's objects, or those of the installed source (below). Throw
// LyskomException "No comm object" / "No cache object" before they are
// created, after they are released, or when the source has none.
TComPtr<ILKCommunication> GetCommunication();
TComPtr<ILKCache> GetCache();
// An empty pointer instead of the error, for callers that go without.
TComPtr<ILKCommunication> GetCommunicationOrNull();

// Tests drive the model against a server of their own: while a source is
// installed, GetCommunication and GetCache answer its objects. Either may be
// empty: that object is then not available.
using TCommunicationSource = std::function<TComPtr<ILKCommunication>()>;
using TCacheSource = std::function<TComPtr<ILKCache>()>;
void SetEngineObjectSource(TCommunicationSource communication, TCacheSource cache);
// Back to the binding's own objects.
void ClearEngineObjectSource();

// Withdraw the objects from the table and release them; nothing when not held.
void ReleaseCacheObject();
void ReleaseCommunicationObject();
