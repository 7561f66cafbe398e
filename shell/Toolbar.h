// The main window's toolbar in its rebar band. The job list's command states reach its
// buttons through GetToolbarWindow by command id.
#pragma once
#include <windows.h>
#include <commctrl.h>

// Builds the rebar and the toolbar (taking down any earlier pair first); NULL when the rebar
// or the toolbar cannot be made.
HWND CreateToolbar(HWND parent);
// After a new button size: builds the main window's toolbar again and lays out the window anew.
void RebuildToolbar();
// Destroys the toolbar, its two image lists and the rebar; safe to call again.
void DestroyToolbar();
// The rebar height measured by the last LayOutToolbar (1 until the first one).
int GetToolbarHeight();
// NULL while there is no toolbar.
HWND GetToolbarWindow();
// Fits the toolbar and the rebar to the client width; returns the rebar height.
int LayOutToolbar(int clientWidth);
// Pixel size of the button images for the btnsize option (0 = by the screen's pixels per inch).
int GetToolbarImageSize(int buttonSize, int pixelsPerInch);
// WM_NOTIFY that is not the job list's: answers the toolbar's tooltip requests; returns 0.
LRESULT OnToolbarNotify(HWND window, NMHDR *header);
