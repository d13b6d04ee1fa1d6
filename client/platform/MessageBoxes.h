// Every message box of the program goes through ShowMessageBox, so that
// tests can record the boxes instead of showing them.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Shows a message box as MessageBoxA does and answers what it answers
// (IDOK, IDYES, ...). While a TMessageBoxRecorder exists, the box is only
// recorded and the recorder's answer is returned. Any thread.
int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags);

struct TRecordedMessageBox
{
  HWND Owner = nullptr;
  std::string Text;
  std::string Caption;
  UINT Flags = 0;
  DWORD ThreadId = 0;  // the thread that would have shown it
};

// For tests: while one exists, message boxes are recorded, not shown.
// One at a time per process.
class TMessageBoxRecorder
{
public:
  explicit TMessageBoxRecorder(int answer = IDOK);
  ~TMessageBoxRecorder();

  TMessageBoxRecorder(const TMessageBoxRecorder&) = delete;
  TMessageBoxRecorder& operator=(const TMessageBoxRecorder&) = delete;

  // The answer of every later box.
  void SetAnswer(int answer);
  // Answers chosen per box (wins over SetAnswer while set).
  void SetAnswerer(std::function<int(const TRecordedMessageBox&)> answerer);

  std::vector<TRecordedMessageBox> Boxes() const;
  std::size_t Count() const;
  void Clear();

  // Waits until at least count boxes have been recorded; false on time-out.
  // On the window thread it runs synchronised calls meanwhile.
  bool WaitForCount(std::size_t count, DWORD timeoutMs);
};
