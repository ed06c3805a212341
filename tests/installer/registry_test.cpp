// Registry wrappers against the real registry under Wine. Each test works under a key of its own,
// named by a fresh GUID, and removes it afterwards.
#include <windows.h>

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <string>

#include "registry.h"

namespace {

using namespace TevMSI;

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GUID guid;
    CoCreateGuid(&guid);
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    m_path = std::wstring(L"Software\\TevLauncherTest\\") + text;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key, nullptr),
        ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(m_key);
    RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
  }

  void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(RegSetValueExW(m_key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  }
  void SetText(const wchar_t* name, DWORD type, const std::wstring& text) {
    SetRaw(name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  // Text data without its terminating NUL, as some installers write it. RegSetValueExW may add
  // the NUL itself, so the data goes in through the native call.
  void SetTextWithoutNul(const wchar_t* name, const std::wstring& text) {
    struct UnicodeString {
      USHORT length, maximumLength;
      PWSTR buffer;
    };
    using NtSetValueKeyFn = LONG(WINAPI*)(HANDLE, UnicodeString*, ULONG, ULONG, const void*, ULONG);
    const auto setValue = reinterpret_cast<NtSetValueKeyFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtSetValueKey")));
    ASSERT_NE(setValue, nullptr);
    std::wstring nameCopy = name;
    UnicodeString unicodeName{static_cast<USHORT>(nameCopy.size() * 2), static_cast<USHORT>(nameCopy.size() * 2),
                              nameCopy.data()};
    ASSERT_EQ(setValue(m_key, &unicodeName, 0, REG_SZ, text.data(), static_cast<ULONG>(text.size() * 2)), 0);
  }

  CTevRegKey OpenTestKey() {
    CTevRegKey key;
    EXPECT_TRUE(key.Open(HKEY_CURRENT_USER, m_path, KEY_READ));
    return key;
  }

  std::wstring m_path;
  HKEY m_key = nullptr;
};

TEST_F(RegistryTest, ValuesOfEachKind) {
  const DWORD dword = 0xFFFFFFFF;
  SetRaw(L"Dword", REG_DWORD, &dword, sizeof dword);
  SetText(L"Text", REG_SZ, L"hello");
  SetTextWithoutNul(L"NoNul", L"abc");
  SetText(L"Expand", REG_EXPAND_SZ, L"%SystemRoot%\\x");
  SetRaw(L"Multi", REG_MULTI_SZ, L"a\0b\0", 10);
  SetText(L"LongText", REG_SZ, L"eight by");
  SetText(L"", REG_SZ, L"default");
  SetRaw(L"Empty", REG_SZ, L"", 0);

  CTevRegKey key = OpenTestKey();
  struct Case {
    const wchar_t* name;
    DWORD type;
    DWORD dword;
    const wchar_t* text;
  } const cases[] = {
      {L"Dword", REG_DWORD, 0xFFFFFFFF, L""},
      {L"Text", REG_SZ, 0, L"hello"},
      {L"NoNul", REG_SZ, 0, L"ab"},  // stored without its NUL: the last character is lost
      {L"Expand", REG_EXPAND_SZ, 0, L"%SystemRoot%\\x"},
      {L"Multi", REG_MULTI_SZ, 0, L""},
      {L"LongText", REG_SZ, 0, L"eight by"},
      {L"", REG_SZ, 0, L"default"},
      {L"Empty", REG_SZ, 0, L""},
      {L"Missing", 0, 0, L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "value '" << std::string(c.name, c.name + wcslen(c.name)) << "'");
    CTevRegValue value = key.Value(c.name);
    EXPECT_EQ(value.GetType(), c.type);
    EXPECT_EQ(value.GetDWORD(), c.dword);
    EXPECT_EQ(value.GetString(), c.text);
  }
}

TEST_F(RegistryTest, SmallDataOfAnyTypeReadsAsDword) {
  SetRaw(L"TwoBytes", REG_BINARY, "\x34\x12", 2);
  CTevRegKey key = OpenTestKey();
  EXPECT_EQ(key.Value(L"TwoBytes").GetDWORD(), 0x1234u);
}

TEST_F(RegistryTest, MissingValueLeavesFileNotFound) {
  CTevRegKey key = OpenTestKey();
  CTevRegValue value = key.Value(L"Missing");
  EXPECT_EQ(value.GetDWORD(), 0u);
  EXPECT_EQ(value.LastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, MissingKeyOpensNothingAndReadsEmpty) {
  CTevRegKey key;
  EXPECT_FALSE(key.Open(HKEY_CURRENT_USER, m_path + L"\\NoSuchKey", KEY_READ));
  EXPECT_EQ(key.LastError(), ERROR_FILE_NOT_FOUND);
  CTevRegValue value = key.Value(L"x");
  EXPECT_EQ(value.GetType(), 0u);
  EXPECT_EQ(value.GetString(), L"");
}

TEST_F(RegistryTest, ValueOutlivesItsKey) {
  SetText(L"Text", REG_SZ, L"kept");
  CTevRegValue value = [&] {
    CTevRegKey key = OpenTestKey();
    return key.Value(L"Text");
  }();
  EXPECT_EQ(value.GetString(), L"kept");
}

TEST_F(RegistryTest, SubKeyOfAnOpenKey) {
  HKEY child = nullptr;
  ASSERT_EQ(RegCreateKeyExW(m_key, L"Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr), ERROR_SUCCESS);
  const DWORD five = 5;
  RegSetValueExW(child, L"N", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&five), sizeof five);
  RegCloseKey(child);
  CTevRegKey parent = OpenTestKey();
  CTevRegKey key;
  ASSERT_TRUE(key.Open(parent.Key(), L"Child", KEY_READ | KEY_WOW64_64KEY));
  EXPECT_EQ(key.Value(L"N").GetDWORD(), 5u);
}

TEST_F(RegistryTest, KeyThatDeniesWriteAccessStaysReadable) {
  HKEY locked = nullptr;
  ASSERT_EQ(RegCreateKeyExW(m_key, L"ReadOnly", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &locked, nullptr),
            ERROR_SUCCESS);
  SetText(L"unused", REG_SZ, L"");
  RegSetValueExW(locked, L"Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"readable"), 18);
  // Everyone may read, nobody may write.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(
      ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;KR;;;WD)", SDDL_REVISION_1, &descriptor, nullptr));
  ASSERT_EQ(RegSetKeySecurity(locked, DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
  LocalFree(descriptor);
  RegCloseKey(locked);

  HKEY probe = nullptr;
  const LSTATUS writeOpen =
      RegOpenKeyExW(HKEY_CURRENT_USER, (m_path + L"\\ReadOnly").c_str(), 0, KEY_READ | KEY_SET_VALUE, &probe);
  if (writeOpen == ERROR_SUCCESS) RegCloseKey(probe);
  EXPECT_EQ(writeOpen, ERROR_ACCESS_DENIED) << "the key should deny writing";

  CTevRegKey key;
  ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, m_path + L"\\ReadOnly", KEY_READ));
  EXPECT_EQ(key.Value(L"Text").GetString(), L"readable");
}

}  // namespace
