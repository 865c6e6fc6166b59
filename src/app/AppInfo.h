#pragma once
inline constexpr const char* kAppTitle = "Tavrin";
inline constexpr const char* kAppVersion = "1.0.0";
