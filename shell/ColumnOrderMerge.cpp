// After the user dragged header items: the stored column order and widths from the header.
#include "ColumnChooser.h"

#include <commctrl.h>

#include "GlobalSettings.h"
#include "JobList.h"
#include "ShellState.h"

namespace {

bool IsColumnId(int id)
{
    return id >= 0 && id < kJobColumnCount;
}

// Each id at most once and none outside 0-21.
bool AreDistinctIds(const int *ids, int count, bool *seen)
{
    for (int i = 0; i < count; ++i) {
        if (!IsColumnId(ids[i]) || seen[ids[i]])
            return false;
        seen[ids[i]] = true;
    }
    return true;
}

int InsertedIndexOf(int id)
{
    for (int i = 0; i < kJobColumnCount; ++i)
        if (insertedColumnOrder[i] == id)
            return i;
    return kJobColumnCount;
}

}  // namespace

void MergeColumnOrderAfterDrag()
{
    if (jobListWindow == nullptr)
        return;
    HWND header = (HWND)SendMessageA(jobListWindow, LVM_GETHEADER, 0, 0);
    int shownCount = 0;
    for (int id = 0; id < kJobColumnCount; ++id)
        if (GetInsertedPositionOf(id) >= 0)
            ++shownCount;
    if (header == nullptr || (int)SendMessageA(header, HDM_GETITEMCOUNT, 0, 0) != shownCount)
        return;
    int display[kJobColumnCount];
    if (shownCount > 0 && !SendMessageA(jobListWindow, LVM_GETCOLUMNORDERARRAY, (WPARAM)shownCount, (LPARAM)display))
        return;

    int hidden[kJobColumnCount];
    int hiddenCount = 0;
    for (int i = 0; i < kJobColumnCount; ++i)
        if (GetInsertedPositionOf(insertedColumnOrder[i]) < 0)
            hidden[hiddenCount++] = insertedColumnOrder[i];
    int visible[kJobColumnCount];
    for (int p = 0; p < shownCount; ++p)
        visible[p] = GetInsertedColumnAt(display[p]);
    bool seen[kJobColumnCount] = {};
    if (!AreDistinctIds(hidden, hiddenCount, seen) || !AreDistinctIds(visible, shownCount, seen))
        return;

    int merged[kJobColumnCount];
    int h = 0, v = 0;
    for (int position = 0; position < kJobColumnCount; ++position) {
        if (v >= shownCount && h < hiddenCount)
            merged[position] = hidden[h++];
        else if (h >= hiddenCount && v < shownCount)
            merged[position] = visible[v++];
        else if (h < hiddenCount && InsertedIndexOf(hidden[h]) < InsertedIndexOf(visible[v]))
            merged[position] = hidden[h++];
        else if (v < shownCount)
            merged[position] = visible[v++];
        else
            return;
    }
    bool mergedSeen[kJobColumnCount] = {};
    if (!AreDistinctIds(merged, kJobColumnCount, mergedSeen))
        return;
    CopyMemory(gSettings.columnOrder, merged, sizeof(merged));

    for (int k = 0; k < shownCount; ++k) {
        int id = GetInsertedColumnAt(k);
        if (!IsColumnId(id))
            continue;
        int width = (int)SendMessageA(jobListWindow, LVM_GETCOLUMNWIDTH, (WPARAM)k, 0);
        gSettings.columnWidth[id] = width == 0 ? -1 : width;
    }
}
