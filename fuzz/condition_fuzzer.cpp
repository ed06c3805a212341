// Fuzzes the condition language: Tokenize, ParseCondition and Parse, evaluation and CheckCondition
// against a small property store of strings, numbers, versions and booleans. The bytes become wide
// text through WideInput (lenient UTF-8, see wide_input.h). Besides what the sanitizers find, it
// checks what callers rely on: Tokenize raises only its two integer errors and the rest only
// ConditionError; token positions, the missing operand's place and every "at character N" of a
// message lie inside the text; a tree the parser calls complete evaluates without an error, and
// CheckCondition raises for every incomplete one rather than answering true or false.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "condition_expression.h"
#include "expression.h"
#include "wide_input.h"

namespace {

using namespace Tevrian::Expression;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "condition_fuzzer: %s\n", what);
  std::abort();
}

const CConditionExpression& Store() {
  static const CConditionExpression store = [] {
    CConditionExpression properties;
    properties.SetProperty(L"ProductName", Token::Text(TokenKind::String, L"Tevrian Suite"));
    properties.SetProperty(L"Empty", Token::Text(TokenKind::String, L""));
    properties.SetProperty(L"InstalledVersion", Token::Text(TokenKind::String, L"14.29.30153"));
    properties.SetProperty(L"VersionNT", Token::Version(MakeVersion(6, 1, 0, 0)));
    properties.SetProperty(L"VersionMsi", Token::Version(MakeVersion(5, 0, 0, 0)));
    properties.SetProperty(L"ServicePackLevel", Token::Integer(1));
    properties.SetProperty(L"NETFRAMEWORK45", Token::Integer(528040));
    properties.SetProperty(L"Negative", Token::Integer(-2147483647 - 1));
    properties.SetProperty(L"Privileged", Token::Boolean(true));
    properties.SetProperty(L"VersionNT64", Token::Boolean(false));
    return properties;
  }();
  return store;
}

// Every "at character N" of a message names a character of the text (N counts from 1).
void CheckPlaces(const std::wstring& problem, std::size_t length) {
  constexpr std::wstring_view kMarker = L"at character ";
  for (std::size_t at = problem.find(kMarker); at != std::wstring::npos; at = problem.find(kMarker, at + 1)) {
    std::size_t index = at + kMarker.size();
    std::size_t number = 0;
    bool digits = false;
    while (index < problem.size() && problem[index] >= L'0' && problem[index] <= L'9') {
      number = number * 10 + static_cast<std::size_t>(problem[index++] - L'0');
      if (number > length + 1) break;
      digits = true;
    }
    if (!digits || number == 0 || number > length) Fail("a message names a character outside the text");
  }
}

void CheckTokens(const TokenList& tokens, const std::vector<std::size_t>& positions, std::size_t length) {
  if (positions.size() != tokens.size()) Fail("not one position per token");
  for (std::size_t i = 0; i < positions.size(); ++i) {
    if (positions[i] >= length) Fail("a token position outside the text");
    if (i > 0 && positions[i] <= positions[i - 1]) Fail("token positions out of order");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring text = TevFuzz::WideInput(data, size);
  const std::size_t length = text.size();

  std::vector<std::size_t> positions;
  TokenList tokens;
  bool integerError = false;
  try {
    tokens = Tokenize(text.data(), length, &positions);
  } catch (const IntegerOutOfRange& error) {
    if (error.position >= length) Fail("integer error outside the text");
    integerError = true;
  } catch (const InvalidInteger& error) {
    if (error.position >= length) Fail("integer error outside the text");
    integerError = true;
  }

  bool complete = false;
  bool evaluated = false;
  bool value = false;
  if (!integerError) {
    CheckTokens(tokens, positions, length);
    try {
      const ParsedCondition parsed = ParseCondition(tokens, positions, length);
      if (parsed.consumed > tokens.size()) Fail("the parser took more tokens than there are");
      if (parsed.missingOperandAt != std::wstring_view::npos && parsed.missingOperandAt > length) {
        Fail("the missing operand lies beyond the text");
      }
      if (!parsed.root && parsed.missingOperandAt == std::wstring_view::npos && !tokens.empty()) {
        Fail("no tree and no missing operand");
      }
      if ((Parse(tokens) == nullptr) != (parsed.root == nullptr)) Fail("Parse and ParseCondition disagree");
      complete = parsed.root && parsed.missingOperandAt == std::wstring_view::npos;
      if (complete) {
        try {
          value = IsTrue(Evaluate(Store(), *parsed.root));
          evaluated = true;
        } catch (const ConditionError&) {
          Fail("a tree the parser called complete does not evaluate");
        }
      }
    } catch (const ConditionError& error) {
      CheckPlaces(error.Problem(), length);
    }
  }

  try {
    const bool answer = Store().CheckCondition(text);
    if (integerError) Fail("an integer error became an answer");
    if (!tokens.empty() && !complete && !evaluated) Fail("an incomplete condition got an answer");
    if (evaluated && answer != value) Fail("CheckCondition answers otherwise than the evaluation");
  } catch (const ConditionError& error) {
    CheckPlaces(error.Problem(), length);
    if (evaluated) Fail("a condition that evaluates was refused");
    (void)error.Describe();
  }
  return 0;
}
