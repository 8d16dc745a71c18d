// A server tree of the models `types`, served on loopback for as long as the object lives: what
// the tests of the download and the schema settings point the program at.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "emulator/loopback_server.h"
#include "emulator/server_tree.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan::testing {

struct ServedTree {
  explicit ServedTree(std::vector<int8_t> types) {
    emu::ServerTreeOptions options;
    options.types = std::move(types);
    EXPECT_TRUE(emu::WriteServerTree(root.path(), "15-05-2023", options).ok());
    server.emplace(root.path());
    EXPECT_TRUE(server->Start()) << server->error();
  }
  // The download directory's URL.
  std::string Url() const { return server->url() + "wp-content/db/"; }

  ScopedTempDir root{"korvan_tree"};
  std::optional<emu::LoopbackServer> server;
};

}  // namespace korvan::testing
