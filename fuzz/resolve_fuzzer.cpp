// Fuzzes bracketed substitution (Resolve) with properties whose values hold brackets themselves:
// "[Self]" names itself, others name each other, hold a lone "[" or "]", an escaped "\[" or a long
// run of references; the first line of the input becomes one more such value. The bytes become
// wide text through WideInput (lenient UTF-8, see wide_input.h). Besides what the sanitizers find
// (and the timeout, for a loop), it checks that a substituted value is never substituted again:
// the answer is exactly one left-to-right pass over the text, "\[" passed over, a name never set
// giving nothing. It also checks that the answer grows at most by one value per "[]" pair, and that
// the log has one line per reference, each of bounded length.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "condition_expression.h"
#include "shared/text_template.h"
#include "wide_input.h"

namespace {

using namespace Tevrian::Expression;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "resolve_fuzzer: %s\n", what);
  std::abort();
}

struct Property {
  std::wstring name;
  Token token;
  std::wstring shown;  // what a reference to it becomes
};

const std::vector<Property>& Properties() {
  static const std::vector<Property> properties = [] {
    const std::wstring many = [] {
      std::wstring text;
      for (int i = 0; i < 200; ++i) text += L"[Self][Pair]";
      return text;
    }();
    std::vector<Property> list = {
        {L"Self", Token::Text(TokenKind::String, L"[Self]"), L"[Self]"},
        {L"Pair", Token::Text(TokenKind::String, L"[Other]x"), L"[Other]x"},
        {L"Other", Token::Text(TokenKind::String, L"y[Pair]"), L"y[Pair]"},
        {L"Open", Token::Text(TokenKind::String, L"["), L"["},
        {L"Close", Token::Text(TokenKind::String, L"]"), L"]"},
        {L"Escaped", Token::Text(TokenKind::String, L"\\[Self]"), L"\\[Self]"},
        {L"Empty", Token::Text(TokenKind::String, L""), L""},
        {L"", Token::Text(TokenKind::String, L"[]"), L"[]"},
        {L"SAMPLE_SWITCH", Token::Integer(1), L"1"},
        {L"VersionNT", Token::Version(MakeVersion(6, 1, 7601, 0)), L"v6.1.7601.0"},
        {L"Privileged", Token::Boolean(true), L"true"},
        {L"Word", Token::Text(TokenKind::Property, L"[Self]"), L""},
        {L"Many", Token::Text(TokenKind::String, many), many},
    };
    return list;
  }();
  return properties;
}

// One pass, front to back: a "[" not after a backslash up to the next "]" is a reference.
std::wstring Expected(std::wstring_view text, const std::map<std::wstring, std::wstring_view, std::less<>>& shown,
                      std::size_t& references) {
  std::wstring answer;
  references = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == L'[' && !(i > 0 && text[i - 1] == L'\\')) {
      const std::size_t close = text.find(L']', i + 1);
      if (close == std::wstring_view::npos) break;
      const auto it = shown.find(text.substr(i + 1, close - i - 1));
      if (it != shown.end()) answer += it->second;
      ++references;
      i = close + 1;
    } else {
      answer += text[i++];
    }
  }
  answer += text.substr(i);
  return answer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring text = TevFuzz::WideInput(data, size);
  const std::wstring line = text.substr(0, text.find(L'\n'));

  std::vector<std::wstring> log;
  CConditionExpression store([&log](std::wstring_view entry) { log.emplace_back(entry); });
  std::map<std::wstring, std::wstring_view, std::less<>> shown;
  std::size_t longest = line.size();
  for (const Property& property : Properties()) {
    store.SetProperty(property.name, property.token);
    shown[property.name] = property.shown;
    longest = std::max(longest, property.shown.size());
  }
  store.SetProperty(L"Line", Token::Text(TokenKind::String, line));
  shown[L"Line"] = line;
  log.clear();

  const std::wstring answer = store.Resolve(text);
  std::size_t references = 0;
  if (answer != Expected(text, shown, references)) Fail("the answer is not one pass of substitution");
  if (answer.size() > text.size() + (text.size() / 2) * longest) Fail("the answer grew beyond one value per []");
  if (log.size() != references) Fail("not one log line per reference");
  constexpr std::size_t kLongestLine = 2 * (Tevrian::kQuoteLimit + 40) + 16;
  for (const std::wstring& entry : log) {
    if (entry.size() > kLongestLine) Fail("a log line quotes more than its limit");
  }
  return 0;
}
