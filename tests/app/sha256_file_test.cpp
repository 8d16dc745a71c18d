#include "app/sha256_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

// Known answers (FIPS 180-2 examples): every platform's implementation must give them, and a
// file longer than one read buffer must hash as a whole.
TEST(Sha256FileTest, KnownAnswers) {
  const struct {
    std::string content;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  testing::ScopedTempDir dir("sha256");
  for (const auto& c : cases) {
    const auto path = dir / "file.bin";
    std::ofstream(path, std::ios::binary) << c.content;
    EXPECT_EQ(Sha256File(path), std::string(c.digest)) << c.content.size() << " bytes";
  }
  EXPECT_EQ(Sha256File(dir / "missing.bin"), std::nullopt);
}

}  // namespace
}  // namespace korvan
