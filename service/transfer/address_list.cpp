#include "service/transfer/address_list.h"

#include <algorithm>

namespace ferry {
namespace {

bool IsWsp(char c) { return c == ' ' || c == '\t'; }

bool IsControl(char c) {
  auto u = static_cast<unsigned char>(c);
  return (u < 0x20 && c != '\t') || u == 0x7F;
}

bool IsEightBit(char c) { return static_cast<unsigned char>(c) >= 0x80; }

bool IsAtext(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("!#$%&'*+-/=?^_`{|}~").find(c) != std::string_view::npos;
}

bool IsLetDig(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

char LowerChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return LowerChar(x) == LowerChar(y); });
}

// A domain name as an SMTP path takes it: labels of letters, digits and
// hyphens, none empty, none starting or ending with a hyphen.
bool IsDomainName(std::string_view domain) {
  if (domain.empty() || domain.size() > kMaxDomain) return false;
  std::size_t start = 0;
  while (true) {
    std::size_t dot = domain.find('.', start);
    std::string_view label = domain.substr(start, dot == std::string_view::npos ? dot : dot - start);
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
    for (char c : label) {
      if (!IsLetDig(c) && c != '-') return false;
    }
    if (dot == std::string_view::npos) return true;
    start = dot + 1;
  }
}

// The inside of a domain literal: a dotted IPv4 address or "IPv6:" and hex
// digits, colons and dots.
bool IsAddressLiteral(std::string_view inside) {
  if (inside.size() > 5 && EqualNoCase(inside.substr(0, 5), "IPv6:")) {
    std::string_view rest = inside.substr(5);
    if (rest.size() > 45) return false;
    return std::all_of(rest.begin(), rest.end(), [](char c) {
      return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' || c == '.';
    });
  }
  int parts = 0;
  std::size_t start = 0;
  while (true) {
    std::size_t dot = inside.find('.', start);
    std::string_view part = inside.substr(start, dot == std::string_view::npos ? dot : dot - start);
    if (part.empty() || part.size() > 3) return false;
    int value = 0;
    for (char c : part) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    if (value > 255 || ++parts > 4) return false;
    if (dot == std::string_view::npos) return parts == 4;
    start = dot + 1;
  }
}

// A local part that needs no quotes: atext runs joined by single dots.
bool IsDotString(std::string_view text) {
  if (text.empty() || text.front() == '.' || text.back() == '.') return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '.') {
      if (text[i + 1] == '.') return false;
    } else if (!IsAtext(text[i])) {
      return false;
    }
  }
  return true;
}

// ---- Tokens --------------------------------------------------------------

enum class Kind { Atom, Quoted, Literal, Special, Bad };

struct Token {
  Kind kind;
  char special = 0;  // Special: one of < > @ , ; : .
  std::string text;  // Atom: as written; Quoted: the content with quoted-pairs resolved; Literal: inside the brackets
};

// Removes the CR LF of every fold (CR LF followed by a blank or tab) and the
// CR LF that may end the value.
std::string Unfold(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n' &&
        (i + 2 == value.size() || IsWsp(value[i + 2]))) {
      ++i;
      continue;
    }
    out.push_back(value[i]);
  }
  return out;
}

class Tokenizer {
 public:
  explicit Tokenizer(std::string_view text) : text_(text) {}

  std::vector<Token> Run() {
    while (pos_ < text_.size()) {
      char c = text_[pos_];
      if (IsWsp(c)) {
        ++pos_;
      } else if (c == '(') {
        Comment();
      } else if (c == '"') {
        Quoted();
      } else if (c == '[') {
        Literal();
      } else if (std::string_view("<>@,;:.").find(c) != std::string_view::npos) {
        tokens_.push_back({Kind::Special, c, {}});
        ++pos_;
      } else if (c == '=' && EncodedWord()) {
        // taken as one atom
      } else if (IsAtext(c) || IsEightBit(c)) {
        std::size_t start = pos_;
        while (pos_ < text_.size() && (IsAtext(text_[pos_]) || IsEightBit(text_[pos_]))) ++pos_;
        tokens_.push_back({Kind::Atom, 0, std::string(text_.substr(start, pos_ - start))});
      } else {  // a control character, or ")", "]", "\" out of place
        Bad();
        ++pos_;
      }
    }
    return std::move(tokens_);
  }

