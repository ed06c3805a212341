// The application over real folders under one test root, as the package tests meet it: the
// launcher's own folder ("Media"), the temporary folder and the known folders the cache is made
// under; and a progress sink that records the bar's steps.
#pragma once

#include <windows.h>

#include <knownfolders.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "../app/recording_app.h"
#include "../support/md5_words.h"
#include "app/folders.h"
#include "json_parser.h"

namespace TevTest {

using namespace Tevrian;

inline std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

inline void WriteText(const std::wstring& path, const std::string& text) {
  std::ofstream(path.c_str(), std::ios::binary) << text;
}

inline std::string ReadText(const std::wstring& path) {
  std::ifstream file(path.c_str(), std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

inline bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A file entry that describes `content` exactly.
inline std::string Entry(const std::string& name, const std::string& content) {
  const auto words = TevTest::Md5Words(content);
  return R"({"Name": ")" + name + R"(", "DownloadUrl": "http://127.0.0.1:9/)" + name + R"(", "Size": )" +
         std::to_string(content.size()) + R"(, "Hash": [)" + std::to_string(words[0]) + "," + std::to_string(words[1]) +
         "," + std::to_string(words[2]) + "," + std::to_string(words[3]) + "]}";
}

// A launch list of one cached executable package `id` whose "ExecuteFile" is `name`, describing `content`.
inline std::string CachedExePackage(const std::string& id, const std::string& name, const std::string& content) {
  return R"([{"ExePackage": {"Cache": true, "Id": ")" + id + R"(", "ExecuteFile": )" + Entry(name, content) + "}}]";
}

// The launcher's folders under one test root.
class CacheApp : public RecordingApp {
 public:
  explicit CacheApp(std::wstring root) : m_root(std::move(root)) {}
  // When set, known folders are answered from the test root, and `failing` names one that fails.
  bool fakeKnownFolders = true;
  const KNOWNFOLDERID* failing = nullptr;

 protected:
  std::wstring TempFolder() override { return m_root + L"\\Temp\\"; }
  std::wstring ModulePath() override { return m_root + L"\\Media\\TevLauncher.exe"; }
  bool KnownFolderPath(REFKNOWNFOLDERID id, DWORD flags, std::wstring& path, HRESULT& result) override {
    if (!fakeKnownFolders) return CTevLauncherApp::KnownFolderPath(id, flags, path, result);
    if (failing && IsEqualGUID(id, *failing)) {
      result = E_ACCESSDENIED;
      return false;
    }
    if (IsEqualGUID(id, FOLDERID_AppDataProgramData)) {
      result = E_INVALIDARG;  // as Wine answers
      return false;
    }
    path = m_root + (IsEqualGUID(id, FOLDERID_ProgramData) ? L"\\Machine" : L"\\User");
    result = S_OK;
    return true;
  }

 private:
  std::wstring m_root;
};

// Records the bar's steps; `onAdvance` may cancel the run at a chosen step.
class RecordingProgress : public CProgressSink {
 public:
  void Advance(std::uint32_t units) override {
    steps.push_back(units);
    if (onAdvance) onAdvance(units);
  }
  void WaitWhilePaused() override { ++waits; }
  void SetContent(const std::wstring& text) override {
    contents.push_back(text);
    if (onContent) onContent(text);
  }
  std::uint64_t Total() const {
    std::uint64_t total = 0;
    for (const auto units : steps) total += units;
    return total;
  }

  std::vector<std::uint32_t> steps;
  std::vector<std::wstring> contents;
  int waits = 0;
  std::function<void(std::uint32_t)> onAdvance;
  std::function<void(const std::wstring&)> onContent;
};

// A fresh test root per test, removed afterwards.
class PackageFoldersTest : public ::testing::Test {
 protected:
  // The launcher's start-up initialises OLE before any of this runs.
  static void SetUpTestSuite() { OleInitialize(nullptr); }
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    root = std::wstring(temp) + L"tevcache-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(GetTickCount64());
    for (const wchar_t* folder : {L"", L"\\Media", L"\\Temp", L"\\User", L"\\Machine"}) {
      CreateDirectoryW((root + folder).c_str(), nullptr);
    }
    cache = root + L"\\User\\ProgramData\\TevLauncherPackageCache";
  }
  void TearDown() override { RemoveFolderTree(root); }

  // Loads `launchList` into `app` after its folders are prepared.
  void Load(CacheApp& app, const std::string& launchList) {
    ASSERT_TRUE(app.PrepareFolders());
    app.m_packages.Load(JSON::ParseJSON(launchList).AsArray());
  }
  CExecutePackage& Package(CacheApp& app, std::size_t index = 0) { return *app.m_packages.Packages()[index]; }
  std::wstring Media(const wchar_t* name) const { return root + L"\\Media\\" + name; }

  std::wstring root, cache;
};

}  // namespace TevTest
