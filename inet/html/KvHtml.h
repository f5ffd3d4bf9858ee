// HTML fragments and text helpers shared by the local web sites: links,
// form controls, side boxes, the paging bar, and the clean-ups of names and
// URLs shown in pages.
//
// The fragment functions paste their arguments as they are: a caller passes
// text it wrote itself, or text escaped with the helpers of KvHtmlEscape.h.
// Exceptions, because no caller could escape for them: values of form
// controls (HtmlCheckBox, HtmlTextBox, HtmlEditor, the combo boxes) are
// escaped here, and the script parts of the status-line links are
// script-escaped here.
//
// All functions return a new string and keep no state.
#pragma once

#include "base/platform/CString.h"
#include "inet/html/KvHtmlEscape.h"

class CsStrList;
class CsStrMap;

// --- names and URLs -------------------------------------------------------------

// Trimmed; with flag, proper case; each of " ;',/\&><" becomes "-", then
// "--" becomes "-" (twice over).
CString FixFolderName(const char* name, int flag);
CString GetNameFromTitle(const char* title);
// The host of the URL, or "@" when it has none.
CString GetTitleFromUrl(const char* url);
// The trimmed URL, "/" appended when its path is empty; empty when the URL
// does not parse.
CString CleanupUrl2Save(const char* url);
// Without a leading "http://"; a text of 90 characters or more is cut into
// pieces of 90 joined by separator.
CString UrlFormat2Show(const char* url, const char* separator);
// Thousands grouped by ",": 1234567 gives "1,234,567".
CString EngNumberFormat(long long n);
// Without tags ("<" to ">") and without CR and LF.
CString CleanHtml(const char* text);
// Entity references in place. quoteStyle 1 also converts the apostrophe,
// 2 leaves the double quote. HtmlEntities adds the Latin-1 names of the
// bytes 0xA0..0xFE. TRUE (FALSE for a null text).
int HtmlSpecialChars(CString* text, int quoteStyle = 0);
int HtmlEntities(CString* text, int quoteStyle = 0);
// A row of 8 pixels of space.
CString TinySpace();

// --- fragments ---------------------------------------------------------------------

CString HtmlFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
CString HtmlLink(const char* href, const char* text, const char* target = nullptr);
// Links that show `status` and the target in the browser's status line.
CString HtmlLinkLabel(const char* href, const char* status, const char* text, const char* target = nullptr);
CString HtmlLinkCheat(const char* status, const char* href, const char* text, const char* target = nullptr);
CString HtmlLinkDotted(const char* href, const char* status, const char* text, const char* target = nullptr);
CString HtmlCheckBox(const char* name, const char* value, int checked);
CString HtmlCheckBox(const char* name, int checked);
// "checked" when flags & bit, else empty.
CString HtmlFlagChecked(int flags, int bit);
CString HtmlTextBox(const char* name, const char* value, int size, int password = 0);
CString HtmlTextBox(const char* name, int number, int size);
// A text area whose value keeps "&", "<", ">" and the template braces as
// they are when the form is posted back.
CString HtmlEditor(const char* name, const char* value, int width, int height);
CString HtmlSidebarBox(const char* title, const char* text);
CString HtmlStyleId(const char* id);
CString HtmlStyle(const char* id, const char* text);
CString HtmlSpan(const char* cls, const char* text);
CString HtmlImageSpace(int width, int height);
// A selection list: one option per entry (key as value, value as text;
// for a list both are the text), the entry whose key equals `selected`
// (without regard to case) selected.
CString MapToHtmlComboBox(const CsStrMap& map, const char* name, const char* selected);
CString ListToHtmlComboBox(const CsStrList& list, const char* name, const char* selected);

// The paging bar of a result list: links to "<url>&p=<n>"; empty for fewer
// than two pages. Pages count from 1.
CString HtmlPagePosition(const char* url, int total, int perPage, int page);
// The heading of a search result: the query, the message, and links that
// repeat the query on other search services. Both texts are escaped here.
CString HtmlSearchPageTitle(const char* query, const char* message);
// A link to information about the site of a URL (opens a new window).
CString HtmlSiteInfo(const char* url);
CString SiteInfo(const char* url);

// Advertising of outside services: the portal shows none, so these answer
// empty text (kept so that pages using their placeholders still render).
CString HtmlGoogleAdvNew(const char* arg);
CString HtmlGoogleAdvertising(const char* channel, int width, int kind);
CString HtmlAmazonAdvertising(const char* key);
