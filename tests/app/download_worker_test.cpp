// The Download command's flow against the simulated update server on loopback, through the
// real HTTP client and zip extractor: what the window shows and in what order, which requests
// reach the server, and what is left in the working folder after every way it can end.
#include "app/download_worker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/control_ids.h"
#include "app/main_window_steps.h"
#include "app/recording_view.h"
#include "app/show_result.h"
#include "app/task_queue.h"
#include "emulator/loopback_server.h"
#include "emulator/server_tree.h"
#include "sources/curl_http_client.h"
#include "sources/server_download.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kVersion = "15-05-2023";
constexpr const char* kType9UzbekVoice =
    "/wp-content/db/15-05-2023/UZB/DahliaLite_15052023_uz_uz.zip";

// One tree for the whole suite: types 4, 9 and 26, both countries.
class DownloadWorkerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tree_ = new testing::ScopedTempDir("download_tree");
    emu::ServerTreeOptions options;
    options.types = {4, 9, 26};
    ASSERT_TRUE(emu::WriteServerTree(tree_->path(), kVersion, options).ok());
  }
  static void TearDownTestSuite() {
    delete tree_;
    tree_ = nullptr;
  }

  // A device of `type` with the package country chosen, as the window has it when Download is
  // pressed.
  // Everything of an earlier case in the same test is forgotten.
  void Device(int8_t type, uint8_t packageCountry) {
    server.reset();
    state = AppState{};
    view = RecordingView{};
    picked = false;
    state.programFolder = work.path();
    state.deviceInfo.typeCode = type;
    state.deviceInfo.legacyModel = type >= 1 && type <= 8;
    state.deviceInfo.country = kCountryRussia;
    state.deviceInfo.packageCountry = packageCountry;
  }

  // Serves `root` (the suite's tree unless given) with `fault`, and points the state at it.
  void Serve(emu::ServerFault fault = emu::ServerFault::None, std::string faultSuffix = {},
             const fs::path& root = {}) {
    emu::LoopbackServerOptions options;
    options.fault = fault;
    options.faultPathSuffix = std::move(faultSuffix);
    options.slowBytesPerSecond = 256 * 1024;
    server.emplace(root.empty() ? tree_->path() : root, options);
    ASSERT_TRUE(server->Start()) << server->error();
    state.serverUrl = server->url() + "wp-content/db/";
  }

  // The Download command with the voice of item data `voice`, until the flow ends.
  void Download(int voice) {
    worker.Start(voice);
    ASSERT_TRUE(
        window.RunUntil([this] { return state.downloadPhase != DownloadPhase::Running; }, 60s));
    worker.Stop();
    window.RunPending();
  }

  bool PackageRequested() const {
    const auto paths = server->RequestedPaths();
    return std::any_of(paths.begin(), paths.end(),
                       [](const std::string& p) { return p.ends_with(".zip"); });
  }

  // What a failed flow must leave: the message, the controls back, no package contents, no
  // partial download.
  void ExpectFailedCleanly() {
    EXPECT_EQ(state.downloadPhase, DownloadPhase::Failed);
    EXPECT_FALSE(picked);
    ASSERT_EQ(view.Messages().size(), 1u);
    EXPECT_EQ(view.Messages()[0].text, kManualUpdateText);
    for (const int id : {ids::kDownloadButton, ids::kServerSourceRadio, ids::kFileSourceRadio,
                         ids::kMenuSettingsButton}) {
      EXPECT_TRUE(view.Control(id).enabled) << id;
    }
    EXPECT_FALSE(fs::exists(work / "update"));
    for (const auto& entry : fs::directory_iterator(work.path())) {
      EXPECT_NE(entry.path().extension(), ".part") << entry.path();
      EXPECT_NE(entry.path().filename(), "version.txt");
    }
  }

  static testing::ScopedTempDir* tree_;
  testing::ScopedTempDir work{"download_work"};
  std::optional<emu::LoopbackServer> server;
  TaskQueue window;
  RecordingView view;
  AppState state;
  CurlHttpClient http{CurlOptions{std::chrono::seconds(5), std::chrono::seconds(1)}};
  bool picked = false;
  DownloadWorker worker{http, window, view, state, [this] { picked = true; }};
};

