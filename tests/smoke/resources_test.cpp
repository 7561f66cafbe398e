// The main program's resources: each dialog in three sizes, the manifest and the version.
#include <windows.h>
#include <gtest/gtest.h>
#include <string>

#include "resource.h"

namespace {

std::string BinPath(const char *file)
{
    char dir[MAX_PATH] = "";
    GetEnvironmentVariableA("VELLORAN_BIN_DIR", dir, sizeof dir);
    return std::string(dir) + "\\" + file;
}

class MainProgramResources : public ::testing::Test {
protected:
    void SetUp() override
    {
        module = LoadLibraryExA(BinPath("Korrin.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr) << GetLastError();
    }
    void TearDown() override
    {
        if (module)
            FreeLibrary(module);
    }
    std::string Resource(LPCSTR type, LPCSTR name)
    {
        HRSRC found = FindResourceA(module, name, type);
        if (!found)
            return std::string();
        HGLOBAL loaded = LoadResource(module, found);
        return std::string((const char *)LockResource(loaded), SizeofResource(module, found));
    }
    HMODULE module = nullptr;
};

// The point size of a DIALOGEX template: after the header, menu, class and title strings.
int DialogFontPoints(const std::string &data)
{
    const WORD *p = (const WORD *)(data.data() + 26);  // DLGTEMPLATEEX header
    for (int field = 0; field < 3; ++field) {           // menu, class, title
        if (*p == 0xFFFF)
            p += 2;
        else
            while (*p++ != 0) {
            }
    }
    return *p;
}

}  // namespace

TEST_F(MainProgramResources, EveryDialogExistsInThreeFontSizes)
{
    const int dialogs[] = {IDD_CONFIRM_EXIT, IDD_COMBINE_SPLIT_ZIP};
    const int sizes[][2] = {{0, 8}, {DLG_OFFSET_10PT, 10}, {DLG_OFFSET_12PT, 12}};
    for (int id : dialogs)
        for (const auto &size : sizes) {
            std::string dialog = Resource(RT_DIALOG, MAKEINTRESOURCEA(id + size[0]));
            ASSERT_GT(dialog.size(), 26u) << "dialog " << id + size[0];
            EXPECT_EQ(DialogFontPoints(dialog), size[1]);
        }
}

TEST_F(MainProgramResources, ManifestAsksForHighestLevelCommonControlsAndDpiAwareness)
{
    std::string manifest = Resource(RT_MANIFEST, MAKEINTRESOURCEA(1));
    EXPECT_NE(manifest.find("level=\"highestAvailable\""), std::string::npos);
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find("<dpiAware"), std::string::npos);
    EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos);
    EXPECT_NE(manifest.find("{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"), std::string::npos);
}

TEST_F(MainProgramResources, VersionResourceGivesTheProgramVersion)
{
    std::string path = BinPath("Korrin.exe");
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, &block[0]));
    VS_FIXEDFILEINFO *info = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(&block[0], "\\", (void **)&info, &length));
    EXPECT_EQ(HIWORD(info->dwFileVersionMS), VELLORAN_VERSION_MAJOR);
    EXPECT_EQ(LOWORD(info->dwFileVersionMS), VELLORAN_VERSION_MINOR);
    EXPECT_EQ(HIWORD(info->dwFileVersionLS), VELLORAN_VERSION_BUILD);
}
