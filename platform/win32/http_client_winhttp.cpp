// The HTTP client over WinHTTP (platform/http_client.h). Synchronous calls on
// one session handle per request. WinHTTP checks the certificate's dates and
// name itself; when a CA file is given, an unknown root is let through by
// WinHTTP and checked here instead, before the request (and its body) is sent:
// the chain must end in a certificate of that file or in a root Windows trusts.
#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>

#include <sstream>
#include <vector>

#include "platform/http_client.h"
#include "platform/win32/ca_file_store.h"

namespace ferry::net {
namespace {

constexpr std::size_t kMaxHeaderBytes = 64 * 1024;

std::wstring Widen(const std::string& text) {
  int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(length > 0 ? static_cast<std::size_t>(length) : 1U, L'\0');
  if (length > 0) MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), length);
  wide.resize(wcslen(wide.c_str()));
  return wide;
}

std::string Narrow(const std::wstring& text) {
  int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(length > 0 ? static_cast<std::size_t>(length) : 1U, '\0');
  if (length > 0) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, narrow.data(), length, nullptr, nullptr);
  narrow.resize(strlen(narrow.c_str()));
  return narrow;
}

std::string ErrorText(DWORD code) {
  switch (code) {
    case ERROR_WINHTTP_TIMEOUT: return "no answer in time";
    case ERROR_WINHTTP_REDIRECT_FAILED: return "too many redirects";
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_OPERATION_CANCELLED: return "certificate refused";
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR: return "TLS failed: the certificate or the handshake was refused";
    case ERROR_WINHTTP_CANNOT_CONNECT: return "cannot connect";
    case ERROR_WINHTTP_NAME_NOT_RESOLVED: return "host name not found";
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
    case ERROR_WINHTTP_INVALID_URL: return "not an http or https URL";
    default: return "WinHTTP error " + std::to_string(code);
  }
}

struct CaCheck {
  HCERTSTORE caStore = nullptr;
  bool refused = false;
};

// True when the chain of `server` ends in a root of `caStore` or in one that
// Windows trusts.
bool ChainTrusted(PCCERT_CONTEXT server, HCERTSTORE caStore) {
  HCERTSTORE extra = CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
  if (extra == nullptr) return false;
  CertAddStoreToCollection(extra, server->hCertStore, 0, 0);
  CertAddStoreToCollection(extra, caStore, 0, 0);
  CERT_CHAIN_PARA chainPara{};
  chainPara.cbSize = sizeof chainPara;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  bool trusted = false;
  if (CertGetCertificateChain(nullptr, server, nullptr, extra, &chainPara, 0, nullptr, &chain) && chain != nullptr) {
    const DWORD trust = chain->TrustStatus.dwErrorStatus;
    if ((trust & CERT_TRUST_IS_UNTRUSTED_ROOT) == 0) {
      trusted = (trust & (CERT_TRUST_IS_PARTIAL_CHAIN | CERT_TRUST_IS_NOT_SIGNATURE_VALID)) == 0;
    } else if (chain->cChain > 0 && chain->rgpChain[0]->cElement > 0) {
      const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
      PCCERT_CONTEXT root = simple->rgpElement[simple->cElement - 1]->pCertContext;
      PCCERT_CONTEXT candidate = nullptr;
      while ((candidate = CertEnumCertificatesInStore(caStore, candidate)) != nullptr) {
        if (CertCompareCertificate(X509_ASN_ENCODING, candidate->pCertInfo, root->pCertInfo)) {
          CertFreeCertificateContext(candidate);
          trusted = (trust & (CERT_TRUST_IS_PARTIAL_CHAIN | CERT_TRUST_IS_NOT_SIGNATURE_VALID)) == 0;
          break;
        }
      }
    }
    CertFreeCertificateChain(chain);
  }
  CertCloseStore(extra, 0);
  return trusted;
}

