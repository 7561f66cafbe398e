#include "RemoteJobSteps.h"

#include "ErrorReport.h"
#include "FtpCall.h"
#include "FtpUpload.h"
#include "JobResultMail.h"
#include "MailVolumes.h"
#include "RemoteSteps.h"

namespace {

struct LibrarySteps : RemoteSteps {
    int UploadVolumesByFtp(FILE *log, JobContext *context) override { return ::UploadVolumesByFtp(log, context); }
    int SendVolumesByMail(FILE *log, JobContext *context) override { return ::SendVolumesByMail(log, context); }
    int IsResultMailDue(const BackupConfig *config) override { return ::IsResultMailDue(config); }
    int SendJobResultMail(FILE *log, BackupConfig *config) override { return ::SendJobResultMail(log, config); }
};

LibrarySteps librarySteps;

}  // namespace

void InstallRemoteJobSteps()
{
    SetRemoteSteps(&librarySteps);
    // Plain FTP waits for its replies on worker threads: the error reports read them there.
    SetServerReplySource(ReadServerReply);
}
