#include "WindowLayer.h"

#include "Form.h"
#include "MessageBoxes.h"
#include "Threads.h"
#include "WindowSeams.h"
#include "WindowThread.h"

void InstallWindowLayer()
{
  TWindowSeams seams;
  seams.MessageBox = ShowMessageBox;
  seams.IsWindowThread = IsWindowThread;
  seams.Synchronize = SynchronizeOnWindowThread;
  seams.WaitAny = WaitAnyWithSynchronize;
  seams.StartWindowThread = InitThreadSynchronization;
  seams.EndWindowThread = DoneThreadSynchronization;
  seams.PostMessage = PostMessageA;
  InstallWindowSeams(seams);
  Application().StopWorkers = StopAllThreads;
}

namespace {

// Linked into every program as an object of its own (not from a library),
// so this runs before main in each of them.
const bool Installed = (InstallWindowLayer(), true);

} // namespace
