#include "service/feeds/feed_reader.h"

#include <algorithm>
#include <array>

#include "platform/xml_tree.h"

namespace ferry {
namespace {

using xml::Node;

constexpr std::string_view kAtom = "http://www.w3.org/2005/Atom";
constexpr std::string_view kRdf = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
constexpr std::string_view kRss1 = "http://purl.org/rss/1.0/";
constexpr std::string_view kContent = "http://purl.org/rss/1.0/modules/content/";
constexpr std::string_view kDc = "http://purl.org/dc/elements/1.1/";
constexpr std::string_view kXhtml = "http://www.w3.org/1999/xhtml";

// Cuts `text` to `limit` bytes, never inside a UTF-8 sequence.
std::string Cut(std::string text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

// Leading and trailing white space off, inner runs of it (line ends too) as one blank.
std::string Squeeze(std::string_view text) {
  std::string out;
  bool blank = false;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      blank = !out.empty();
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out += c;
  }
  return out;
}

std::string ChildText(const Node& item, std::string_view uri, std::string_view local) {
  const Node* c = item.Child(uri, local);
  return c != nullptr ? Cut(Squeeze(c->AllText()), kMaxFeedTextBytes) : std::string();
}

// An element's children written back as markup (Atom's xhtml content).
void WriteMarkup(const Node& node, std::string& out) {
  if (node.IsText()) {
    out += EscapeHtml(node.text);
    return;
  }
  out += '<' + node.name;
  for (const Node::Attribute& a : node.attributes) {
    if (a.ns.empty()) out += ' ' + a.name + "=\"" + EscapeHtml(a.value) + '"';
  }
  out += '>';
  for (const Node& c : node.children) WriteMarkup(c, out);
  out += "</" + node.name + '>';
}

// An Atom text construct (title, summary, content) as HTML.
std::string AtomHtml(const Node& construct) {
  const std::string type = construct.Attr("type");
  if (type == "html") return construct.AllText();
  if (type == "xhtml") {
    std::string out;
    const Node* div = construct.Child(kXhtml, "div");
    for (const Node& c : (div != nullptr ? *div : construct).children) WriteMarkup(c, out);
    return out;
  }
  return EscapeHtml(construct.AllText());
}

// An Atom text construct as plain text.
std::string AtomPlain(const Node* construct) {
  if (construct == nullptr) return {};
  const std::string type = construct->Attr("type");
  if (type == "html") {
    // Tags out; entities stay as the HTML wrote them.
    std::string text = construct->AllText(), out;
    bool inTag = false;
    for (char c : text) {
      if (c == '<') inTag = true;
      else if (c == '>' && inTag) inTag = false;
      else if (!inTag) out += c;
    }
    return Cut(Squeeze(out), kMaxFeedTextBytes);
  }
  return Cut(Squeeze(construct->AllText()), kMaxFeedTextBytes);
}

void Finish(FeedItem& item) {
  if (item.id.empty()) item.id = item.link;
  if (item.id.empty()) item.id = item.title + '|' + item.date;
  item.id = Cut(item.id, kMaxFeedTextBytes);
  item.content = Cut(SanitizeHtml(item.content), kMaxFeedContentBytes);
}

FeedItem RssItem(const Node& node, std::string_view ns) {
  FeedItem item;
  item.title = ChildText(node, ns, "title");
  item.link = ChildText(node, ns, "link");
  item.id = ChildText(node, ns, "guid");
  if (item.id.empty()) item.id = node.Attr("about", kRdf);
  item.date = ChildText(node, ns, "pubDate");
  if (item.date.empty()) item.date = ChildText(node, kDc, "date");
  const Node* content = node.Child(kContent, "encoded");
  if (content == nullptr) content = node.Child(ns, "description");
  if (content != nullptr) item.content = Cut(content->AllText(), kMaxFeedContentBytes * 2);
  Finish(item);
  return item;
}

FeedItem AtomEntry(const Node& node) {
  FeedItem item;
  item.title = AtomPlain(node.Child(kAtom, "title"));
  item.id = ChildText(node, kAtom, "id");
  for (const Node& c : node.children) {
    if (!c.Is(kAtom, "link")) continue;
    const std::string rel = c.Attr("rel");
    if (rel.empty() || rel == "alternate") {
      item.link = Cut(c.Attr("href"), kMaxFeedTextBytes);
      break;
    }
  }
  item.date = ChildText(node, kAtom, "updated");
  if (item.date.empty()) item.date = ChildText(node, kAtom, "published");
  const Node* content = node.Child(kAtom, "content");
  if (content == nullptr || !content->Attr("src").empty()) content = node.Child(kAtom, "summary");
  if (content != nullptr) item.content = Cut(AtomHtml(*content), kMaxFeedContentBytes * 2);
  Finish(item);
  return item;
}

void AddItem(Feed& feed, FeedItem item) {
  if (feed.items.size() < kMaxFeedItems) feed.items.push_back(std::move(item));
}

}  // namespace

bool ReadFeed(std::string_view document, Feed* feed, std::string* error) {
  *feed = Feed{};
  Node root;
  if (!xml::ParseXml(document, &root, error)) return false;
  if (root.Is("", "rss")) {
    const Node* channel = root.Child("", "channel");
    if (channel == nullptr) {
      *error = "RSS document without a channel";
      return false;
    }
    feed->format = "RSS 2.0";
    feed->title = ChildText(*channel, "", "title");
    for (const Node& c : channel->children) {
      if (c.Is("", "item")) AddItem(*feed, RssItem(c, ""));
    }
    return true;
  }
  if (root.Is(kRdf, "RDF")) {
    feed->format = "RSS 1.0";
    if (const Node* channel = root.Child(kRss1, "channel")) feed->title = ChildText(*channel, kRss1, "title");
    for (const Node& c : root.children) {
      if (c.Is(kRss1, "item")) AddItem(*feed, RssItem(c, kRss1));
    }
    return true;
  }
  if (root.Is(kAtom, "feed")) {
    feed->format = "Atom 1.0";
    feed->title = AtomPlain(root.Child(kAtom, "title"));
    for (const Node& c : root.children) {
      if (c.Is(kAtom, "entry")) AddItem(*feed, AtomEntry(c));
    }
    return true;
  }
  *error = "not an RSS or Atom feed (document element \"" + root.name.substr(0, 40) + "\")";
  return false;
}

std::string EscapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerText(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), Lower);
  return out;
}

