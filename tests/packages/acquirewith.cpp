// acquirewith MANIFEST MEDIA [fail]: the launcher's application object getting every package
// file of MANIFEST's "LaunchList" as a run does (its folders, then each package's files resolved
// and acquired) with MEDIA standing for the launcher's own folder. With "fail", or when a package
// fails, its files are handed to the exit's cleanup, as a failed install would. The log's lines go
// to standard output, UTF-8, then "exit code N".
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/app.h"
#include "json_parser.h"
#include "msi_exception.h"

namespace {

void Print(const std::wstring& text) {
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr, nullptr);
  std::fwrite(narrow.data(), 1, narrow.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

class AcquiringApp : public Tevrian::CTevLauncherApp {
 public:
  explicit AcquiringApp(std::wstring media)
      : CTevLauncherApp([](const std::wstring&, const std::vector<std::wstring>& lines) {
          for (const auto& line : lines) Print(line);
          return true;
        }),
        m_media(std::move(media)) {
    m_log.SetLogFilePath(L"stdout");
  }

 protected:
  std::wstring ModulePath() override { return m_media + L"\\TevLauncher.exe"; }
  bool IsHidden() override { return true; }

 private:
  std::wstring m_media;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  OleInitialize(nullptr);
  std::ifstream file(argv[1], std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(file), {}};
  AcquiringApp app(argv[2]);
  const bool fail = argc > 3 && std::wstring(argv[3]) == L"fail";
  try {
    app.m_manifest = Tevrian::JSON::ParseJSON(text).AsObject();
    if (app.PrepareFolders()) {
      app.m_packages.Load(Tevrian::JSON::RequiredArray(app.m_manifest, "LaunchList"));
      for (const auto& package : app.m_packages.Packages()) {
        bool done = false;
        try {
          done = package->ResolveFiles({}, nullptr) && package->AcquireFiles({}, nullptr);
        } catch (const TevMSI::CMsiException& error) {
          app.m_exitCode = static_cast<std::uint32_t>(error.Code());
          app.WriteLog(L"Error {0}(0x{0:08X}): {1}", error.Code(), TevMSI::ErrorText(error));
        }
        if (!done || fail) package->AddCleanupFiles();
        app.WriteLog(L"Package {0}: {1}", package->Path(), done ? L"acquired" : L"failed");
        app.WriteLog(L"ExecuteFile={0}", package->GetExecuteFilePath());
      }
    }
  } catch (const Tevrian::JSON::BadAnyCast& error) {
    app.WriteLog(L"Invalid manifest: {0}", error.Describe());
    app.m_exitCode = 13;
  } catch (const std::exception& error) {
    app.WriteLog(L"Error: {0}", std::wstring(error.what(), error.what() + std::strlen(error.what())));
    app.m_exitCode = 13;
  }
  const std::uint32_t code = app.ExitInstance();
  Print(L"exit code " + std::to_wstring(code));
  return static_cast<int>(code);
}
