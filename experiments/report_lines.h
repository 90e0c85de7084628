#pragma once

// Separator lines shared by the reports of both modes.
inline constexpr const char* kHyphenLine = "---------------------------------------------------";
inline constexpr const char* kAsteriskLine = "***************************************************";
