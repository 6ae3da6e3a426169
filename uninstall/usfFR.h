// Window usfFR: UFR11's wait window. No caption, no border; a frame with the wait text,
// and Timer1, whose one event reads the install folder and deletes the add-in's files.
#pragma once

#include <windows.h>

namespace ferrolin::usfFR {

// Control IDs.
inline constexpr int kFrame1 = 1;
inline constexpr int kLabel1 = 2;

// Layout in twips (1/1440 inch), converted at the window's DPI.
inline constexpr int kClientWidth = 5220, kClientHeight = 930;
inline constexpr int kFrame1Left = 75, kFrame1Top = 0, kFrame1Width = 5070, kFrame1Height = 855;
inline constexpr int kLabel1Left = 240, kLabel1Top = 375, kLabel1Width = 4620, kLabel1Height = 375;  // in Frame1
inline constexpr int kFormLoadLeftOffset = 2000, kFormLoadTopOffset = 450;
inline constexpr int kLabel1FontPoints = 9;
inline constexpr UINT kTimer1Interval = 10000;  // milliseconds

// Creates the window, places it (Form_Load), shows it and runs until the program ends.
int Show(HINSTANCE instance);

}  // namespace ferrolin::usfFR