 private:
  void Bad() { tokens_.push_back({Kind::Bad, 0, {}}); }

  // Comments nest; a counter, not recursion, keeps the depth. An unclosed
  // comment spoils only its own opening bracket: the reading goes on after it,
  // and every later "(" is taken as spoilt too, unread, so that a run of
  // unclosed brackets costs one pass, not one per bracket.
  void Comment() {
    if (commentUnclosed_) {
      Bad();
      ++pos_;
      return;
    }
    std::size_t depth = 0;
    bool control = false;
    for (std::size_t i = pos_; i < text_.size(); ++i) {
      char c = text_[i];
      if (IsControl(c)) control = true;
      if (c == '\\') {
        if (i + 1 < text_.size() && IsControl(text_[i + 1])) control = true;
        ++i;
      } else if (c == '(') {
        ++depth;
      } else if (c == ')' && --depth == 0) {
        if (control) Bad();
        pos_ = i + 1;
        return;
      }
    }
    commentUnclosed_ = true;
    Bad();
    ++pos_;
  }

  // As for comments: after an unclosed quote every later quote is spoilt.
  void Quoted() {
    if (quoteUnclosed_) {
      Bad();
      ++pos_;
      return;
    }
    std::string content;
    bool control = false;
    for (std::size_t i = pos_ + 1; i < text_.size(); ++i) {
      char c = text_[i];
      if (c == '"') {
        if (control) {
          Bad();
        } else {
          tokens_.push_back({Kind::Quoted, 0, std::move(content)});
        }
        pos_ = i + 1;
        return;
      }
      if (c == '\\' && i + 1 < text_.size()) c = text_[++i];
      if (IsControl(c)) control = true;
      content.push_back(c);
    }
    quoteUnclosed_ = true;
    Bad();
    ++pos_;
  }

  void Literal() {
    for (std::size_t i = pos_ + 1; i < text_.size(); ++i) {
      char c = text_[i];
      if (c == ']') {
        std::string_view inside = text_.substr(pos_ + 1, i - pos_ - 1);
        bool control = std::any_of(inside.begin(), inside.end(), IsControl);
        if (control) {
          Bad();
        } else {
          tokens_.push_back({Kind::Literal, 0, std::string(inside)});
        }
        pos_ = i + 1;
        return;
      }
      if (c == '[' || c == '\\') break;
    }
    Bad();
    ++pos_;
  }

