#include "MessageBoxes.h"

#include <memory>
#include <mutex>

#include "ComHandles.h"
#include "WindowThread.h"

namespace {

struct TRecording
{
  int Answer = IDOK;
  std::function<int(const TRecordedMessageBox&)> Answerer;
  std::vector<TRecordedMessageBox> Boxes;
  TOwnedHandle Recorded{CreateEventA(nullptr, FALSE, FALSE, nullptr)};  // set after each recorded box
};

std::mutex GRecordingLock;
std::unique_ptr<TRecording> GRecording;

} // namespace

int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags)
{
  TRecordedMessageBox box;
  std::function<int(const TRecordedMessageBox&)> answerer;
  int answer = IDOK;
  {
    std::lock_guard<std::mutex> guard(GRecordingLock);
    if (!GRecording) return MessageBoxA(owner, text.c_str(), caption.c_str(), flags);
    box.Owner = owner;
    box.Text = text;
    box.Caption = caption;
    box.Flags = flags;
    box.ThreadId = GetCurrentThreadId();
    answerer = GRecording->Answerer;
    answer = GRecording->Answer;
  }
  // The test's answerer runs outside the lock: it may look at the boxes.
  if (answerer) answer = answerer(box);
  std::lock_guard<std::mutex> guard(GRecordingLock);
  if (GRecording) {
    GRecording->Boxes.push_back(box);
    SetEvent(GRecording->Recorded.Get());
  }
  return answer;
}

TMessageBoxRecorder::TMessageBoxRecorder(int answer)
{
  auto recording = std::make_unique<TRecording>();
  recording->Answer = answer;
  std::lock_guard<std::mutex> guard(GRecordingLock);
  GRecording = std::move(recording);
}

TMessageBoxRecorder::~TMessageBoxRecorder()
{
  // Freed outside the lock.
  std::unique_ptr<TRecording> recording;
  {
    std::lock_guard<std::mutex> guard(GRecordingLock);
    recording = std::move(GRecording);
  }
}

void TMessageBoxRecorder::SetAnswer(int answer)
{
  std::lock_guard<std::mutex> guard(GRecordingLock);
  if (GRecording) GRecording->Answer = answer;
}

void TMessageBoxRecorder::SetAnswerer(std::function<int(const TRecordedMessageBox&)> answerer)
{
  std::lock_guard<std::mutex> guard(GRecordingLock);
  if (GRecording) GRecording->Answerer = std::move(answerer);
}

std::vector<TRecordedMessageBox> TMessageBoxRecorder::Boxes() const
{
  std::lock_guard<std::mutex> guard(GRecordingLock);
  return GRecording ? GRecording->Boxes : std::vector<TRecordedMessageBox>{};
}

std::size_t TMessageBoxRecorder::Count() const
{
  std::lock_guard<std::mutex> guard(GRecordingLock);
  return GRecording ? GRecording->Boxes.size() : 0;
}

void TMessageBoxRecorder::Clear()
{
  std::lock_guard<std::mutex> guard(GRecordingLock);
  if (GRecording) GRecording->Boxes.clear();
}

bool TMessageBoxRecorder::WaitForCount(std::size_t count, DWORD timeoutMs)
{
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    HANDLE recorded;
    {
      std::lock_guard<std::mutex> guard(GRecordingLock);
      if (!GRecording) return false;
      if (GRecording->Boxes.size() >= count) return true;
      recorded = GRecording->Recorded.Get();
    }
    DWORD remaining = INFINITE;
    if (timeoutMs != INFINITE) {
      ULONGLONG elapsed = GetTickCount64() - start;
      if (elapsed >= timeoutMs) return false;
      remaining = DWORD(timeoutMs - elapsed);
    }
    WaitWithSynchronize(recorded, remaining);
  }
}
