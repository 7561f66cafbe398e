// libcurl's protocol trace of the secure uploads, written into their log as libcurl writes it
// itself ("* " for its remarks, "< " for what the server said, "> " for what was sent), with
// the credentials left out: the log stays in the data folder after the run.
#pragma once
#include <stdio.h>

#include <curl/curl.h>

#include "CredentialMask.h"

struct CurlTrace {
    FILE *log = nullptr;            // NULL: the trace is only watched, not written
    bool sshLoginAccepted = false;  // the SSH server took our login; the caller clears it
    CredentialMask credentials;
};

// CURLOPT_DEBUGFUNCTION; data is a CurlTrace. libcurl calls it only with CURLOPT_VERBOSE on.
// libcurl's remark "Authentication complete" is the one sign it gives that an SSH server
// proved its host key and accepted the login, before anything of the transfer happens.
int WriteCurlTrace(CURL *curl, curl_infotype type, char *data, size_t size, void *trace);
