// The subject-tree scanner: walks conferences ahead of the reader at low
// priority. For the conference the reading window shows it lists the unread
// texts in the order Next would show them (the window builds its subject
// tree from them); for every other queued conference it warms the caches and
// applies the text filters. Reading is simulated on a private copy of the
// membership: only the filters mark texts read for real.
#pragma once

#include <windows.h>

#include <atomic>
#include <deque>
#include <vector>

#include "ConfsAndTexts.h"
#include "SyncObjects.h"
#include "Threads.h"

// What the scanner needs of the reading window; both calls run on the
// window thread (synchronised) and are dropped when the window is gone.
class TSubjectTreeLink
{
public:
  virtual ~TSubjectTreeLink() = default;
  // The window the scanner posts WM_READ_STATE_CHANGED to.
  virtual HWND SubjectTreeWindowHandle() = 0;
  // A scan of the window's conference begins: empty the subject tree and
  // forget its nodes. The views keep their text: the reader may just have
  // shown the text that moved it to this conference.
  virtual void ClearSubjectTree() = 0;
  // The next text in reading order: under every node of a text it comments
  // or footnotes, else under its subject (SubjectNodeText).
  virtual void AddTextToTree(int textNo, const TTextStatRef& stat, const TTextRef& body) = 0;
};

// The caption of a subject node: the subject, cut to 57 characters and "..."
// when it is longer than 60.
std::string SubjectNodeText(const std::string& subject);
// The texts that the text comments or footnotes, in item order: the nodes
// it goes under.
std::vector<int> TreeParentsOf(const TextStatType& stat);

class TSubjectTreeAsyncThread : public TThread
{
public:
  // Paused (one hold) until ContinueScan; the creator calls Start.
  explicit TSubjectTreeAsyncThread(TSubjectTreeLink* link = nullptr);
  ~TSubjectTreeAsyncThread() override;

  // Window thread. Waits until the scanner is idle before it changes the
  // link, so a window may unlink itself when it goes.
  void SetLink(TSubjectTreeLink* link);

  // Scan the window's conference again (after its read state changed).
  void RequestRescan();
  // Scan this conference next (the user selected it); it feeds the tree.
  void RequestScan(int confNo);
  // The conference the reading window shows; only its scan feeds the tree.
  void SetWindowConference(int confNo) { FWindowConference = confNo; }
  int WindowConference() const { return FWindowConference; }

  void QueueConferences(const std::vector<int>& conferences);
  // Drops the conference from the queue (pausing a scan of it meanwhile).
  void ForgetConference(int confNo);
  std::vector<int> QueuedConferences();

  // Removes one hold; the scan runs while none is held.
  void ContinueScan();
  // The first login lets the scanner run: removes the hold it was created
  // with, once in its life.
  void ContinueAfterLogin();
  // Adds a hold (with onlyIfRunning only when none is held) and waits until
  // the scanner is idle, running synchronised calls meanwhile when called on
  // the window thread. Answers the number of holds.
  int PauseScan(bool onlyIfRunning = false);
  int Holds() { return FGate.Count(); }
  bool IsIdle() { return WaitForSingleObject(FIdle.Handle(), 0) == WAIT_OBJECT_0; }

  // The conference being (or last) scanned.
  int Current() const { return FCurrent; }

protected:
  void Execute() override;
  void TerminatedSet() override { FWake.Signal(); }

private:
  enum class TScanEnd
  {
    Done,         // scanned to its end: it leaves the queue
    Abandoned,    // paused, restarted or terminated: it stays queued
    Unscannable,  // no membership (any more): it leaves the queue
  };
  TScanEnd ScanConference(int confNo);
  bool Interrupted() { return FRestart || FGate.Count() > 0 || Terminated(); }
  HWND LinkHandle();

  std::atomic<TSubjectTreeLink*> FLink;
  TCriticalSection FLock;
  std::deque<int> FQueue;  // under FLock
  std::atomic<int> FRequested{0};
  std::atomic<int> FCurrent{0};
  std::atomic<int> FWindowConference{0};
  std::atomic<bool> FRestart{false};
  std::atomic<bool> FLoginContinued{false};
  TSyncronizer FGate;
  TEvent FIdle{true, true};
  TEvent FWake{false, false};
};

// The program's one scanner, created with the main window; null before.
extern TSubjectTreeAsyncThread* SubjectTreeAsyncThread;

// Creates and starts the program's scanner, paused until the login
// continues it; nothing when it exists. Window thread.
void CreateSubjectScanner(TSubjectTreeLink* link);
// Stops it, waits for it (running synchronised calls) and frees it; the
// main window when it closes, before the reading window goes.
void FreeSubjectScanner();