bool NameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == ':' ||
         c == '_';
}

// Elements dropped with everything inside them.
bool DroppedElement(std::string_view name) {
  static constexpr std::array<std::string_view, 11> kDropped = {
      "script", "style", "iframe", "frame", "frameset", "object", "embed", "applet", "form", "noscript", "base"};
  return std::find(kDropped.begin(), kDropped.end(), name) != kDropped.end();
}

// Whether an attribute value is a link to script or inline data.
bool ScriptLink(std::string_view value) {
  std::string squeezed;
  for (char c : value) {
    if (static_cast<unsigned char>(c) > ' ') squeezed += Lower(c);
  }
  return squeezed.rfind("javascript:", 0) == 0 || squeezed.rfind("vbscript:", 0) == 0 ||
         squeezed.rfind("data:", 0) == 0;
}

struct Tag {
  bool closing = false;
  std::string name;  // lower case
  std::string text;  // rewritten
  std::size_t end = 0;  // past its '>'
};

// Reads the tag at `at` (html[at] == '<'); false when none starts there.
bool ReadTag(std::string_view html, std::size_t at, Tag* tag) {
  std::size_t i = at + 1;
  if (i < html.size() && html[i] == '/') {
    tag->closing = true;
    ++i;
  }
  const std::size_t nameStart = i;
  if (i >= html.size() || !((html[i] >= 'a' && html[i] <= 'z') || (html[i] >= 'A' && html[i] <= 'Z'))) return false;
  while (i < html.size() && NameChar(html[i])) ++i;
  if (i == nameStart) return false;
  tag->name = LowerText(html.substr(nameStart, i - nameStart));
  tag->text = std::string(tag->closing ? "</" : "<") + std::string(html.substr(nameStart, i - nameStart));
  while (i < html.size()) {
    while (i < html.size() && (html[i] == ' ' || html[i] == '\t' || html[i] == '\r' || html[i] == '\n' || html[i] == '/')) ++i;
    if (i >= html.size()) break;
    if (html[i] == '>') {
      tag->end = i + 1;
      tag->text += '>';
      return true;
    }
    const std::size_t attrStart = i;
    while (i < html.size() && html[i] != '=' && html[i] != '>' && html[i] != ' ' && html[i] != '\t' &&
           html[i] != '\r' && html[i] != '\n' && html[i] != '/')
      ++i;
    std::string name = LowerText(html.substr(attrStart, i - attrStart));
    std::string value;
    bool hasValue = false;
    std::size_t j = i;
    while (j < html.size() && (html[j] == ' ' || html[j] == '\t' || html[j] == '\r' || html[j] == '\n')) ++j;
    if (j < html.size() && html[j] == '=') {
      hasValue = true;
      i = j + 1;
      while (i < html.size() && (html[i] == ' ' || html[i] == '\t' || html[i] == '\r' || html[i] == '\n')) ++i;
      if (i < html.size() && (html[i] == '"' || html[i] == '\'')) {
        const char quote = html[i];
        const std::size_t close = html.find(quote, i + 1);
        if (close == std::string_view::npos) {
          tag->end = html.size();
          tag->text.clear();
          return true;  // an unclosed quote swallows the rest: dropped
        }
        value = std::string(html.substr(i + 1, close - i - 1));
        i = close + 1;
      } else {
        const std::size_t valueStart = i;
        while (i < html.size() && html[i] != '>' && html[i] != ' ' && html[i] != '\t' && html[i] != '\r' &&
               html[i] != '\n')
          ++i;
        value = std::string(html.substr(valueStart, i - valueStart));
      }
    }
    if (name.empty() || name.rfind("on", 0) == 0 || !std::all_of(name.begin(), name.end(), NameChar)) continue;
    if (hasValue && ScriptLink(value)) continue;
    tag->text += ' ' + name;
    if (hasValue) {
      std::string quoted;
      for (char c : value) {
        if (c == '"') quoted += "&quot;";
        else if (c == '<') quoted += "&lt;";
        else if (c == '>') quoted += "&gt;";
        else quoted += c;
      }
      tag->text += "=\"" + quoted + '"';
    }
  }
  tag->end = html.size();
  tag->text += '>';
  return true;
}

}  // namespace

