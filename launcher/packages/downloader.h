// Package files that are not beside the launcher, and the newer manifest, fetched over HTTP and
// HTTPS with the platform's synchronous client (WinHTTP). One root handle for the run, and one
// connection per scheme, host and port, kept until the downloader goes.
#pragma once

#include <windows.h>

#include <objidl.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "../json/json_value.h"
#include "download_handles.h"
#include "../shared/cancellation_token.h"
#include "../shared/log_sink.h"
#include "../shared/progress_sink.h"

namespace Tevrian {

class CHttpTransfer;
class CTransferPace;

// The result form of 15605: every failure of a file download that carries a message.
inline constexpr std::uint32_t kDownloadFailed = 0x80073CF5;
// The result of a download that was cancelled (HRESULT of ERROR_INSTALL_USEREXIT).
inline constexpr std::int32_t kDownloadCancelled = static_cast<std::int32_t>(0x80070642);

class CDownloader {
 public:
  explicit CDownloader(LogSink log);
  ~CDownloader();
  CDownloader(const CDownloader&) = delete;
  CDownloader& operator=(const CDownloader&) = delete;

  // GET `url` (path only, no query) and write the body to `stream` in reads of 8 KiB, moving the
  // dialog's bar by the bytes received. 0 when the whole body was written; an HTTP status other
  // than 200; kDownloadCancelled; a negative write result; otherwise the failing call's error in
  // its result form: ERROR_WINHTTP_TIMEOUT for a limit of time or pace (logged, naming it), 15605
  // for a body that goes past `sizeLimit`, ERROR_WINHTTP_INVALID_SERVER_RESPONSE for one that goes
  // past its Content-Length. Never raises; a cancel ends a call that blocks at once.
  std::int32_t DownloadToStream(const std::wstring& url, IStream* stream, cancellation_token cancel,
                                CProgressSink* dialog, std::optional<std::uint64_t> sizeLimit = std::nullopt);
  // The body of `url` as `destination`, verified against `fileEntry` (an empty entry verifies
  // nothing). The body is written under a temporary name beside the destination and moved into
  // place only once verified, so the destination is never half-written. 0, or raises
  // TevMSI::CMsiException: kDownloadFailed with the network message for a failed transfer, the
  // verification's result form without a message for a file that arrived wrong.
  std::uint32_t DownloadFile(const std::wstring& url, const std::wstring& destination,
                             const JSON::JsonObject& fileEntry, cancellation_token cancel, CProgressSink* dialog);
  // The body of `url` in a movable global memory block the caller frees; raises
  // TevMSI::CMsiException on failure.
  HGLOBAL DownloadToMemory(const std::wstring& url, cancellation_token cancel);

 private:
  // The connection for the URL's scheme, host and port, made on first use; null with the last
  // error set when it cannot be made.
  HINTERNET Connection(const URL_COMPONENTS& parts);
  // The body of a transfer under way, into `stream`, within the pace's limits.
  std::int32_t Receive(CHttpTransfer& transfer, const std::wstring& url, IStream* stream,
                       const cancellation_token& cancel, CProgressSink* dialog, std::optional<std::uint64_t> sizeLimit);
  static void Advance(CProgressSink& dialog, std::uint32_t units, CTransferPace& pace);
  void Log(const std::wstring& line) const;

  LogSink m_log;
  CInternetHandle m_hSession;
  // Declared after the root handle, so that every connection is closed before it.
  std::map<std::wstring, CInternetHandle> m_connections;
};

}  // namespace Tevrian
