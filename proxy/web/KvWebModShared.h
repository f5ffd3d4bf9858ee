// What the site engine's management modules share: their checks and
// limits.
#pragma once

#include "base/platform/CString.h"
#include "proxy/web/KvWebObjectEx.h"

namespace kvmod {

// The largest file an upload may store.
inline constexpr long long kMaxUploadBytes = 102400000;

// The module's "op", lower-cased; `fallback` when none is given.
CString GetOp(KvWebObjectEx& site, const char* fallback = "show");

// Whether a change may go ahead: the caller has checked the member's
// level; here the request must carry the session's form token, come from
// a page of this site, and, for an operation that a form posts
// (`formPost`), be a POST.
bool MayChange(KvWebObjectEx& site, bool formPost);

// The form's text of an HTML field: its editor variant ("<name>_editor")
// when that was sent, else the field itself.
CString GetHtmlField(KvWebObjectEx& site, const char* name);

}  // namespace kvmod
