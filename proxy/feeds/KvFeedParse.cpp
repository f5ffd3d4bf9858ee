#include "proxy/feeds/KvFeedParse.h"

#include <tinyxml2.h>

#include <cstring>
#include <string_view>

#include "inet/fetch/KvFetchUrl.h"
#include "proxy/feeds/KvFeedDate.h"
#include "proxy/feeds/KvFeedEncoding.h"
#include "proxy/feeds/KvFeedText.h"

using tinyxml2::XMLElement;
using tinyxml2::XMLNode;

using namespace std::string_view_literals;

namespace {

constexpr std::string_view kAtom10 = "http://www.w3.org/2005/Atom"sv;
constexpr std::string_view kAtom03 = "http://purl.org/atom/ns#"sv;
constexpr std::string_view kRdf = "http://www.w3.org/1999/02/22-rdf-syntax-ns#"sv;
constexpr std::string_view kRss090 = "http://my.netscape.com/rdf/simple/0.9/"sv;
constexpr std::string_view kDc = "http://purl.org/dc/elements/1.1/"sv;
constexpr std::string_view kContent = "http://purl.org/rss/1.0/modules/content/"sv;

std::string_view LocalName(const XMLElement* e) {
    std::string_view name = e->Name();
    size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// The namespace of an element, from the xmlns attributes in scope.
std::string_view NamespaceOf(const XMLElement* e) {
    std::string_view name = e->Name();
    size_t colon = name.find(':');
    std::string attr = colon == std::string_view::npos ? "xmlns" : "xmlns:" + std::string(name.substr(0, colon));
    for (const XMLNode* n = e; n; n = n->Parent()) {
        const XMLElement* el = n->ToElement();
        if (!el) break;
        if (const char* value = el->Attribute(attr.c_str())) return value;
    }
    return {};
}

bool Is(const XMLElement* e, std::string_view ns, std::string_view local) {
    return LocalName(e) == local && NamespaceOf(e) == ns;
}

const XMLElement* Child(const XMLElement* parent, std::string_view ns, std::string_view local) {
    for (const XMLElement* c = parent ? parent->FirstChildElement() : nullptr; c; c = c->NextSiblingElement()) {
        if (Is(c, ns, local)) return c;
    }
    return nullptr;
}

void AppendText(const XMLNode* node, std::string& out) {
    for (const XMLNode* c = node->FirstChild(); c; c = c->NextSibling()) {
        if (const tinyxml2::XMLText* t = c->ToText()) out += t->Value();
        else if (c->ToElement()) AppendText(c, out);
    }
}

// All the text inside an element (CDATA included), as written.
CString RawText(const XMLElement* e) {
    if (!e) return CString();
    std::string out;
    AppendText(e, out);
    return CString(out.c_str());
}

CString Text(const XMLElement* e) { return KvCollapseSpace(RawText(e)); }

bool AttrIs(const XMLElement* e, const char* name, const char* value) {
    const char* v = e->Attribute(name);
    return v && std::strcmp(v, value) == 0;
}

// An Atom text construct: HTML reduced to text, anything else as text.
CString AtomText(const XMLElement* e) {
    if (!e) return CString();
    if (AttrIs(e, "type", "html") || AttrIs(e, "type", "text/html") || AttrIs(e, "mode", "escaped")) {
        return KvHtmlToText(RawText(e));
    }
    return Text(e);
}

// The base address in scope of an element: xml:base attributes from the
// root down, resolved against the feed's own address.
CString BaseOf(const XMLElement* e, const char* feedUrl) {
    std::vector<const char*> bases;
    for (const XMLNode* n = e; n && n->ToElement(); n = n->Parent()) {
        const char* b = n->ToElement()->Attribute("xml:base");
        if (b && *b) bases.push_back(b);
    }
    CString base = feedUrl ? feedUrl : "";
    for (auto it = bases.rbegin(); it != bases.rend(); ++it) {
        CString next = KvResolveReference(base, *it);
        base = next.IsEmpty() ? CString(*it) : next;
    }
    return base;
}

CString Resolve(const XMLElement* at, const CString& link, const char* feedUrl) {
    if (link.IsEmpty()) return link;
    CString resolved = KvResolveReference(BaseOf(at, feedUrl), link);
    return resolved.IsEmpty() ? link : resolved;
}

void SetDate(KvFeedItem& item, const XMLElement* e) {
    if (!e) return;
    item.dateText = Text(e);
    item.hasDate = KvParseFeedDate(item.dateText, item.date);
}

// --- RSS and RDF ---------------------------------------------------------------------

KvFeedItem ReadRssItem(const XMLElement* e, const char* feedUrl) {
    const std::string_view ns = NamespaceOf(e);
    KvFeedItem item;
    item.title = Text(Child(e, ns, "title"));
    const XMLElement* link = Child(e, ns, "link");
    if (!link) {
        const XMLElement* guid = Child(e, ns, "guid");
        if (guid && !AttrIs(guid, "isPermaLink", "false")) link = guid;
    }
    item.link = Resolve(link ? link : e, Text(link), feedUrl);
    if (item.link.IsEmpty()) {
        if (const XMLElement* atomLink = Child(e, kAtom10, "link")) {
            item.link = Resolve(atomLink, atomLink->Attribute("href"), feedUrl);
        }
    }
    const XMLElement* desc = Child(e, ns, "description");
    if (!desc || RawText(desc).IsEmpty()) desc = Child(e, kContent, "encoded");
    item.description = KvHtmlToText(RawText(desc));
    const XMLElement* author = Child(e, ns, "author");
    item.author = Text(author ? author : Child(e, kDc, "creator"));
    const XMLElement* date = Child(e, ns, "pubDate");
    SetDate(item, date ? date : Child(e, kDc, "date"));
    return item;
}

void ReadChannel(const XMLElement* channel, KvFeed& feed) {
    if (!channel) return;
    const std::string_view ns = NamespaceOf(channel);
    feed.title = Text(Child(channel, ns, "title"));
    feed.description = Text(Child(channel, ns, "description"));
    feed.copyright = Text(Child(channel, ns, "copyright"));
    feed.link = Text(Child(channel, ns, "link"));
}

void ReadItems(const XMLElement* container, const char* feedUrl, KvFeed& feed) {
    for (const XMLElement* c = container->FirstChildElement(); c; c = c->NextSiblingElement()) {
        if (LocalName(c) == "item"sv) feed.items.push_back(ReadRssItem(c, feedUrl));
    }
}

// --- Atom ----------------------------------------------------------------------------

const XMLElement* AlternateLink(const XMLElement* e, std::string_view ns) {
    const XMLElement* first = nullptr;
    const XMLElement* alternate = nullptr;
    for (const XMLElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) {
        if (!Is(c, ns, "link")) continue;
        if (!first) first = c;
        const char* rel = c->Attribute("rel");
        if (rel && std::strcmp(rel, "alternate") != 0) continue;
        if (AttrIs(c, "type", "text/html")) return c;
        if (!alternate) alternate = c;
    }
    return alternate ? alternate : first;
}

KvFeedItem ReadAtomEntry(const XMLElement* e, std::string_view ns, bool v03, const char* feedUrl) {
    KvFeedItem item;
    item.title = AtomText(Child(e, ns, "title"));
    if (const XMLElement* link = AlternateLink(e, ns)) item.link = Resolve(link, link->Attribute("href"), feedUrl);
    const XMLElement* summary = Child(e, ns, "summary");
    if (!summary || RawText(summary).IsEmpty()) summary = Child(e, ns, "content");
    if (summary) {
        item.description = AttrIs(summary, "type", "xhtml") ? Text(summary) : KvHtmlToText(RawText(summary));
    }
    item.author = Text(Child(Child(e, ns, "author"), ns, "name"));
    const char* const order03[] = {"issued", "modified", "created"};
    const char* const order10[] = {"published", "updated"};
    const XMLElement* date = nullptr;
    if (v03) {
        for (const char* name : order03) date = date ? date : Child(e, ns, name);
    } else {
        for (const char* name : order10) date = date ? date : Child(e, ns, name);
    }
    SetDate(item, date);
    return item;
}

void ReadAtom(const XMLElement* root, const char* feedUrl, KvFeed& feed) {
    const std::string_view ns = NamespaceOf(root);
    const bool v03 = ns == kAtom03 || AttrIs(root, "version", "0.3");
    feed.kind = v03 ? "atom0.3" : "atom1.0";
    feed.title = AtomText(Child(root, ns, "title"));
    feed.description = AtomText(Child(root, ns, v03 ? "tagline" : "subtitle"));
    feed.copyright = AtomText(Child(root, ns, v03 ? "copyright" : "rights"));
    if (const XMLElement* link = AlternateLink(root, ns)) feed.link = Resolve(link, link->Attribute("href"), feedUrl);
    for (const XMLElement* c = root->FirstChildElement(); c; c = c->NextSiblingElement()) {
        if (Is(c, ns, "entry")) feed.items.push_back(ReadAtomEntry(c, ns, v03, feedUrl));
    }
}

bool IsAtomNamespace(std::string_view ns) { return ns == kAtom10 || ns == kAtom03 || ns.empty(); }

}  // namespace

bool KvParseFeed(const char* bytes, size_t length, const char* feedUrl, const char* docName, KvFeed& feed,
                 CString& message) {
    feed = KvFeed();
    const char* name = docName ? docName : "";
    std::string text;
    KvFeedTextError fault;
    if (!KvFeedToUtf8(bytes, length, text, fault)) {
        message.Format("Error in %s[%d, %d]: %s", name, fault.line, fault.column, fault.message.c_str());
        return false;
    }
    tinyxml2::XMLDocument doc(true, tinyxml2::PRESERVE_WHITESPACE);
    if (doc.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS) {
        message.Format("Error in %s[%d, 1]: %s", name, doc.ErrorLineNum(), doc.ErrorName());
        return false;
    }
    const XMLElement* root = doc.RootElement();
    if (!root) {
        message = "TiXmlDocument error: rss section not found";
        return false;
    }
    const std::string_view local = LocalName(root);
    const std::string_view ns = NamespaceOf(root);
    if (local == "rss"sv) {
        const char* version = root->Attribute("version");
        feed.kind = version ? CString("rss") + version : CString("rss");
        const XMLElement* channel = Child(root, ns, "channel");
        if (!channel) {
            message = "TiXmlDocument error: channel section not found";
            return false;
        }
        ReadChannel(channel, feed);
        ReadItems(channel, feedUrl, feed);
    } else if ((local == "RDF"sv && ns == kRdf) || std::string_view(root->Name()) == "rdf"sv) {
        for (const XMLElement* c = root->FirstChildElement(); c; c = c->NextSiblingElement()) {
            if (LocalName(c) == "channel"sv) ReadChannel(c, feed);
        }
        ReadItems(root, feedUrl, feed);
        const XMLElement* first = root->FirstChildElement();
        feed.kind = first && NamespaceOf(first) == kRss090 ? "rss0.90" : "rss1.0";
    } else if (local == "channel"sv) {
        feed.kind = "rss";
        ReadChannel(root, feed);
        ReadItems(root, feedUrl, feed);
    } else if (local == "feed"sv && IsAtomNamespace(ns)) {
        ReadAtom(root, feedUrl, feed);
    } else {
        message = "TiXmlDocument error: rss section not found";
        return false;
    }
    message.Format("Grab the RSS successfully. %d items found.", (int)feed.items.size());
    return true;
}
