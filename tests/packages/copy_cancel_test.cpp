// A copy into the cache cancelled midway. Wine's CopyFileExW never calls its progress routine, so
// this test stands in for the copy: its CopyWithProgress copies in chunks and calls the launcher's
// progress routine after each, ending as CopyFileExW does when the routine cancels (the partial
// destination removed, ERROR_REQUEST_ABORTED).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "copy_progress.h"
#include "package_test_app.h"
#include "partial_file.h"

namespace Tevrian {

BOOL CopyWithProgress(const std::wstring& source, const std::wstring& destination, CopyProgress& progress) {
  const std::string content = TevTest::ReadText(source);
  std::ofstream out(destination.c_str(), std::ios::binary | std::ios::trunc);
  LARGE_INTEGER total{}, done{};
  total.QuadPart = static_cast<LONGLONG>(content.size());
  for (std::size_t at = 0; at < content.size();) {
    const std::size_t chunk = std::min<std::size_t>(65536, content.size() - at);
    out.write(content.data() + at, static_cast<std::streamsize>(chunk));
    at += chunk;
    done.QuadPart = static_cast<LONGLONG>(at);
    if (OnCopyProgress(total, done, total, done, 1, CALLBACK_CHUNK_FINISHED, nullptr, nullptr, &progress) ==
        PROGRESS_CANCEL) {
      out.close();
      DeleteFileW(destination.c_str());
      SetLastError(ERROR_REQUEST_ABORTED);
      return FALSE;
    }
  }
  return TRUE;
}

}  // namespace Tevrian

namespace {

using namespace Tevrian;
using namespace TevTest;

class CopyCancelTest : public PackageFoldersTest {};

TEST_F(CopyCancelTest, ACopyCancelledMidwayLeavesNothingInTheCacheAndSaysSo) {
  const std::string content(300000, 'c');
  WriteText(Media(L"big.exe"), content);
  CacheApp app(root);
  Load(app, CachedExePackage("big", "big.exe", content));
  auto& package = Package(app);
  ASSERT_TRUE(package.ResolveFiles({}, nullptr));
  cancellation_token_source source;
  RecordingProgress progress;
  progress.onAdvance = [&](std::uint32_t) { source.cancel(); };  // the user cancels after the first chunk
  EXPECT_FALSE(package.AcquireFiles(source.get_token(), &progress));
  EXPECT_EQ(app.m_exitCode, 1602u);
  EXPECT_EQ(progress.steps, std::vector<std::uint32_t>{65536});
  const std::wstring placed = cache + L"\\big\\big.exe";
  EXPECT_FALSE(Exists(placed));
  EXPECT_FALSE(Exists(PartialFilePath(placed)));
  const std::wstring expected = L"Canceled. CopyFileEx( " + Media(L"big.exe") + L", " + placed + L" ):1235, ";
  const auto lines = app.LogBodies();
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::wstring& line) {
    return line.rfind(expected, 0) == 0;
  })) << Narrow(expected);
}

}  // namespace
