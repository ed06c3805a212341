// The two wrappers around DownloadToStream: a verified file, and a memory block.
#include "downloader.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <optional>

#include "../installer/msi_exception.h"
#include "../shared/text_template.h"
#include "download_result.h"
#include "partial_file.h"
#include "path_join.h"
#include "verify_file.h"

namespace Tevrian {
namespace {

const wchar_t kNetworkHint[] = L"ネットワーク接続に問題がないか確認してください。";

// A document fetched into memory (the newer manifest) is small; a body past this is not one.
constexpr std::uint64_t kMaxDocumentBytes = 64u << 20;

// The most bytes the entry's file may have: its "Size" (a negative one fits no file).
std::optional<std::uint64_t> SizeLimit(const JSON::JsonObject& fileEntry) {
  if (!fileEntry.contains("Size")) return std::nullopt;
  const std::int32_t size = JSON::GetExactInteger(fileEntry, "Size", 0);
  return size < 0 ? 0 : static_cast<std::uint64_t>(size);
}

// Writes what the stream wrote through to the disk, so that the file moved into place survives a
// power loss whole. The stream keeps its own handle, so this is done once it is closed.
bool FlushToDisk(const std::wstring& path) {
  TevMSI::CFileHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && FlushFileBuffers(file.get());
}

// A file system error names the path it was met at: "path not found" alone tells nobody which.
[[noreturn]] void RaiseAt(std::int32_t code, const std::wstring& path) { throw TevMSI::ErrorAtPath(code, path); }

[[noreturn]] void RaiseLastErrorAt(const std::wstring& path) {
  RaiseAt(static_cast<std::int32_t>(GetLastError()), path);
}

}  // namespace

std::uint32_t CDownloader::DownloadFile(const std::wstring& url, const std::wstring& destination,
                                        const JSON::JsonObject& fileEntry, cancellation_token cancel,
                                        CProgressSink* dialog) {
  // Logged whether or not a dialog shows the transfer: a hidden run's log must name the address too.
  Log(L"Downloading..." + url + L" -> " + destination);
  const std::wstring partial = PartialFilePath(destination);
  // A partial file left by a run that was killed is never used: it is removed before the download.
  DeleteFileW(partial.c_str());
  CPartialFileGuard guard(partial);
  try {
    if (const std::wstring folder = FolderOf(destination); !folder.empty()) {
      const int created = SHCreateDirectory(nullptr, folder.c_str());
      if (created != ERROR_SUCCESS && created != ERROR_ALREADY_EXISTS) {
        RaiseAt(ResultFromLastError(static_cast<std::uint32_t>(created)), folder);
      }
    }
    {
      CStreamRef stream;
      const HRESULT opened =
          SHCreateStreamOnFileW(partial.c_str(), STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE, stream.put());
      if (FAILED(opened)) RaiseAt(opened, partial);
      const std::int32_t rc = DownloadToStream(url, stream.get(), cancel, dialog, SizeLimit(fileEntry));
      // A body longer than the entry's file is a file that arrived wrong, as one that fails its check.
      if (rc == ResultFromLastError(kErrorFileDiffers)) throw TevMSI::CMsiException(rc);
      if (rc != 0) {
        throw TevMSI::CMsiException(
            static_cast<std::int32_t>(kDownloadFailed),
            FormatText(L"ファイルのダウンロードに失敗しました({0})\n", ShownCode(rc)) + kNetworkHint);
      }
    }
    if (!FlushToDisk(partial)) RaiseLastErrorAt(partial);
    if (const std::uint32_t verified = VerifyFile(partial, fileEntry, m_log); verified != 0) {
      throw TevMSI::CMsiException(ResultFromLastError(verified));
    }
    // The commit point: until here the destination keeps whatever it held before.
    if (!CommitPartialFile(partial, destination)) RaiseLastErrorAt(destination);
    guard.Committed();
    return 0;
  } catch (const TevMSI::CMsiException& error) {
    const auto code = static_cast<std::uint32_t>(error.Code());
    Log(FormatText(L"Fail Download.\nErrorCode={0}(0x{0:08X}({2})\nMessage={1}", code, error.Message(),
                   ShownCode(error.Code())));
    throw;
  }
}

HGLOBAL CDownloader::DownloadToMemory(const std::wstring& url, cancellation_token cancel) {
  CStreamRef stream;
  const HRESULT created = CreateStreamOnHGlobal(nullptr, FALSE, stream.put());
  if (FAILED(created)) throw TevMSI::CMsiException(created);
  const std::int32_t rc = DownloadToStream(url, stream.get(), cancel, nullptr, kMaxDocumentBytes);
  // The stream does not own its block, which may have moved while it grew: the block is taken from
  // it once the body is written, owned here, and handed out only when the download succeeded.
  HGLOBAL raw = nullptr;
  const HRESULT taken = GetHGlobalFromStream(stream.get(), &raw);
  stream.reset();
  TevMSI::CGlobalMemory block(SUCCEEDED(taken) ? raw : nullptr);
  if (rc < 0) throw TevMSI::CMsiException(rc);
  if (rc != 0) {
    throw TevMSI::CMsiException(static_cast<std::int32_t>(kErrorFileDiffers),
                                FormatText(L"ファイルのダウンロードに失敗しました({0})\n{1}", ShownCode(rc), url));
  }
  if (FAILED(taken)) throw TevMSI::CMsiException(taken);
  return block.release();
}

}  // namespace Tevrian
