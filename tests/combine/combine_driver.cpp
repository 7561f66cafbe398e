// Joins the split archive whose first part is named on the command line, the way the dialog's
// thread does, and prints the end message; the exit code is the CombineResult. Used by the
// end-to-end tests, which check the joined archive with Linux readers.
#include <windows.h>
#include <string.h>

#include "CombineSplitZip.h"
#include "MsvcrtFormat.h"

int main(int argc, char **argv)
{
    if (argc != 2) {
        WriteText(stderr, "usage: combine_driver FIRST_PART\n");
        return 100;
    }
    lstrcpynA(combineJob.firstPart, argv[1], sizeof combineJob.firstPart);
    combineJob.running = 1;
    combineJob.result = CombineCancelled;
    CombineSplitZipThread(&combineJob);
    char message[kCombineMessageSize];
    FormatCombineResultMessage(&combineJob, message, sizeof message);
    WriteText(stdout, "%s\n", message);
    return combineJob.result;
}