void CALLBACK OnStatus(HINTERNET request, DWORD_PTR context, DWORD status, LPVOID, DWORD) {
  if (status != WINHTTP_CALLBACK_STATUS_SENDING_REQUEST || context == 0) return;
  auto* check = reinterpret_cast<CaCheck*>(context);
  PCCERT_CONTEXT server = nullptr;
  DWORD size = sizeof server;
  if (!WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &server, &size) || server == nullptr ||
      !ChainTrusted(server, check->caStore)) {
    check->refused = true;
    // Closing the request here cancels it before any byte of it is sent.
    WinHttpCloseHandle(request);
  }
  if (server != nullptr) CertFreeCertificateContext(server);
}

struct Handle {
  HINTERNET value = nullptr;
  ~Handle() {
    if (value != nullptr) WinHttpCloseHandle(value);
  }
};

}  // namespace

bool HttpExchange(const HttpRequest& request, HttpResponse* response, std::string* error) {
  *response = HttpResponse{};
  const bool https = request.url.rfind("https://", 0) == 0;
  if (!https && request.url.rfind("http://", 0) != 0) {
    *error = "not an http or https URL";
    return false;
  }
  if (request.method != "GET" && request.method != "POST") {
    *error = "unsupported request method";
    return false;
  }
  std::wstring url = Widen(request.url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) {
    *error = "not an http or https URL";
    return false;
  }
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (path.empty()) path = L"/";

  std::wstring proxy = Widen(request.proxy);
  Handle session{WinHttpOpen(L"mailferry2", request.proxy.empty() ? WINHTTP_ACCESS_TYPE_NO_PROXY
                                                                   : WINHTTP_ACCESS_TYPE_NAMED_PROXY,
                             request.proxy.empty() ? WINHTTP_NO_PROXY_NAME : proxy.c_str(),
                             WINHTTP_NO_PROXY_BYPASS, 0)};
  if (session.value == nullptr) {
    *error = ErrorText(GetLastError());
    return false;
  }
  const int timeout = request.timeoutMs;
  WinHttpSetTimeouts(session.value, timeout, timeout, timeout, timeout);
  DWORD redirectPolicy = request.maxRedirects > 0 ? WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP
                                                  : WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  WinHttpSetOption(session.value, WINHTTP_OPTION_REDIRECT_POLICY, &redirectPolicy, sizeof redirectPolicy);
  DWORD maxRedirects = static_cast<DWORD>(request.maxRedirects > 0 ? request.maxRedirects : 0);
  WinHttpSetOption(session.value, WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &maxRedirects, sizeof maxRedirects);
  if (request.acceptGzip) {
    DWORD decompression = WINHTTP_DECOMPRESSION_FLAG_ALL;
    WinHttpSetOption(session.value, WINHTTP_OPTION_DECOMPRESSION, &decompression, sizeof decompression);
  }

  Handle connection{WinHttpConnect(session.value, host.c_str(), parts.nPort, 0)};
  if (connection.value == nullptr) {
    *error = ErrorText(GetLastError());
    return false;
  }
  std::wstring method = Widen(request.method);
  HINTERNET requestHandle = WinHttpOpenRequest(connection.value, method.c_str(), path.c_str(), nullptr,
                                               WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                               https ? WINHTTP_FLAG_SECURE : 0);
  if (requestHandle == nullptr) {
    *error = ErrorText(GetLastError());
    return false;
  }
  Handle requestOwner{requestHandle};

  CaCheck check;
  if (https && !request.caFile.empty()) {
    check.caStore = LoadCaFile(request.caFile, error);
    if (check.caStore == nullptr) return false;
    DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
    WinHttpSetOption(requestHandle, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(&check);
    WinHttpSetOption(requestHandle, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context);
    WinHttpSetStatusCallback(requestHandle, OnStatus, WINHTTP_CALLBACK_FLAG_SEND_REQUEST, 0);
  }

  std::wstring headers;
  bool hasContentType = false;
  for (const auto& [name, value] : request.headers) {
    if (name.find_first_of(":\r\n") != std::string::npos || value.find_first_of("\r\n") != std::string::npos) {
      if (check.caStore != nullptr) CertCloseStore(check.caStore, 0);
      *error = "a request header holds a line break";
      return false;
    }
    HttpResponse asHeader;
    asHeader.headers.emplace_back(name, value);
    if (!HeaderValue(asHeader, "Content-Type").empty()) hasContentType = true;
    headers += Widen(name + ": " + value + "\r\n");
  }
  if (request.method == "POST" && !hasContentType) headers += L"Content-Type: application/x-www-form-urlencoded\r\n";

  BOOL sent = WinHttpSendRequest(requestHandle, headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                                 headers.empty() ? 0 : static_cast<DWORD>(-1L),
                                 request.body.empty() ? WINHTTP_NO_REQUEST_DATA
                                                      : const_cast<char*>(request.body.data()),
                                 static_cast<DWORD>(request.body.size()), static_cast<DWORD>(request.body.size()), 0);
  DWORD failure = sent ? 0 : GetLastError();
  // A redirect sends a request again (and the callback checks that server's
  // certificate too), so the CA store stays open until the answer is in.
  const bool received = sent && !check.refused && WinHttpReceiveResponse(requestHandle, nullptr);
  if (!received && failure == 0) failure = GetLastError();
  if (check.refused) {
    // The callback closed the handle already.
    requestOwner.value = nullptr;
    CertCloseStore(check.caStore, 0);
    *error = "certificate refused: the chain ends in no trusted root";
    return false;
  }
  if (check.caStore != nullptr) CertCloseStore(check.caStore, 0);
  if (!received) {
    *error = ErrorText(failure);
    return false;
  }

  DWORD status = 0;
  DWORD size = sizeof status;
  WinHttpQueryHeaders(requestHandle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                      &status, &size, WINHTTP_NO_HEADER_INDEX);
  response->status = static_cast<int>(status);

  size = 0;
  WinHttpQueryHeaders(requestHandle, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &size,
                      WINHTTP_NO_HEADER_INDEX);
  if (size > kMaxHeaderBytes * sizeof(wchar_t)) {
    *error = "the answer's header is too long";
    return false;
  }
  if (size > 0) {
    std::wstring raw(size / sizeof(wchar_t) + 1, L'\0');
    if (WinHttpQueryHeaders(requestHandle, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, raw.data(),
                            &size, WINHTTP_NO_HEADER_INDEX)) {
      raw.resize(size / sizeof(wchar_t));
      std::istringstream lines(Narrow(raw));
      std::string line;
      while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto colon = line.find(':');
        if (colon == std::string::npos || line.rfind("HTTP/", 0) == 0) continue;
        std::string value = line.substr(colon + 1);
        const auto first = value.find_first_not_of(" \t");
        value = first == std::string::npos ? std::string() : value.substr(first);
        response->headers.emplace_back(line.substr(0, colon), value);
      }
    }
  }

  size = 0;
  if (WinHttpQueryOption(requestHandle, WINHTTP_OPTION_URL, nullptr, &size) || size > 0) {
    std::wstring finalUrl(size / sizeof(wchar_t) + 1, L'\0');
    if (WinHttpQueryOption(requestHandle, WINHTTP_OPTION_URL, finalUrl.data(), &size)) {
      finalUrl.resize(size / sizeof(wchar_t));
      response->finalUrl = Narrow(finalUrl);
    }
  }
  if (response->finalUrl.empty()) response->finalUrl = request.url;

  char buffer[16 * 1024];
  for (;;) {
    DWORD read = 0;
    if (!WinHttpReadData(requestHandle, buffer, sizeof buffer, &read)) {
      *error = ErrorText(GetLastError());
      return false;
    }
    if (read == 0) break;
    if (response->body.size() + read > request.maxBodyBytes) {
      *error = "the answer is longer than " + std::to_string(request.maxBodyBytes) + " bytes";
      return false;
    }
    response->body.append(buffer, read);
  }
  return true;
}

}  // namespace ferry::net
