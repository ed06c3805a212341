// The property store and condition evaluator: every property value of the run, the built-in ones
// first, then those of the command line and the manifest.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "token.h"

namespace Tevrian::Expression {

class CConditionExpression {
 public:
  using LogSink = std::function<void(std::wstring_view)>;
  using MessageSink = std::function<void(const std::wstring&)>;

  explicit CConditionExpression(LogSink log = {});

  // A copy of the stored token; a name never set reads as Boolean false.
  Token GetProperty(const std::wstring& name) const;
  // Logs "Add Property NAME=value", then stores the token, replacing an earlier one.
  void SetProperty(const std::wstring& name, Token token);
  // "Properties", then one NAME=value line per property in name order.
  void LogProperties() const;
  const PropertyMap& Properties() const { return m_properties; }

  // Defines the built-in properties (Windows only). False, after `showMessage` has told the user,
  // when the Windows version cannot be read.
  bool InitBuiltinProperties(const MessageSink& showMessage);

 private:
  void Log(std::wstring_view line) const {
    if (m_log) m_log(line);
  }

  PropertyMap m_properties;
  LogSink m_log;
};

// The message of a failed operating-system check at `step` (1 to 3) with the system error.
std::wstring OsCheckFailureMessage(int step, std::uint32_t error);

}  // namespace Tevrian::Expression
