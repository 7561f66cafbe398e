#include "CertificateCheck.h"

#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace {

// OpenSSL's verify callback: notes a refused link of the chain and keeps OpenSSL's verdict.
int NoteChainVerdict(int preverified, X509_STORE_CTX *store)
{
    if (preverified)
        return preverified;
    SSL *ssl = static_cast<SSL *>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    if (ssl != nullptr) {
        CertificateCheck *check = static_cast<CertificateCheck *>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
        if (check != nullptr)
            check->chainRefused = 1;
    }
    return preverified;
}

}  // namespace

CURLcode WatchCertificateChain(CURL *, void *sslContext, void *data)
{
    // libcurl leaves the context's application data alone; the verify mode stays its own.
    SSL_CTX *context = static_cast<SSL_CTX *>(sslContext);
    SSL_CTX_set_app_data(context, data);
    SSL_CTX_set_verify(context, SSL_CTX_get_verify_mode(context), NoteChainVerdict);
    return CURLE_OK;
}
