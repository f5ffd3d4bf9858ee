#include "inet/fetch/KvTlsContext.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <sys/stat.h>

#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace {

std::mutex g_lock;

SSL_CTX* MakeContext(const std::string& caFile, CString& error) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) {
        error = "unable to create a TLS context";
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_default_verify_paths(ctx);
    if (!caFile.empty() && SSL_CTX_load_verify_locations(ctx, caFile.c_str(), nullptr) != 1) {
        ERR_clear_error();
        error.Format("unable to read the trusted certificates in %s", caFile.c_str());
        SSL_CTX_free(ctx);
        return nullptr;
    }
    // Partial chains ending at a certificate trusted directly (a test or
    // intranet server's own certificate in the CA file) are accepted.
    X509_VERIFY_PARAM_set_flags(SSL_CTX_get0_param(ctx), X509_V_FLAG_PARTIAL_CHAIN);
    return ctx;
}

}  // namespace

SSL_CTX* KvTlsClientContext(const char* caFile, CString& error) {
    std::string path = caFile ? caFile : "";
    // The file's identity: an edited or replaced file makes a new context.
    std::string stamp;
    struct stat st {};
    if (!path.empty() && ::stat(path.c_str(), &st) == 0) {
        stamp = std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" +
                std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    }
    std::lock_guard<std::mutex> hold(g_lock);
    // path -> stamp, context; never destroyed, as connections may outlive
    // static destruction at exit.
    static auto& contexts = *new std::map<std::string, std::pair<std::string, SSL_CTX*>>;
    auto it = contexts.find(path);
    if (it != contexts.end() && it->second.first == stamp) {
        SSL_CTX_up_ref(it->second.second);
        return it->second.second;
    }
    SSL_CTX* ctx = MakeContext(path, error);
    if (!ctx) return nullptr;
    if (it != contexts.end()) SSL_CTX_free(it->second.second);  // connections hold their own references
    contexts[path] = {stamp, ctx};
    SSL_CTX_up_ref(ctx);
    return ctx;
}
