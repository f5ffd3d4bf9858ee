#include "inet/fetch/KvDownload.h"

#include "base/containers/KvGenBuffer.h"
#include "inet/fetch/KvFetch.h"
#include "inet/fetch/KvFetchSettings.h"
#include "inet/http/KvHttpResponse.h"

namespace {

constexpr char kAccept[] =
    "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/vnd.ms-powerpoint, "
    "application/vnd.ms-excel, application/msword, */*";

int Download(const char* url, KvGenBuffer& out, int viaLocalProxy, const char* referer, KvDownloadOutcome& outcome) {
    KvFetchRequest request;
    request.url = url ? url : "";
    request.viaLocalProxy = viaLocalProxy != 0;
    // The sites download what their members typed.
    request.outsideOnly = true;
    request.headers = {{"Referer", referer && *referer ? CString(referer) : request.url},
                       {"Connection", "close"},
                       {"Accept", kAccept},
                       {"Accept-Language", "en-us"}};
    CString agent = KvGetFetchSettings().userAgent;
    if (!agent.IsEmpty()) request.headers.emplace_back("User-Agent", agent);
    KvHttpResponse response;
    if (!KvFetch(request, response, outcome.error, &outcome.finalUrl)) return FALSE;
    outcome.status = response.m_nStatus;
    out.Attach(response.m_bufBody);
    return TRUE;
}

}  // namespace

int DownloadToBuffer(const char* url, KvGenBuffer& out, int viaLocalProxy, const char* referer) {
    KvDownloadOutcome outcome;
    return Download(url, out, viaLocalProxy, referer, outcome);
}

int KvDownloadToString(const char* url, CString& out, int viaLocalProxy, const char* referer,
                       KvDownloadOutcome& outcome) {
    KvGenBuffer body(4096);
    if (!Download(url, body, viaLocalProxy, referer, outcome)) return FALSE;
    out = CString(std::string_view(body.GetData(), body.GetCount()));
    return TRUE;
}

int DownloadToString(const char* url, CString& out, int viaLocalProxy, const char* referer) {
    KvDownloadOutcome outcome;
    return KvDownloadToString(url, out, viaLocalProxy, referer, outcome);
}
