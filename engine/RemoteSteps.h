// The job's off-site steps and its result e-mail, which the remote library carries out. The
// engine owns this interface so that it never links the remote library; the program installs
// the remote library's steps at start-up. Without them a job that asks for an upload or an
// e-mail logs that the step failed, and no result e-mail is due.
#pragma once
#include <stdio.h>

#include "BackupConfig.h"
#include "JobContext.h"

struct RemoteSteps {
    virtual ~RemoteSteps() = default;
    // 1 when every volume is on the server (or nothing had to be sent); 0 after a failure.
    virtual int UploadVolumesByFtp(FILE * /*log*/, JobContext * /*context*/) { return 0; }
    // 1 when every volume was sent or nothing had to be sent; 0 on a failure or a stop.
    virtual int SendVolumesByMail(FILE * /*log*/, JobContext * /*context*/) { return 0; }
    virtual int IsResultMailDue(const BackupConfig * /*config*/) { return 0; }
    // 1 when the e-mail was sent. The job's result stays as it is either way.
    virtual int SendJobResultMail(FILE * /*log*/, BackupConfig * /*config*/) { return 0; }
};

// NULL puts the default steps back.
void SetRemoteSteps(RemoteSteps *steps);
RemoteSteps &CurrentRemoteSteps();
