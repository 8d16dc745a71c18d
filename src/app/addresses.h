// The maker's web addresses built into the program; both front ends can override them.
#pragma once

#include <string_view>

namespace korvan {

// Opened by a click on the window's logo.
inline constexpr std::string_view kMakerSiteUrl = "https://www.korvan-radar.example/";

}  // namespace korvan
