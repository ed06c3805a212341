#include "downloader.h"

#include <optional>
#include <stop_token>

#include "../shared/text_template.h"
#include "download_result.h"
#include "http_transfer_win.h"
#include "verify_file.h"

namespace Tevrian {
namespace {

std::int32_t LastErrorResult() { return ResultFromLastError(GetLastError()); }

std::uint64_t Now() { return GetTickCount64(); }

// The explicit limits of every call the session makes; the platform's defaults differ between
// systems and wait for ever to resolve a name.
bool SetTimeouts(HINTERNET session) {
  DWORD response = HttpTimeouts::kResponse;
  return Http::SetTimeouts(session, HttpTimeouts::kResolve, HttpTimeouts::kConnect, HttpTimeouts::kSend,
                           HttpTimeouts::kReceive) &&
         Http::SetOption(session, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &response, sizeof(response));
}

}  // namespace

CDownloader::CDownloader(LogSink log) : m_log(std::move(log)) {}

CDownloader::~CDownloader() = default;

void CDownloader::Log(const std::wstring& line) const {
  if (m_log) m_log(line);
}

HINTERNET CDownloader::Connection(const URL_COMPONENTS& parts) {
  // One connection per scheme, host and port: two servers on one host are two connections.
  std::wstring key(parts.lpszScheme, parts.dwSchemeLength);
  key += L"://";
  key.append(parts.lpszHostName, parts.dwHostNameLength);
  key += L":" + std::to_wstring(parts.nPort);
  if (const auto found = m_connections.find(key); found != m_connections.end()) return found->second.get();
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  CInternetHandle connection(Http::Connect(m_hSession.get(), host.c_str(), parts.nPort, 0));
  if (!connection) return nullptr;
  return m_connections.emplace(std::move(key), std::move(connection)).first->second.get();
}

std::int32_t CDownloader::DownloadToStream(const std::wstring& url, IStream* stream, cancellation_token cancel,
                                           CProgressSink* dialog, std::optional<std::uint64_t> sizeLimit) {
  if (!m_hSession) {
    m_hSession.reset(Http::Open(L"TevLauncher/1.0", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                WINHTTP_NO_PROXY_BYPASS, 0));
    if (!m_hSession) return LastErrorResult();
    if (!SetTimeouts(m_hSession.get())) {
      const std::int32_t result = LastErrorResult();
      m_hSession.reset();
      return result;
    }
  }

  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!Http::CrackUrl(url.c_str(), 0, 0, &parts)) return LastErrorResult();

  const HINTERNET connection = Connection(parts);
  if (!connection) return LastErrorResult();

  // The path alone: a query or fragment in the URL is not sent.
  const std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
  const HINTERNET request = Http::OpenRequest(connection, L"GET", path.empty() ? nullptr : path.c_str(), nullptr,
                                              WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, secure);
  if (!request) return LastErrorResult();
  CHttpTransfer transfer(request);
  // Cancel ends a call that blocks at once, from the canceling thread; declared after the transfer,
  // so that it is gone before the transfer is.
  const std::stop_callback onCancel(cancel.get_stop_token(), [&transfer] { transfer.Abandon(); });
  return Receive(transfer, url, stream, cancel, dialog, sizeLimit);
}

std::int32_t CDownloader::Receive(CHttpTransfer& transfer, const std::wstring& url, IStream* stream,
                                  const cancellation_token& cancel, CProgressSink* dialog,
                                  std::optional<std::uint64_t> sizeLimit) {
  using Kind = CHttpTransfer::Event::Kind;
  CTransferPace pace(Now());
  std::optional<std::uint64_t> announced;
  std::uint64_t received = 0;
  for (;;) {
    if (cancel.is_canceled()) return kDownloadCancelled;
    if (const std::optional<std::wstring> exceeded = pace.Exceeded(Now())) {
      Log(*exceeded + L"( " + url + L" )");
      return ResultFromLastError(ERROR_WINHTTP_TIMEOUT);
    }
    CHttpTransfer::Event event = transfer.Next(pace.MsUntilCheck(Now()));
    switch (event.kind) {
      case Kind::None:
        break;
      case Kind::Abandoned:
        // Only a cancel abandons the transfer while it is received.
        return kDownloadCancelled;
      case Kind::Failed:
        if (cancel.is_canceled()) return kDownloadCancelled;
        if (event.error == ERROR_WINHTTP_TIMEOUT) Log(TimedOutText(event.phase) + L"( " + url + L" )");
        return ResultFromLastError(event.error);
      case Kind::Answered:
        if (event.status != 200) return static_cast<std::int32_t>(event.status);
        announced = event.length;
        pace.Answered(Now());
        break;
      case Kind::Data: {
        const auto read = static_cast<DWORD>(event.data.size());
        // A body longer than the file it should be is stopped where it goes past: an endless body
        // would otherwise fill the disk.
        if (sizeLimit && received + read > *sizeLimit) {
          Log(FormatText(L"Download stopped: the body goes on past the {0} bytes expected( {1} )", *sizeLimit, url));
          return ResultFromLastError(kErrorFileDiffers);
        }
        if (announced && received + read > *announced) {
          Log(FormatText(L"Download stopped: the body goes on past its announced length of {0} bytes( {1} )",
                         *announced, url));
          return ResultFromLastError(ERROR_WINHTTP_INVALID_SERVER_RESPONSE);
        }
        received += read;
        pace.Received(read);
        if (dialog && read / 2 != 0) Advance(*dialog, read / 2, pace);
        if (cancel.is_canceled()) return kDownloadCancelled;
        const HRESULT written = stream->Write(event.data.data(), read, nullptr);
        if (FAILED(written)) return written;
        if (dialog && read - read / 2 != 0) Advance(*dialog, read - read / 2, pace);
        transfer.Recycle(std::move(event.data));
        break;
      }
      case Kind::Ended:
        // A connection cut before the announced length is a failed transfer, not a shorter file.
        if (announced && received != *announced) {
          Log(FormatText(L"Download incomplete:{0} of {1} bytes( {2} )", received, *announced, url));
          return ResultFromLastError(ERROR_WINHTTP_CONNECTION_ERROR);
        }
        Log(FormatText(L"Download Size:{0}", received));
        return 0;
    }
  }
}

void CDownloader::Advance(CProgressSink& dialog, std::uint32_t units, CTransferPace& pace) {
  dialog.Advance(units);
  const std::uint64_t before = Now();
  dialog.WaitWhilePaused();
  // A run held by a message box receives nothing meanwhile: its pace is measured from the resume.
  if (const std::uint64_t after = Now(); after - before >= 1000) pace.Resumed(after);
}

}  // namespace Tevrian
