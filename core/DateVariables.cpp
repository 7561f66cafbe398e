#include "DateVariables.h"

#include <string.h>

#include "BackupConfig.h"
#include "Calendar.h"
#include "Clock.h"
#include "MsvcrtFormat.h"
#include "ResourceText.h"
#include "TextHelpers.h"
#include "resource.h"

void FormatDateVariable(const BackupConfig *config, int kind, const SYSTEMTIME *t, char *out64)
{
    static const char *const weekdays[] = {"SU", "MO", "TU", "WE", "TH", "FR"};
    static const char *const months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                         "JUL", "AUG", "SEP", "OCT", "NOV"};
    const size_t size = 64;
    out64[0] = '\0';
    switch (kind) {
    case DateVarHour:
        FormatText(out64, size, "H%02d", t->wHour);
        break;
    case DateVarDayWeek:
        FormatText(out64, size, "%s", t->wDayOfWeek <= 5 ? weekdays[t->wDayOfWeek] : "SA");
        break;
    case DateVarDayMonth:
        FormatText(out64, size, "DM%02d", t->wDay);
        break;
    case DateVarDayYear:
        FormatText(out64, size, "DY%03d", GetDayOfYear(t->wMonth, t->wDay, t->wYear));
        break;
    case DateVarWeekMonth:
        FormatText(out64, size, "WM%02d", GetWeekNumber(t->wDay, GetWeekdayOfFirstDay(t->wMonth, t->wYear)));
        break;
    case DateVarWeekYear:
        FormatText(out64, size, "WY%02d",
                   GetWeekNumber(GetDayOfYear(t->wMonth, t->wDay, t->wYear), GetWeekdayOfFirstDay(1, t->wYear)));
        break;
    case DateVarMonth:
        FormatText(out64, size, "%s", (t->wMonth >= 1 && t->wMonth <= 11) ? months[t->wMonth - 1] : "DEC");
        break;
    case DateVarYear:
        FormatText(out64, size, "%d", t->wYear);
        break;
    case DateVarDate:
        FormatText(out64, size, "%02d-%02d-%d", t->wMonth, t->wDay, t->wYear);
        break;
    case DateVarTime:
        FormatText(out64, size, "%02d_%02d", t->wHour, t->wMinute);
        break;
    case DateVarDateTime:
        FormatText(out64, size, "%02d-%02d-%d %02d_%02d", t->wMonth, t->wDay, t->wYear, t->wHour, t->wMinute);
        break;
    case DateVarUnique:
        FormatText(out64, size, "%d_%d", config->uniqueId, config->runCount);
        break;
    default:
        break;
    }
}

int ExpandDateVariables(const BackupConfig *config, char *text)
{
    SYSTEMTIME now;
    GetLocalNow(&now);
    for (int kind = 0; kind < DateVarKindCount; ++kind) {
        char name[50];
        char token[64];
        LoadResourceText(IDS_DATEVAR_HOUR + kind, name, sizeof(name));
        if (name[0] == '\0')
            continue;
        FormatText(token, sizeof(token), "[[%s]]", name);
        size_t tokenLength = strlen(token);
        char *found = FindNoCase(text, token);
        while (found != nullptr) {
            char value[64];
            FormatDateVariable(config, kind, &now, value);
            size_t valueLength = strlen(value);
            memmove(found, found + tokenLength, strlen(found + tokenLength) + 1);
            if (strlen(text) + valueLength >= (size_t)kDateVariableTextSize)
                return 0;
            memmove(found + valueLength, found, strlen(found) + 1);
            memcpy(found, value, valueLength);
            found = FindNoCase(found + valueLength, token);
        }
    }
    return 1;
}
