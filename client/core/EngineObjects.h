// The calling thread's engine objects, for the client's model and caches:
// those of the engine binding (GetCommunication / GetCache), unless another
// source is installed (tests drive the model against a server of their own).
#pragma once

#include <functional>

#include "ComHandles.h"
#include "Vantor.h"

using TCommunicationSource = std::function<TComPtr<ILKCommunication>()>;
using TCacheSource = std::function<TComPtr<ILKCache>()>;

// Either may be empty: that object is then not available.
void SetEngineObjectSource(TCommunicationSource communication, TCacheSource cache);
// Back to the engine binding's objects.
void ClearEngineObjectSource();

// Raise (std::runtime_error, LyskomException) "No comm object" / "No cache
// object" when there is none.
TComPtr<ILKCommunication> EngineCommunication();
TComPtr<ILKCache> EngineCache();
// An empty pointer instead of the error, for callers that go without.
TComPtr<ILKCommunication> EngineCommunicationOrNull();
