// The thread's waiting window messages, handled: a thread that waits on a program or works under
// the dialog keeps its own windows (and the shell's requests to them) answered.
#pragma once

namespace Tevrian {

// Dispatches every message waiting in the calling thread's queue, and returns when none is left.
void DispatchWaitingMessages();

}  // namespace Tevrian
