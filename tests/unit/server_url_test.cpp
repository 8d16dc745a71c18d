// Which update server the front ends ask: --server, else KORVAN_SERVER, else the built-in one.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/addresses.h"
#include "frontend/global_options.h"

namespace korvan {
namespace {

TEST(ServerUrlTest, OptionThenEnvironmentThenDefault) {
  struct Case {
    const char* name;
    std::string option;
    const char* environment;
    std::optional<std::string> url;
  };
  const Case cases[] = {
      {"nothing given", "", nullptr, std::string(kDefaultServerUrl)},
      {"empty variable", "", "", std::string(kDefaultServerUrl)},
      {"variable", "", "http://127.0.0.1:8080/wp-content/db/",
       "http://127.0.0.1:8080/wp-content/db/"},
      {"the option wins", "https://mirror.example/wp-content/db/", "http://other/",
       "https://mirror.example/wp-content/db/"},
      {"a slash is added", "http://h/wp-content/db", nullptr, "http://h/wp-content/db/"},
      {"not the web", "file:///etc/", nullptr, std::nullopt},
      {"a bad variable", "", "ftp://h/", std::nullopt},
      {"no scheme", "h/wp-content/db/", nullptr, std::nullopt},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_EQ(frontend::ResolveServerUrl(c.option, c.environment, error), c.url) << c.name;
    EXPECT_EQ(error.empty(), c.url.has_value()) << c.name;
  }
}

}  // namespace
}  // namespace korvan
