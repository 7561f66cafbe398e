// The pages of the editor's sheet: in their order, each with its help topic, and each showing
// its controls whole at every dialog size: on the real sheet, each control's rectangle lies
// inside the page's client area and inside the part of the tab control where pages are shown.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "EditorTestSupport.h"
#include "GlobalSettings.h"
#include "SheetFont.h"

namespace {

std::string TabTitle(HWND tab, int index)
{
    char title[64] = "";
    TCITEMA item = {};
    item.mask = TCIF_TEXT;
    item.pszText = title;
    item.cchTextMax = sizeof title;
    SendMessageA(tab, TCM_GETITEMA, (WPARAM)index, (LPARAM)&item);
    return title;
}

class EditorLayout : public EditorTest, public ::testing::WithParamInterface<int> {};

TEST_P(EditorLayout, EveryPageShowsEveryControlWhole)
{
    gSettings.dialogSize = GetParam();
    int pageCount = 0;
    std::vector<std::string> outside;
    RunEditor(-1, [&](HWND sheet, HWND) {
        HWND tab = (HWND)SendMessageA(sheet, PSM_GETTABCONTROL, 0, 0);
        pageCount = (int)SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0);
        for (int i = 0; i < pageCount; ++i) {
            SendMessageA(sheet, PSM_SETCURSEL, (WPARAM)i, 0);
            HWND page = CurrentPage(sheet);
            for (const std::string &line : ControlsOutside(sheet, page))
                outside.push_back(TabTitle(tab, i) + ": " + line);
        }
    });
    EXPECT_GE(pageCount, 1);
    EXPECT_TRUE(outside.empty()) << ::testing::PrintToString(outside);
    gSettings.dialogSize = 8;
}

INSTANTIATE_TEST_SUITE_P(DialogSizes, EditorLayout, ::testing::Values(8, 10, 12),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return std::to_string(info.param) + "pt";
                         });

TEST_F(EditorTest, PagesComeInTheirOrderEachWithItsHelpTopic)
{
    std::vector<std::string> titles, topics;
    RunEditor(-1, [&](HWND sheet, HWND) {
        HWND tab = (HWND)SendMessageA(sheet, PSM_GETTABCONTROL, 0, 0);
        int count = (int)SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0);
        for (int i = 0; i < count; ++i) {
            ShowPage(sheet, i);
            titles.push_back(TabTitle(tab, i));
            ClearHelpCalls();
            PressSheetButton(sheet, PSBTN_HELP);
            std::vector<std::string> calls = HelpCalls();
            size_t at = calls.empty() ? std::string::npos : calls.back().find("keywords='");
            topics.push_back(at == std::string::npos ? "" : calls.back().substr(at + 10, calls.back().find('\'', at + 10) - at - 10));
        }
    });
    EXPECT_EQ(titles, std::vector<std::string>({"General", "Schedule", "Advanced", "Notes"}));
    EXPECT_EQ(topics, std::vector<std::string>({"configuration editor - general", "configuration editor - schedule",
                                                "configuration editor - advanced", "configuration editor - notes"}));
}

// A template's words: the header, then menu, class and title, then the font.
std::vector<WORD> TemplateWords(bool extended, DWORD style, std::vector<WORD> names, std::vector<WORD> font)
{
    std::vector<WORD> words;
    auto dword = [&](DWORD value) {
        words.push_back(LOWORD(value));
        words.push_back(HIWORD(value));
    };
    if (extended) {
        words = {1, 0xFFFF};
        dword(0);  // help id
        dword(0);  // extended style
        dword(style);
    } else {
        dword(style);
        dword(0);
    }
    words.insert(words.end(), {0, 0, 0, 220, 140});  // no items, position and size
    words.insert(words.end(), names.begin(), names.end());
    words.insert(words.end(), font.begin(), font.end());
    return words;
}

TEST(TemplateFont, IsFoundBehindEveryFormOfMenuClassAndTitle)
{
    const WORD kTitle[] = {'P', 'r', 'o', 'p', 0};
    struct Case {
        const char *name;
        bool extended;
        std::vector<WORD> names;  // menu, class, title
    } cases[] = {
        {"plain, none", false, {0, 0, 0}},
        {"plain, ordinals and title", false, {0xFFFF, 7, 0xFFFF, 0x8002, kTitle[0], kTitle[1], kTitle[2], kTitle[3], 0}},
        {"extended, named menu and class", true, {'M', 0, 'C', 'l', 0, 'T', 0}},
        {"extended, none", true, {0, 0, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<WORD> font = c.extended ? std::vector<WORD>{8, FW_NORMAL, 0x0100, 'M', 'S', 0}
                                            : std::vector<WORD>{8, 'M', 'S', 0};
        std::vector<WORD> words = TemplateWords(c.extended, DS_SETFONT | WS_POPUP, c.names, font);
        TemplateFont read{};
        ASSERT_TRUE(ReadTemplateFont(words.data(), words.size() * 2, &read));
        EXPECT_EQ(read.pointSize, 8);
        EXPECT_EQ(read.fontStyle, (DWORD)DS_SETFONT);
        if (c.extended) {
            EXPECT_EQ(read.charset, 1);
        }

        TemplateFont larger = {12, FW_BOLD, 1, 0, DS_SETFONT | DS_FIXEDSYS};
        std::vector<WORD> before = words;
        ASSERT_TRUE(WriteTemplateFont(words.data(), larger));
        ASSERT_TRUE(ReadTemplateFont(words.data(), words.size() * 2, &read));
        EXPECT_EQ(read.pointSize, 12);
        EXPECT_EQ(read.fontStyle, (DWORD)(DS_SETFONT | DS_FIXEDSYS));
        EXPECT_EQ(read.weight, c.extended ? FW_BOLD : FW_NORMAL);
        // The face, and so the template's length and its items, stay where they were.
        EXPECT_TRUE(std::equal(words.end() - 3, words.end(), before.end() - 3));
    }
}

TEST(TemplateFont, TemplatesWithoutAFontOrCutShortAreLeftAlone)
{
    std::vector<WORD> noFont = TemplateWords(false, WS_POPUP, {0, 0, 0}, {});
    TemplateFont font = {12, FW_NORMAL, 0, 0, DS_SETFONT};
    TemplateFont read{};
    EXPECT_FALSE(ReadTemplateFont(noFont.data(), noFont.size() * 2, &read));
    std::vector<WORD> before = noFont;
    EXPECT_FALSE(WriteTemplateFont(noFont.data(), font));
    EXPECT_EQ(noFont, before);
    // A title without its end, and a font field cut off.
    std::vector<WORD> cut = TemplateWords(true, DS_SETFONT, {0, 0, 'T', 'i'}, {});
    EXPECT_FALSE(ReadTemplateFont(cut.data(), cut.size() * 2, &read));
    std::vector<WORD> shortFont = TemplateWords(true, DS_SETFONT, {0, 0, 0}, {8, 400});
    EXPECT_FALSE(ReadTemplateFont(shortFont.data(), shortFont.size() * 2, &read));
    EXPECT_FALSE(ReadTemplateFont(cut.data(), 10, &read));
}

}  // namespace
