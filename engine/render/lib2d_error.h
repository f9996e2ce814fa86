#pragma once

// Failures of the 2D picture and font loaders: a message box captioned
// "Lib2d Error Message"; the loader then returns 0 and the program goes on.
//
// Codes: 0 "Cannot open file!", 1 "Cannot allocate memory for buffers!",
// 2 "parameteres error! in %s", 3 "Create fonts surface faild!", 4 "Lock font
// surface faild!", 5 "Cannot open font file, you must create D3D before!",
// 6 "Cannot open font file!", 7 "Cannot open sprite file, you must create D3D
// before!", 8 "Cannot open sprite file! %s"; any other "General Lib2d Error!".
// Codes 2 and 8 put `name` in place of "%s". The box's result.
int lib2d_report_error(int code, const char* name);

inline constexpr const char* kLib2dErrorCaption = "Lib2d Error Message";

// Formats a message of the 2D loaders (printf style) into at most
// kLib2dMessageChars - 1 characters (a longer one is cut), adds a line
// break and shows it in the Lib2d box. The box's result.
inline constexpr int kLib2dMessageChars = 544;
int lib2d_show_message(const char* format, ...) __attribute__((format(printf, 1, 2)));
