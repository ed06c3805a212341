// The Windows Installer wrappers against the real msi.dll under Wine, on a package built by wixl.
#include <windows.h>

#include <gtest/gtest.h>

#include "../support/wine_path.h"
#include "msi_api.h"
#include "msi_exception.h"
#include "msi_handle.h"
#include "text.h"

namespace {

using namespace TevMSI;

const std::wstring kFixture = TevTest::WinePath(TEV_FIXTURE_DIR "/TevFixtureA.msi");

TEST(CompareNoCaseTest, Table) {
  struct Case {
    const char* name;
    const wchar_t* a;
    const wchar_t* b;
    int result;
    std::size_t index;
  } const cases[] = {
      {"ASCII case folds", L"Ab", L"aB", 0, 2},
      {"shorter first whatever it holds", L"z", L"AA", -1, 0},
      {"longer last", L"AA", L"b", 1, 0},
      {"first difference", L"abc", L"abd", -1, 2},
      {"after the difference", L"abd", L"ABC", 1, 2},
      {"only A-Z fold", L"\u00C9", L"\u00E9", -1, 0},
      {"brace and bracket are not letters", L"[", L"{", -1, 0},
      {"product codes", L"{6A1F7C20-3B4D-4E5F-8A9B-0C1D2E3F4A51}", L"{6a1f7c20-3b4d-4e5f-8a9b-0c1d2e3f4a51}", 0, 38},
      {"empty", L"", L"", 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::size_t index = 99;
    EXPECT_EQ(CompareNoCase(c.a, c.b, &index), c.result);
    EXPECT_EQ(index, c.index);
    EXPECT_EQ(CompareNoCase(c.b, c.a), -c.result);
  }
}

TEST(SystemMessageTest, Table) {
  // The text itself follows the system's language; what matters is that it is there, unchanged.
  for (std::uint32_t code : {2u, 5u, 87u, 1603u, 0x80070005u}) {
    SCOPED_TRACE(code);
    const std::wstring text = SystemMessage(code);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.back(), L'\n');
  }
  EXPECT_EQ(SystemMessage(0x2000ABCDu), L"");
}

TEST(ErrorAtPathTest, TheTextOfTheCodeThenThePathOnALineOfItsOwn) {
  const std::wstring path = L"C:\\Cache\\pkg\\pkg.exe";
  std::wstring system = SystemMessage(5);
  while (!system.empty() && (system.back() == L'\n' || system.back() == L'\r')) system.pop_back();
  const struct {
    std::int32_t code;
    std::wstring text;
  } cases[] = {
      {5, system + L"\n" + path},
      // A code the system has no text for still names itself, and the path.
      {0x2000ABCD, L"エラーが発生しました(43981)。\n" + path},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    const CMsiException error = ErrorAtPath(c.code, path);
    EXPECT_EQ(error.Code(), c.code);
    EXPECT_EQ(ErrorText(error), c.text);
  }
}

TEST(ExpandEnvironmentTest, Table) {
  SetEnvironmentVariableW(L"TEV_TEST_FOLDER", L"C:\\Tev");
  EXPECT_EQ(ExpandEnvironment(L"no percent signs"), L"no percent signs");
  EXPECT_EQ(ExpandEnvironment(L"%TEV_TEST_FOLDER%\\bin"), L"C:\\Tev\\bin");
  EXPECT_EQ(ExpandEnvironment(L"%TEV_UNDEFINED_NAME%"), L"%TEV_UNDEFINED_NAME%");
  EXPECT_EQ(ExpandEnvironment(L""), L"");
}

TEST(MsiDatabaseTest, ReadsPropertiesAndRaisesForAnAbsentOne) {
  CMsiDatabase database;
  ASSERT_TRUE(database.Open(kFixture, MSIDBOPEN_READONLY)) << database.LastError();
  EXPECT_EQ(database.GetProperty(L"ProductCode"), L"{6A1F7C20-3B4D-4E5F-8A9B-0C1D2E3F4A51}");
  EXPECT_EQ(database.GetProperty(L"ProductVersion"), L"1.2.3");
  try {
    database.GetProperty(L"NoSuchProperty");
    FAIL() << "an absent property must raise";
  } catch (const CMsiException& error) {
    EXPECT_EQ(error.Code(), 259);
    EXPECT_EQ(error.Message(), L"");
  }
}

TEST(MsiDatabaseTest, OpenOfAMissingFileFailsWithItsError) {
  CMsiDatabase database;
  EXPECT_FALSE(database.Open(L"C:\\no such folder\\x.msi", MSIDBOPEN_READONLY));
  EXPECT_NE(database.LastError(), 0u);
  EXPECT_EQ(database.Handle(), 0u);
}

TEST(MsiSummaryInfoTest, ReadsThePackageCode) {
  CMsiDatabase database;
  ASSERT_TRUE(database.Open(kFixture, MSIDBOPEN_READONLY));
  CMsiSummaryInfo summary;
  ASSERT_TRUE(summary.Open(database, 0));
  UINT type = 0;
  INT integer = 0;
  FILETIME time{};
  std::wstring text;
  ASSERT_TRUE(summary.GetProperty(9, type, integer, time, text));
  EXPECT_EQ(type, static_cast<UINT>(VT_LPSTR));
  ASSERT_EQ(text.size(), 38u);
  EXPECT_EQ(text.front(), L'{');
  EXPECT_EQ(text.back(), L'}');
  // A number property is read without the second call.
  ASSERT_TRUE(summary.GetProperty(14, type, integer, time, text));  // PID_PAGECOUNT: the schema
  EXPECT_EQ(type, static_cast<UINT>(VT_I4));
  EXPECT_EQ(integer, 200);
}

TEST(MsiHandleTest, SharedHandleIsClosedOnceByTheLastHolder) {
  MSIHANDLE raw = 0;
  {
    CMsiDatabase first;
    ASSERT_TRUE(first.Open(kFixture, MSIDBOPEN_READONLY));
    raw = first.Handle();
    {
      CMsiDatabase second;
      EXPECT_TRUE(second.Assign(first));
      EXPECT_EQ(CMsiHandle::ShareCount(raw), 2);
      CMsiDatabase third = second;  // a copy shares too
      EXPECT_EQ(CMsiHandle::ShareCount(raw), 3);
    }
    EXPECT_EQ(CMsiHandle::ShareCount(raw), 1);
    EXPECT_EQ(first.GetProperty(L"TEVFIXTURE"), L"fixture-value");  // still open
  }
  EXPECT_EQ(CMsiHandle::ShareCount(raw), 0);
  EXPECT_EQ(Msi().CloseHandle(raw), static_cast<UINT>(ERROR_INVALID_HANDLE));  // already closed
}

TEST(MsiHandleTest, HandleAttachedWithoutCloseIsNeverClosed) {
  MSIHANDLE raw = 0;
  ASSERT_EQ(Msi().OpenDatabase(kFixture.c_str(), MSIDBOPEN_READONLY, &raw), 0u);
  {
    CMsiDatabase borrowed;
    EXPECT_TRUE(borrowed.Attach(raw, false));
    CMsiDatabase sharer;
    sharer.Assign(borrowed);
  }
  EXPECT_EQ(CMsiHandle::ShareCount(raw), 0);
  EXPECT_EQ(Msi().CloseHandle(raw), 0u);  // still ours to close
}

TEST(MsiHandleTest, ZeroHandleHasNoEntry) {
  CMsiHandle none;
  EXPECT_FALSE(none.Attach(0));
  EXPECT_EQ(CMsiHandle::ShareCount(0), 0);
  EXPECT_TRUE(none.Release());
}

TEST(MsiViewTest, FetchPastTheLastRowRaises259) {
  CMsiDatabase database;
  ASSERT_TRUE(database.Open(kFixture, MSIDBOPEN_READONLY));
  MSIHANDLE raw = 0;
  ASSERT_EQ(Msi().DatabaseOpenView(database.Handle(), L"SELECT `Property`, `Value` FROM `Property`", &raw), 0u);
  CMsiView view(raw, true);
  ASSERT_TRUE(view.Execute(CMsiRecord()));
  int rows = 0;
  try {
    for (;;) {
      CMsiRecord row = view.Fetch(rows == 0);
      if (rows == 0) {
        EXPECT_EQ(row.ColumnNames().at(L"Value"), 2u);
      }
      ++rows;
    }
  } catch (const CMsiException& error) {
    EXPECT_EQ(error.Code(), 259);
  }
  EXPECT_GE(rows, 5);
}

}  // namespace
