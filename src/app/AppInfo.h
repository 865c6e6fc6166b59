#pragma once
inline constexpr const char* kAppTitle = "Tavrin";
inline constexpr const char* kAppVersion = "1.0.0";
// The desktop file's name (tavrin.desktop), which is also the icon's in the icon theme.
inline constexpr const char* kAppDesktopName = "tavrin";
