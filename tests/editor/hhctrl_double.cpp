// A stand-in for the HTML Help control: HtmlHelpA at ordinal 14 writes one line per call,
// with the fields of the keyword-lookup and popup records, and answers with a window handle.
#include <windows.h>
#include <htmlhelp.h>

#include <string>

namespace {

std::string calls;

std::string Text(const char *text)
{
    return text == nullptr ? "(null)" : "'" + std::string(text) + "'";
}

std::string Number(long long value)
{
    return std::to_string(value);
}

std::string DescribeLink(const HH_AKLINK *link)
{
    return " size=" + Number(link->cbStruct) + " reserved=" + Number(link->fReserved) +
           " keywords=" + Text(link->pszKeywords) + " url=" + Text(link->pszUrl) + " msg=" + Text(link->pszMsgText) +
           " title=" + Text(link->pszMsgTitle) + " window=" + Text(link->pszWindow) +
           " indexOnFail=" + Number(link->fIndexOnFail);
}

std::string DescribePopup(const HH_POPUP *popup)
{
    return " size=" + Number(popup->cbStruct) + " instance=" + Number((INT_PTR)popup->hinst) +
           " id=" + Number(popup->idString) + " text=" + Text(popup->pszText) + " x=" + Number(popup->pt.x) +
           " y=" + Number(popup->pt.y) + " fg=" + Number((int)popup->clrForeground) +
           " bg=" + Number((int)popup->clrBackground) + " margins=" + Number(popup->rcMargins.left) + "," +
           Number(popup->rcMargins.top) + "," + Number(popup->rcMargins.right) + "," +
           Number(popup->rcMargins.bottom) + " font=" + Text(popup->pszFont);
}

}  // namespace

extern "C" HWND WINAPI HtmlHelpA(HWND, LPCSTR file, UINT command, DWORD_PTR data)
{
    std::string line = Number(command) + " " + Text(file);
    if (command == HH_KEYWORD_LOOKUP && data != 0)
        line += DescribeLink(reinterpret_cast<const HH_AKLINK *>(data));
    else if (command == HH_DISPLAY_TEXT_POPUP && data != 0)
        line += DescribePopup(reinterpret_cast<const HH_POPUP *>(data));
    else
        line += " data=" + Number((long long)data);
    calls += line + "\n";
    return (HWND)(INT_PTR)0x4242;
}

// The calls so far, one line each; returns the length of the whole text.
extern "C" int WINAPI ReadHelpCalls(char *out, int size)
{
    if (size > 0)
        lstrcpynA(out, calls.c_str(), size);
    return (int)calls.size();
}

extern "C" void WINAPI ClearHelpCalls()
{
    calls.clear();
}
