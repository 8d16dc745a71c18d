// The loopback web server against a small libcurl client: files, refusals, and what a client
// sees of each fault.
#include "emulator/loopback_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <future>
#include <thread>

#include "emulator/build_image.h"
#include "tests/emulator/http_get.h"
#include "tests/support/folder_link.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan::emu {
namespace {

namespace fs = std::filesystem;
using korvan::testing::HttpGet;
using korvan::testing::HttpGetOptions;
using korvan::testing::HttpGetResult;
using Clock = std::chrono::steady_clock;

constexpr size_t kBigSize = 64 * 1024;

void WriteText(const fs::path& path, std::string_view text) {
  std::ofstream(path, std::ios::binary)
      .write(text.data(), static_cast<std::streamsize>(text.size()));
}

// root/version.txt, root/big.bin, root/sub/a.txt, root/link-out -> ../secret.txt
class LoopbackServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ / "sub");
    WriteText(root_ / "version.txt", "15-05-2023");
    WriteText(root_ / "sub" / "a.txt", "inside");
    big_.resize(kBigSize);
    FillPseudoRandom(std::span<uint8_t>(reinterpret_cast<uint8_t*>(big_.data()), big_.size()), 7);
    WriteText(root_ / "big.bin", big_);
    WriteText(dir_ / "secret.txt", "secret");
    linked_ = korvan::testing::MakeFileLink(dir_ / "secret.txt", root_ / "link-out");
  }

  std::unique_ptr<LoopbackServer> Serve(LoopbackServerOptions options = {}) {
    auto server = std::make_unique<LoopbackServer>(root_, options);
    EXPECT_TRUE(server->Start()) << server->error();
    return server;
  }

  korvan::testing::ScopedTempDir dir_{"loopback"};
  bool linked_ = false;
  fs::path root_ = dir_ / "root";
  std::string big_;
};

TEST_F(LoopbackServerTest, ServesFilesBelowTheRootWithTheirLength) {
  const auto server = Serve();
  ASSERT_GT(server->port(), 0);
  EXPECT_EQ(server->url(), "http://127.0.0.1:" + std::to_string(server->port()) + "/");

  const struct {
    const char* path;
    long status;
    std::string body;
  } cases[] = {
      {"version.txt", 200, "15-05-2023"},
      {"sub/a.txt", 200, "inside"},
      {"big.bin", 200, big_},
      {"missing.txt", 404, ""},
      {"sub/", 404, ""},  // a folder is no file
  };
  for (const auto& c : cases) {
    const HttpGetResult got = HttpGet(server->url() + c.path);
    EXPECT_EQ(got.code, CURLE_OK) << c.path;
    EXPECT_EQ(got.status, c.status) << c.path;
    if (c.status == 200) {
      EXPECT_EQ(got.body, c.body) << c.path;
      EXPECT_EQ(got.contentLength, static_cast<curl_off_t>(c.body.size())) << c.path;
    }
  }
  EXPECT_EQ(server->RequestedPaths(),
            (std::vector<std::string>{"/version.txt", "/sub/a.txt", "/big.bin", "/missing.txt",
                                      "/sub/"}));
}

TEST_F(LoopbackServerTest, RefusesPathsThatLeaveTheRoot) {
  const auto server = Serve();
  const struct {
    const char* path;
    bool asIs;
  } cases[] = {
      {"../secret.txt", true},
      {"sub/../../secret.txt", true},
      {"%2e%2e/secret.txt", false},  // decoded by the server, after the client's tidying
      {"sub/%2E%2E/%2e%2e/secret.txt", false},
      {"link-out", false},  // a link inside that points outside
  };
  for (const auto& c : cases) {
    if (!linked_ && std::string_view(c.path) == "link-out") {
      continue;  // the platform could not make the link
    }
    HttpGetOptions options;
    options.pathAsIs = c.asIs;
    const HttpGetResult got = HttpGet(server->url() + c.path, options);
    EXPECT_EQ(got.status, 403) << c.path;
    EXPECT_EQ(got.body.find("secret"), std::string::npos) << c.path;
  }
}

TEST_F(LoopbackServerTest, ErrorFaultsAnswerEveryRequest) {
  for (const auto& [fault, status] :
       {std::pair{ServerFault::NotFound, 404L}, std::pair{ServerFault::ServerError, 500L}}) {
    LoopbackServerOptions options;
    options.fault = fault;
    const auto server = Serve(options);
    EXPECT_EQ(HttpGet(server->url() + "version.txt").status, status);
    EXPECT_EQ(HttpGet(server->url() + "missing.txt").status, status);
  }
}

TEST_F(LoopbackServerTest, StallSendsTheHeaderAndNoBody) {
  LoopbackServerOptions options;
  options.fault = ServerFault::Stall;
  const auto server = Serve(options);
  HttpGetOptions client;
  client.timeoutMs = 500;
  const HttpGetResult got = HttpGet(server->url() + "big.bin", client);
  EXPECT_EQ(got.code, CURLE_OPERATION_TIMEDOUT);
  EXPECT_EQ(got.status, 200);
  EXPECT_EQ(got.contentLength, static_cast<curl_off_t>(kBigSize));
  EXPECT_TRUE(got.body.empty());
}

