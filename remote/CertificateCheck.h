// What refused an FTPS server's certificate. libcurl gives an untrusted certificate and a
// certificate made out for another name the same code, so the verdict on the chain is taken
// from OpenSSL itself while libcurl connects: the failure line can then name the option that
// really refused the server.
#pragma once
#include <curl/curl.h>

struct CertificateCheck {
    int chainRefused;  // a connection of the transfer found the certificate chain untrusted
};

// CURLOPT_SSL_CTX_FUNCTION: watches the chain verification of each TLS connection without
// changing its outcome; data is a CertificateCheck.
CURLcode WatchCertificateChain(CURL *curl, void *sslContext, void *data);
