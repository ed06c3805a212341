#include "verify_file.h"

#include <windows.h>

#include <msi.h>

#include "../installer/msi_api.h"
#include "../installer/msi_exception.h"
#include "../shared/text_template.h"
#include "file_sha256.h"

namespace Tevrian {
namespace {

constexpr std::size_t kHashWords = 4;

void Log(const LogSink& log, const std::wstring& line) {
  if (log) log(line);
}

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// Hash words as the manifest writes them: signed 32-bit integers.
template <class Word>
std::wstring Words(const Word* words, std::size_t count) {
  std::wstring text = L"[";
  for (std::size_t i = 0; i < count; ++i) {
    text += (i ? L", " : L"") + std::to_wstring(static_cast<std::int32_t>(words[i]));
  }
  return text + L"]";
}

// A content mismatch: its line, then the expected and the actual values, so that a support
// engineer tells a changed file from a damaged one.
std::uint32_t ContentsDiffer(const LogSink& log, const std::wstring& path, const std::wstring& values) {
  Log(log, FormatText(L"File contents differ({0})。", path));
  Log(log, values);
  return kErrorFileDiffers;
}

// "Sha256", checked whenever it is present: a digest pins the file whatever else the entry says.
std::uint32_t VerifySha256(const std::wstring& path, const JSON::JsonObject& fileEntry, const LogSink& log) {
  const std::wstring text = JSON::GetValue(fileEntry, "Sha256", L"");
  const auto expected = ParseSha256(std::wstring_view(text));
  if (!expected) {
    throw JSON::BadAnyCast(L"expected 64 hexadecimal digits, found \"" + text.substr(0, 80) + L"\"")
        .WithinMember("Sha256");
  }
  Sha256Digest actual{};
  std::uint32_t error = 0;
  if (!FileSha256(path, actual, error)) {
    Log(log, FormatText(L"Failed Sha256( {0} ):{1}(0x{1:08X}), {2}", path, error, TevMSI::SystemMessage(error)));
    return error;
  }
  if (actual != *expected) {
    return ContentsDiffer(
        log, path,
        FormatText(L"Sha256 expected {0}, actual {1}", Widen(Sha256Text(*expected)), Widen(Sha256Text(actual))));
  }
  return 0;
}

}  // namespace

std::uint32_t VerifyFile(const std::wstring& path, const JSON::JsonObject& fileEntry, const LogSink& log) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
    const DWORD error = GetLastError();
    Log(log, FormatText(L"Failed GetFileAttributesEx( {0} ):{1}, {2}", path, error, TevMSI::SystemMessage(error)));
    return error;
  }
  const bool pinned = fileEntry.contains("Sha256");
  if (!fileEntry.contains("Size")) return pinned ? VerifySha256(path, fileEntry, log) : 0;
  const std::int32_t size = JSON::GetExactInteger(fileEntry, "Size", 0);
  if (data.nFileSizeHigh != 0 || data.nFileSizeLow > 0x7FFFFFFFu) {
    Log(log, FormatText(L"LargeSize:Over4G({0})", path));
    return kErrorFileDiffers;
  }
  if (static_cast<std::int64_t>(data.nFileSizeLow) != size) {
    Log(log, FormatText(L"file size varies({0})。DownloadSize:{1}, NeedSize:{2}", path, data.nFileSizeLow, size));
    return kErrorFileDiffers;
  }
  if (fileEntry.contains("Hash")) {
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
    std::int32_t expected[kHashWords] = {};
    std::size_t index = 0;
    for (auto word = hash.begin(); same && word != hash.end(); ++word, ++index) {
      expected[index] =
          JSON::WithinMember("Hash", [&] { return JSON::WithinElement(index, [&] { return word->AsInteger(); }); });
      same = static_cast<std::uint32_t>(expected[index]) == static_cast<std::uint32_t>(info.dwData[index]);
    }
    if (!same) {
      // The words the entry gave, as far as they were read, and the file's four.
      const std::wstring given =
          hash.size() <= kHashWords ? Words(expected, index) : L"(" + std::to_wstring(hash.size()) + L" words)";
      return ContentsDiffer(log, path,
                            FormatText(L"Hash expected {0}, actual {1}", given, Words(info.dwData, kHashWords)));
    }
  }
  return pinned ? VerifySha256(path, fileEntry, log) : 0;
}

}  // namespace Tevrian
