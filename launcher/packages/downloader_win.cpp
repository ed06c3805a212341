#include "downloader.h"

#include <cwchar>
#include <optional>
#include <vector>

#include "../shared/text_template.h"
#include "download_result.h"

namespace Tevrian {
namespace {

constexpr DWORD kReadSize = 8192;

std::int32_t LastErrorResult() { return ResultFromLastError(GetLastError()); }

// The body length the response announces; none for a chunked body. The text form is read rather
// than the 32-bit number, so that a length beyond 4 GiB is not cut.
std::optional<std::uint64_t> AnnouncedLength(HINTERNET request) {
  wchar_t text[32] = {};
  DWORD size = sizeof(text);
  if (!Http::QueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                          WINHTTP_NO_HEADER_INDEX)) {
    return std::nullopt;
  }
  wchar_t* end = nullptr;
  const unsigned long long length = std::wcstoull(text, &end, 10);
  if (end == text || *end != L'\0') return std::nullopt;
  return length;
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
                                           CProgressSink* dialog) {
  if (!m_hSession) {
    m_hSession.reset(Http::Open(L"TevLauncher/1.0", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                WINHTTP_NO_PROXY_BYPASS, 0));
    if (!m_hSession) return LastErrorResult();
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
  CInternetHandle request(Http::OpenRequest(connection, L"GET", path.empty() ? nullptr : path.c_str(), nullptr,
                                            WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, secure));
  if (!request) return LastErrorResult();

  if (!Http::SendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !Http::ReceiveResponse(request.get(), nullptr)) {
    return LastErrorResult();
  }
  DWORD status = 0;
  DWORD statusSize = sizeof(status);
  if (!Http::QueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize, WINHTTP_NO_HEADER_INDEX)) {
    return LastErrorResult();
  }
  if (status != 200) return static_cast<std::int32_t>(status);
  const std::optional<std::uint64_t> announced = AnnouncedLength(request.get());

  std::vector<BYTE> buffer(kReadSize);
  std::uint64_t received = 0;
  bool ended = false;
  while (!ended) {
    DWORD available = 0;
    if (!Http::QueryDataAvailable(request.get(), &available)) return LastErrorResult();
    ended = available == 0;
    while (available > 0) {
      DWORD read = 0;
      if (!Http::ReadData(request.get(), buffer.data(), available < kReadSize ? available : kReadSize, &read)) {
        return LastErrorResult();
      }
      // A read of nothing is the end of the body, whatever was said to be available.
      if (read == 0) {
        ended = true;
        break;
      }
      available -= read < available ? read : available;
      received += read;
      if (dialog && read / 2 != 0) {
        dialog->Advance(read / 2);
        dialog->WaitWhilePaused();
      }
      if (cancel.is_canceled()) return kDownloadCancelled;
      const HRESULT written = stream->Write(buffer.data(), read, nullptr);
      if (FAILED(written)) return written;
      if (dialog && read - read / 2 != 0) {
        dialog->Advance(read - read / 2);
        dialog->WaitWhilePaused();
      }
      if (cancel.is_canceled()) return kDownloadCancelled;
    }
  }
  // A connection cut before the announced length is a failed transfer, not a shorter file.
  if (announced && received != *announced) {
    Log(FormatText(L"Download incomplete:{0} of {1} bytes( {2} )", received, *announced, url));
    return ResultFromLastError(ERROR_WINHTTP_CONNECTION_ERROR);
  }
  Log(FormatText(L"Download Size:{0}", received));
  return 0;
}

}  // namespace Tevrian
