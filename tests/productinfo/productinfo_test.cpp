// LWProductInfo64.dll as its callers meet it: loaded by path, both exports called, and every line it
// sends to LWLog64.dll read back from the stand-in's file.
#include "LWProductInfo64.h"

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "installer/unique_handle.h"

namespace {

namespace fs = std::filesystem;

using Lines = std::vector<std::wstring>;

const std::wstring kStartLoad = L"[152]START ProductInfo::ProductInfo_FileLoad";
const std::wstring kLoaded = L"[165]END ProductInfo::ProductInfo_FileLoad: 0x00000000";
const std::wstring kParseError = L"[165]END ProductInfo::ProductInfo_FileLoad: 0x000005B9";

const char kComplete[] =
    "<root><ProductCode>{8A3F5C2E-1B4D-4E6F-9A0B-C1D2E3F40516}</ProductCode>"
    "<DisplayVersion>4.2.1</DisplayVersion><Suite>professional</Suite></root>";

fs::path OwnFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return fs::path(path).parent_path();
}

fs::path BesideTests(const wchar_t* relative) { return (OwnFolder() / fs::path(relative)).lexically_normal(); }

const fs::path kLibraryPath = BesideTests(L"" PRODUCTINFO_DLL);
const fs::path kStandInFolder = BesideTests(L"" LWLOG_STANDIN_DIR);

bool LogLibraryLoaded() { return GetModuleHandleW(L"LWLog64.dll") != nullptr; }

std::string Utf16WithBom(const std::wstring& text) {
  std::string bytes = "\xFF\xFE";
  bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
  return bytes;
}

// Nested entities: under a kilobyte that would expand to gigabytes.
std::string BillionLaughs() {
  std::string text = "<?xml version=\"1.0\"?>\n<!DOCTYPE root [\n<!ENTITY e0 \"lol\">\n";
  for (int level = 1; level <= 9; ++level) {
    text += "<!ENTITY e" + std::to_string(level) + " \"";
    for (int i = 0; i < 10; ++i) text += "&e" + std::to_string(level - 1) + ";";
    text += "\">\n";
  }
  return text + "]>\n<root><ProductCode>&e9;</ProductCode><DisplayVersion>1</DisplayVersion></root>";
}

// One 100 KB entity referenced 50,000 times: the parser accepts it, reading the text would not end.
std::string QuadraticBlowup() {
  std::string text = "<!DOCTYPE root [<!ENTITY big \"" + std::string(100000, 'a') + "\">]>\n<root><ProductCode>";
  for (int i = 0; i < 50000; ++i) text += "&big;";
  return text + "</ProductCode><DisplayVersion>1</DisplayVersion></root>";
}

std::string JustOverOneMebibyte() {
  std::string text = kComplete;
  return text + "<!--" + std::string(1024 * 1024 - text.size(), ' ') + "-->";
}

class CComApartment {
 public:
  CComApartment() : m_result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~CComApartment() {
    if (SUCCEEDED(m_result)) CoUninitialize();
  }
  CComApartment(const CComApartment&) = delete;
  CComApartment& operator=(const CComApartment&) = delete;

 private:
  HRESULT m_result;
};

std::optional<std::wstring> Environment(const wchar_t* name) {
  const DWORD length = GetEnvironmentVariableW(name, nullptr, 0);
  if (length == 0) return std::nullopt;
  std::wstring value(length, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), length));
  return value;
}

// Sets an environment variable for one scope and restores what was there.
class CScopedEnvironment {
 public:
  CScopedEnvironment(const wchar_t* name, const std::wstring& value) : m_name(name), m_old(Environment(name)) {
    SetEnvironmentVariableW(name, value.c_str());
  }
  ~CScopedEnvironment() { SetEnvironmentVariableW(m_name, m_old ? m_old->c_str() : nullptr); }
  CScopedEnvironment(const CScopedEnvironment&) = delete;
  CScopedEnvironment& operator=(const CScopedEnvironment&) = delete;

 private:
  const wchar_t* m_name;
  std::optional<std::wstring> m_old;
};

class CScopedCurrentDirectory {
 public:
  explicit CScopedCurrentDirectory(const fs::path& folder) : m_old(fs::current_path()) { fs::current_path(folder); }
  ~CScopedCurrentDirectory() { fs::current_path(m_old); }
  CScopedCurrentDirectory(const CScopedCurrentDirectory&) = delete;
  CScopedCurrentDirectory& operator=(const CScopedCurrentDirectory&) = delete;

 private:
  fs::path m_old;
};

// What one ProductInfo_FileLoad gave: the result, the three fields (nullopt for a null pointer) and
// the lines it logged.
struct CLoaded {
  uint32_t result = 0;
  std::optional<std::wstring> productCode, displayVersion, suite;
  Lines log;

