// The built-in properties as Windows (here Wine, 64-bit) reports them, to the x86_64 twin and to the
// shipped 32-bit build, which runs under WOW64 there.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "builtin_properties.h"
#include "condition_expression.h"
#include "expression.h"

namespace {

using namespace Tevrian::Expression;

// A 32-bit process on 64-bit Windows is under WOW64; a 64-bit one never is.
constexpr bool kUnderWow64 = sizeof(void*) == 4;

TEST(BuiltinPropertiesTest, DefinedInOrderWithWineValues) {
  std::vector<std::wstring> lines;
  std::vector<std::wstring> messages;
  CConditionExpression store([&](std::wstring_view line) { lines.emplace_back(line); });
  ASSERT_TRUE(store.InitBuiltinProperties([&](const std::wstring& text) { messages.push_back(text); }));
  EXPECT_TRUE(messages.empty());

  std::vector<std::wstring> names;
  for (const auto& line : lines) names.push_back(line.substr(13, line.find(L'=') - 13));  // "Add Property "
  // VersionNT64 only under WOW64 (the 32-bit build), right after VersionNT.
  std::vector<std::wstring> expected{L"Privileged", L"ProcessorArchitecture", L"VersionMsi", L"VersionNT"};
  if (kUnderWow64) expected.push_back(L"VersionNT64");
  expected.insert(expected.end(), {L"ServicePackLevel", L"LauncherExeDir"});
  EXPECT_EQ(names, expected);

  EXPECT_EQ(store.GetProperty(L"Privileged").kind, TokenKind::Boolean);
  // The machine's own processor, whichever build asks.
  EXPECT_EQ(store.GetProperty(L"ProcessorArchitecture").IntegerValue(), PROCESSOR_ARCHITECTURE_AMD64);
  EXPECT_EQ(store.GetProperty(L"VersionMsi").VersionValueOf(), MakeVersion(4, 5, 0, 0));
  const Token versionNT = store.GetProperty(L"VersionNT");
  ASSERT_EQ(versionNT.kind, TokenKind::Version);
  EXPECT_GE(versionNT.VersionValueOf(), MakeVersion(6, 1, 0, 0));
  EXPECT_EQ(versionNT.VersionValueOf() & 0xFFFF, 0u);  // the fourth field is always 0
  const Token versionNT64 = store.GetProperty(L"VersionNT64");
  if (kUnderWow64) {
    ASSERT_EQ(versionNT64.kind, TokenKind::Version);
    EXPECT_EQ(versionNT64.VersionValueOf(), versionNT.VersionValueOf());
  } else {
    EXPECT_EQ(versionNT64.kind, TokenKind::Boolean);  // absent: reads as false
  }
  EXPECT_EQ(store.GetProperty(L"ServicePackLevel").kind, TokenKind::Integer);

  const std::wstring folder = store.GetProperty(L"LauncherExeDir").TextValue();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), L'\\');
  wchar_t module[MAX_PATH];
  GetModuleFileNameW(nullptr, module, MAX_PATH);
  EXPECT_EQ(std::wstring(module).rfind(folder, 0), 0u);
  EXPECT_EQ(std::wstring(module).find(L'\\', folder.size()), std::wstring::npos);
}

TEST(BuiltinPropertiesTest, PlatformQueries) {
  EXPECT_EQ(IsWow64(), kUnderWow64);
  EXPECT_TRUE(IsWindowsVersionOrGreater(5, 1, 0));
  EXPECT_FALSE(IsWindowsVersionOrGreater(99, 0, 0));
  std::uint32_t major = 0, minor = 0;
  ASSERT_TRUE(GetMsiVersion(major, minor));
  EXPECT_EQ(major, 4u);
  EXPECT_EQ(minor, 5u);
}

}  // namespace
