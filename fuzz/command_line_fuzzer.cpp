// Fuzzes the launcher's command line: SplitCommandLineArguments over the whole line, then the
// tokens of the argument text through WalkCommandLine, as the launcher reads them at start-up. The
// bytes become wide text through WideInput (lenient UTF-8, see wide_input.h). Besides what the
// sanitizers find, it checks what callers rely on: the arguments are what follows the program
// name; Tokenize raises only its two integer errors and the walk nothing; the walk answers Help
// exactly when the help switch was seen and no error; every stored property has a name and a value
// the user typed, and the debug switch sees only properties that the walk keeps.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/command_line.h"
#include "conditions/expression.h"
#include "conditions/property_list.h"
#include "wide_input.h"

namespace {

using namespace Tevrian;
using Expression::PropertyMap;
using Expression::Token;
using Expression::TokenKind;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "command_line_fuzzer: %s\n", what);
  std::abort();
}

bool IsValueKind(TokenKind kind) {
  return kind == TokenKind::String || kind == TokenKind::Integer || kind == TokenKind::Version ||
         kind == TokenKind::Boolean;
}

void CheckArguments(std::wstring_view line, const std::wstring& arguments) {
  if (arguments.size() >= line.size() && !line.empty()) Fail("the arguments keep the whole line");
  if (line.substr(line.size() - arguments.size()) != arguments) Fail("the arguments are no suffix of the line");
}

void CheckProperties(std::wstring_view arguments, const PropertyMap& properties) {
  for (const auto& [name, value] : properties) {
    if (name.empty()) Fail("a property without a name");
    if (arguments.find(name) == std::wstring_view::npos) Fail("a property name the user never typed");
    if (!IsValueKind(value.kind) || !value.value.has_value()) Fail("a property without a value");
    if (value.kind == TokenKind::String && arguments.find(value.TextValue()) == std::wstring_view::npos) {
      Fail("a property value the user never typed");
    }
  }
}

// Walks the argument text, or answers false when the tokenizer refuses it.
bool Walk(const std::wstring& arguments, CommandLineSwitches& switches, PropertyMap& properties, CommandLineWalk& walk,
          PropertyMap& lastDebugView) {
  Expression::TokenList tokens;
  try {
    tokens = Expression::Tokenize(arguments);
  } catch (const Expression::IntegerOutOfRange& error) {
    if (error.position >= arguments.size()) Fail("integer error outside the text");
    return false;
  } catch (const Expression::InvalidInteger& error) {
    if (error.position >= arguments.size()) Fail("integer error outside the text");
    return false;
  }
  walk = WalkCommandLine(tokens, switches, properties, [&] {
    lastDebugView = properties;
    std::wstring dump;
    Expression::AppendPropertyList(dump, properties);
  });
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring line = TevFuzz::WideInput(data, size);
  const std::wstring arguments = SplitCommandLineArguments(line);
  CheckArguments(line, arguments);

  // The argument text as typed is walked too: most inputs have no program name in front.
  for (const std::wstring& text : {arguments, line}) {
    CommandLineSwitches switches;
    PropertyMap properties;
    PropertyMap debugView;
    CommandLineWalk walk = CommandLineWalk::Continue;
    if (!Walk(text, switches, properties, walk, debugView)) continue;
    if (walk != CommandLineWalk::Error && (walk == CommandLineWalk::Help) != switches.help) {
      Fail("the answer Help does not follow the help switch");
    }
    CheckProperties(text, properties);
    for (const auto& [name, value] : debugView) {
      if (properties.find(name) == properties.end()) Fail("the debug switch saw a property the walk lost");
    }
    std::wstring shown;
    Expression::AppendPropertyList(shown, properties);
  }
  return 0;
}
