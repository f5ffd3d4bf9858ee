// KvProxyRequest: a body the browser holds back until it is asked for it
// ("Expect: 100-continue").
//
// The origin decides whether it wants the body: the expectation goes on
// with the head, the origin's "100 Continue" (and any other interim answer)
// goes back to the browser, and the body follows. A final answer that comes
// first (a refusal such as 401 or 417) is the answer, and the body is never
// sent. An origin that says nothing for a second (an HTTP/1.0 server, which
// knows no interim answers and simply waits for the body) gets the body all
// the same, after the proxy has said "100 Continue" itself.
#include "inet/net/KvComObject.h"
#include "inet/net/KvSocketWait.h"
#include "proxy/core/KvProxyRequest.h"
#include "proxy/core/KvProxyText.h"

namespace {

const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";

// The origin sent something (or ended the connection) within `ms`.
bool OriginSpeaksWithin(KvComObject& remote, int64_t ms) {
    if (ms <= 0) return false;
    return remote.DataWaiting((int)ms) != 0 || !remote.IsValid();
}

}  // namespace

KvProxyRequest::OriginWord KvProxyRequest::AwaitOriginContinue() {
    const int64_t deadline = KvDeadlineAfter(kContinueWaitMs);
    for (int i = 0; i < kMaxInterimAnswers; ++i) {
        if (!OriginSpeaksWithin(m_comRemote, deadline - KvNowMs())) {
            m_comClient.Send(kContinue, (int)sizeof kContinue - 1);
            return OriginWord::SendBody;
        }
        if (ReadOriginHead() <= 0) return OriginWord::Failed;
        const int status = m_response.m_nStatus;
        if (status < 100 || status >= 200 || status == 101) return OriginWord::Answered;
        PassInterimAnswer();
        if (status == 100) return OriginWord::SendBody;
    }
    return OriginWord::Failed;
}

int KvProxyRequest::ReadHeldBackBody() {
    if (!m_bAwaitContinue) return 1;
    // The answer is made here, so the expectation is met here.
    m_bAwaitContinue = 0;
    KvRemoveHeaderAnyCase(m_request, "Expect");
    m_comClient.Send(kContinue, (int)sizeof kContinue - 1);
    return ReadPlannedBody();
}
