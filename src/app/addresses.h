// The maker's web addresses built into the program; both front ends can override them.
#pragma once

#include <string_view>

namespace korvan {

// Opened by a click on the window's logo.
inline constexpr std::string_view kMakerSiteUrl = "https://www.korvan-radar.example/";

// The update server's download directory: version.txt and the package folders lie below it.
// Overridden by the environment variable below, and that by the front ends' --server option.
inline constexpr std::string_view kDefaultServerUrl =
    "https://www.korvan-radar.example/wp-content/db/";
inline constexpr const char* kServerUrlVariable = "KORVAN_SERVER";

}  // namespace korvan
