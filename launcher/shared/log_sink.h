// Where a subsystem writes its log lines: the application's log, or a test's list of lines.
#pragma once

#include <functional>
#include <string_view>

namespace Tevrian {

using LogSink = std::function<void(std::wstring_view)>;

}  // namespace Tevrian
