#include "condition_lint.h"

#include <algorithm>

#include "expression.h"
#include "text_utf8.h"
#include "version_literal.h"

namespace TevTool {
namespace {

using namespace Tevrian::Expression;

std::wstring_view Trimmed(std::wstring_view text) {
  const auto first = text.find_first_not_of(L" \t\r\n");
  if (first == std::wstring_view::npos) return {};
  return text.substr(first, text.find_last_not_of(L" \t\r\n") - first + 1);
}

std::string Where(std::size_t index, std::size_t length) { return Utf8(WhereInCondition(index, length)); }

}  // namespace

ConditionFindings LintCondition(std::wstring_view condition) {
  ConditionFindings result;
  const auto add = [&result](Severity severity, std::string text) {
    result.findings.push_back({0, severity, std::move(text)});
  };
  std::vector<std::size_t> positions;
  TokenList tokens;
  try {
    tokens = Tokenize(condition.data(), condition.size(), &positions);
  } catch (const IntegerOutOfRange& error) {
    add(Severity::Error, "the integer " + Where(error.position, condition.size()) +
                             " of the condition is beyond the signed 32-bit range");
    return result;
  } catch (const InvalidInteger& error) {
    add(Severity::Error, "the digits " + Where(error.position, condition.size()) + " of the condition are no number");
    return result;
  }
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i].kind == TokenKind::Property) result.names.push_back(tokens[i].TextValue());
    if (tokens[i].kind == TokenKind::Version) {
      const VersionLiteral literal = ReadVersionLiteral(condition, positions[i]);
      if (literal.overflows) {
        add(Severity::Warning, "the version " + Utf8(literal.text) + " " + Where(positions[i], condition.size()) +
                                   " has a field above 65535; it reads as " +
                                   Utf8(FormatVersion(tokens[i].VersionValueOf())));
      }
    }
  }
  if (tokens.empty()) return result;
  ParsedCondition parsed;
  try {
    parsed = ParseCondition(tokens, positions, condition.size());
  } catch (const ConditionError& error) {
    add(Severity::Error, "the condition cannot be read: " + Utf8(error.Problem()));
    return result;
  }
  if (!parsed.root || parsed.missingOperandAt != std::wstring_view::npos) {
    add(Severity::Error,
        "the condition does not parse: an operand is missing " + Where(parsed.missingOperandAt, condition.size()));
    return result;
  }
  if (parsed.consumed < tokens.size()) {
    const std::size_t at = positions[parsed.consumed];
    const std::string readAs = Utf8(Trimmed(condition.substr(0, at)));
    const Token& next = tokens[parsed.consumed];
    if (next.kind == TokenKind::Symbol) {
      // Quoted as written: "&&" is two one-character symbols to the tokenizer.
      const std::wstring_view rest = condition.substr(at);
      const std::wstring_view written = rest.substr(0, std::min(rest.find_first_of(L" \t\r\n"), rest.size()));
      add(Severity::Warning, "\"" + Utf8(written.empty() ? std::wstring_view(next.TextValue()) : written) + "\" " +
                                 Where(at, condition.size()) +
                                 " is no operator of the condition language: the launcher passes over it and what "
                                 "follows, so the condition reads as \"" +
                                 readAs + "\"");
    } else {
      add(Severity::Warning, "the condition goes on after a complete expression " + Where(at, condition.size()) +
                                 ": the launcher passes over \"" + Utf8(Trimmed(condition.substr(at))) +
                                 "\", so the condition reads as \"" + readAs + "\"");
    }
  }
  return result;
}

}  // namespace TevTool