testing::ScopedTempDir* DownloadWorkerTest::tree_ = nullptr;

TEST_F(DownloadWorkerTest, FetchesUnpacksAndPicksTheDevicesFile) {
  Device(9, kCountryUzbekistan);
  Serve();
  const size_t before = view.Calls().size();
  Download(1);

  ASSERT_EQ(state.downloadPhase, DownloadPhase::Picked);
  EXPECT_TRUE(picked);
  EXPECT_TRUE(view.Messages().empty());
  EXPECT_EQ(state.serverVersion, kVersion);
  EXPECT_EQ(state.PackageUrl, server->url() + std::string(kType9UzbekVoice).substr(1));
  EXPECT_EQ(server->RequestedPaths(),
            (std::vector<std::string>{"/wp-content/db/version.txt", kType9UzbekVoice}));
  // The package carries the files of every model named DahliaLite_: the type-9 one is taken.
  const emu::UpdateFile expected = emu::ServerUpdateFile(9, kCountryUzbekistan, 1);
  EXPECT_EQ(state.pickedImageName, expected.name);
  EXPECT_EQ(state.UpdateFilePath, work / "update" / expected.name);
  EXPECT_EQ(state.updateFileInfo.fileCountry, kCountryUzbekistan);
  EXPECT_EQ(state.deviceInfo.country, kCountryUzbekistan);
  EXPECT_EQ(view.Text(ids::kFileFwVersionText), "v03.01");
  EXPECT_EQ(view.Text(ids::kFileVoiceVersionText), "v00.41");
  EXPECT_EQ(view.Text(ids::kFileDbText), "251201");
  EXPECT_TRUE(fs::exists(work / "update" / "readme.txt"));
  EXPECT_FALSE(fs::exists(work / "DahliaLite_15052023.zip")) << "deleted once unpacked";
  EXPECT_FALSE(fs::exists(work / "version.txt"));

  // What the window showed, in order: controls off, the version file, the download's
  // percentage, the unpacking, the file's versions. End stays on to cancel.
  const std::vector<std::string> calls(view.Calls().begin() + static_cast<std::ptrdiff_t>(before),
                                       view.Calls().end());
  const auto at = [&](const std::string& call) {
    return std::find(calls.begin(), calls.end(), call) - calls.begin();
  };
  EXPECT_LT(at("enable 1007 0"), at("status version.txt"));
  EXPECT_LT(at("status version.txt"), at("status "));
  EXPECT_LT(at("status "), at("status " + std::string(kUnpackingText)));
  EXPECT_LT(at("status " + std::string(kUnpackingText)), at("text 1038 v03.01"));
  EXPECT_EQ(at("enable 2 0"), static_cast<std::ptrdiff_t>(calls.size()));
  EXPECT_FALSE(view.Control(ids::kDownloadButton).enabled) << "the update worker takes over";
}

TEST_F(DownloadWorkerTest, EveryVoiceOfTheTableNamesItsPackage) {
  struct Case {
    int8_t type;
    uint8_t country;
    int voice;
    const char* package;
  };
  const Case cases[] = {
      {4, kCountryRussia, 0, "RUS/Dahlia_15052023.zip"},
      {4, kCountryRussia, 1, "RUS/Dahlia_15052023_v2.zip"},
      {4, kCountryRussia, 2, "RUS/Dahlia_15052023_m.zip"},
      {4, kCountryRussia, 3, "RUS/Dahlia_15052023_mv2.zip"},
      {9, kCountryUzbekistan, 0, "UZB/DahliaLite_15052023_uz_rus.zip"},
      {26, kCountryRussia, 0, "RUS/FernUltra_15052023.zip"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.package);
    testing::ScopedTempDir folder("download_voice");
    Device(c.type, c.country);
    state.programFolder = folder.path();
    Serve();
    Download(c.voice);
    EXPECT_EQ(state.downloadPhase, DownloadPhase::Picked);
    EXPECT_EQ(server->RequestedPaths().back(),
              "/wp-content/db/15-05-2023/" + std::string(c.package));
    // The voice marker of the package's file: v00.40 + the voice slot.
    EXPECT_EQ(view.Text(ids::kFileVoiceVersionText), "v00.4" + std::to_string(c.voice));
  }
}

