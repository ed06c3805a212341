// What the package chain sees of the progress dialog: a bar it moves in steps, a content line
// and a pause gate it waits on. The progress dialog is the one real sink; the file work takes none in a hidden run,
// and tests give it a recording one.
#pragma once

#include <cstdint>
#include <string>

namespace Tevrian {

class CProgressSink {
 public:
  virtual ~CProgressSink() = default;
  // Moves the bar by `units` steps of the run's total (nothing for 0), then waits on the gate.
  virtual void Advance(std::uint32_t units) = 0;
  // Holds the caller while a message box of the dialog is open.
  virtual void WaitWhilePaused() = 0;
  // The line under the main instruction: what is being done now.
  virtual void SetContent(const std::wstring& text) = 0;
};

}  // namespace Tevrian
