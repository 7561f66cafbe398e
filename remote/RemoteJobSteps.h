// The remote library's side of the engine's RemoteSteps: FTP, SFTP and FTPS uploads, the
// e-mailed volumes and the job-result e-mail.
#pragma once

void InstallRemoteJobSteps();
