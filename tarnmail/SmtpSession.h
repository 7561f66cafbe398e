// One SMTP submission of a request block through libcurl.
#pragma once
#include "SendMailRequest.h"

// The codes send_mail returns. 1, 2, 3 and 17 are final: trying again cannot help.
enum SendMailCode : int32_t {
    SendMailSent = 0,
    SendMailBadRequest = 1,
    SendMailCannotStart = 2,
    SendMailLoginDenied = 3,
    SendMailCannotConnect = 4,
    SendMailTimedOut = 5,
    SendMailSecureFailed = 6,
    SendMailTransferFailed = 7,
    SendMailRefused = 17,
};

int32_t SendRequestedMail(SendMailRequest *request);