  auto Record() const { return std::tie(result, productCode, displayVersion, suite); }
};

std::optional<std::wstring> Field(const wchar_t* text) {
  return text != nullptr ? std::optional<std::wstring>(text) : std::nullopt;
}

class ProductInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder = fs::temp_directory_path() /
               ("pinfo-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64()));
    fs::create_directories(m_folder);
    m_logFile.emplace(L"LWLOG_STANDIN_FILE", (m_folder / L"lwlog.txt").wstring());
    ASSERT_NO_FATAL_FAILURE(LoadLibraryUnderTest(true));
  }

  void TearDown() override {
    m_library.reset();
    m_logFile.reset();
    std::error_code ignored;
    fs::remove_all(m_folder, ignored);
  }

  // With the log, the stand-in's folder is registered for the load (AddDllDirectory), as a caller
  // that keeps LWLog64.dll in a folder of its own would do.
  void LoadLibraryUnderTest(bool withLog) {
    m_library.reset();
    ASSERT_FALSE(LogLibraryLoaded()) << "the log library outlived the library that loaded it";
    DLL_DIRECTORY_COOKIE cookie = withLog ? AddDllDirectory(kStandInFolder.c_str()) : nullptr;
    m_library.reset(LoadLibraryExW(kLibraryPath.c_str(), nullptr, 0));
    if (cookie != nullptr) RemoveDllDirectory(cookie);
    ASSERT_TRUE(m_library) << "cannot load " << kLibraryPath;
    ASSERT_EQ(LogLibraryLoaded(), withLog);
    m_fileLoad = reinterpret_cast<ProductInfo_FileLoad_t>(
        reinterpret_cast<void (*)()>(GetProcAddress(m_library.get(), "ProductInfo_FileLoad")));
    m_free = reinterpret_cast<ProductInfo_Free_t>(
        reinterpret_cast<void (*)()>(GetProcAddress(m_library.get(), "ProductInfo_Free")));
    ASSERT_NE(m_fileLoad, nullptr);
    ASSERT_NE(m_free, nullptr);
  }

  fs::path WriteFixture(const wchar_t* name, const std::string& bytes) {
    const fs::path path = m_folder / name;
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  // The lines logged since the last call.
  Lines TakeLog() {
    const fs::path path = m_folder / L"lwlog.txt";
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    file.close();
    fs::remove(path);
    std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
    std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(text.size() * sizeof(wchar_t)),
              reinterpret_cast<char*>(text.data()));
    Lines lines;
    for (std::size_t start = 0, end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
      lines.push_back(text.substr(start, end - start));
    }
    return lines;
  }

  // Loads, notes what the record holds and what was logged, and releases the record again.
  CLoaded Load(const wchar_t* path) {
    TakeLog();
    ProductInfoRecord info = {};
    CLoaded loaded;
    loaded.result = m_fileLoad(path, &info);
    loaded.productCode = Field(info.lpszProductCode);
    loaded.displayVersion = Field(info.lpszDisplayVersion);
    loaded.suite = Field(info.lpszSuite);
    loaded.log = TakeLog();
    m_free(&info);
    TakeLog();
    return loaded;
  }

  CLoaded Load(const fs::path& path) { return Load(path.c_str()); }

  CComApartment m_apartment;
  fs::path m_folder;
  std::optional<CScopedEnvironment> m_logFile;
  TevMSI::CModule m_library;
  ProductInfo_FileLoad_t m_fileLoad = nullptr;
  ProductInfo_Free_t m_free = nullptr;
};

