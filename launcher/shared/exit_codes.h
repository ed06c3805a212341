// Every exit code the launcher chooses itself, once (an installer's own code passes through
// unchanged). A program that starts the launcher reads them: 0 means the run did what it was asked,
// 3010 that it did and a restart is needed; every other code means the product is not installed as
// asked. README's exit-code table says the same for the calling program.
#pragma once

#include <cstdint>

namespace Tevrian {

enum ExitCodes : std::uint32_t {
  kExitSuccess = 0,
  kExitInvalidManifest = 13,    // ERROR_INVALID_DATA: a manifest member of the wrong kind, a missing
                                // required member, or a condition that cannot be evaluated
  kExitHelpShown = 87,          // ERROR_INVALID_PARAMETER: the help text was shown
  kExitBadArguments = 160,      // ERROR_BAD_ARGUMENTS: a command-line integer beyond 32 bits
  kExitCancelled = 1602,        // ERROR_INSTALL_USEREXIT: the user cancelled
  kExitUnexpectedError = 1603,  // ERROR_INSTALL_FAILURE: an error nothing else explained
  kExitRebootRequired = 3010,   // ERROR_SUCCESS_REBOOT_REQUIRED: done, a restart is needed
  kExitNoManifest = 5007,       // the manifest resource is missing and the system gave no error
  // ERROR_INVALID_IMAGE_HASH: the launcher's own file, or the other launcher a newer manifest
  // names, is unsigned where a signature is required or its signature does not verify
  kExitInvalidImageHash = 577,
  kExitOtherLauncherRefused = kExitInvalidImageHash,
  kExitAlreadyRunning = 1618,      // ERROR_INSTALL_ALREADY_RUNNING: another setup runs in this session
  kExitInvalidCommandLine = 1639,  // ERROR_INVALID_COMMAND_LINE: a malformed command line, as msiexec says
};

}  // namespace Tevrian
