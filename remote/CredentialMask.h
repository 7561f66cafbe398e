// Protocol dialogues written to a log without the secrets in them. Whatever a client sends to
// log in (FTP's PASS and ACCT, the data of an SMTP AUTH and the answers to the server's 334
// prompts, HTTP authorization headers) is replaced by "(credentials not logged)"; everything
// else stays as it was. Shared by the program's secure uploads and the SMTP library.
#pragma once
#include <string>

class CredentialMask {
public:
    // The line as it may be logged; fromServer says which side sent it.
    std::string Mask(bool fromServer, const std::string &line);

private:
    bool answeringPrompt = false;  // the server asked for the next piece of a login
};
