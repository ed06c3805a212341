#include "verify_file.h"

#include <windows.h>

#include <msi.h>

#include "../installer/msi_api.h"
#include "../installer/msi_exception.h"
#include "../shared/text_template.h"

namespace Tevrian {
namespace {

constexpr std::size_t kHashWords = 4;

void Log(const LogSink& log, const std::wstring& line) {
  if (log) log(line);
}

}  // namespace

std::uint32_t VerifyFile(const std::wstring& path, const JSON::JsonObject& fileEntry, const LogSink& log) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
    const DWORD error = GetLastError();
    Log(log, FormatText(L"Failed GetFileAttributesEx( {0} ):{1}, {2}", path, error, TevMSI::SystemMessage(error)));
    return error;
  }
  if (!fileEntry.contains("Size")) return 0;
  const std::int32_t size = JSON::GetValue(fileEntry, "Size", std::int32_t{0});
  if (data.nFileSizeHigh != 0 || data.nFileSizeLow > 0x7FFFFFFFu) {
    Log(log, FormatText(L"LargeSize:Over4G({0})", path));
    return kErrorFileDiffers;
  }
  if (static_cast<std::int64_t>(data.nFileSizeLow) != size) {
    Log(log, FormatText(L"file size varies({0})。DownloadSize:{1}, NeedSize:{2}", path, data.nFileSizeLow, size));
    return kErrorFileDiffers;
  }
  if (!fileEntry.contains("Hash")) return 0;
  const JSON::JsonArray hash = JSON::GetValue(fileEntry, "Hash", JSON::JsonArray{});
  MSIFILEHASHINFO info = {};
  info.dwFileHashInfoSize = sizeof(info);
  const auto getFileHash = TevMSI::Msi().GetFileHash;
  const UINT rc = getFileHash ? getFileHash(path.c_str(), 0, &info) : ERROR_PROC_NOT_FOUND;
  if (rc != ERROR_SUCCESS) {
    Log(log, FormatText(L"Failed MsiGetFileHash( {0} ):{1}, {2}", path, rc, TevMSI::SystemMessage(rc)));
    return rc;
  }
  // A hash has four words; a longer array cannot describe one.
  bool same = hash.size() <= kHashWords;
  std::size_t index = 0;
  for (auto word = hash.begin(); same && word != hash.end(); ++word, ++index) {
    const std::int32_t expected =
        JSON::WithinMember("Hash", [&] { return JSON::WithinElement(index, [&] { return word->AsInteger(); }); });
    same = static_cast<std::uint32_t>(expected) == static_cast<std::uint32_t>(info.dwData[index]);
  }
  if (!same) {
    Log(log, FormatText(L"File contents differ({0})。", path));
    return kErrorFileDiffers;
  }
  return 0;
}

}  // namespace Tevrian