  // "=?charset?Q?text?=" (or B): one atom even where its text holds specials.
  bool EncodedWord() {
    std::string_view rest = text_.substr(pos_);
    if (!rest.starts_with("=?")) return false;
    std::size_t i = 2;
    while (i < rest.size() && rest[i] != '?') {
      char c = rest[i];
      if (IsWsp(c) || IsControl(c) || IsEightBit(c) || std::string_view("()<>@,;:\"/[]?.=").find(c) != std::string_view::npos)
        return false;
      ++i;
    }
    if (i == 2 || i + 3 >= rest.size()) return false;
    char encoding = LowerChar(rest[i + 1]);
    if ((encoding != 'q' && encoding != 'b') || rest[i + 2] != '?') return false;
    std::size_t textStart = i + 3;
    std::size_t end = textStart;
    while (end < rest.size() && rest[end] != '?') {
      char c = rest[end];
      if (IsWsp(c) || IsControl(c) || IsEightBit(c)) return false;
      ++end;
    }
    if (end == textStart || end + 1 >= rest.size() || rest[end + 1] != '=') return false;
    tokens_.push_back({Kind::Atom, 0, std::string(rest.substr(0, end + 2))});
    pos_ += end + 2;
    return true;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  bool commentUnclosed_ = false;
  bool quoteUnclosed_ = false;
  std::vector<Token> tokens_;
};

// ---- One mailbox ----------------------------------------------------------

using TokenSpan = std::vector<Token>::const_iterator;

bool IsSpecial(TokenSpan t, char c) { return t->kind == Kind::Special && t->special == c; }

// local-part "@" domain over exactly [begin, end).
std::optional<std::string> AddrSpec(TokenSpan begin, TokenSpan end) {
  std::string local;
  TokenSpan t = begin;
  bool expectWord = true;
  for (; t != end; ++t) {
    if (expectWord) {
      if (t->kind != Kind::Atom && t->kind != Kind::Quoted) return std::nullopt;
      local += t->text;
      expectWord = false;
    } else if (IsSpecial(t, '.')) {
      local.push_back('.');
      expectWord = true;
    } else if (IsSpecial(t, '@')) {
      break;
    } else {
      return std::nullopt;
    }
  }
  if (expectWord || t == end || local.empty()) return std::nullopt;
  ++t;  // the "@"

  std::string domain;
  if (t != end && t->kind == Kind::Literal && t + 1 == end) {
    if (!IsAddressLiteral(t->text)) return std::nullopt;
    domain = "[" + t->text + "]";
  } else {
    expectWord = true;
    for (; t != end; ++t) {
      if (expectWord && t->kind == Kind::Atom) {
        domain += t->text;
      } else if (!expectWord && IsSpecial(t, '.')) {
        domain.push_back('.');
      } else {
        return std::nullopt;
      }
      expectWord = !expectWord;
    }
    if (expectWord || !IsDomainName(domain)) return std::nullopt;
  }

  if (!IsDotString(local)) {
    std::string quoted = "\"";
    for (char c : local) {
      if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) return std::nullopt;
      if (c == '"' || c == '\\') quoted.push_back('\\');
      quoted.push_back(c);
    }
    local = quoted + "\"";
  }
  if (local.size() > kMaxLocalPart || local.size() + 1 + domain.size() > kMaxAddressSpec) return std::nullopt;
  return local + "@" + domain;
}

// One element of the list: a bare bare address, or a name-addr whose display name
// (anything before "<") is dropped, with an optional obsolete route.
std::optional<std::string> Mailbox(TokenSpan begin, TokenSpan end) {
  TokenSpan open = std::find_if(begin, end, [](const Token& t) { return t.kind == Kind::Special && t.special == '<'; });
  if (open == end) return AddrSpec(begin, end);
  TokenSpan close = end - 1;
  if (!IsSpecial(close, '>') || close <= open) return std::nullopt;
  TokenSpan inner = open + 1;
  if (inner != close && (IsSpecial(inner, '@') || IsSpecial(inner, ','))) {
    // "@a,@b:" — a source route from the days of explicit relaying; dropped.
    while (inner != close && !IsSpecial(inner, ':')) {
      if (inner->kind != Kind::Special && inner->kind != Kind::Atom && inner->kind != Kind::Literal)
        return std::nullopt;
      ++inner;
    }
    if (inner == close) return std::nullopt;
    ++inner;
  }
  return AddrSpec(inner, close);
}

bool IsPhrase(TokenSpan begin, TokenSpan end) {
  return std::all_of(begin, end, [](const Token& t) {
    return t.kind == Kind::Atom || t.kind == Kind::Quoted || (t.kind == Kind::Special && t.special == '.');
  });
}

}  // namespace

