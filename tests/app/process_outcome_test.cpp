#include "app/process_outcome.h"

#include <gtest/gtest.h>

namespace {

using Tevrian::OutcomeOf;
using Tevrian::ProcessRun;

// A run that went well up to the step each case changes.
ProcessRun Ran(std::uint32_t reported) {
  ProcessRun run;
  run.started = run.hasProcess = run.waited = run.readExitCode = true;
  run.reported = reported;
  return run;
}

TEST(ProcessOutcomeTest, ARunThatDidNotEndItsWayIsAFailureNever0) {
  constexpr std::uint32_t kFileNotFound = 2, kAccessDenied = 5, kInvalidHandle = 6, kStillActive = 259;
  struct Case {
    const char* name;
    ProcessRun run;
    bool ran;
    std::uint32_t exitCode;
  } cases[] = {
      {"ended with 0", Ran(0), true, 0},
      {"ended with its own code", Ran(1603), true, 1603},
      // Read after the process ended, STILL_ACTIVE's value is the program's own code.
      {"ended with 259", Ran(kStillActive), true, kStillActive},
      {"not started, with the system's error", ProcessRun{false, kFileNotFound}, false, kFileNotFound},
      {"not started, the system saying nothing", ProcessRun{false, 0}, false, 1627},
      {"started without a process to wait for", ProcessRun{true, 0, false}, false, 1627},
      {"the wait failed", ProcessRun{true, 0, true, false, kInvalidHandle}, false, kInvalidHandle},
      {"the wait failed, no error given", ProcessRun{true, 0, true, false, 0}, false, 1627},
      {"the exit code could not be read", ProcessRun{true, 0, true, true, 0, false, kAccessDenied}, false,
       kAccessDenied},
      {"the exit code could not be read, no error given", ProcessRun{true, 0, true, true, 0, false, 0}, false, 1627},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto outcome = OutcomeOf(c.run);
    EXPECT_EQ(outcome.ran, c.ran);
    EXPECT_EQ(outcome.exitCode, c.exitCode);
  }
}

}  // namespace
