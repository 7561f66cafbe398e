#include "LaterSteps.h"

#include <string.h>

// The backup goes to the configured destination, not to a disc.
int PrepareDiscDestination(JobContext *context, FILE *)
{
    strncpy(context->destination, context->config->destination, sizeof(context->destination) - 1);
    context->destination[sizeof(context->destination) - 1] = '\0';
    context->burnToDisc = 0;
    context->spanDiscs = 0;
    return 1;
}

int UploadVolumesByFtp(FILE *, JobContext *)
{
    return 1;
}

int BurnSpanningDiscs(JobContext *, FILE *)
{
    return 1;
}

int BurnStagingArea(FILE *)
{
    return 1;
}

