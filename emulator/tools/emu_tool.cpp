#include "emulator/tools/emu_tool.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#include <signal.h>
#endif
#include <CLI/CLI.hpp>

#include <charconv>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string>

#include "emulator/command_latency.h"
#include "emulator/device_folder.h"
#include "emulator/device_presets.h"
#include "emulator/loopback_server.h"
#include "emulator/server_tree.h"
#include "emulator/update_file_builder.h"

namespace korvan::emu {
namespace {

constexpr char kToolName[] = "korvan-emu";

// Arguments are taken as text and checked here, so every bad one gets a message that says
// what was expected.
struct MakeArguments {
  std::string type;
  std::string folder;
  std::string firmware = "0215";
  std::string voice = "0031";
  std::string database = "1.2 240517";
  std::string aux = "0173";
  int country = kCountryRussia;
  bool recordFlag = false;
  std::optional<size_t> buildRow;
  std::optional<size_t> voiceBuildRow;
  size_t inquiryLength = kMinInquiryLength;
  std::string latency;  // --sim-latency, microseconds per command
};

class BadArgument : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

VersionDigits Digits(const std::string& text, const char* option) {
  const auto digits = ParseVersionDigits(text);
  if (!digits) {
    throw BadArgument(std::string(option) + " wants four decimal digits such as 0215, not \"" +
                      text + "\"");
  }
  return *digits;
}

PresetOptions ToPreset(const MakeArguments& args) {
  PresetOptions preset;
  const auto type = ParseModelByte(args.type);
  if (!type) {
    throw BadArgument("TYPE wants a model byte 0..255 (decimal or 0x-hex), not \"" + args.type +
                      "\"");
  }
  preset.rawType = *type;
  preset.firmware = Digits(args.firmware, "--firmware");
  preset.voice = Digits(args.voice, "--voice");
  preset.aux = Digits(args.aux, "--aux");
  const auto database = ParseDatabaseVersion(args.database);
  if (!database) {
    throw BadArgument(
        "--database wants a version such as \"1.2 240517\" or \"v1.2 240517\", not \"" +
        args.database + "\"");
  }
  preset.database = *database;
  preset.country = static_cast<uint8_t>(args.country);
  preset.recordTypeFlag = args.recordFlag;
  preset.firmwareBuildRow = args.buildRow;
  preset.voiceBuildRow = args.voiceBuildRow;
  preset.inquiryLength = args.inquiryLength;
  return preset;
}

std::string Hex2(unsigned value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return {'0', 'x', kDigits[(value >> 4) & 0xF], kDigits[value & 0xF]};
}

int RunMake(const MakeArguments& args, std::ostream& out, std::ostream& err) {
  PresetOptions preset;
  DeviceImages images;
  try {
    preset = ToPreset(args);
    images = MakePresetImages(preset);
  } catch (const std::exception& e) {  // BadArgument, or options the presets cannot build
    err << kToolName << " make: " << e.what() << "\n";
    return kToolBadArguments;
  }
  std::optional<std::chrono::microseconds> latency;
  if (!args.latency.empty()) {
    std::string error;
    latency = ParseCommandLatency(args.latency, error);
    if (!latency) {
      err << kToolName << " make: --sim-latency " << error << "\n";
      return kToolBadArguments;
    }
  }
  FolderResult written = WriteDeviceFolder(args.folder, images);
  if (written.ok()) {
    written = WriteDeviceLatency(args.folder, latency);
  }
  if (!written.ok()) {
    err << kToolName << " make: " << written.error << "\n";
    return kToolFailed;
  }
  out << "wrote device folder " << args.folder << ": model byte " << Hex2(preset.rawType)
      << " (type " << int{EffectiveModelType(preset.rawType)} << "), inquiry "
      << images.inquiry.size() << " bytes, controller " << images.controller.size()
      << " bytes, flash " << images.flash.size() << " bytes";
  if (!images.memory2.empty()) {
    out << ", memory2 " << images.memory2.size() << " bytes";
  }
  if (latency) {
    out << ", " << latency->count() << " us per command";
  }
  out << "\n";
  return kToolOk;
}

int RunUpdateFile(const MakeArguments& args, uint16_t signatureLength, std::ostream& out,
                  std::ostream& err) {
  UpdateFile file;
  try {
    UpdateFileOptions options;
    options.contents = ToPreset(args);
    options.signatureLength = signatureLength;
    file = MakeUpdateFile(options);
  } catch (const std::exception& e) {
    err << kToolName << " update-file: " << e.what() << "\n";
    return kToolBadArguments;
  }
  const auto path = WriteUpdateFile(args.folder, file);
  if (!path) {
    err << kToolName << " update-file: cannot write " << file.name << " into " << args.folder
        << "\n";
    return kToolFailed;
  }
  out << path->string() << "\n";
  return kToolOk;
}

struct ServerTreeArguments {
  std::string folder;
  std::string version;
  std::vector<std::string> types;
  std::vector<int> countries;
};

int RunServerTree(const ServerTreeArguments& args, std::ostream& out, std::ostream& err) {
  ServerTreeOptions options;
  for (const std::string& text : args.types) {
    const auto type = ParseModelByte(text);
    if (!type || *type > 127) {
      err << kToolName << " server-tree: --types wants model codes such as 4,9, not \"" << text
          << "\"\n";
      return kToolBadArguments;
    }
    options.types.push_back(static_cast<int8_t>(*type));
  }
  if (!args.countries.empty()) {
    options.countries.assign(args.countries.begin(), args.countries.end());
  }
  ServerTreeResult result;
  try {
    result = WriteServerTree(args.folder, args.version, options);
  } catch (const std::invalid_argument& e) {
    err << kToolName << " server-tree: " << e.what() << "\n";
    return kToolBadArguments;
  }
  if (!result.ok()) {
    err << kToolName << " server-tree: " << result.error << "\n";
    return kToolFailed;
  }
  out << "wrote server tree " << args.folder << ": version " << args.version << ", "
      << result.packages.size() << " packages below " << kDownloadDirectory << "/\n";
  return kToolOk;
}

struct ServeArguments {
  std::string folder;
  int port = 0;
  std::string fault = "none";
  std::string faultOnly;
  size_t slowRate = LoopbackServerOptions{}.slowBytesPerSecond;
};

#ifdef _WIN32
// Ctrl+C, Ctrl+Break or the console's closing, which Windows reports to a handler on a thread
// of its own; the handler only wakes Wait.
class EndRequests {
 public:
  EndRequests() { ::SetConsoleCtrlHandler(OnEnd, TRUE); }
  ~EndRequests() { ::SetConsoleCtrlHandler(OnEnd, FALSE); }
  EndRequests(const EndRequests&) = delete;
  EndRequests& operator=(const EndRequests&) = delete;

