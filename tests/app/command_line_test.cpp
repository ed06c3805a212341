#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "conditions/expression.h"
#include "conditions/property_list.h"
#include "../support/describe.h"

namespace {

using namespace Tevrian;
using Expression::PropertyMap;

struct WalkOutcome {
  CommandLineWalk walk;
  CommandLineSwitches switches;
  PropertyMap properties;
  std::vector<std::wstring> debugDumps;  // the properties each debug switch saw

  std::string Properties() const {
    std::string text;
    for (const auto& [name, token] : properties) {
      if (!text.empty()) text += ' ';
      text += TevTest::Narrow(name) + "=" + TevTest::Describe(token);
    }
    return text;
  }
};

WalkOutcome Walk(const wchar_t* arguments) {
  WalkOutcome outcome;
  outcome.walk = WalkCommandLine(Expression::Tokenize(arguments), outcome.switches, outcome.properties, [&] {
    std::wstring dump;
    Expression::AppendPropertyList(dump, outcome.properties);
    outcome.debugDumps.push_back(dump);
  });
  return outcome;
}

struct Case {
  const char* name;
  const wchar_t* arguments;
  CommandLineWalk walk;
  bool quiet;
  bool noRestart;
  const char* properties;
};

constexpr auto Go = CommandLineWalk::Continue;
constexpr auto Help = CommandLineWalk::Help;
constexpr auto Error = CommandLineWalk::Error;

const Case kCases[] = {
    {"empty", L"", Go, false, false, ""},
    {"/Q", L"/Q", Go, true, false, ""},
    {"-quiet", L"-quiet", Go, true, false, ""},
    {"slash blank name", L"/ QUIET", Go, true, false, ""},
    {"quiet without switch character", L"quiet", Go, false, false, ""},
    {"unknown switch", L"/x", Go, false, false, ""},
    {"switch with =1", L"/quiet=1", Go, true, false, ""},
    {"norestart", L"/NoRestart", Go, false, true, ""},
    {"help", L"/help", Help, false, false, ""},
    {"h", L"-H", Help, false, false, ""},
    {"question mark", L"/?", Help, false, false, ""},
    {"question mark with hyphen", L"-?", Help, false, false, ""},
    {"help then assignment", L"/? A=1", Help, false, false, "A=Integer(1)"},
    {"double slash starts no switch", L"//quiet", Go, false, false, ""},
    {"switch followed by a non-name skips both", L"/ 5 /q", Go, true, false, ""},
    {"trailing slash", L"/q /", Go, true, false, ""},
    {"trailing hyphen", L"-", Go, false, false, ""},
    {"text up to the blank", L"A=hello world", Go, false, false, "A=String(hello)"},
    {"quoted text", L"A=\"hello world\"", Go, false, false, "A=String(hello world)"},
    {"integer", L"A=5", Go, false, false, "A=Integer(5)"},
    {"version", L"A=v1.2", Go, false, false, "A=Version(v1.2.0.0)"},
    {"blank after =", L"A= x", Go, false, false, "A=String(x)"},
    {"operator after =", L"A=-5", Error, false, false, ""},
    {"operator after = and blank", L"A= -5", Error, false, false, ""},
    {"switch after = is an error", L"A= /q", Error, false, false, ""},
    {"help before an error has no effect", L"/help A=-5", Error, false, false, ""},
    {"switches after an error are not read", L"A=-5 /q", Error, false, false, ""},
    {"double equals stores nothing", L"A==5", Go, false, false, ""},
    {"= at the end", L"A=", Go, false, false, ""},
    {"name alone is ignored", L"A B", Go, false, false, ""},
    {"given twice keeps the last", L"A=1 A=two", Go, false, false, "A=String(two)"},
    {"name and value keep their case", L"Path=C:\\Tmp", Go, false, false, "Path=String(C:\\Tmp)"},
    {"several properties", L"B=2 /q A=x", Go, true, false, "A=String(x) B=Integer(2)"},
    {"characters beyond the BMP lose no neighbour", L"\xD83D\xDE00=\xD83D\xDE00 A=1 B=2", Go, false, false,
     "A=Integer(1) B=Integer(2) \\uD83D\\uDE00=String(\\uD83D\\uDE00)"},
    {"a control character after = takes no neighbour", L"X=\x01 A=1", Error, false, false, ""},
};

TEST(WalkCommandLineTest, Table) {
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const WalkOutcome outcome = Walk(c.arguments);
    EXPECT_EQ(outcome.walk, c.walk);
    EXPECT_EQ(outcome.switches.quiet, c.quiet);
    EXPECT_EQ(outcome.switches.noRestart, c.noRestart);
    EXPECT_EQ(outcome.Properties(), c.properties);
  }
}

TEST(WalkCommandLineTest, ErrorNamesTheMalformedAssignment) {
  const struct {
    const char* name;
    const wchar_t* arguments;
    const wchar_t* malformed;
  } cases[] = {
      {"operator after =", L"A=-5", L"A"},
      {"the first of two", L"B=1 A= /q C=-1", L"A"},
      {"a control character", L"X=\x01 A=1", L"X"},
      {"a name beyond the BMP", L"\xD83D\xDE00=-1", L"\xD83D\xDE00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CommandLineSwitches switches;
    PropertyMap properties;
    std::wstring malformed;
    EXPECT_EQ(WalkCommandLine(
                  Expression::Tokenize(c.arguments), switches, properties, [] {}, &malformed),
              Error);
    EXPECT_EQ(malformed, c.malformed);
  }
}

TEST(WalkCommandLineTest, DebugDumpShowsPropertiesGatheredSoFar) {
  const WalkOutcome alone = Walk(L"/debug");
  EXPECT_EQ(alone.walk, Go);
  EXPECT_EQ(alone.debugDumps, std::vector<std::wstring>{L""});

  const WalkOutcome between = Walk(L"A=1 /DEBUG B=2 -debug");
  EXPECT_EQ(between.debugDumps, (std::vector<std::wstring>{L"\n\nA=1", L"\n\nA=1\nB=2"}));
}

TEST(WalkCommandLineTest, ErrorStopsBeforeLaterDebugSwitch) {
  const WalkOutcome outcome = Walk(L"A=-1 /debug");
  EXPECT_EQ(outcome.walk, Error);
  EXPECT_TRUE(outcome.debugDumps.empty());
}

TEST(HelpTextTest, HasItsSeventyFourCharacters) { EXPECT_EQ(std::wstring(kHelpText).size(), 74u); }

struct SplitCase {
  const char* name;
  const wchar_t* commandLine;
  const wchar_t* arguments;
};

const SplitCase kSplitCases[] = {
    {"quoted program", L"\"C:\\Setup Dir\\TevLauncher.exe\" /q", L" /q"},
    {"quoted program, no arguments", L"\"C:\\a.exe\"", L""},
    {"quoted program without closing mark", L"\"C:\\a.exe /q", L""},
    {"plain program", L"C:\\a.exe /q A=1", L"/q A=1"},
    {"plain program, no arguments", L"C:\\a.exe", L""},
    {"plain program, tab", L"a.exe\t/q", L"/q"},
};

TEST(SplitCommandLineArgumentsTest, Table) {
  for (const auto& c : kSplitCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SplitCommandLineArguments(c.commandLine), c.arguments);
  }
}

}  // namespace
