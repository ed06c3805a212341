#include "command_line.h"

#include "../conditions/expression.h"

namespace Tevrian {

using Expression::Token;
using Expression::TokenKind;

const wchar_t kHelpText[] =
    L"/help /h /?: "
    L"この画面を表示します\n/quiet:UIを表示しません。\n\n/norestart:再起動が必要な場合でも再起動しません。\n";

namespace {

bool IsValueKind(TokenKind kind) {
  return kind == TokenKind::String || kind == TokenKind::Integer || kind == TokenKind::Version ||
         kind == TokenKind::Boolean;
}

bool IsSymbol(const Token& token, std::wstring_view text) {
  return token.kind == TokenKind::Symbol && token.TextValue() == text;
}

// "A=-5" tokenizes as A, the run "=-", 5: a value that starts with an operator, which the user
// means as an assignment, so it is an error rather than an ignored word.
bool IsAssignmentOfOperator(const Token& token) {
  if (token.kind != TokenKind::Symbol) return false;
  const std::wstring& run = token.TextValue();
  return run.size() > 1 && run[0] == L'=';
}

void ApplySwitch(std::wstring_view name, CommandLineSwitches& switches, const std::function<void()>& onDebug) {
  using Expression::EqualsIgnoreAsciiCase;
  if (EqualsIgnoreAsciiCase(name, L"help") || EqualsIgnoreAsciiCase(name, L"h") || name == L"?") {
    switches.help = true;
  } else if (EqualsIgnoreAsciiCase(name, L"quiet") || EqualsIgnoreAsciiCase(name, L"q")) {
    switches.quiet = true;
  } else if (EqualsIgnoreAsciiCase(name, L"norestart")) {
    switches.noRestart = true;
  } else if (EqualsIgnoreAsciiCase(name, L"debug")) {
    onDebug();
  }
}

}  // namespace

CommandLineWalk WalkCommandLine(const Expression::TokenList& tokens, CommandLineSwitches& switches,
                                Expression::PropertyMap& properties, const std::function<void()>& onDebug,
                                std::wstring* malformed) {
  const auto error = [&](const Token& name) {
    if (malformed) *malformed = name.TextValue();
    return CommandLineWalk::Error;
  };
  const std::size_t count = tokens.size();
  std::size_t i = 0;
  while (i < count) {
    const Token& token = tokens[i];
    if (token.kind == TokenKind::Divide || token.kind == TokenKind::Minus) {
      if (i + 1 >= count) break;  // a trailing "/" or "-" names no switch
      const Token& name = tokens[i + 1];
      i += 2;
      if (name.kind == TokenKind::Property) {
        ApplySwitch(name.TextValue(), switches, onDebug);
      } else if (IsSymbol(name, L"?")) {
        ApplySwitch(L"?", switches, onDebug);
      }
      continue;
    }
    if (token.kind == TokenKind::Property && i + 1 < count) {
      const Token& sign = tokens[i + 1];
      if (IsSymbol(sign, L"=")) {
        if (i + 2 >= count) break;  // "A=" at the end stores nothing
        const Token& value = tokens[i + 2];
        if (!IsValueKind(value.kind)) return error(token);
        properties[token.TextValue()] = value;
        i += 3;
        continue;
      }
      if (IsAssignmentOfOperator(sign)) return error(token);
    }
    ++i;
  }
  return switches.help ? CommandLineWalk::Help : CommandLineWalk::Continue;
}

std::wstring SplitCommandLineArguments(std::wstring_view commandLine) {
  if (!commandLine.empty() && commandLine.front() == L'"') {
    const std::size_t close = commandLine.find(L'"', 1);
    if (close == std::wstring_view::npos) return {};
    return std::wstring(commandLine.substr(close + 1));
  }
  const std::size_t blank = commandLine.find_first_of(L" \t");
  if (blank == std::wstring_view::npos) return {};
  return std::wstring(commandLine.substr(blank + 1));
}

}  // namespace Tevrian
