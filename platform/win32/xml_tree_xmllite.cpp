// The XML tree over XmlLite (platform/xml_tree.h). xmllite.dll ships with
// Windows, but the cross-compiler has no import library for it: the reader is
// bound at run time (CreateXmlReader). The document is read from memory (an
// IStream of shlwapi), with document type declarations prohibited, so no
// entity beyond the predefined ones and character references is expanded and
// nothing is fetched.
//
// XmlLite reads UTF-8 and UTF-16 itself; a document declaring another
// single-byte encoding (ISO-8859-x, windows-125x, US-ASCII, KOI8) is turned
// into UTF-16 here first, its declaration dropped.
#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>
#include <xmllite.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/dynamic_library.h"
#include "platform/xml_tree.h"

namespace ferry::xml {
namespace {

using CreateXmlReaderFunction = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);

constexpr const wchar_t* kXmlnsUri = L"http://www.w3.org/2000/xmlns/";

// The reader's factory, bound once for the life of the process.
CreateXmlReaderFunction ReaderFactory(std::string* error) {
  static std::once_flag bound;
  static DynamicLibrary library;
  static CreateXmlReaderFunction factory = nullptr;
  static std::string reason;
  std::call_once(bound, [] {
    if (!library.Load("xmllite.dll")) {
      reason = "no XML reader on this system: " + library.Error();
      return;
    }
    void* address = library.Symbol("CreateXmlReader");
    if (address == nullptr) {
      reason = "no XML reader on this system: xmllite.dll has no CreateXmlReader";
      return;
    }
    static_assert(sizeof factory == sizeof address);
    std::memcpy(&factory, &address, sizeof factory);
  });
  if (factory == nullptr) *error = reason;
  return factory;
}

template <typename T>
struct Released {
  T* p = nullptr;
  ~Released() {
    if (p != nullptr) p->Release();
  }
};

std::string Utf8(const wchar_t* text, UINT length) {
  if (text == nullptr || length == 0) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? static_cast<std::size_t>(n) : 0U, '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), n, nullptr, nullptr);
  return out;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// The code page of a single-byte encoding XmlLite does not read itself, or 0.
UINT SingleByteCodePage(const std::string& name) {
  const std::string n = Lower(name);
  if (n == "iso-8859-1" || n == "latin1" || n == "iso_8859-1" || n == "l1") return 28591;
  if (n.rfind("iso-8859-", 0) == 0) {
    const int part = std::atoi(n.c_str() + 9);
    if (part >= 2 && part <= 15 && part != 12) return static_cast<UINT>(28590 + part);
  }
  if (n.rfind("windows-125", 0) == 0 && n.size() == 12 && n[11] >= '0' && n[11] <= '8') {
    return static_cast<UINT>(1250 + (n[11] - '0'));
  }
  if (n == "us-ascii" || n == "ascii") return 20127;
  if (n == "koi8-r") return 20866;
  if (n == "koi8-u") return 21866;
  return 0;
}

// The encoding named in the document's XML declaration, or "" when there is
// none (no declaration, a byte order mark, or no encoding in it). `end` is set
// to the offset just past the declaration.
std::string DeclaredEncoding(std::string_view document, std::size_t* end) {
  if (document.rfind("<?xml", 0) != 0 || document.size() < 6 || !std::isspace(static_cast<unsigned char>(document[5]))) {
    return {};
  }
  const std::size_t close = document.find("?>");
  if (close == std::string_view::npos) return {};
  *end = close + 2;
  const std::string_view declaration = document.substr(0, close);
  const std::size_t key = declaration.find("encoding");
  if (key == std::string_view::npos) return {};
  std::size_t i = key + 8;
  while (i < declaration.size() && (declaration[i] == ' ' || declaration[i] == '=' || declaration[i] == '\t')) ++i;
  if (i >= declaration.size() || (declaration[i] != '"' && declaration[i] != '\'')) return {};
  const std::size_t stop = declaration.find(declaration[i], i + 1);
  if (stop == std::string_view::npos) return {};
  return std::string(declaration.substr(i + 1, stop - i - 1));
}

// The bytes XmlLite is given: the document itself, or for a declared
// single-byte encoding, the rest after the declaration as UTF-16 LE with its
// byte order mark.
bool ReaderBytes(std::string_view document, std::string* bytes, std::string* error) {
  std::size_t end = 0;
  const std::string encoding = DeclaredEncoding(document, &end);
  const std::string lower = Lower(encoding);
  if (encoding.empty() || lower == "utf-8" || lower == "utf8" || lower == "utf-16") {
    bytes->assign(document);
    return true;
  }
  const UINT codePage = SingleByteCodePage(encoding);
  if (codePage == 0) {
    *error = "encoding " + encoding + " not supported";
    return false;
  }
  const std::string_view rest = document.substr(end);
  const int n = rest.empty() ? 0 : MultiByteToWideChar(codePage, 0, rest.data(), static_cast<int>(rest.size()), nullptr, 0);
  if (n <= 0 && !rest.empty()) {
    *error = "cannot convert the document from " + encoding;
    return false;
  }
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  if (n > 0) MultiByteToWideChar(codePage, 0, rest.data(), static_cast<int>(rest.size()), wide.data(), n);
  bytes->assign("\xFF\xFE", 2);
  for (wchar_t c : wide) {
    bytes->push_back(static_cast<char>(c & 0xFF));
    bytes->push_back(static_cast<char>((c >> 8) & 0xFF));
  }
  return true;
}

// Whether a start tag can be anywhere in the document ("<" and a name's first
// character, in any encoding that keeps ASCII as it is).
bool HasElementStart(std::string_view document) {
  for (std::size_t at = document.find('<'); at != std::string_view::npos; at = document.find('<', at + 1)) {
    const unsigned char next = at + 1 < document.size() ? static_cast<unsigned char>(document[at + 1]) : 0;
    if (std::isalpha(next) || next == '_' || next == ':' || next >= 0x80) return true;
  }
  // A UTF-16 document has a NUL byte beside each ASCII character: left to the reader.
  return document.find('\0') != std::string_view::npos;
}

std::string HresultText(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

bool IsNamespaceDeclaration(IXmlReader* reader) {
  const wchar_t* uri = nullptr;
  UINT length = 0;
  if (SUCCEEDED(reader->GetNamespaceUri(&uri, &length)) && uri != nullptr && wcscmp(uri, kXmlnsUri) == 0) return true;
  const wchar_t* prefix = nullptr;
  const wchar_t* local = nullptr;
  reader->GetPrefix(&prefix, &length);
  reader->GetLocalName(&local, &length);
  return (prefix != nullptr && wcscmp(prefix, L"xmlns") == 0) ||
         ((prefix == nullptr || *prefix == L'\0') && local != nullptr && wcscmp(local, L"xmlns") == 0);
}

// Builds the tree from the reader's nodes. The bounds and the joining of
// adjacent text and CDATA are those of every implementation of the seam:
// the document element sits at depth 1, and a node below depth kMaxXmlDepth
// or past kMaxXmlNodes (counted below the document element) ends the read.
class Builder {
 public:
  explicit Builder(Node* root) : root_(root) {}

  // False with `error` set on a reader error or an overflow.
  bool Read(IXmlReader* reader, std::string* error) {
    XmlNodeType type = XmlNodeType_None;
    HRESULT hr;
    while ((hr = reader->Read(&type)) == S_OK) {
      if (type == XmlNodeType_None) break;  // some readers end this way inside an element
      if (type == XmlNodeType_EndElement) {
        if (!open_.empty()) open_.pop_back();
        continue;
      }
      if (open_.empty()) {
        // Only the document element counts outside of it; what follows it is
        // whitespace, comments or processing instructions.
        if (type == XmlNodeType_Element && !seenRoot_ && !AddElement(reader, error)) return false;
        continue;
      }
      if (++nodes_ > kMaxXmlNodes || static_cast<int>(open_.size()) >= kMaxXmlDepth) {
        *error = "document too deep or too large";
        return false;
      }
      switch (type) {
        case XmlNodeType_Element:
          if (!AddElement(reader, error)) return false;
          break;
        case XmlNodeType_Text:
        case XmlNodeType_CDATA:
        case XmlNodeType_Whitespace: {
          const wchar_t* value = nullptr;
          UINT length = 0;
          if (FAILED(reader->GetValue(&value, &length))) break;
          std::vector<Node>& siblings = open_.back()->children;
          if (siblings.empty() || !siblings.back().IsText()) siblings.emplace_back();
          siblings.back().text += Utf8(value, length);
          break;
        }
        default:
          break;  // comments, processing instructions
      }
    }
    if (FAILED(hr)) {
      UINT line = 0, position = 0;
      reader->GetLineNumber(&line);
      reader->GetLinePosition(&position);
      *error = "not well-formed XML (" + HresultText(hr) + " at line " + std::to_string(line) + ", column " +
               std::to_string(position) + ")";
      return false;
    }
    if (!seenRoot_) {
      *error = "no document element";
      return false;
    }
    if (!open_.empty()) {
      *error = "not well-formed XML (the document ends inside an element)";
      return false;
    }
    return true;
  }

 private:
  bool AddElement(IXmlReader* reader, std::string* error) {
    Node* node;
    if (!seenRoot_) {
      seenRoot_ = true;
      node = root_;
    } else {
      open_.back()->children.emplace_back();
      node = &open_.back()->children.back();
    }
    const wchar_t* text = nullptr;
    UINT length = 0;
    reader->GetLocalName(&text, &length);
    node->name = Utf8(text, length);
    reader->GetNamespaceUri(&text, &length);
    node->ns = Utf8(text, length);
    const bool empty = reader->IsEmptyElement() != FALSE;
    for (HRESULT hr = reader->MoveToFirstAttribute(); hr == S_OK; hr = reader->MoveToNextAttribute()) {
      if (IsNamespaceDeclaration(reader)) continue;
      Node::Attribute attribute;
      if (SUCCEEDED(reader->GetLocalName(&text, &length))) attribute.name = Utf8(text, length);
      if (SUCCEEDED(reader->GetNamespaceUri(&text, &length))) attribute.ns = Utf8(text, length);
      if (SUCCEEDED(reader->GetValue(&text, &length))) attribute.value = Utf8(text, length);
      node->attributes.push_back(std::move(attribute));
    }
    if (FAILED(reader->MoveToElement())) {
      *error = "not well-formed XML";
      return false;
    }
    // Children are only added to the element on top, so the pointers to the
    // open elements stay valid while they are open.
    if (!empty) open_.push_back(node);
    return true;
  }

  Node* root_;
  std::vector<Node*> open_;
  std::size_t nodes_ = 0;
  bool seenRoot_ = false;
};

}  // namespace

bool ParseXml(std::string_view document, Node* root, std::string* error) {
  *root = Node{};
  if (document.size() > kMaxXmlBytes) {
    *error = "document too large";
    return false;
  }
  if (!HasElementStart(document)) {
    // Refused here: a document of nothing but a declaration stops some readers.
    *error = "no document element";
    return false;
  }
  const CreateXmlReaderFunction create = ReaderFactory(error);
  if (create == nullptr) return false;
  std::string bytes;
  if (!ReaderBytes(document, &bytes, error)) return false;

  Released<IStream> stream;
  stream.p = SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
  if (stream.p == nullptr) {
    *error = "out of memory for the XML reader";
    return false;
  }
  Released<IXmlReader> reader;
  HRESULT hr = create(__uuidof(IXmlReader), reinterpret_cast<void**>(&reader.p), nullptr);
  if (FAILED(hr) || reader.p == nullptr) {
    *error = "cannot create the XML reader (" + HresultText(hr) + ")";
    return false;
  }
  // No document type declarations at all: nothing external, no entity
  // expansion. The depth limit is also checked while building.
  if (FAILED(reader.p->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit))) {
    *error = "the XML reader cannot refuse document type declarations";
    return false;
  }
  reader.p->SetProperty(XmlReaderProperty_XmlResolver, 0);
  reader.p->SetProperty(XmlReaderProperty_MaxElementDepth, kMaxXmlDepth + 1);
  hr = reader.p->SetInput(stream.p);
  if (FAILED(hr)) {
    *error = "cannot read the document (" + HresultText(hr) + ")";
    return false;
  }
  Builder builder(root);
  if (!builder.Read(reader.p, error)) {
    *root = Node{};
    return false;
  }
  return true;
}

}  // namespace ferry::xml
