// What one start and wait of a program means, decided in one place for every caller (installers,
// the elevated restart, the other launcher): the program's own exit code when it was started and ran
// to its end; otherwise a failure whose code names what went wrong, never 0, so that a program that
// did not run can never read as one that succeeded.
#pragma once

#include <cstdint>

namespace Tevrian {

constexpr std::uint32_t kErrorFunctionFailed = 1627;  // ERROR_FUNCTION_FAILED: nothing better is known

// What the system answered at each step; a step that failed leaves the later ones unasked.
struct ProcessRun {
  bool started = false;
  std::uint32_t startError = 0;  // GetLastError() after a failed start (0 when the system set none)
  bool hasProcess = false;       // the start gave a process to wait for
  bool waited = false;           // the wait saw the process end
  std::uint32_t waitError = 0;
  bool readExitCode = false;
  std::uint32_t exitCodeError = 0;
  std::uint32_t reported = 0;  // the exit code, read after the process ended: 259 is its own
};

struct ProcessOutcome {
  bool ran;                // true: exitCode is the program's own
  std::uint32_t exitCode;  // else the failure's code, never 0
};

inline ProcessOutcome OutcomeOf(const ProcessRun& run) {
  const auto failure = [](std::uint32_t error) {
    return ProcessOutcome{false, error != 0 ? error : kErrorFunctionFailed};
  };
  if (!run.started) return failure(run.startError);
  if (!run.hasProcess) return failure(kErrorFunctionFailed);
  if (!run.waited) return failure(run.waitError);
  if (!run.readExitCode) return failure(run.exitCodeError);
  return {true, run.reported};
}

}  // namespace Tevrian
