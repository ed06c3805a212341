// The built-in properties as Windows (here Wine, in a 64-bit process) reports them.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "builtin_properties.h"
#include "condition_expression.h"
#include "expression.h"

namespace {

using namespace Tevrian::Expression;

TEST(BuiltinPropertiesTest, DefinedInOrderWithWineValues) {
  std::vector<std::wstring> lines;
  std::vector<std::wstring> messages;
  CConditionExpression store([&](std::wstring_view line) { lines.emplace_back(line); });
  ASSERT_TRUE(store.InitBuiltinProperties([&](const std::wstring& text) { messages.push_back(text); }));
  EXPECT_TRUE(messages.empty());

  std::vector<std::wstring> names;
  for (const auto& line : lines) names.push_back(line.substr(13, line.find(L'=') - 13));  // "Add Property "
  // No VersionNT64: a 64-bit process is not under WOW64.
  EXPECT_EQ(names, (std::vector<std::wstring>{L"Privileged", L"ProcessorArchitecture", L"VersionMsi", L"VersionNT",
                                              L"ServicePackLevel", L"LauncherExeDir"}));

  EXPECT_EQ(store.GetProperty(L"Privileged").kind, TokenKind::Boolean);
  EXPECT_EQ(store.GetProperty(L"ProcessorArchitecture").IntegerValue(), PROCESSOR_ARCHITECTURE_AMD64);
  EXPECT_EQ(store.GetProperty(L"VersionMsi").VersionValueOf(), MakeVersion(4, 5, 0, 0));
  const Token versionNT = store.GetProperty(L"VersionNT");
  ASSERT_EQ(versionNT.kind, TokenKind::Version);
  EXPECT_GE(versionNT.VersionValueOf(), MakeVersion(6, 1, 0, 0));
  EXPECT_EQ(versionNT.VersionValueOf() & 0xFFFF, 0u);  // the fourth field is always 0
  EXPECT_EQ(store.GetProperty(L"VersionNT64").kind, TokenKind::Boolean);
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
  EXPECT_FALSE(IsWow64());
  EXPECT_TRUE(IsWindowsVersionOrGreater(5, 1, 0));
  EXPECT_FALSE(IsWindowsVersionOrGreater(99, 0, 0));
  std::uint32_t major = 0, minor = 0;
  ASSERT_TRUE(GetMsiVersion(major, minor));
  EXPECT_EQ(major, 4u);
  EXPECT_EQ(minor, 5u);
}

}  // namespace
