// The job's off-site steps and result e-mail as the engine calls them: after the archive, through
// the installed remote steps, whose failure warns; without any installed, an upload or an e-mail
// the job asks for is reported as failed, never as done.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ConfigTable.h"
#include "JobContext.h"
#include "JobTestSupport.h"
#include "RemoteSteps.h"
#include "ZipStep.h"

namespace {

const char kFtpWarning[] = "WARNING(1C): Uploading compressed backup via FTP failed";
const char kMailWarning[] = "WARNING(1D): Emailing compressed backup failed";

struct RecordingSteps : RemoteSteps {
    int answer = 1;
    int due = 0;
    std::vector<std::string> calls;
    int UploadVolumesByFtp(FILE *, JobContext *context) override { return Record("ftp", context); }
    int SendVolumesByMail(FILE *, JobContext *context) override { return Record("mail", context); }
    int IsResultMailDue(const BackupConfig *) override
    {
        calls.push_back("due?");
        return due;
    }
    int SendJobResultMail(FILE *, BackupConfig *) override
    {
        calls.push_back("result mail");
        return 1;
    }
    int Record(const char *step, JobContext *context)
    {
        // The step comes after the archive was made.
        calls.push_back(std::string(step) + (context->zipOutputCount > 0 ? " with volumes" : " without volumes"));
        return answer;
    }
};

class RemoteStepsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetCompressionLibraryFolder(BinFolder().c_str());
        source = env.work.path + "src\\";
        MakeFolder(Widen(source));
        WriteTextFile(Widen(source + "a.txt"), "alpha");
    }
    void TearDown() override
    {
        SetRemoteSteps(nullptr);
        SetCompressionLibraryFolder(nullptr);
    }
    int RunJob(uint32_t flags)
    {
        int index = env.AddConfig("Job A", env.work.path + "dest\\", {source}, Compressed | Enabled | flags);
        lstrcpynA(env.Config(index)->compressedFileName, "Backup.zip", 260);
        int result = env.RunJob(index);
        lines = env.LogLines(index);
        return result;
    }

    JobTestEnvironment env;
    std::string source;
    std::vector<std::string> lines;
};

TEST_F(RemoteStepsTest, WithoutInstalledStepsTheAskedForStepsFail)
{
    EXPECT_EQ(RunJob(RemoteFtp | RemoteEmail), 3);
    EXPECT_TRUE(HasLine(lines, kFtpWarning));
    EXPECT_TRUE(HasLine(lines, kMailWarning));
}

TEST_F(RemoteStepsTest, InstalledStepsRunAfterTheArchiveAndTheirAnswerCounts)
{
    struct Case {
        uint32_t flags;
        int answer, due;
        int result;
        std::vector<std::string> calls;
        bool ftpWarning, mailWarning;
    } cases[] = {
        {0, 1, 0, 1, {"due?"}, false, false},
        {RemoteFtp | RemoteEmail, 1, 0, 1, {"ftp with volumes", "mail with volumes", "due?"}, false, false},
        {RemoteFtp, 0, 0, 3, {"ftp with volumes", "due?"}, true, false},
        {RemoteEmail, 0, 1, 3, {"mail with volumes", "due?", "result mail"}, false, true},
    };
    for (const Case &c : cases) {
        RecordingSteps steps;
        steps.answer = c.answer;
        steps.due = c.due;
        SetRemoteSteps(&steps);
        EXPECT_EQ(RunJob(c.flags), c.result) << c.flags;
        SetRemoteSteps(nullptr);
        EXPECT_EQ(steps.calls, c.calls) << c.flags;
        EXPECT_EQ(HasLine(lines, kFtpWarning), c.ftpWarning) << c.flags;
        EXPECT_EQ(HasLine(lines, kMailWarning), c.mailWarning) << c.flags;
    }
}

}  // namespace