TEST_F(DownloadWorkerTest, VersionFileIsUntrustedText) {
  struct Case {
    const char* name;
    std::string content;
    bool usable;
  };
  const Case cases[] = {
      {"9 bytes", "5-05-2023", false},
      {"exactly 10", "15-05-2023", true},
      {"CRLF", "15-05-2023\r\n", true},
      {"byte-order mark",
       "\xEF\xBB\xBF"
       "15-05-2023",
       true},
      {"a path", "../x/../../15-05-2023", false},
      {"encoded dots", "%2e%2e/15-05-2023", false},
      {"300 bytes", std::string(300, '7'), false},
      {"an HTML error page", "<!DOCTYPE html><html><body>404</body></html>", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // The tree's packages, with this version.txt beside them.
    testing::ScopedTempDir root("download_version");
    fs::create_directories(root / "wp-content/db/15-05-2023/UZB");
    fs::copy_file(tree_->path() / std::string(kType9UzbekVoice).substr(1),
                  root / std::string(kType9UzbekVoice).substr(1));
    std::ofstream(root / "wp-content/db/version.txt", std::ios::binary) << c.content;
    Device(9, kCountryUzbekistan);
    Serve(emu::ServerFault::None, {}, root.path());
    Download(1);
    if (c.usable) {
      EXPECT_EQ(state.downloadPhase, DownloadPhase::Picked);
      EXPECT_EQ(server->RequestedPaths().back(), kType9UzbekVoice);
    } else {
      ExpectFailedCleanly();
      EXPECT_FALSE(PackageRequested()) << "nothing is asked for with a version not trusted";
    }
  }
}

TEST_F(DownloadWorkerTest, ServerFaultsEndTheFlowCleanly) {
  struct Case {
    const char* name;
    emu::ServerFault fault;
    const char* only;  // the fault strikes requests ending in this
    bool packageAsked;
  };
  const Case cases[] = {
      {"version.txt missing", emu::ServerFault::NotFound, "version.txt", false},
      {"server error on version.txt", emu::ServerFault::ServerError, "version.txt", false},
      {"package missing", emu::ServerFault::NotFound, ".zip", true},
      {"server error on the package", emu::ServerFault::ServerError, ".zip", true},
      {"package cut short", emu::ServerFault::Cut, ".zip", true},
      {"package stalls", emu::ServerFault::Stall, ".zip", true},
      {"redirect to a local file", emu::ServerFault::RedirectFile, ".zip", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Device(9, kCountryUzbekistan);
    Serve(c.fault, c.only);
    Download(1);
    ExpectFailedCleanly();
    EXPECT_EQ(PackageRequested(), c.packageAsked);
    EXPECT_FALSE(state.downloadReport.transferError.empty());
  }
}

TEST_F(DownloadWorkerTest, SlowPackageShowsItsProgress) {
  Device(9, kCountryUzbekistan);
  emu::LoopbackServerOptions options;
  options.fault = emu::ServerFault::Slow;
  options.faultPathSuffix = ".zip";
  options.slowBytesPerSecond = 1024 * 1024;
  server.emplace(tree_->path(), options);
  ASSERT_TRUE(server->Start());
  state.serverUrl = server->url() + "wp-content/db";  // no trailing '/': one is added
  Download(1);
  EXPECT_EQ(state.downloadPhase, DownloadPhase::Picked);
  const std::vector<int> positions = view.Positions();
  EXPECT_GE(positions.size(), 3u);
  EXPECT_TRUE(std::is_sorted(positions.begin() + 1, positions.end()));
}

TEST_F(DownloadWorkerTest, CountryWithoutPackagesAsksForNothing) {
  Device(9, 0);
  Serve();
  Download(1);
  ExpectFailedCleanly();
  EXPECT_FALSE(PackageRequested());
}

TEST_F(DownloadWorkerTest, PackageContentsDecide) {
  const emu::UpdateFile type9 = emu::ServerUpdateFile(9, kCountryUzbekistan, 1);
  const emu::UpdateFile type26 = emu::ServerUpdateFile(26, kCountryUzbekistan, 1);
  struct Case {
    const char* name;
    std::vector<emu::ZipEntry> entries;
    std::optional<std::string> picked;
  };
  const Case cases[] = {
      {"readme, Thumbs.db, a folder and FW.BIN",
       {emu::ZipTextEntry("readme.txt", "read me"), emu::ZipTextEntry("Thumbs.db", "x"),
        emu::ZipFolderEntry("docs"), emu::ZipTextEntry("docs/a.bin", "not this"),
        emu::ZipFileEntry("FW.BIN", type9.bytes)},
       "FW.BIN"},
      {"another model's file only", {emu::ZipFileEntry("FW.BIN", type26.bytes)}, std::nullopt},
      {"no update file", {emu::ZipTextEntry("readme.txt", "read me")}, std::nullopt},
      {"an item that cannot be extracted",
       {emu::ZipFileEntry("FW.BIN", type9.bytes), emu::ZipTextEntry(std::string(300, 'a'), "x")},
       std::nullopt},
      {"not a zip", {}, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::ScopedTempDir root("download_package");
    const fs::path folder = root / "wp-content/db/15-05-2023/UZB";
    fs::create_directories(folder);
    std::ofstream(root / "wp-content/db/version.txt") << kVersion;
    const fs::path package = folder / "DahliaLite_15052023_uz_uz.zip";
    if (c.entries.empty()) {
      std::ofstream(package) << "PK but not really";
    } else {
      ASSERT_TRUE(emu::WriteZip(package, c.entries).ok());
    }
    Device(9, kCountryUzbekistan);
    Serve(emu::ServerFault::None, {}, root.path());
    Download(1);
    if (c.picked) {
      EXPECT_EQ(state.downloadPhase, DownloadPhase::Picked);
      EXPECT_EQ(state.pickedImageName, *c.picked);
    } else {
      ExpectFailedCleanly();
    }
  }
}

// Extraction stopped part-way (the window closing) is not a package that unpacked.
TEST_F(DownloadWorkerTest, ExtractionStoppedPartWayIsNotComplete) {
  const fs::path package = work / "package.zip";
  const std::vector<emu::ZipEntry> entries = {emu::ZipTextEntry("a.txt", "a"),
                                              emu::ZipTextEntry("b.txt", "b")};
  ASSERT_TRUE(emu::WriteZip(package, entries).ok());
  int asked = 0;
  const ExtractReport report =
      ExtractPackage(package, work / "update", [&asked] { return ++asked < 2; });
  EXPECT_TRUE(report.opened);
  EXPECT_TRUE(report.cancelled);
  EXPECT_FALSE(report.complete());
  EXPECT_TRUE(fs::exists(package)) << "only a whole extraction deletes the package";
  EXPECT_FALSE(fs::exists(work / "update" / "b.txt"));
}

TEST_F(DownloadWorkerTest, StoppingDuringAStalledDownloadEndsAtOnce) {
  Device(9, kCountryUzbekistan);
  Serve(emu::ServerFault::Stall, ".zip");
  CurlHttpClient patient;  // the real time-outs: only the stop can end this transfer
  DownloadWorker stalled(patient, window, view, state, [this] { picked = true; });
  stalled.Start(1);
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!PackageRequested() && std::chrono::steady_clock::now() < deadline) {
    window.RunPending();
    std::this_thread::sleep_for(5ms);
  }
  ASSERT_TRUE(PackageRequested());
  std::this_thread::sleep_for(200ms);

  window.Close();  // the window refuses tasks first, as when it closes
  const auto start = std::chrono::steady_clock::now();
  stalled.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_FALSE(picked);
  EXPECT_FALSE(fs::exists(work / "DahliaLite_15052023.zip.part"));
  EXPECT_FALSE(fs::exists(work / "DahliaLite_15052023.zip"));
}

}  // namespace
}  // namespace korvan