TEST_F(LoopbackServerTest, CutClosesHalfwayThroughTheBody) {
  LoopbackServerOptions options;
  options.fault = ServerFault::Cut;
  const auto server = Serve(options);
  const HttpGetResult got = HttpGet(server->url() + "big.bin");
  EXPECT_EQ(got.code, CURLE_PARTIAL_FILE);
  EXPECT_EQ(got.status, 200);
  EXPECT_EQ(got.contentLength, static_cast<curl_off_t>(kBigSize));
  EXPECT_EQ(got.body, big_.substr(0, kBigSize / 2));
}

TEST_F(LoopbackServerTest, SlowSendsNoFasterThanItsRate) {
  LoopbackServerOptions options;
  options.fault = ServerFault::Slow;
  options.slowBytesPerSecond = 2048;
  const auto server = Serve(options);
  HttpGetOptions client;
  client.timeoutMs = 1500;
  const HttpGetResult got = HttpGet(server->url() + "big.bin", client);
  EXPECT_EQ(got.code, CURLE_OPERATION_TIMEDOUT);
  EXPECT_EQ(got.contentLength, static_cast<curl_off_t>(kBigSize));
  // 1.5 s at 2 KiB/s, and the first piece that goes out at once: a busy machine gets less.
  EXPECT_GT(got.body.size(), 0u);
  EXPECT_LE(got.body.size(), 3072u + 256u);
  EXPECT_EQ(got.body, big_.substr(0, got.body.size()));
}

TEST_F(LoopbackServerTest, RedirectFilePointsAtTheLocalFile) {
  LoopbackServerOptions options;
  options.fault = ServerFault::RedirectFile;
  const auto server = Serve(options);
  const HttpGetResult got = HttpGet(server->url() + "sub/a.txt");
  EXPECT_EQ(got.code, CURLE_OK);  // the client was told not to follow
  EXPECT_EQ(got.status, 302);
  const fs::path target = fs::canonical(root_) / "sub" / "a.txt";
#ifdef _WIN32
  EXPECT_EQ(got.location, "file:///" + target.generic_string());
#else
  EXPECT_EQ(got.location, "file://" + target.string());
#endif
}

TEST_F(LoopbackServerTest, FaultActsOnMatchingPathsAndCanChange) {
  LoopbackServerOptions options;
  options.fault = ServerFault::Cut;
  options.faultPathSuffix = ".bin";
  const auto server = Serve(options);
  EXPECT_EQ(HttpGet(server->url() + "version.txt").body, "15-05-2023");
  EXPECT_EQ(HttpGet(server->url() + "big.bin").code, CURLE_PARTIAL_FILE);

  server->SetFault(ServerFault::NotFound);
  EXPECT_EQ(HttpGet(server->url() + "version.txt").status, 404);
  server->SetFault(ServerFault::None);
  EXPECT_EQ(HttpGet(server->url() + "big.bin").body, big_);
}

TEST_F(LoopbackServerTest, StopEndsAStalledRequestPromptly) {
  LoopbackServerOptions options;
  options.fault = ServerFault::Stall;
  const auto server = Serve(options);
  auto client =
      std::async(std::launch::async, [url = server->url() + "big.bin"] { return HttpGet(url); });
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (server->RequestedPaths().empty() && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_FALSE(server->RequestedPaths().empty());

  const auto start = Clock::now();
  server->Stop();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
  // The client sees the connection end, well before its own 20 s limit.
  ASSERT_EQ(client.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  const HttpGetResult got = client.get();
  EXPECT_NE(got.code, CURLE_OPERATION_TIMEDOUT);
  EXPECT_TRUE(got.body.empty());
}

TEST_F(LoopbackServerTest, StartFailsForAMissingRootOrABusyPort) {
  LoopbackServer missing(dir_ / "no-such-folder");
  EXPECT_FALSE(missing.Start());
  EXPECT_NE(missing.error().find("no-such-folder"), std::string::npos) << missing.error();

  const auto first = Serve();
  LoopbackServerOptions options;
  options.port = first->port();
  LoopbackServer second(root_, options);
  EXPECT_FALSE(second.Start());
  EXPECT_NE(second.error().find(std::to_string(first->port())), std::string::npos)
      << second.error();
}

TEST(ServerFaultTest, NamesParseBack) {
  for (const ServerFault fault :
       {ServerFault::None, ServerFault::NotFound, ServerFault::ServerError, ServerFault::Stall,
        ServerFault::Cut, ServerFault::Slow, ServerFault::RedirectFile}) {
    EXPECT_EQ(ParseServerFault(ServerFaultName(fault)), fault);
  }
  EXPECT_FALSE(ParseServerFault("timeout"));
}

}  // namespace
}  // namespace korvan::emu
