// The drawn icons and toolbar strips: every size the program loads is stored as such, and the
// strips have one square image per button over a mask that covers each of them.
#include <windows.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "resource.h"

namespace {

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
struct GroupIconHeader {
    WORD reserved, type, count;
    GroupIconEntry entries[1];
};
#pragma pack(pop)

// The sizes (256 is stored as 0) and bit depths of an icon group.
std::set<std::pair<int, int>> StoredIconSizes(UINT id)
{
    std::set<std::pair<int, int>> sizes;
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), (LPCSTR)RT_GROUP_ICON);
    if (found == nullptr)
        return sizes;
    const GroupIconHeader *group = (const GroupIconHeader *)LockResource(LoadResource(module, found));
    for (int i = 0; i < group->count; ++i) {
        const GroupIconEntry &entry = group->entries[i];
        EXPECT_EQ(entry.width, entry.height) << "icon " << id;
        sizes.insert({entry.width == 0 ? 256 : entry.width, entry.bitCount});
    }
    return sizes;
}

int IconWidth(HICON icon)
{
    ICONINFO info;
    if (icon == nullptr || !GetIconInfo(icon, &info))
        return -1;
    BITMAP bitmap;
    GetObjectA(info.hbmMask, sizeof(bitmap), &bitmap);
    DeleteObject(info.hbmMask);
    if (info.hbmColor != nullptr)
        DeleteObject(info.hbmColor);
    return bitmap.bmWidth;
}

}  // namespace

TEST(DrawnIcons, EveryIconHoldsEachOfItsSizesIn32BitColour)
{
    const struct {
        UINT id;
        std::set<int> sizes;
    } icons[] = {
        {IDI_VELLORAN, {16, 20, 24, 32, 40, 48, 64, 256}},
        {IDI_RUNNING, {16, 20, 24, 32, 40, 48, 64, 256}},
        {IDI_CONFIG_ENABLED, {16, 24, 32}},
        {IDI_CONFIG_DISABLED, {16, 24, 32}},
        {IDI_CHOOSER_UNCHECKED, {16, 24, 32}},
        {IDI_CHOOSER_CHECKED, {16, 24, 32}},
        {IDI_HEADER_IMAGE1, {8, 16}},
        {IDI_HEADER_IMAGE2, {8, 16}},
    };
    for (const auto &icon : icons) {
        std::set<std::pair<int, int>> stored = StoredIconSizes(icon.id);
        std::set<std::pair<int, int>> expected;
        for (int size : icon.sizes)
            expected.insert({size, 32});
        EXPECT_EQ(stored, expected) << "icon " << icon.id;
        for (int size : icon.sizes) {
            HICON loaded = (HICON)LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(icon.id), IMAGE_ICON, size,
                                             size, 0);
            EXPECT_EQ(IconWidth(loaded), size) << "icon " << icon.id << " at " << size;
            if (loaded != nullptr)
                DestroyIcon(loaded);
        }
    }
}

TEST(DrawnToolbarStrips, EachSizeHasEightSquareImagesAndAMaskCoveringEach)
{
    const struct {
        int size;
        UINT normal, mask, disabled;
    } rows[] = {
        {16, IDB_TOOLBAR16, IDB_TOOLBAR16_MASK, IDB_TOOLBAR16_DISABLED},
        {20, IDB_TOOLBAR20, IDB_TOOLBAR20_MASK, IDB_TOOLBAR20_DISABLED},
        {24, IDB_TOOLBAR24, IDB_TOOLBAR24_MASK, IDB_TOOLBAR24_DISABLED},
        {32, IDB_TOOLBAR32, IDB_TOOLBAR32_MASK, IDB_TOOLBAR32_DISABLED},
    };
    HMODULE module = GetModuleHandleA(nullptr);
    for (const auto &row : rows) {
        for (UINT id : {row.normal, row.disabled, row.mask}) {
            HBITMAP bitmap = (HBITMAP)LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
            ASSERT_NE(bitmap, nullptr) << "bitmap " << id;
            BITMAP info;
            GetObjectA(bitmap, sizeof(info), &info);
            EXPECT_EQ(info.bmWidth, 8 * row.size) << "bitmap " << id;
            EXPECT_EQ(info.bmHeight, row.size) << "bitmap " << id;
            EXPECT_EQ(info.bmBitsPixel, id == row.mask ? 1 : 24) << "bitmap " << id;
            if (id == row.mask) {
                // Black = image. Every image has a solid body and a transparent surround.
                HDC dc = CreateCompatibleDC(nullptr);
                HGDIOBJ previous = SelectObject(dc, bitmap);
                for (int image = 0; image < 8; ++image) {
                    int opaque = 0;
                    for (int y = 0; y < row.size; ++y)
                        for (int x = 0; x < row.size; ++x)
                            opaque += GetPixel(dc, image * row.size + x, y) == RGB(0, 0, 0);
                    EXPECT_GT(opaque, row.size * row.size / 5) << "image " << image << " at " << row.size;
                    EXPECT_LT(opaque, row.size * row.size) << "image " << image << " at " << row.size;
                }
                SelectObject(dc, previous);
                DeleteDC(dc);
            }
            DeleteObject(bitmap);
        }
    }
}
