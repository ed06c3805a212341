// The property store and condition evaluator: every property value of the run, the built-in ones
// first, then those of the command line and the manifest.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "../json/json_value.h"
#include "expression.h"
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

  // Tokenizes, parses and evaluates the condition, logging "CheckCondition( text ):answer". An
  // empty condition is true and logs nothing. Raises ConditionError, naming the text and what is
  // wrong, for an operand that is missing ("A AND", "NOT NOT A", "((A))"), an integer literal
  // beyond 32 bits and a tree too deep to evaluate: never a silent true or false.
  bool CheckCondition(const wchar_t* text, std::size_t length) const;
  bool CheckCondition(std::wstring_view text) const { return CheckCondition(text.data(), text.size()); }

  // Replaces [Name] references with property values; "\[" is passed over. Logs one
  // "Resolve text -> answer" line per reference, innermost rest first, each quoting at most a few
  // hundred characters. Runs in fixed stack space and linear time, whatever the text.
  std::wstring Resolve(const wchar_t* text, std::size_t length) const;
  std::wstring Resolve(std::wstring_view text) const { return Resolve(text.data(), text.size()); }

  // One "Properies" definition (Windows only): a constant "Value", a "RegistrySearch" or a
  // "ProductSearch", chosen by the first member in key order. Logs the "Add Property" line always;
  // stores only a found value. Raises JSON::BadAnyCast for a member of the wrong kind.
  void AddPropertyDefinition(const std::string& name, const JSON::JsonValue& definition);

  // Package applicability (Windows only). An MSI package runs when its "Version" is newer than
  // the installed product's (by "UpgradeCode" when present, else "ProductCode"), or equal with
  // `allowEqual`; a patch when one of its "PatchTargets" is installed in exactly its version; a
  // package counts as installed by its installer identity, else by its "InstalledCondition".
  bool IsExecuteMSI(const JSON::JsonObject& entry, bool allowEqual) const;
  bool IsExecuteMSP(const JSON::JsonObject& entry) const;
  bool InstalledCondition(const JSON::JsonObject& entry) const;

  // Defines the built-in properties (Windows only). False, after `showMessage` has told the user,
  // when the Windows version cannot be read; `failure` (when given) then holds the system error.
  bool InitBuiltinProperties(const MessageSink& showMessage, std::uint32_t* failure = nullptr);

 private:
  void Log(std::wstring_view line) const {
    if (m_log) m_log(line);
  }

  PropertyMap m_properties;
  LogSink m_log;
};

using EvaluationFunction = std::function<Token(const CConditionExpression&, const ExpressionNode&)>;

// One slot per token kind; kinds that Parse never puts into a tree have none.
const std::array<EvaluationFunction, 22>& EvaluationTable();
Token Evaluate(const CConditionExpression& context, const ExpressionNode& node);
bool IsTrue(const Token& token);
// Negative, zero or positive. Values of different kinds order by kind code, except that a text
// compared with a version is read as a version.
int Compare(const Token& a, const Token& b);

// The message of a failed operating-system check at `step` (1 to 3) with the system error.
std::wstring OsCheckFailureMessage(int step, std::uint32_t error);

}  // namespace Tevrian::Expression