std::optional<std::string_view> FoldedHeaderValue(std::string_view headerBlock, std::string_view name) {
  std::size_t line = 0;
  while (line < headerBlock.size()) {
    std::size_t lineEnd = headerBlock.find("\r\n", line);
    while (lineEnd != std::string_view::npos && lineEnd + 2 < headerBlock.size() && IsWsp(headerBlock[lineEnd + 2]))
      lineEnd = headerBlock.find("\r\n", lineEnd + 2);
    std::string_view field = headerBlock.substr(line, lineEnd == std::string_view::npos ? lineEnd : lineEnd - line);
    if (field.size() > name.size() && field[name.size()] == ':' && EqualNoCase(field.substr(0, name.size()), name))
      return field.substr(name.size() + 1);
    if (lineEnd == std::string_view::npos) break;
    line = lineEnd + 2;
  }
  return std::nullopt;
}

std::vector<std::string> ReadAddressList(std::string_view value) {
  bool cut = value.size() > kMaxAddressHeaderValue;
  std::vector<Token> tokens = Tokenizer(Unfold(value.substr(0, kMaxAddressHeaderValue))).Run();

  std::vector<std::string> addresses;
  TokenSpan start = tokens.begin();
  bool bad = false, inAngle = false, inRoute = false, inGroup = false;
  auto finish = [&](TokenSpan end, bool last) {
    if (!bad && !inAngle && start != end && !(last && cut)) {
      if (std::optional<std::string> address = Mailbox(start, end)) addresses.push_back(std::move(*address));
    }
    start = end + (last ? 0 : 1);
    bad = inAngle = inRoute = false;
  };
  for (TokenSpan t = tokens.begin(); t != tokens.end(); ++t) {
    if (t->kind == Kind::Bad) {
      bad = true;
      continue;
    }
    if (t->kind != Kind::Special) continue;
    switch (t->special) {
      case '<':
        if (inAngle) bad = true;
        inAngle = true;
        inRoute = t + 1 != tokens.end() && (IsSpecial(t + 1, '@') || IsSpecial(t + 1, ','));
        break;
      case '>':
        if (!inAngle) bad = true;
        inAngle = inRoute = false;
        break;
      case ':':
        if (inRoute) {
          inRoute = false;
        } else if (!inAngle && !inGroup && !bad && IsPhrase(start, t)) {
          inGroup = true;  // the group's name is dropped, its members read
          start = t + 1;
        } else {
          bad = true;
        }
        break;
      case ',':
        if (!inRoute) finish(t, false);
        break;
      case ';':
        // Ends a group, and separates addresses the way some programs write lists.
        finish(t, false);
        inGroup = false;
        break;
      default:
        break;
    }
  }
  finish(tokens.end(), true);
  return addresses;
}

std::string SmtpPath(std::string_view addrSpec) { return "<" + std::string(addrSpec) + ">"; }

std::string_view LocalPartOf(std::string_view addrSpec) { return addrSpec.substr(0, addrSpec.rfind('@')); }

std::string_view DomainOf(std::string_view addrSpec) {
  std::size_t at = addrSpec.rfind('@');
  return at == std::string_view::npos ? std::string_view() : addrSpec.substr(at + 1);
}

bool SameDomain(std::string_view a, std::string_view b) { return EqualNoCase(a, b); }

bool DomainInList(std::string_view domain, const std::vector<std::string>& domains) {
  return std::any_of(domains.begin(), domains.end(), [&](const std::string& d) { return EqualNoCase(d, domain); });
}

std::vector<std::string> ParseLocalDomains(std::string_view value) {
  std::vector<std::string> domains;
  constexpr std::string_view kSeparators = " \t\r\n,;";
  std::size_t pos = 0;
  while ((pos = value.find_first_not_of(kSeparators, pos)) != std::string_view::npos) {
    std::size_t end = value.find_first_of(kSeparators, pos);
    std::string_view entry = value.substr(pos, end == std::string_view::npos ? end : end - pos);
    pos = end;
    if (entry.starts_with('@')) entry.remove_prefix(1);
    if (!IsDomainName(entry)) continue;
    std::string domain(entry);
    std::transform(domain.begin(), domain.end(), domain.begin(), LowerChar);
    if (!DomainInList(domain, domains)) domains.push_back(std::move(domain));
  }
  return domains;
}

}  // namespace ferry