TEST_F(ProductInfoTest, ReadsTheThreeElements) {
  struct Case {
    const char* name;
    std::string content;
    const wchar_t* productCode;
    const wchar_t* displayVersion;
    const wchar_t* suite;
  } cases[] = {
      {"all three elements", kComplete, L"{8A3F5C2E-1B4D-4E6F-9A0B-C1D2E3F40516}", L"4.2.1", L"professional"},
      {"surrounding white space is trimmed, Japanese text kept",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <ProductCode>\n    {A}\n  </ProductCode>\n"
       "  <DisplayVersion> 1.0 </DisplayVersion>\n  <Suite>プロフェッショナル</Suite>\n</root>\n",
       L"{A}", L"1.0", L"プロフェッショナル"},
      {"UTF-16 file with a byte-order mark",
       Utf16WithBom(L"<?xml version=\"1.0\" encoding=\"UTF-16\"?><root><ProductCode>{B}</ProductCode>"
                    L"<DisplayVersion>2.0</DisplayVersion><Suite>体験版</Suite></root>"),
       L"{B}", L"2.0", L"体験版"},
      {"empty ProductCode element gives an empty string",
       "<root><ProductCode/><DisplayVersion>3</DisplayVersion><Suite>s</Suite></root>", L"", L"3", L"s"},
      {"empty Suite element is read, not replaced by the default",
       "<root><ProductCode>p</ProductCode><DisplayVersion>3</DisplayVersion><Suite></Suite></root>", L"p", L"3", L""},
      {"other content, attributes and order are ignored",
       "<!-- product --><root edition=\"x\"><Suite kind=\"k\">home</Suite><Other>o</Other>"
       "<DisplayVersion>5.0</DisplayVersion><ProductCode>c</ProductCode></root>",
       L"c", L"5.0", L"home"},
      {"character references and CDATA are decoded",
       "<root><ProductCode><![CDATA[{<C>}]]></ProductCode><DisplayVersion>1&#46;0</DisplayVersion>"
       "<Suite>R&amp;D</Suite></root>",
       L"{<C>}", L"1.0", L"R&D"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CLoaded loaded = Load(WriteFixture(L"product.xml", c.content));
    EXPECT_EQ(loaded.Record(),
              std::make_tuple(0u, std::optional<std::wstring>(c.productCode),
                              std::optional<std::wstring>(c.displayVersion), std::optional<std::wstring>(c.suite)));
    EXPECT_EQ(loaded.log, (Lines{kStartLoad, kLoaded}));
  }
}

TEST_F(ProductInfoTest, MissingSuiteFallsBackToStandard) {
  const CLoaded loaded =
      Load(WriteFixture(L"product.xml", "<root><ProductCode>p</ProductCode><DisplayVersion>1</DisplayVersion></root>"));
  EXPECT_EQ(loaded.result, 0u);
  EXPECT_EQ(loaded.suite, L"standard");
  EXPECT_EQ(loaded.log, (Lines{kStartLoad, L"[96]Failed Parse<Suite>: 0x00000001",
                               L"[97]Default set for <Suite>: standard", kLoaded}));
}

TEST_F(ProductInfoTest, UnreadableDocumentsGive1465AndAnEmptyRecord) {
  const std::wstring kFailedLoad = L"[59]Failed Load";
  const std::wstring kNoProductCode = L"[123]lpszProductCode is NULL";
  struct Case {
    const char* name;
    std::optional<std::string> content;  // nullopt: the path names a folder
    std::wstring failure;
    std::wstring productCodeRelease;
  } cases[] = {
      {"no DisplayVersion element", "<root><ProductCode>p</ProductCode><Suite>s</Suite></root>",
       L"[84]Failed Parse<DisplayVersion>: 0x00000001", L"[119]Deleted lpszProductCode"},
      {"no ProductCode element", "<root><DisplayVersion>1</DisplayVersion></root>",
       L"[72]Failed Parse<ProductCode>: 0x00000001", kNoProductCode},
      {"root element of another name",
       "<product><ProductCode>p</ProductCode><DisplayVersion>1</DisplayVersion></product>",
       L"[72]Failed Parse<ProductCode>: 0x00000001", kNoProductCode},
      {"not well-formed", "<root><ProductCode>p</ProductCode><DisplayVersion>1</root>", kFailedLoad, kNoProductCode},
      {"empty file", "", kFailedLoad, kNoProductCode},
      {"nested entity expansion", BillionLaughs(), kFailedLoad, kNoProductCode},
      {"one large entity referenced many times", QuadraticBlowup(), kFailedLoad, kNoProductCode},
      {"external entity naming another file",
       "<!DOCTYPE root [<!ENTITY x SYSTEM \"lwlog.txt\">]><root><ProductCode>&x;</ProductCode>"
       "<DisplayVersion>1</DisplayVersion></root>",
       kFailedLoad, kNoProductCode},
      {"any document type declaration is refused",
       "<!DOCTYPE root><root><ProductCode>p</ProductCode><DisplayVersion>1</DisplayVersion></root>", kFailedLoad,
       kNoProductCode},
      {"well-formed but larger than 1 MiB", JustOverOneMebibyte(), kFailedLoad, kNoProductCode},
      {"a folder instead of a file", std::nullopt, kFailedLoad, kNoProductCode},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path path = c.content ? WriteFixture(L"product.xml", *c.content) : m_folder;
    const CLoaded loaded = Load(path);
    EXPECT_EQ(loaded.Record(), std::make_tuple(1465u, std::nullopt, std::nullopt, std::nullopt));
    EXPECT_EQ(loaded.log, (Lines{kStartLoad, c.failure, L"[161]Failed Loaded: " + path.wstring(), c.productCodeRelease,
                                 L"[134]lpszDisplayVersion is NULL", L"[145]lpszSuite is NULL", kParseError}));
  }
}

TEST_F(ProductInfoTest, MissingFileGives2) {
  const fs::path missingFile = m_folder / L"missing.xml";
  const fs::path missingFolder = m_folder / L"no-such-folder" / L"product.xml";
  struct Case {
    const char* name;
    const wchar_t* path;
    std::wstring shown;
  } cases[] = {
      {"no such file", missingFile.c_str(), missingFile.wstring()},
      {"no such folder", missingFolder.c_str(), missingFolder.wstring()},
      {"a null path counts as a missing file", nullptr, L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CLoaded loaded = Load(c.path);
    EXPECT_EQ(loaded.Record(), std::make_tuple(2u, std::nullopt, std::nullopt, std::nullopt));
    EXPECT_EQ(loaded.log,
              (Lines{kStartLoad, L"[52]File not found: " + c.shown, L"[161]Failed Loaded: " + c.shown,
                     L"[123]lpszProductCode is NULL", L"[134]lpszDisplayVersion is NULL", L"[145]lpszSuite is NULL",
                     L"[165]END ProductInfo::ProductInfo_FileLoad: 0x00000002"}));
  }
}

// Outside the contract, so the choice is ours: refused with ERROR_INVALID_PARAMETER, nothing written.
TEST_F(ProductInfoTest, NullRecordIsRefused) {
  const fs::path path = WriteFixture(L"product.xml", kComplete);
  TakeLog();
  EXPECT_EQ(m_fileLoad(path.c_str(), nullptr), static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(TakeLog(), (Lines{kStartLoad, L"[161]Failed Loaded: " + path.wstring(), L"[111]info is NULL",
                              L"[165]END ProductInfo::ProductInfo_FileLoad: 0x00000057"}));
}

TEST_F(ProductInfoTest, FreeReleasesEachStringOnce) {
  ProductInfoRecord info = {};
  ASSERT_EQ(m_fileLoad(WriteFixture(L"product.xml", kComplete).c_str(), &info), 0u);
  TakeLog();

  m_free(&info);
  EXPECT_EQ(info.lpszProductCode, nullptr);
  EXPECT_EQ(info.lpszDisplayVersion, nullptr);
  EXPECT_EQ(info.lpszSuite, nullptr);
  EXPECT_EQ(TakeLog(), (Lines{L"[173]START ProductInfo::ProductInfo_Free", L"[119]Deleted lpszProductCode",
                              L"[130]Deleted lpszDisplayVersion", L"[141]Deleted lpszSuite",
                              L"[177]END ProductInfo::ProductInfo_Free"}));

  m_free(&info);
  EXPECT_EQ(TakeLog(), (Lines{L"[173]START ProductInfo::ProductInfo_Free", L"[123]lpszProductCode is NULL",
                              L"[134]lpszDisplayVersion is NULL", L"[145]lpszSuite is NULL",
                              L"[177]END ProductInfo::ProductInfo_Free"}));

  m_free(nullptr);
  EXPECT_EQ(TakeLog(), (Lines{L"[173]START ProductInfo::ProductInfo_Free", L"[111]info is NULL",
                              L"[177]END ProductInfo::ProductInfo_Free"}));
}

TEST_F(ProductInfoTest, ThreadWithoutComCannotLoad) {
  const fs::path path = WriteFixture(L"product.xml", kComplete);
  CLoaded loaded;
  std::thread([&] { loaded = Load(path); }).join();
  EXPECT_EQ(loaded.result, 1465u);
  ASSERT_GE(loaded.log.size(), 2u);
  EXPECT_EQ(loaded.log[1], L"[59]Failed Load");
}

// The stand-in is then reachable only through the current directory and PATH, which the library
// must not search: results stay the same and nothing is logged.
TEST_F(ProductInfoTest, WithoutLogLibrarySameResultsNothingLogged) {
  const std::vector<fs::path> paths = {
      WriteFixture(L"complete.xml", kComplete),
      WriteFixture(L"no-suite.xml", "<root><ProductCode>p</ProductCode><DisplayVersion>1</DisplayVersion></root>"),
      WriteFixture(L"no-version.xml", "<root><ProductCode>p</ProductCode></root>"),
      WriteFixture(L"hostile.xml", BillionLaughs()),
      m_folder / L"missing.xml",
  };
  std::vector<CLoaded> logged;
  for (const fs::path& path : paths) logged.push_back(Load(path));

  CScopedCurrentDirectory currentDirectory(kStandInFolder);
  CScopedEnvironment searchPath(L"PATH", kStandInFolder.wstring() + L";" + Environment(L"PATH").value_or(L""));
  ASSERT_NO_FATAL_FAILURE(LoadLibraryUnderTest(false));
  for (std::size_t i = 0; i < paths.size(); ++i) {
    SCOPED_TRACE(paths[i].filename().string());
    const CLoaded silent = Load(paths[i]);
    EXPECT_FALSE(logged[i].log.empty());
    EXPECT_EQ(silent.Record(), logged[i].Record());
    EXPECT_EQ(silent.log, Lines{});
  }
  m_free(nullptr);
  EXPECT_EQ(TakeLog(), Lines{});
}

}  // namespace
