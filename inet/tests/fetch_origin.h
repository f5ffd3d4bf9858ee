// A small origin (and proxy) for the download tests: plain or TLS, one
// connection at a time, each handled by the test's own function. The
// certificate is made here with OpenSSL, for "origin.test" and 127.0.0.1.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fetchtest {

// A self-signed certificate and its key, as PEM.
struct TestCert {
    std::string certPem, keyPem;
};

inline TestCert MakeCert() {
    EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
    X509* x = X509_new();
    X509_set_version(x, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x), 1);
    X509_gmtime_adj(X509_getm_notBefore(x), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x), 86400);
    X509_set_pubkey(x, key);
    X509_NAME* name = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, (const unsigned char*)"origin.test", -1, -1, 0);
    X509_set_issuer_name(x, name);
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, x, x, nullptr, nullptr, 0);
    X509_EXTENSION* san = X509V3_EXT_conf_nid(nullptr, &ctx, NID_subject_alt_name, "DNS:origin.test,IP:127.0.0.1");
    X509_add_ext(x, san, -1);
    X509_EXTENSION_free(san);
    X509_sign(x, key, EVP_sha256());
    TestCert out;
    BIO* b = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(b, x);
    char* data;
    long n = BIO_get_mem_data(b, &data);
    out.certPem.assign(data, (size_t)n);
    BIO_free(b);
    b = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(b, key, nullptr, nullptr, 0, nullptr, nullptr);
    n = BIO_get_mem_data(b, &data);
    out.keyPem.assign(data, (size_t)n);
    BIO_free(b);
    X509_free(x);
    EVP_PKEY_free(key);
    return out;
}

inline SSL_CTX* MakeServerContext(const TestCert& cert) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    BIO* b = BIO_new_mem_buf(cert.certPem.data(), (int)cert.certPem.size());
    X509* x = PEM_read_bio_X509(b, nullptr, nullptr, nullptr);
    BIO_free(b);
    b = BIO_new_mem_buf(cert.keyPem.data(), (int)cert.keyPem.size());
    EVP_PKEY* key = PEM_read_bio_PrivateKey(b, nullptr, nullptr, nullptr);
    BIO_free(b);
    SSL_CTX_use_certificate(ctx, x);
    SSL_CTX_use_PrivateKey(ctx, key);
    X509_free(x);
    EVP_PKEY_free(key);
    return ctx;
}

// One accepted connection, as the handler sees it.
struct Conn {
    int fd = -1;
    SSL* ssl = nullptr;
    int stopFd = -1;

    bool Write(const std::string& data) {
        size_t done = 0;
        while (done < data.size()) {
            int n = ssl ? SSL_write(ssl, data.data() + done, (int)(data.size() - done))
                        : (int)::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return false;
            done += (size_t)n;
        }
        return true;
    }
    int Read(char* buf, int size) {
        return ssl ? SSL_read(ssl, buf, size) : (int)::recv(fd, buf, (size_t)size, 0);
    }
    // Blocks until the client goes away or the origin stops (a stalled origin).
    void HoldUntilClosed() {
        pollfd p[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        char scratch[4096];
        while (::poll(p, 2, -1) > 0 && !(p[1].revents & POLLIN)) {
            if (::recv(fd, scratch, sizeof scratch, 0) <= 0) return;
        }
    }
};

// Accepts on 127.0.0.1 (any free port); for each connection reads the
// request head and hands it to the handler. Heads are recorded.
class TestOrigin {
public:
    using Handler = std::function<void(Conn&, const std::string& head)>;

    explicit TestOrigin(Handler handler, SSL_CTX* tls = nullptr) : m_handler(std::move(handler)), m_tls(tls) {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listen, (sockaddr*)&a, sizeof a);
        ::listen(m_listen, 16);
        socklen_t len = sizeof a;
        ::getsockname(m_listen, (sockaddr*)&a, &len);
        m_port = ntohs(a.sin_port);
        m_stop = ::eventfd(0, EFD_CLOEXEC);
        m_thread = std::thread([this] { Serve(); });
    }
    ~TestOrigin() {
        uint64_t one = 1;
        (void)!::write(m_stop, &one, sizeof one);
        m_thread.join();
        ::close(m_listen);
        ::close(m_stop);
    }
    int Port() const { return m_port; }
    std::vector<std::string> Heads() {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_heads;
    }
    int Connections() const { return m_connections.load(); }

private:
    void Serve() {
        for (;;) {
            pollfd p[2] = {{m_listen, POLLIN, 0}, {m_stop, POLLIN, 0}};
            if (::poll(p, 2, -1) <= 0 || (p[1].revents & POLLIN)) return;
            int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            ++m_connections;
            Conn conn{fd, nullptr, m_stop};
            if (m_tls) {
                conn.ssl = SSL_new(m_tls);
                SSL_set_fd(conn.ssl, fd);
                if (SSL_accept(conn.ssl) != 1) {
                    SSL_free(conn.ssl);
                    ::close(fd);
                    continue;
                }
            }
            std::string head;
            char ch;
            while (head.find("\r\n\r\n") == std::string::npos && conn.Read(&ch, 1) == 1) head.push_back(ch);
            {
                std::lock_guard<std::mutex> hold(m_lock);
                m_heads.push_back(head);
            }
            m_handler(conn, head);
            if (conn.ssl) {
                SSL_shutdown(conn.ssl);
                SSL_free(conn.ssl);
            }
            ::close(fd);
        }
    }

    Handler m_handler;
    SSL_CTX* m_tls;
    int m_listen = -1, m_stop = -1, m_port = 0;
    std::atomic<int> m_connections{0};
    std::mutex m_lock;
    std::vector<std::string> m_heads;
    std::thread m_thread;
};

// Relays both directions between two sockets until either side closes.
inline void Relay(int a, int b, int stopFd) {
    char buf[16384];
    for (;;) {
        pollfd p[3] = {{a, POLLIN, 0}, {b, POLLIN, 0}, {stopFd, POLLIN, 0}};
        if (::poll(p, 3, -1) <= 0 || (p[2].revents & POLLIN)) return;
        for (int i = 0; i < 2; ++i) {
            if (!p[i].revents) continue;
            ssize_t n = ::recv(i == 0 ? a : b, buf, sizeof buf, 0);
            if (n <= 0 || ::send(i == 0 ? b : a, buf, (size_t)n, MSG_NOSIGNAL) != n) return;
        }
    }
}

inline int ConnectLoopback(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons((uint16_t)port);
    if (::connect(fd, (sockaddr*)&a, sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace fetchtest
