// File verification against real files: size, the installer's file hash, and the entries that
// decide how much is checked.
#include <windows.h>

#include <winioctl.h>

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <string>
#include <vector>

#include "../support/md5_words.h"
#include "json_parser.h"
#include "verify_file.h"

namespace {

using namespace Tevrian;

std::wstring TempPath(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  return std::wstring(folder) + L"tevverify-" + std::to_wstring(GetCurrentProcessId()) + L"-" + name;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// sha256sum of "a package file of thirty bytes".
constexpr char kContentSha256[] = "0a64cfa2349968f1caaaeeb6308930ed486e49fb217b7dac3c9b113665085c84";

class VerifyFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = TempPath(L"payload.bin");
    std::ofstream(path.c_str(), std::ios::binary) << content;
    const auto words = TevTest::Md5Words(content);
    for (int i = 0; i < 4; ++i) hash[i] = std::to_string(words[static_cast<std::size_t>(i)]);
  }
  void TearDown() override { DeleteFileW(path.c_str()); }

  std::uint32_t Verify(const std::wstring& file, const std::string& entry) {
    lines.clear();
    return VerifyFile(file, JSON::ParseJSON(entry).AsObject(),
                      [this](std::wstring_view line) { lines.emplace_back(line); });
  }

  const std::string content = "a package file of thirty bytes";
  std::wstring path;
  std::string hash[4];
  std::vector<std::wstring> lines;
};

TEST_F(VerifyFileTest, WhatTheEntryDeclaresIsWhatIsChecked) {
  const std::string size = std::to_string(content.size());
  const std::wstring differs = L"File contents differ(" + path + L")。";
  const std::wstring sizeVaries = L"file size varies(" + path + L")。DownloadSize:30, NeedSize:31";
  const std::wstring actualWords =
      L"actual [" + Wide(hash[0]) + L", " + Wide(hash[1]) + L", " + Wide(hash[2]) + L", " + Wide(hash[3]) + L"]";
  const std::string sha = kContentSha256;
  std::string shaOff = sha;
  shaOff[63] = shaOff[63] == '0' ? '1' : '0';  // one digit off
  std::string shaUpper = sha;
  for (char& c : shaUpper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::string whole =
      "\"Size\": " + size + ", \"Hash\": [" + hash[0] + "," + hash[1] + "," + hash[2] + "," + hash[3] + "]";
  struct Case {
    const char* name;
    std::string entry;
    std::uint32_t result;
    std::vector<std::wstring> log;
  } const cases[] = {
      {"no Size: passes even with a wrong Hash", R"({"Hash": [1, 2, 3, 4]})", 0, {}},
      {"right Size, no Hash", "{\"Size\": " + size + "}", 0, {}},
      {"wrong Size", R"({"Size": 31})", 15605, {sizeVaries}},
      {"negative Size", R"({"Size": -30})", 15605, {L"file size varies(" + path + L")。DownloadSize:30, NeedSize:-30"}},
      {"whole Hash", "{" + whole + "}", 0, {}},
      {"two words compare two words", "{\"Size\": " + size + ", \"Hash\": [" + hash[0] + "," + hash[1] + "]}", 0, {}},
      {"second word wrong",
       "{\"Size\": " + size + ", \"Hash\": [" + hash[0] + ", 7]}",
       15605,
       {differs, L"Hash expected [" + Wide(hash[0]) + L", 7], " + actualWords}},
      {"last word wrong",
       "{\"Size\": " + size + ", \"Hash\": [" + hash[0] + "," + hash[1] + "," + hash[2] + ", 7]}",
       15605,
       {differs,
        L"Hash expected [" + Wide(hash[0]) + L", " + Wide(hash[1]) + L", " + Wide(hash[2]) + L", 7], " + actualWords}},
      // Four words make a hash; a fifth describes no file hash at all.
      {"five words",
       "{" + whole.substr(0, whole.size() - 1) + ", 0]}",
       15605,
       {differs, L"Hash expected (5 words), " + actualWords}},
      {"empty Hash", "{\"Size\": " + size + ", \"Hash\": []}", 0, {}},
      // The digest is checked after Size and Hash, and whenever it is given.
      {"Sha256 right", "{" + whole + ", \"Sha256\": \"" + sha + "\"}", 0, {}},
      {"Sha256 in upper case", "{" + whole + ", \"Sha256\": \"" + shaUpper + "\"}", 0, {}},
      {"Sha256 one digit off",
       "{" + whole + ", \"Sha256\": \"" + shaOff + "\"}",
       15605,
       {differs, L"Sha256 expected " + Wide(shaOff) + L", actual " + Wide(sha)}},
      {"Sha256 without Size or Hash still pins the file",
       "{\"Sha256\": \"" + shaOff + "\"}",
       15605,
       {differs, L"Sha256 expected " + Wide(shaOff) + L", actual " + Wide(sha)}},
      {"a wrong Size is reported before the digest",
       "{\"Size\": 31, \"Sha256\": \"" + shaOff + "\"}",
       15605,
       {sizeVaries}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Verify(path, c.entry), c.result);
    EXPECT_EQ(lines, c.log);
  }
}

TEST_F(VerifyFileTest, MembersOfTheWrongKindNameTheirPath) {
  // Words are read as they are compared: the wrong kind after a right first word.
  for (const auto& [entry, description] :
       {std::pair{std::string(R"({"Size": "30"})"), L"Size: expected an integer, found a string"},
        std::pair{std::string(R"({"Size": 30, "Hash": {}})"), L"Hash: expected an array, found an object"},
        std::pair{R"({"Size": 30, "Hash": [)" + hash[0] + R"(, "2"]})",
                  L"Hash[1]: expected an integer, found a string"},
        std::pair{std::string(R"({"Size": 30, "Sha256": 5})"), L"Sha256: expected a string, found an integer"},
        std::pair{std::string(R"({"Sha256": "abc"})"), L"Sha256: expected 64 hexadecimal digits, found \"abc\""}}) {
    SCOPED_TRACE(entry);
    try {
      Verify(path, entry);
      ADD_FAILURE() << "no error";
    } catch (const JSON::BadAnyCast& error) {
      EXPECT_EQ(error.Describe(), description);
    }
  }
}

TEST_F(VerifyFileTest, AMissingFileGivesTheSystemError) {
  const std::wstring missing = TempPath(L"missing.bin");
  EXPECT_EQ(Verify(missing, "{}"), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind(L"Failed GetFileAttributesEx( " + missing + L" ):2, ", 0), 0u) << Narrow(lines[0]);
}

// 3,000,000,000 bytes is below 4 GiB but beyond what a 32-bit "Size" can declare.
TEST_F(VerifyFileTest, AFileOf2GiBOrMoreNeverPasses) {
  const std::wstring large = TempPath(L"large.bin");
  HANDLE file = CreateFileW(large.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD returned = 0;
  DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);  // may be refused: fine
  LARGE_INTEGER end;
  end.QuadPart = 3000000000LL;
  EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file));
  CloseHandle(file);
  EXPECT_EQ(Verify(large, R"({"Size": -1294967296})"), 15605u);
  EXPECT_EQ(lines, std::vector<std::wstring>{L"LargeSize:Over4G(" + large + L")"});
  EXPECT_EQ(Verify(large, "{}"), 0u);  // no "Size": not checked
  DeleteFileW(large.c_str());
}

}  // namespace