  void Wait() {
    std::unique_lock lock(State().mutex);
    State().ended.wait(lock, [] { return State().requested; });
  }

 private:
  struct Shared {
    std::mutex mutex;
    std::condition_variable ended;
    bool requested = false;
  };
  static Shared& State() {
    static Shared shared;
    return shared;
  }
  static BOOL WINAPI OnEnd(DWORD) {
    {
      std::lock_guard lock(State().mutex);
      State().requested = true;
    }
    State().ended.notify_all();
    return TRUE;
  }
};
#else
// SIGTERM and SIGINT, taken by sigwait rather than by a handler, so the server is stopped from
// an ordinary thread. They are blocked before the server starts its threads, which inherit the
// mask, so none of them can take the signal instead.
class EndRequests {
 public:
  EndRequests() {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGTERM);
    sigaddset(&signals_, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
  }
  ~EndRequests() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  EndRequests(const EndRequests&) = delete;
  EndRequests& operator=(const EndRequests&) = delete;

  void Wait() {
    int received = 0;
    sigwait(&signals_, &received);
  }

 private:
  sigset_t signals_;
  sigset_t previous_;
};
#endif

int RunServe(const ServeArguments& args, std::ostream& out, std::ostream& err) {
  LoopbackServerOptions options;
  const auto fault = ParseServerFault(args.fault);
  if (!fault) {
    err << kToolName << " serve: --fault wants none, 404, 500, stall, cut, slow or redirect-file, "
        << "not \"" << args.fault << "\"\n";
    return kToolBadArguments;
  }
  options.port = args.port;
  options.fault = *fault;
  options.faultPathSuffix = args.faultOnly;
  options.slowBytesPerSecond = args.slowRate;

  EndRequests ends;
  LoopbackServer server(args.folder, options);
  if (!server.Start()) {
    err << kToolName << " serve: " << server.error() << "\n";
    return kToolFailed;
  }
  // Scripts and tests read the port from this line, so it goes out at once.
  out << server.url() << std::endl;
  err << "serving " << args.folder << " (fault " << ServerFaultName(*fault)
      << "); stop with Ctrl+C\n";
  ends.Wait();
  server.Stop();
  return kToolOk;
}

}  // namespace

std::optional<uint8_t> ParseModelByte(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  unsigned value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
  if (text.empty() || ec != std::errc() || ptr != end || value > 255) {
    return std::nullopt;
  }
  return static_cast<uint8_t>(value);
}

int RunEmuTool(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  CLI::App app{"Simulated Korvan devices for tests and demonstrations.", kToolName};
  // "/x" is a path or a value here, never an option: CLI11 would read it as one on Windows.
  app.allow_windows_style_options(false);
  app.require_subcommand(1);

  MakeArguments args;
  // The contents both commands build from.
  auto addContents = [&args](CLI::App* command) {
    command
        ->add_option("TYPE", args.type, "Model byte as the device reports it (0..255, 0x-hex too)")
        ->required();
    command->add_option("--firmware", args.firmware, "Firmware version digits")
        ->capture_default_str();
    command->add_option("--voice", args.voice, "Voice version digits")->capture_default_str();
    command->add_option("--database", args.database, "Database version, \"1.2 240517\"")
        ->capture_default_str();
    command->add_option("--country", args.country, "Country code of the version records")
        ->check(CLI::Range(0, 255))
        ->capture_default_str();
    command->add_flag("--record-flag", args.recordFlag, "Set bit 7 of the records' type byte");
  };
  CLI::App* make = app.add_subcommand("make", "Write a preset device folder.");
  addContents(make);
  make->add_option("DIR", args.folder, "Device folder to write (created if needed)")->required();
  make->add_option("--aux", args.aux, "Second version of type 8")->capture_default_str();
  make->add_option("--build-row", args.buildRow,
                   "Types 1-4: firmware is this row of the build table, without a record");
  make->add_option("--voice-build-row", args.voiceBuildRow,
                   "Types 2-4: voice is this row of the voice build table");
  make->add_option("--sim-latency", args.latency,
                   "Microseconds the device takes per command (kept in the folder's latency.txt)")
      ->type_name("MICROSECONDS");
  make->add_option("--inquiry-length", args.inquiryLength, "INQUIRY data length")
      ->check(CLI::Range(kMinInquiryLength, kMaxInquiryLength))
      ->capture_default_str();

  uint16_t signatureLength = UpdateFileOptions{}.signatureLength;
  CLI::App* updateFile = app.add_subcommand(
      "update-file", "Write an update file for a model into DIR, named as the model expects.");
  addContents(updateFile);
  updateFile->add_option("DIR", args.folder, "Folder to write the file into")->required();
  updateFile->add_option("--signature-length", signatureLength, "Type 8: signature bytes")
      ->capture_default_str();

  ServerTreeArguments treeArgs;
  CLI::App* serverTree = app.add_subcommand(
      "server-tree", "Write the update server's files below DIR for the serve command.");
  serverTree->add_option("DIR", treeArgs.folder, "Root folder of the tree (created if needed)")
      ->required();
  serverTree->add_option("--version", treeArgs.version, "Package version, DD-MM-YYYY")->required();
  serverTree
      ->add_option("--types", treeArgs.types,
                   "Models to publish, e.g. 4,9 (default: every model with a voice list)")
      ->delimiter(',');
  serverTree
      ->add_option("--countries", treeArgs.countries,
                   "Package countries, 3 (RUS) and/or 12 (UZB) (default: both)")
      ->delimiter(',')
      ->check(CLI::Range(0, 255));

  ServeArguments serveArgs;
  CLI::App* serve = app.add_subcommand(
      "serve", "Serve DIR on 127.0.0.1; prints the root URL first, runs until SIGTERM/SIGINT.");
  serve->add_option("DIR", serveArgs.folder, "Folder to serve")->required();
  serve->add_option("--port", serveArgs.port, "Port; 0 takes any free port")
      ->check(CLI::Range(0, 65535))
      ->capture_default_str();
  serve->add_option("--fault", serveArgs.fault, "none, 404, 500, stall, cut, slow or redirect-file")
      ->capture_default_str();
  serve->add_option("--fault-only", serveArgs.faultOnly,
                    "Apply the fault only to paths ending in this, e.g. .zip");
  serve->add_option("--slow-rate", serveArgs.slowRate, "Bytes per second of the slow fault")
      ->check(CLI::Range(size_t{1}, size_t{1} << 30))
      ->capture_default_str();

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e, out, err);
  } catch (const CLI::ParseError& e) {
    err << kToolName << ": " << e.what() << "\n"
        << "Run with --help for more information.\n";
    return kToolBadArguments;
  }
  if (updateFile->parsed()) {
    return RunUpdateFile(args, signatureLength, out, err);
  }
  if (serverTree->parsed()) {
    return RunServerTree(treeArgs, out, err);
  }
  if (serve->parsed()) {
    return RunServe(serveArgs, out, err);
  }
  return RunMake(args, out, err);
}

}  // namespace korvan::emu
