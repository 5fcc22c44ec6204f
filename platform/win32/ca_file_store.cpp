#include "platform/win32/ca_file_store.h"

#include <fstream>
#include <sstream>
#include <vector>

namespace ferry::net {

HCERTSTORE LoadCaFile(const std::string& path, std::string* why) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *why = "CA file " + path + " cannot be read";
    return nullptr;
  }
  std::stringstream content;
  content << in.rdbuf();
  const std::string pem = content.str();
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
  if (store == nullptr) {
    *why = "no memory store";
    return nullptr;
  }
  const std::string begin = "-----BEGIN CERTIFICATE-----";
  const std::string end = "-----END CERTIFICATE-----";
  int added = 0;
  for (std::size_t at = pem.find(begin); at != std::string::npos; at = pem.find(begin, at + 1)) {
    std::size_t stop = pem.find(end, at);
    if (stop == std::string::npos) break;
    std::string block = pem.substr(at, stop + end.size() - at);
    DWORD size = 0;
    if (!CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                              &size, nullptr, nullptr)) {
      continue;
    }
    std::vector<BYTE> der(size);
    if (CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                             &size, nullptr, nullptr) &&
        CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size, CERT_STORE_ADD_ALWAYS, nullptr)) {
      ++added;
    }
  }
  if (added == 0) {
    CertCloseStore(store, 0);
    *why = "CA file " + path + " holds no certificate";
    return nullptr;
  }
  return store;
}

}  // namespace ferry::net