std::string SanitizeHtml(std::string_view html) {
  std::string out;
  out.reserve(html.size());
  std::size_t i = 0;
  std::string dropping;  // the element whose content is being dropped
  int depth = 0;
  while (i < html.size()) {
    const std::size_t lt = html.find('<', i);
    if (dropping.empty()) out.append(html.substr(i, (lt == std::string_view::npos ? html.size() : lt) - i));
    if (lt == std::string_view::npos) break;
    if (html.substr(lt, 4) == "<!--") {
      const std::size_t close = html.find("-->", lt + 4);
      i = close == std::string_view::npos ? html.size() : close + 3;
      continue;
    }
    if (lt + 1 < html.size() && (html[lt + 1] == '!' || html[lt + 1] == '?')) {
      const std::size_t close = html.find('>', lt);
      i = close == std::string_view::npos ? html.size() : close + 1;
      continue;
    }
    Tag tag;
    if (!ReadTag(html, lt, &tag)) {
      if (dropping.empty()) out += "&lt;";
      i = lt + 1;
      continue;
    }
    i = tag.end;
    if (!dropping.empty()) {
      if (tag.name == dropping) depth += tag.closing ? -1 : 1;
      if (depth == 0) dropping.clear();
      continue;
    }
    if (DroppedElement(tag.name)) {
      if (!tag.closing && tag.text.size() >= 2 && html[tag.end - 2] != '/') {
        dropping = tag.name;
        depth = 1;
      }
      continue;
    }
    out += tag.text;
  }
  return out;
}

}  // namespace ferry
