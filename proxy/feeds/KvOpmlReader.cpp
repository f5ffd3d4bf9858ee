// OPML outlines read with the XML parser.
#include "proxy/feeds/KvOpmlReader.h"

#include <tinyxml2.h>

#include <cstring>

namespace {

using tinyxml2::XMLElement;

CString Attr(const XMLElement& e, const char* name) {
    CString value(e.Attribute(name));
    value.Replace('\r', ' ');
    value.Replace('\n', ' ');
    value.Trim();
    return value;
}

// Outline names are matched without regard to case: some writers use
// "Outline".
bool IsOutline(const XMLElement& e) { return strcasecmp(e.Name(), "outline") == 0; }

void ReadLevel(const XMLElement& parent, KvOpmlOutline& into, int depth, int maxDepth, int maxEntries,
               KvOpmlFile& out) {
    for (const XMLElement* e = parent.FirstChildElement(); e; e = e->NextSiblingElement()) {
        if (!IsOutline(*e)) continue;
        if (depth > maxDepth || out.entries >= maxEntries) {
            ++out.skipped;
            continue;
        }
        ++out.entries;
        auto outline = std::make_unique<KvOpmlOutline>();
        outline->title = Attr(*e, "title");
        if (outline->title.IsEmpty()) outline->title = Attr(*e, "text");
        outline->xmlUrl = Attr(*e, "xmlUrl");
        outline->htmlUrl = Attr(*e, "htmlUrl");
        outline->desc = Attr(*e, "description");
        if (outline->xmlUrl.IsEmpty()) ReadLevel(*e, *outline, depth + 1, maxDepth, maxEntries, out);
        into.children.push_back(std::move(outline));
    }
}

}  // namespace

bool KvReadOpml(const char* text, size_t length, int maxDepth, int maxEntries, KvOpmlFile& out, CString& error) {
    out = KvOpmlFile();
    tinyxml2::XMLDocument doc;
    if (!text || doc.Parse(text, length) != tinyxml2::XML_SUCCESS) {
        error = "This is not an OPML file: it is not well-formed XML.";
        return false;
    }
    const XMLElement* root = doc.RootElement();
    const XMLElement* body = root && strcasecmp(root->Name(), "opml") == 0 ? root->FirstChildElement("body") : nullptr;
    if (!body) {
        error = "This is not an OPML file: it has no <opml> document with a <body>.";
        return false;
    }
    ReadLevel(*body, out.root, 1, maxDepth, maxEntries, out);
    return true;
}
