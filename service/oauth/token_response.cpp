#include "service/oauth/token_response.h"

#include <cctype>
#include <charconv>

namespace ferry::oauth {
namespace {

class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : text_(text) {}

  bool ReadTopObject(std::map<std::string, std::string>* members) {
    SkipSpace();
    if (!Take('{')) return false;
    SkipSpace();
    if (!Take('}')) {
      for (;;) {
        SkipSpace();
        std::string name;
        if (!ReadString(&name)) return false;
        SkipSpace();
        if (!Take(':')) return false;
        SkipSpace();
        std::string value;
        bool scalar = false;
        if (!ReadValue(1, &value, &scalar)) return false;
        if (members->count(name) != 0 || skipped_.count(name) != 0) return false;
        if (scalar) {
          (*members)[name] = value;
        } else {
          skipped_[name] = true;
        }
        SkipSpace();
        if (Take('}')) break;
        if (!Take(',')) return false;
      }
    }
    SkipSpace();
    return at_ == text_.size();
  }

 private:
  bool Take(char c) {
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  void SkipSpace() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r' || text_[at_] == '\n')) {
      ++at_;
    }
  }
  bool ReadHex4(unsigned* value) {
    if (text_.size() - at_ < 4) return false;
    *value = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[at_++];
      *value <<= 4;
      if (c >= '0' && c <= '9') {
        *value |= static_cast<unsigned>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        *value |= static_cast<unsigned>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        *value |= static_cast<unsigned>(c - 'A' + 10);
      } else {
        return false;
      }
    }
    return true;
  }
  static void AppendUtf8(unsigned code, std::string* out) {
    if (code < 0x80) {
      *out += static_cast<char>(code);
    } else if (code < 0x800) {
      *out += static_cast<char>(0xC0 | (code >> 6));
      *out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      *out += static_cast<char>(0xE0 | (code >> 12));
      *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      *out += static_cast<char>(0xF0 | (code >> 18));
      *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  bool ReadString(std::string* out) {
    if (!Take('"')) return false;
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        *out += c;
        continue;
      }
      if (at_ >= text_.size()) return false;
      const char e = text_[at_++];
      switch (e) {
        case '"': *out += '"'; break;
        case '\\': *out += '\\'; break;
        case '/': *out += '/'; break;
        case 'b': *out += '\b'; break;
        case 'f': *out += '\f'; break;
        case 'n': *out += '\n'; break;
        case 'r': *out += '\r'; break;
        case 't': *out += '\t'; break;
        case 'u': {
          unsigned code = 0;
          if (!ReadHex4(&code)) return false;
          if (code >= 0xD800 && code < 0xDC00) {
            unsigned low = 0;
            if (!Take('\\') || !Take('u') || !ReadHex4(&low) || low < 0xDC00 || low >= 0xE000) return false;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          } else if (code >= 0xDC00 && code < 0xE000) {
            return false;
          }
          AppendUtf8(code, out);
          break;
        }
        default: return false;
      }
    }
    return false;
  }
  bool ReadNumber(std::string* out) {
    const std::size_t start = at_;
    Take('-');
    const std::size_t digits = at_;
    while (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_]))) ++at_;
    if (at_ == digits) return false;
    if (Take('.')) {
      const std::size_t fraction = at_;
      while (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_]))) ++at_;
      if (at_ == fraction) return false;
    }
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
      ++at_;
      if (!Take('+')) Take('-');
      const std::size_t exponent = at_;
      while (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_]))) ++at_;
      if (at_ == exponent) return false;
    }
    out->assign(text_.substr(start, at_ - start));
    return true;
  }
  bool ReadWord(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }
  bool ReadValue(int depth, std::string* out, bool* scalar) {
    if (depth > kMaxJsonDepth || at_ >= text_.size()) return false;
    *scalar = true;
    const char c = text_[at_];
    if (c == '"') return ReadString(out);
    if (c == 't' && ReadWord("true")) return out->assign("true"), true;
    if (c == 'f' && ReadWord("false")) return out->assign("false"), true;
    if (c == 'n' && ReadWord("null")) {
      *scalar = false;
      return true;
    }
    if (c == '-' || std::isdigit(static_cast<unsigned char>(c))) return ReadNumber(out);
    *scalar = false;
    if (c != '{' && c != '[') return false;
    const char close = c == '{' ? '}' : ']';
    ++at_;
    SkipSpace();
    if (Take(close)) return true;
    for (;;) {
      SkipSpace();
      if (close == '}') {
        std::string ignoredName;
        if (!ReadString(&ignoredName)) return false;
        SkipSpace();
        if (!Take(':')) return false;
        SkipSpace();
      }
      std::string ignored;
      bool ignoredScalar = false;
      if (!ReadValue(depth + 1, &ignored, &ignoredScalar)) return false;
      SkipSpace();
      if (Take(close)) return true;
      if (!Take(',')) return false;
    }
  }

  std::string_view text_;
  std::size_t at_ = 0;
  std::map<std::string, bool> skipped_;
};

std::string Member(const std::map<std::string, std::string>& members, const char* name) {
  auto found = members.find(name);
  return found == members.end() ? std::string() : found->second;
}

// A whole non-negative integer (numbers or digit strings; some servers quote
// expires_in); -1 when absent or anything else.
int64_t Seconds(const std::map<std::string, std::string>& members, const char* name) {
  const std::string text = Member(members, name);
  if (text.empty()) return -1;
  int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) return -1;
  return value;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

}  // namespace

std::optional<std::map<std::string, std::string>> ReadJsonMembers(std::string_view json) {
  if (json.size() > kMaxJsonBytes) return std::nullopt;
  std::map<std::string, std::string> members;
  JsonReader reader(json);
  if (!reader.ReadTopObject(&members)) return std::nullopt;
  return members;
}

std::optional<TokenResponse> ReadTokenResponse(std::string_view json) {
  auto members = ReadJsonMembers(json);
  if (!members) return std::nullopt;
  TokenResponse response;
  response.error = Member(*members, "error");
  response.errorDescription = Member(*members, "error_description");
  if (!response.error.empty()) return response;
  response.accessToken = Member(*members, "access_token");
  response.tokenType = Member(*members, "token_type");
  response.refreshToken = Member(*members, "refresh_token");
  response.scope = Member(*members, "scope");
  response.expiresIn = std::max<int64_t>(Seconds(*members, "expires_in"), 0);
  if (response.accessToken.empty() || !EqualsNoCase(response.tokenType, "Bearer")) return std::nullopt;
  return response;
}

std::optional<DeviceAuthorization> ReadDeviceAuthorization(std::string_view json) {
  auto members = ReadJsonMembers(json);
  if (!members) return std::nullopt;
  DeviceAuthorization device;
  device.deviceCode = Member(*members, "device_code");
  device.userCode = Member(*members, "user_code");
  device.verificationUri = Member(*members, "verification_uri");
  if (device.verificationUri.empty()) device.verificationUri = Member(*members, "verification_url");
  device.verificationUriComplete = Member(*members, "verification_uri_complete");
  device.expiresIn = Seconds(*members, "expires_in");
  const int64_t interval = Seconds(*members, "interval");
  if (interval > 0) device.interval = interval;
  if (device.deviceCode.empty() || device.userCode.empty() || device.verificationUri.empty() || device.expiresIn <= 0) {
    return std::nullopt;
  }
  return device;
}

}  // namespace ferry::oauth
