// The about box (dialog 168): the painted product name, the version and the maker's links.
#pragma once
#include <windows.h>

void ShowAboutBox(HWND owner);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK AboutTitleProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PaintAboutTitle(HWND window);
// Draws the title with its shadow into `dc`, centred in `client`.
void DrawAboutTitle(HDC dc, const RECT *client);

// The colour of the title's face; its shadow is the system's button-shadow colour.
const COLORREF kAboutTitleColor = RGB(52, 55, 209);
