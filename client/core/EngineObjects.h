// The calling thread's engine objects, for the client's model and caches.
// The engine binding installs where they come from (each thread fetches its
// own reference); until then, and after it withdraws them, asking raises.
#pragma once

#include <functional>

#include "ComHandles.h"
#include "Vantor.h"

using TCommunicationSource = std::function<TComPtr<ILKCommunication>()>;
using TCacheSource = std::function<TComPtr<ILKCache>()>;

// Either may be empty: that object is then not available.
void SetEngineObjectSource(TCommunicationSource communication, TCacheSource cache);
void ClearEngineObjectSource();

// Raise LyskomException "No comm object" / "No cache object" when there is none.
TComPtr<ILKCommunication> EngineCommunication();
TComPtr<ILKCache> EngineCache();
