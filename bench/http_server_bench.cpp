// HTTP server benchmark target: a KvSocketServer whose request threads
// read each request with KvHttpRequest and answer "hello" with a completed
// KvHttpResponse. Kept-alive connections are served until the client
// closes them. Runs until SIGINT or SIGTERM; drive it with
// http_server_bench.sh (wrk).
//
//   http_server_bench <port> [--close]    --close: one request per connection
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/str/StrFunc.h"
#include "inet/http/KvHttpRequest.h"
#include "inet/http/KvHttpResponse.h"
#include "inet/server/KvSocketRequest.h"
#include "inet/server/KvSocketServer.h"

namespace {

bool g_close = false;

class HelloRequest : public KvSocketRequest {
    DECLARE_DYNCREATE(HelloRequest)
public:
    ~HelloRequest() override { Kill(); }

protected:
    BOOL DispatchRequest() override {
        m_request.Reset();
        int head = m_request.ReceiveHeader(&m_comClient);
        if (head <= 0) {
            if (head == KV_HTTP_BAD_HEADER) Answer("400 Bad Request", false);
            m_comClient.Disconnect(0);
            return FALSE;
        }
        bool keep = !g_close && WantsKeepAlive();
        Answer("200 OK", keep);
        if (!keep) m_comClient.Disconnect(0);
        return TRUE;
    }

private:
    // HTTP/1.1 keeps the connection unless told otherwise; HTTP/1.0 only
    // when asked.
    bool WantsKeepAlive() const {
        const char* connection = m_request.GetHeaderValue("Connection");
        if (StrICompare(m_request.m_strVersion, "HTTP/1.1") == 0) {
            return !connection || StrICompare(connection, "close") != 0;
        }
        return connection && StrICompare(connection, "keep-alive") == 0;
    }

    void Answer(const char* status, bool keep) {
        m_response.Reset();
        m_response.m_strStatus = status;
        m_response.m_bufBody.PutString("hello", 5);
        m_response.SetHeaderValue("Content-Type", "text/plain");
        m_response.Finish();
        m_response.SetKvProxyAsServer();
        m_response.SetHeaderValue("Connection", keep ? "keep-alive" : "close");
        m_response.Send(&m_comClient);
    }

    KvHttpRequest m_request;
    KvHttpResponse m_response;
};
IMPLEMENT_DYNCREATE(HelloRequest, KvSocketRequest)

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <port> [--close]\n", argv[0]);
        return 2;
    }
    int port = std::atoi(argv[1]);
    g_close = argc > 2 && std::strcmp(argv[2], "--close") == 0;

    // Wait for the stop signals synchronously; every thread inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    auto* server = new KvSocketServer;
    server->SetListenAddress("127.0.0.1");
    server->SetPort((short)port);
    server->SetRTRequest(RUNTIME_CLASS(HelloRequest));
    server->SetRequestKeepAlive(TRUE);
    server->SetRecTimeOut(30000);
    server->SetRequestTimeAlive(30000);
    if (!server->Create(INFINITE)) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1:%d\n", port);
        delete server;
        return 1;
    }
    server->Run();
    std::printf("serving on 127.0.0.1:%u%s\n", server->GetBoundPort(), g_close ? " (close)" : "");
    std::fflush(stdout);

    int sig = 0;
    sigwait(&stopSignals, &sig);
    server->Kill();
    delete server;
    return 0;
}
