#include "sources/zip_extractor.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#include <winioctl.h>
#else
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sources/zip_name.h"
#include "tests/sources/zip_test_package.h"
#include "tests/support/scoped_env.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;
using testing::TestItem;

constexpr ZipResult kOk = ZipResult::Ok;
constexpr ZipResult kRefused = ZipResult::BadArguments;
constexpr ZipResult kInflate = ZipResult::DecompressionFailed;
constexpr uint64_t kUnixEpochTicks = 116'444'736'000'000'000;

uint64_t FileTime(int64_t unixSeconds) {
  return static_cast<uint64_t>(unixSeconds) * 10'000'000 + kUnixEpochTicks;
}

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

// A symbolic link, or on Windows any reparse point (a junction too).
bool IsLink(const fs::path& path) {
#ifdef _WIN32
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
#else
  return fs::is_symlink(fs::symlink_status(path));
#endif
}

// Everything below `folder` without following links: a folder as "name/" -> "", a link as
// "name" -> "(link)", a file as "name" -> its bytes.
std::map<std::string, std::string> Listing(const fs::path& folder) {
  std::map<std::string, std::string> found;
  if (!fs::exists(fs::symlink_status(folder))) {
    return found;
  }
  for (auto item = fs::recursive_directory_iterator(folder);
       item != fs::recursive_directory_iterator(); ++item) {
    const std::u8string relative = item->path().lexically_relative(folder).generic_u8string();
    const std::string name(relative.begin(), relative.end());
    if (IsLink(item->path())) {
      found[name] = "(link)";
      item.disable_recursion_pending();
    } else if (item->is_directory()) {
      found[name + "/"] = "";
    } else {
      found[name] = testing::ReadBytes(item->path());
    }
  }
  return found;
}

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

// A link at `link` to `target` (relative to the link's folder). Windows makes symbolic links
// only for an administrator or in developer mode, and junctions (folders only) for anyone;
// wine 8 answers TRUE to CreateSymbolicLinkW without making anything, so the link is looked for
// afterwards. False when this platform makes none.
bool PlantLink(const fs::path& target, const fs::path& link, bool folder) {
#ifdef _WIN32
  constexpr DWORD kUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
  const fs::path relative = fs::path(target).make_preferred();
  const DWORD flags = folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0;
  if (!CreateSymbolicLinkW(link.c_str(), relative.c_str(), flags | kUnprivileged)) {
    CreateSymbolicLinkW(link.c_str(), relative.c_str(), flags);  // before Windows 10 1703
  }
  if (IsLink(link) || !folder) {
    return IsLink(link);
  }
  // A junction: an empty folder given a mount-point reparse point naming an absolute path.
  const std::wstring substitute =
      L"\\??\\" + (link.parent_path() / target).lexically_normal().make_preferred().native();
  if (!CreateDirectoryW(link.c_str(), nullptr)) {
    return false;
  }
  HANDLE handle = CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  const auto nameBytes = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
  // Tag, data length, reserved; then the substitute name's offset and length, the print name's
  // offset and length, and both names, each with its terminator (the print name is empty).
  std::vector<char> buffer(8 + 8 + nameBytes + 2 * sizeof(wchar_t), 0);
  const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
  const auto dataLength = static_cast<WORD>(buffer.size() - 8);
  const WORD names[4] = {0, nameBytes, static_cast<WORD>(nameBytes + sizeof(wchar_t)), 0};
  std::memcpy(buffer.data(), &tag, 4);
  std::memcpy(buffer.data() + 4, &dataLength, 2);
  std::memcpy(buffer.data() + 8, names, sizeof names);
  std::memcpy(buffer.data() + 16, substitute.data(), nameBytes);
  DWORD returned = 0;
  const bool made =
      handle != INVALID_HANDLE_VALUE &&
      DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(),
                      static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    CloseHandle(handle);
  }
  if (!made) {
    RemoveDirectoryW(link.c_str());
  }
  return made && IsLink(link);
#else
  std::error_code error;
  if (folder) {
    fs::create_directory_symlink(target, link, error);
  } else {
    fs::create_symlink(target, link, error);
  }
  return !error;
#endif
}

bool IsReadOnly(const fs::path& path) {
#ifdef _WIN32
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
#else
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && (st.st_mode & 0222) == 0;
#endif
}

// The C library reads TZ again only when told to, on its way in and on its way out.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) : zone_(std::in_place, "TZ", zone) { Reread(); }
  ~ScopedTimeZone() {
    zone_.reset();
    Reread();
  }

 private:
  static void Reread() {
#ifdef _WIN32
    _tzset();
#else
    tzset();
#endif
  }
  std::optional<testing::ScopedEnv> zone_;
};

TEST(ZipNameTest, CleaningStripsEveryWayOutOfTheFolder) {
  const struct {
    const char* name;
    const char* cleaned;
  } cases[] = {
      {"../../evil.bin", "evil.bin"},
      {"..\\evil.bin", "evil.bin"},
      {"C:\\x\\y.bin", "x\\y.bin"},
      {"/abs/z.bin", "abs/z.bin"},
      {"a/../b.bin", "b.bin"},
      {"\\\\server\\share\\x", "server\\share\\x"},
      {"a/b/../../c", "c"},
      {"x/..\\y", "y"},
      {"/..\\../x", "x"},
      {"D:/../w.bin", "w.bin"},
      {"p/../q\\..\\r", "r"},
      {"p/../q/../r", "r"},
      // Any one character before ':' is a drive, several repeatedly, a multi-byte one too.
      {"::x", "x"},
      {"a:b:c", "c"},
      {"\xC3\xA9:x", "x"},
      {"C:", ""},
      {"ab:c", "ab:c"},
      // Nothing to strip: these stay for the path check to judge.
      {"..", ".."},
      {"...", "..."},
      {"a/..", "a/.."},
      {"..x/y", "..x/y"},
      {"fw/", "fw/"},
      {"plain.bin", "plain.bin"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CleanEntryName(c.name), c.cleaned) << c.name;
  }
}

TEST(ZipNameTest, PathStepsRefuseDotStepsAndNothing) {
  using Steps = std::vector<std::string>;
  const struct {
    const char* name;
    std::optional<Steps> steps;
  } cases[] = {
      {"a/b\\c.bin", Steps{"a", "b", "c.bin"}},
      {"fw/", Steps{"fw"}},
      {"a//b", Steps{"a", "b"}},
      {".hidden", Steps{".hidden"}},
      {"a.b/..c", Steps{"a.b", "..c"}},
      {"", std::nullopt},
      {"/", std::nullopt},
      {".", std::nullopt},
      {"..", std::nullopt},
      {"...", std::nullopt},
      {"a/..", std::nullopt},
      {"a/./b", std::nullopt},
      {"a\\...\\b", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EntryPathSteps(c.name), c.steps) << c.name;
  }
}

std::string Repeated(std::string_view text, int times) {
  std::string repeated;
  for (int i = 0; i < times; ++i) {
    repeated += text;
  }
  return repeated;
}

TEST(ZipNameTest, DecodingReplacesMalformedBytesEndsAtNulAndCuts) {
  const std::string replacement = "\xEF\xBF\xBD";
  const struct {
    std::string stored;
    std::string decoded;
  } cases[] = {
      {"plain.bin", "plain.bin"},
      {"\xD0\x9F\xD0\xBE.bin", "\xD0\x9F\xD0\xBE.bin"},
      {"\xFF.bin", replacement + ".bin"},
      // An overlong '/' must not turn into a separator.
      {"..\xC0\xAF"
       "x",
       ".." + replacement + replacement + "x"},
      {"\xED\xA0\x80", replacement},  // a surrogate
      {"\xE2\x82", replacement},      // cut short
      {std::string("a\0../b", 6), "a"},
      {std::string(300, 'n'), std::string(259, 'n')},
      {std::string(300, '\xFF'), Repeated(replacement, 259)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeEntryName(c.stored), c.decoded) << c.stored;
  }
}

TestItem Item(std::string name, std::string data) {
  TestItem item;
  item.name = std::move(name);
  item.data = std::move(data);
  return item;
}

TestItem UnixItem(std::string name, std::string data, uint32_t mode) {
  TestItem item = Item(std::move(name), std::move(data));
  item.madeBy = testing::kMadeByUnix;
  item.external = mode << 16;
  return item;
}

TestItem Folder(std::string name) {
  TestItem item = Item(std::move(name), "");
  item.external = kZipFolder;
  return item;
}

struct HostileCase {
  const char* label;
  std::vector<TestItem> items;
  std::function<void(std::string& bytes)> patch;
  // Runs in the test folder before extraction; out/ and outside/keep.txt exist.
  std::function<void(const fs::path& folder)> prepare;
  ZipResult open = kOk;
  std::vector<ZipResult> results;  // one per item in the central directory
  std::map<std::string, std::string> landed;
  ZipLimits limits = {};
};

std::vector<HostileCase> HostileCases() {
  std::vector<HostileCase> cases;
  cases.push_back(
      {"parent steps are cleaned away",
       {Item("../../evil1.bin", "1"), Item("..\\evil2.bin", "2"), Item("a/../../evil3.bin", "3"),
        Item("a\\..\\..\\evil4.bin", "4"), Item("x/..\\evil5.bin", "5")},
       nullptr,
       nullptr,
       kOk,
       {kOk, kOk, kOk, kOk, kOk},
       {{"evil1.bin", "1"},
        {"evil2.bin", "2"},
        {"evil3.bin", "3"},
        {"evil4.bin", "4"},
        {"evil5.bin", "5"}}});
  cases.push_back({"absolute, drive and UNC names land inside",
                   {Item("/abs/z.bin", "z"), Item("C:\\x\\y.bin", "y"),
                    Item("\\\\server\\share\\u.bin", "u"), Item("D:/../w.bin", "w")},
                   nullptr,
                   nullptr,
                   kOk,
                   {kOk, kOk, kOk, kOk},
                   {{"abs/", ""},
                    {"abs/z.bin", "z"},
                    {"x/", ""},
                    {"x/y.bin", "y"},
                    {"server/", ""},
                    {"server/share/", ""},
                    {"server/share/u.bin", "u"},
                    {"w.bin", "w"}}});
  const std::string longest =
      std::string(100, 'a') + "/" + std::string(100, 'b') + "/" + std::string(57, 'c');
  cases.push_back(
      {"names that cannot be made safe are refused, the rest extracts",
       {Item("NUL@../../n.bin", "n"), Item(longest + "c", "260"),
        Item(std::string(300, 'L'), "300"), Item("", "empty"), Item("/", "slash"),
        Item("..", "dots"), Item("...", "dots"), Item("a/..", "dots"), Item(longest, "259"),
        Item("good.bin", "good")},
       [](std::string& bytes) { testing::ReplaceAll(bytes, "NUL@", std::string("NUL\0", 4)); },
       nullptr,
       kOk,
       {kRefused, kRefused, kRefused, kRefused, kRefused, kRefused, kRefused, kRefused, kOk, kOk},
       {{std::string(100, 'a') + "/", ""},
        {std::string(100, 'a') + "/" + std::string(100, 'b') + "/", ""},
        {longest, "259"},
        {"good.bin", "good"}}});
  cases.push_back({"links and other special files are never created",
                   {UnixItem("link.bin", "../outside/keep.txt", 0120777),
                    UnixItem("fifo", "", 0010644), UnixItem("device", "", 0020644),
                    UnixItem("plain.bin", "plain", 0100644), UnixItem("untyped.bin", "u", 0644)},
                   nullptr,
                   nullptr,
                   kOk,
                   {kRefused, kRefused, kRefused, kOk, kOk},
                   {{"plain.bin", "plain"}, {"untyped.bin", "u"}}});
  cases.push_back({"duplicate names: the last one wins",
                   {Item("dup.bin", "first"), Item("dup.bin", "second")},
                   nullptr,
                   nullptr,
                   kOk,
                   {kOk, kOk},
                   {{"dup.bin", "second"}}});
  cases.push_back({"entries sharing their data: only the first extracts",
                   {Item("a.bin", "shared bytes"), Item("b.bin", "shared bytes")},
                   [](std::string& bytes) { testing::PointEntryAt(bytes, 1, 0); },
                   nullptr,
                   kOk,
                   {kOk, kRefused},
                   {{"a.bin", "shared bytes"}}});
  {
    // The overlapping bomb: many entries, one run of data. Each declares 1 MiB; together
    // they pass the package limit, so not one is written.
    uint32_t crc = 0;
    const std::string mib = testing::DeflatedZeros(1, crc);
    HostileCase overlap;
    overlap.label = "overlapping entries cannot add up past the package limit";
    for (int i = 0; i < 300; ++i) {
      TestItem item = Item("z" + std::to_string(1000 + i) + ".bin", mib);
      item.raw = TestItem::Raw{crc, 1u << 20};
      overlap.items.push_back(item);
      overlap.results.push_back(kInflate);
    }
    overlap.patch = [](std::string& bytes) {
      for (std::size_t i = 1; i < 300; ++i) {
        testing::PointEntryAt(bytes, i, 0);
      }
    };
    cases.push_back(overlap);
  }
  {
    uint32_t crc = 0;
    const std::string gib = testing::DeflatedZeros(1024, crc);
    TestItem honest = Item("bomb.bin", gib);
    honest.raw = TestItem::Raw{crc, 1ull << 30};
    cases.push_back(
        {"a GiB of zeros declared as such", {honest}, nullptr, nullptr, kOk, {kInflate}, {}});
    // Stopped at its declared MiB: had it run on to the package limit, the 2 MiB behind it
    // would not fit in what is left.
    uint32_t mibCrc = 0;
    testing::DeflatedZeros(1, mibCrc);
    TestItem lying = Item("bomb.bin", gib);
    lying.raw = TestItem::Raw{mibCrc, 1u << 20};
    uint32_t afterCrc = 0;
    TestItem after = Item("after.bin", testing::DeflatedZeros(2, afterCrc));
    after.raw = TestItem::Raw{afterCrc, 2u << 20};
    cases.push_back({"a GiB of zeros declared as one MiB",
                     {lying, after},
                     nullptr,
                     nullptr,
                     kOk,
                     {kInflate, kOk},
                     {{"after.bin", std::string(2u << 20, '\0')}},
                     ZipLimits{2u << 20, 4u << 20}});
  }
  {
    TestItem badCrc = testing::RawItem("bad.bin", "hello hello hello");
    badCrc.raw->crc ^= 1;
    // The CRC-32 of the bytes that are there, so that only the sizes tell.
    TestItem stored = Item("short.bin", std::string(50, 's'));
    stored.stored = true;
    stored.raw = TestItem::Raw{testing::Crc(stored.data), 100};
    TestItem cut = testing::RawItem("cut.bin", std::string(5000, 'c') + "tail");
    cut.data.resize(cut.data.size() / 2);
    uint32_t zerosCrc = 0;
    TestItem unfinished = Item("unfinished.bin", testing::DeflatedZeros(1, zerosCrc));
    unfinished.data.resize(unfinished.data.size() - 2);  // all the data, but no final block
    unfinished.raw = TestItem::Raw{zerosCrc, 1u << 20};
    TestItem longer = testing::RawItem("long.bin", "0123456789");
    longer.raw = TestItem::Raw{testing::Crc("01234"), 5};
    cases.push_back({"data that fails its CRC, stops early or runs long",
                     {badCrc, stored, cut, unfinished, longer},
                     nullptr,
                     nullptr,
                     kOk,
                     {kInflate, kInflate, kInflate, kInflate, kInflate},
                     {}});
  }
  {
    TestItem secret = Item("secret.bin", "secret data");
    secret.password = "password";
    cases.push_back({"an encrypted item",
                     {secret, Item("open.bin", "open")},
                     nullptr,
                     nullptr,
                     kOk,
                     {ZipResult::Encrypted, kOk},
                     {{"open.bin", "open"}}});
  }
  cases.push_back({"local headers that disagree or cannot be read",
                   {Item("method.bin", "m"), Item("fine.bin", "fine"), Item("extra.bin", "x")},
                   [](std::string& bytes) {
                     bytes[testing::LocalHeaderOf(bytes, 0) + 8] = 0;  // method: stored
                     const std::size_t last = testing::LocalHeaderOf(bytes, 2);
                     bytes[last + 28] = '\xFF';  // an extra field past the end of the file
                     bytes[last + 29] = '\xFF';
                   },
                   nullptr,
                   kOk,
                   {ZipResult::LocalHeaderMismatch, kOk, ZipResult::LocalHeaderUnreadable},
                   {{"fine.bin", "fine"}}});
  cases.push_back({"a truncated package",
                   {Item("a.bin", std::string(4000, 'a'))},
                   [](std::string& bytes) { bytes.resize(bytes.size() / 2); },
                   nullptr,
                   ZipResult::CannotOpen,
                   {},
                   {}});
  cases.push_back({"not a zip",
                   {Item("a.bin", "a")},
                   [](std::string& bytes) { bytes = "MZ this is an update file, not a zip"; },
                   nullptr,
                   ZipResult::CannotOpen,
                   {},
                   {}});
  cases.push_back({"an empty package", {}, nullptr, nullptr, kOk, {}, {}});
  cases.push_back({"folders, declared or implied",
                   {Folder("fw/"), Item("fw/a.bin", "a"), Item("solo/b.bin", "b"),
                    UnixItem("ufw/", "", 040755), Item("named/", "")},
                   nullptr,
                   nullptr,
                   kOk,
                   {kOk, kOk, kOk, kOk, kOk},
                   {{"fw/", ""},
                    {"fw/a.bin", "a"},
                    {"solo/", ""},
                    {"solo/b.bin", "b"},
                    {"ufw/", ""},
                    {"named/", ""}}});
  cases.push_back({"a file where a folder is needed",
                   {Item("f.bin", "f"), Item("f.bin/x/y.bin", "y")},
                   nullptr,
                   nullptr,
                   kOk,
                   {kOk, ZipResult::CannotOpen},
                   {{"f.bin", "f"}}});
  {
    // On Windows a colon names a stream of another file, a device name the device (through the
    // ordinary paths the download flow opens files by), and a trailing dot or space is dropped
    // there: such names are refused. Elsewhere they are plain names.
    const char* names[] = {"ab:c.bin", "CON.bin", "aux/x.bin", "Lpt1", "dot.", "space ", "q?.bin"};
    HostileCase odd;
    odd.label = "names Windows cannot hold as they stand";
    for (const char* name : names) {
      odd.items.push_back(Item(name, name));
      odd.results.push_back(kWindows ? kRefused : kOk);
      if (!kWindows) {
        odd.landed[name] = name;
      }
    }
    if (!kWindows) {
      odd.landed["aux/"] = "";
    }
    odd.items.push_back(Item("fine.bin", "fine"));
    odd.results.push_back(kOk);
    odd.landed["fine.bin"] = "fine";
    cases.push_back(odd);
  }
  {
    // Windows names ignore case: these land on one file, the last written wins, and the third,
    // sharing the first one's data, is refused there as anywhere.
    HostileCase cased;
    cased.label = "names differing only in case";
    cased.items = {Item("Case.bin", "first"), Item("CASE.BIN", "other"), Item("case.bin", "first")};
    cased.patch = [](std::string& bytes) { testing::PointEntryAt(bytes, 2, 0); };
    cased.results = {kOk, kOk, kRefused};
    if (kWindows) {
      cased.landed = {{"case.bin", "other"}};
    } else {
      cased.landed = {{"Case.bin", "first"}, {"CASE.BIN", "other"}};
    }
    cases.push_back(cased);
  }
  return cases;
}

// Names as the platform compares them: on Windows without regard to case.
std::map<std::string, std::string> AsCompared(const std::map<std::string, std::string>& listing) {
  if (!kWindows) {
    return listing;
  }
  std::map<std::string, std::string> folded;
  for (const auto& [name, bytes] : listing) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    folded[lower] = bytes;
  }
  return folded;
}

// Each case runs twice: through ExtractEntryInto, and through ExtractEntry with the target the
// download flow builds (folder + "/" + entry.name). Both must keep to the folder the same way.
void RunHostileCase(const HostileCase& c) {
  for (const bool intoFolder : {true, false}) {
    SCOPED_TRACE(std::string(c.label) + (intoFolder ? " (into folder)" : " (to target)"));
    testing::ScopedTempDir tmp("zip");
    const fs::path package = tmp / "pkg.zip";
    const fs::path out = tmp / "out";
    fs::create_directories(out);
    fs::create_directories(tmp / "outside");
    testing::WriteBytes(tmp / "outside" / "keep.txt", "untouched");
    ASSERT_TRUE(testing::WritePackage(package, c.items));
    if (c.patch) {
      std::string bytes = testing::ReadBytes(package);
      c.patch(bytes);
      testing::WriteBytes(package, bytes);
    }
    if (c.prepare) {
      c.prepare(tmp.path());
    }

    ZipResult opened = kOk;
    auto zip = ZipExtractor::Open(package, &opened, c.limits);
    EXPECT_EQ(opened, c.open);
    ASSERT_EQ(zip != nullptr, c.open == kOk);
    if (zip) {
      ZipEntry all;
      ASSERT_EQ(zip->GetEntry(-1, all), kOk);
      ASSERT_EQ(all.index, static_cast<int32_t>(c.results.size()));
      for (int32_t i = 0; i < all.index; ++i) {
        ZipResult result = kOk;
        if (intoFolder) {
          result = zip->ExtractEntryInto(i, out);
        } else {
          ZipEntry entry;
          zip->GetEntry(i, entry);
          result = zip->ExtractEntry(i, Utf8(out) + "/" + entry.name);
        }
        EXPECT_EQ(result, c.results[i]) << "item " << i;
        EXPECT_EQ(zip->LastResult(), result);
      }
      EXPECT_EQ(zip->Close(), kOk);
    }

    // What landed in out/, and outside it nothing but what the test put there.
    std::map<std::string, std::string> expected;
    for (const auto& [name, bytes] : c.landed) {
      expected["out/" + name] = bytes;
    }
    expected["out/"] = "";
    expected["pkg.zip"] = testing::ReadBytes(package);
    expected["outside/"] = "";
    expected["outside/keep.txt"] = "untouched";
    EXPECT_EQ(AsCompared(Listing(tmp.path())), AsCompared(expected));
  }
}

TEST(ZipExtractorTest, HostilePackages) {
  for (const HostileCase& c : HostileCases()) {
    RunHostileCase(c);
  }
}

// Links planted in the folder before extraction: a folder link on the path is refused, a link
// at the target or at its .part is replaced or removed itself, never written through.
TEST(ZipExtractorTest, LinksPlantedInTheFolder) {
  bool fileLinks = false;
  bool folderLinks = false;
  {
    testing::ScopedTempDir probe("zip");
    fs::create_directories(probe / "folder");
    testing::WriteBytes(probe / "file", "");
    folderLinks = PlantLink("folder", probe / "folder-link", true);
    fileLinks = PlantLink("file", probe / "file-link", false);
  }
  if (!folderLinks) {
    GTEST_SKIP() << "this platform makes neither symbolic links nor junctions here (wine 8 "
                    "fakes CreateSymbolicLinkW and has no junctions)";
  }
  HostileCase c;
  c.label = "links planted in the folder are replaced, never followed";
  c.items = {Item("dir/x.bin", "through")};
  c.results = {kRefused};
  if (fileLinks) {
    c.items.insert(c.items.end(), {Item("y.bin", "new y"), Item("z.bin", "new z")});
    c.results.insert(c.results.end(), {kOk, kOk});
    c.landed = {{"y.bin", "new y"}, {"z.bin", "new z"}};
  }
  // A file item over the folder link: rename(2) replaces the link; Windows will not move a file
  // onto a folder, which a folder link or junction is to it, and the link stays.
  c.items.push_back(Item("dir", "file over the link"));
  c.results.push_back(kWindows ? ZipResult::CannotOpen : kOk);
  c.landed["dir"] = kWindows ? "(link)" : "file over the link";
  c.prepare = [fileLinks](const fs::path& folder) {
    ASSERT_TRUE(PlantLink("../outside", folder / "out" / "dir", true));
    if (fileLinks) {
      ASSERT_TRUE(PlantLink("../outside/keep.txt", folder / "out" / "y.bin", false));
      ASSERT_TRUE(PlantLink("../outside/victim.bin", folder / "out" / "z.bin.part", false));
    }
  };
  RunHostileCase(c);
}

TEST(ZipExtractorTest, EntryFieldsByHost) {
  const ScopedTimeZone zone("KVT-3");  // three hours east of UTC, no summer time
  const struct {
    uint16_t madeBy;
    uint32_t external;
    uint32_t attributes;
  } hosts[] = {
      {0x0014, 0x27, 0x27},
      {0x0014, 0xFFFFFF10, kZipFolder},
      {0x0714, 0x04, kZipSystem},
      {0x0B14, 0x21, 0x21},
      {0x0E14, 0x22, 0x22},
      {0x0314, 0100644u << 16, kZipArchive},
      {0x0314, (0100644u << 16) | 0x07, kZipArchive},
      {0x0314, 0100444u << 16, kZipArchive | kZipReadOnly},
      {0x0314, (040755u << 16) | 0x10, kZipArchive | kZipFolder},
      {0x1314, 0100444u << 16, kZipArchive | kZipReadOnly},
      {0x0A14, 0, kZipArchive | kZipReadOnly},
  };
  std::vector<TestItem> items;
  for (const auto& h : hosts) {
    TestItem item = Item("h" + std::to_string(items.size()), "x");
    item.madeBy = h.madeBy;
    item.external = h.external;
    items.push_back(item);
  }
  const std::string content(5000, 'k');
  items.push_back(testing::RawItem("C:\\dir\\sized.bin", content));
  TestItem stored = Item(std::string(300, 'n'), std::string(123, 's'));
  stored.stored = true;
  items.push_back(stored);

  testing::ScopedTempDir tmp("zip");
  ASSERT_TRUE(testing::WritePackage(tmp / "pkg.zip", items));
  auto zip = ZipExtractor::Open(tmp / "pkg.zip");
  ASSERT_NE(zip, nullptr);

  ZipEntry entry;
  ASSERT_EQ(zip->GetEntry(-1, entry), kOk);
  EXPECT_EQ(entry.index, static_cast<int32_t>(items.size()));
  EXPECT_EQ(entry.name, "");
  EXPECT_EQ(entry.attributes, 0u);
  EXPECT_EQ(entry.writeTime, 0u);
  EXPECT_EQ(entry.uncompressedSize, 0);

  // Backwards, so that each step rewinds to the first item.
  for (int32_t i = static_cast<int32_t>(std::size(hosts)) - 1; i >= 0; --i) {
    ASSERT_EQ(zip->GetEntry(i, entry), kOk);
    EXPECT_EQ(entry.index, i);
    EXPECT_EQ(entry.name, "h" + std::to_string(i));
    EXPECT_EQ(entry.attributes, hosts[i].attributes) << "host item " << i;
    // 2024-05-17 12:34:56 on the packer's clock is 09:34:56 UTC.
    EXPECT_EQ(entry.writeTime, FileTime(1715938496));
    EXPECT_EQ(entry.accessTime, entry.writeTime);
    EXPECT_EQ(entry.creationTime, entry.writeTime);
  }
  const auto sizedIndex = static_cast<int32_t>(std::size(hosts));
  ASSERT_EQ(zip->GetEntry(sizedIndex, entry), kOk);
  EXPECT_EQ(entry.name, "dir\\sized.bin");
  EXPECT_EQ(entry.uncompressedSize, 5000);
  EXPECT_EQ(entry.compressedSize, static_cast<int32_t>(testing::Deflate(content).size()));
  ASSERT_EQ(zip->GetEntry(sizedIndex + 1, entry), kOk);
  EXPECT_EQ(entry.name, std::string(259, 'n'));
  EXPECT_EQ(entry.uncompressedSize, 123);
  EXPECT_EQ(entry.compressedSize, 123);

  for (const int32_t bad : {-2, sizedIndex + 2, INT32_MAX}) {
    EXPECT_EQ(zip->GetEntry(bad, entry), kRefused) << bad;
    EXPECT_EQ(zip->ExtractEntryInto(bad, tmp / "out"), kRefused) << bad;
    EXPECT_EQ(zip->ExtractEntry(bad, (tmp / "out" / "x").string()), kRefused) << bad;
  }
  EXPECT_EQ(zip->ExtractEntryInto(-1, tmp / "out"), kRefused);
  EXPECT_EQ(zip->LastResult(), kRefused);

  EXPECT_EQ(zip->Close(), kOk);
  EXPECT_EQ(zip->GetEntry(0, entry), kRefused);
  EXPECT_EQ(zip->ExtractEntryInto(0, tmp / "out"), kRefused);
  EXPECT_EQ(zip->Close(), kRefused);
  EXPECT_FALSE(fs::exists(tmp / "out"));
}

// A file's write and access times in Unix seconds.
std::pair<int64_t, int64_t> WriteAndAccessSeconds(const fs::path& path) {
#ifdef _WIN32
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  const auto seconds = [](FILETIME time) {
    const uint64_t ticks = uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime;
    return static_cast<int64_t>(ticks - kUnixEpochTicks) / 10'000'000;
  };
  return {seconds(data.ftLastWriteTime), seconds(data.ftLastAccessTime)};
#else
  struct stat st {};
  ::stat(path.c_str(), &st);
  return {st.st_mtim.tv_sec, st.st_atim.tv_sec};
#endif
}

TEST(ZipExtractorTest, UnixTimesFromTheLocalExtraField) {
  const ScopedTimeZone zone("KVT-3");
  const int64_t dos = 1715938496;  // the DOS stamp of every item, in UTC
  const uint32_t write = 1700000000, access = 1700000100, creation = 1700000200;
  std::vector<TestItem> items(5);
  items[0] = Item("all.bin", "a");
  items[0].localExtra = testing::UnixTimesBlock(7, {write, access, creation});
  items[0].centralExtra = testing::UnixTimesBlock(7, {write});  // as Info-ZIP writes it
  items[1] = Item("write-only.bin", "w");
  items[1].localExtra = testing::UnixTimesBlock(1, {write});
  items[2] = Item("behind-another.bin", "b");
  items[2].localExtra = std::string("xy\x02\x00zz", 6) + testing::UnixTimesBlock(2, {access});
  items[3] = Item("central-only.bin", "c");
  items[3].centralExtra = testing::UnixTimesBlock(1, {write});
  items[4] = Item("short-block.bin", "s");  // declares three times, holds one
  items[4].localExtra = testing::UnixTimesBlock(7, {write});
  const struct {
    int64_t write, access, creation;
  } expected[] = {
      {write, access, creation}, {write, dos, dos}, {dos, access, dos},
      {dos, dos, dos},           {write, dos, dos},
  };

  testing::ScopedTempDir tmp("zip");
  ASSERT_TRUE(testing::WritePackage(tmp / "pkg.zip", items));
  auto zip = ZipExtractor::Open(tmp / "pkg.zip");
  ASSERT_NE(zip, nullptr);
  for (int32_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(items[i].name);
    ZipEntry entry;
    ASSERT_EQ(zip->GetEntry(i, entry), kOk);
    EXPECT_EQ(entry.writeTime, FileTime(expected[i].write));
    EXPECT_EQ(entry.accessTime, FileTime(expected[i].access));
    EXPECT_EQ(entry.creationTime, FileTime(expected[i].creation));
    ASSERT_EQ(zip->ExtractEntryInto(i, tmp / "out"), kOk);
    const auto [written, accessed] = WriteAndAccessSeconds(tmp / "out" / items[i].name);
    EXPECT_EQ(written, expected[i].write);
    EXPECT_EQ(accessed, expected[i].access);
  }
}

// Read-only items end up read-only, and are replaced like any other file when extracted again,
// though Windows will not move a file onto a read-only one.
TEST(ZipExtractorTest, ReadOnlyItems) {
#ifndef _WIN32
  const mode_t mask = ::umask(022);
#endif
  testing::ScopedTempDir tmp("zip");
  TestItem dosReadOnly = Item("dos-ro.bin", "r");
  dosReadOnly.external = kZipReadOnly | kZipArchive;
  ASSERT_TRUE(testing::WritePackage(
      tmp / "pkg.zip",
      {UnixItem("unix-ro.bin", "r", 0100444), dosReadOnly, UnixItem("unix-rw.bin", "w", 0100666),
       Item("dos-rw.bin", "w"), Folder("fw/"), UnixItem("dos-ro.bin", "again", 0100444)}));
  auto zip = ZipExtractor::Open(tmp / "pkg.zip");
  ASSERT_NE(zip, nullptr);
  const fs::path out = tmp / "out";
  const struct {
    const char* name;
    bool readOnly;
    unsigned mode;  // POSIX, under the umask 022
  } expected[] = {{"unix-ro.bin", true, 0444},
                  {"dos-ro.bin", true, 0444},
                  {"unix-rw.bin", false, 0644},
                  {"dos-rw.bin", false, 0644},
                  {"fw", false, 0755}};
  for (int32_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(expected[i].name);
    ASSERT_EQ(zip->ExtractEntryInto(i, out), kOk);
    EXPECT_EQ(IsReadOnly(out / expected[i].name), expected[i].readOnly);
#ifndef _WIN32
    struct stat st {};
    ASSERT_EQ(::stat((out / expected[i].name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, expected[i].mode);
#endif
  }
  EXPECT_EQ(zip->ExtractEntryInto(5, out), kOk);
  EXPECT_EQ(testing::ReadBytes(out / "dos-ro.bin"), "again");
  EXPECT_TRUE(IsReadOnly(out / "dos-ro.bin"));
#ifdef _WIN32
  // Held open, the read-only file cannot be replaced: it keeps its data and its attribute, and
  // no .part is left.
  HANDLE held = CreateFileW((out / "dos-ro.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(zip->ExtractEntryInto(1, out), ZipResult::CannotOpen);
  CloseHandle(held);
  EXPECT_EQ(testing::ReadBytes(out / "dos-ro.bin"), "again");
  EXPECT_TRUE(IsReadOnly(out / "dos-ro.bin"));
  EXPECT_FALSE(fs::exists(out / "dos-ro.bin.part"));
  // Windows removes no read-only file: made writable for the temporary folder's removal.
  for (const char* name : {"unix-ro.bin", "dos-ro.bin"}) {
    SetFileAttributesW((out / name).c_str(), FILE_ATTRIBUTE_NORMAL);
  }
#else
  ::umask(mask);
#endif
}

// What the folder of an explicit target is: the part before the item's name when the target
// ends in it, else the target's own folder. Relative targets start at the folder current when
// the package was opened.
TEST(ZipExtractorTest, TargetsAndTheBaseFolder) {
  testing::ScopedTempDir tmp("zip");
  ASSERT_TRUE(testing::WritePackage(tmp / "pkg.zip",
                                    {Item("fw/a.bin", "a"), Folder("dir/"), Item("b.bin", "b")}));
  const fs::path previous = fs::current_path();
  fs::current_path(tmp.path());
  auto zip = ZipExtractor::Open("pkg.zip");
  fs::current_path("/");
  ASSERT_NE(zip, nullptr);

  EXPECT_EQ(zip->ExtractEntry(0, "rel/fw/a.bin"), kOk);
  EXPECT_EQ(zip->ExtractEntry(0, "renamed.bin"), kOk);
  EXPECT_EQ(zip->ExtractEntry(1, "made\\here"), kOk);
  EXPECT_EQ(zip->ExtractEntry(2, (tmp / "abs" / "x" / ".." / "b.bin").string()), kOk);
  EXPECT_EQ(zip->ExtractEntryInto(2, "into"), kOk);
  EXPECT_EQ(zip->ExtractEntry(2, std::string("nul\0/b.bin", 10)), kRefused);
  fs::current_path(previous);

  EXPECT_EQ(Listing(tmp.path()), (std::map<std::string, std::string>{
                                     {"pkg.zip", testing::ReadBytes(tmp / "pkg.zip")},
                                     {"rel/", ""},
                                     {"rel/fw/", ""},
                                     {"rel/fw/a.bin", "a"},
                                     {"renamed.bin", "a"},
                                     {"made/", ""},
                                     {"made/here/", ""},
                                     {"abs/", ""},
                                     {"abs/b.bin", "b"},
                                     {"into/", ""},
                                     {"into/b.bin", "b"},
                                 }));
}

// The package limit counts what this extractor wrote, so extracting the same item again and
// again cannot fill the disk either; the item refused part-way leaves nothing.
TEST(ZipExtractorTest, PackageLimitCountsEveryByteWritten) {
  testing::ScopedTempDir tmp("zip");
  ASSERT_TRUE(testing::WritePackage(tmp / "pkg.zip", {Item("a.bin", std::string(1000, 'a')),
                                                      Item("b.bin", std::string(1000, 'b'))}));
  auto zip = ZipExtractor::Open(tmp / "pkg.zip", nullptr, ZipLimits{1000, 2500});
  ASSERT_NE(zip, nullptr);
  EXPECT_EQ(zip->ExtractEntryInto(0, tmp / "out"), kOk);
  EXPECT_EQ(zip->ExtractEntryInto(0, tmp / "out"), kOk);
  EXPECT_EQ(zip->ExtractEntryInto(1, tmp / "out"), kInflate);
  EXPECT_EQ(Listing(tmp / "out"),
            (std::map<std::string, std::string>{{"a.bin", std::string(1000, 'a')}}));

  auto small = ZipExtractor::Open(tmp / "pkg.zip", nullptr, ZipLimits{999, 1u << 20});
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(small->ExtractEntryInto(1, tmp / "out"), kInflate);
  auto tight = ZipExtractor::Open(tmp / "pkg.zip", nullptr, ZipLimits{1000, 1999});
  ASSERT_NE(tight, nullptr);
  EXPECT_EQ(tight->ExtractEntryInto(1, tmp / "out"), kInflate);
  EXPECT_FALSE(fs::exists(tmp / "out" / "b.bin"));
}

// A write that fails part-way (here: past the process's file size limit) leaves neither the
// file, nor its .part, nor the folder the call made for it.
TEST(ZipExtractorTest, FailedWriteLeavesNothing) {
#ifdef _WIN32
  GTEST_SKIP() << "a per-process file size limit (setrlimit) exists on POSIX systems only";
#else
  testing::ScopedTempDir tmp("zip");
  ASSERT_TRUE(testing::WritePackage(
      tmp / "pkg.zip", {Item("deep/a.bin", std::string(5000, 'a')), Item("b.bin", "b")}));
  auto zip = ZipExtractor::Open(tmp / "pkg.zip");
  ASSERT_NE(zip, nullptr);
  ASSERT_EQ(zip->ExtractEntryInto(1, tmp / "out"), kOk);

  const auto previousSignal = ::signal(SIGXFSZ, SIG_IGN);
  rlimit previous{};
  ::getrlimit(RLIMIT_FSIZE, &previous);
  rlimit small = previous;
  small.rlim_cur = 1000;
  ::setrlimit(RLIMIT_FSIZE, &small);
  const ZipResult result = zip->ExtractEntryInto(0, tmp / "out");
  ::setrlimit(RLIMIT_FSIZE, &previous);
  ::signal(SIGXFSZ, previousSignal);

  EXPECT_EQ(result, ZipResult::WriteFailed);
  EXPECT_EQ(Listing(tmp / "out"), (std::map<std::string, std::string>{{"b.bin", "b"}}));
#endif
}

// Folders and items named outside ASCII. On Windows the package is opened (the empty one too)
// and the items written by their wide names, whatever the ANSI code page.
TEST(ZipExtractorTest, CyrillicPaths) {
  testing::ScopedTempDir tmp("zip");
  const fs::path folder = tmp.path() / fs::path(u8"Обновления");
  fs::create_directories(folder);
  const fs::path package = folder / fs::path(u8"пакет.zip");
  const fs::path empty = folder / fs::path(u8"пусто.zip");
  ASSERT_TRUE(testing::WritePackage(package, {Item("прошивка/файл.bin", "данные")}));
  ASSERT_TRUE(testing::WritePackage(empty, {}));

  ZipEntry entry;
  auto nothing = ZipExtractor::Open(empty);
  ASSERT_NE(nothing, nullptr);
  ASSERT_EQ(nothing->GetEntry(-1, entry), kOk);
  EXPECT_EQ(entry.index, 0);

  auto zip = ZipExtractor::Open(package);
  ASSERT_NE(zip, nullptr);
  ASSERT_EQ(zip->GetEntry(0, entry), kOk);
  EXPECT_EQ(entry.name, "прошивка/файл.bin");
  EXPECT_EQ(zip->ExtractEntryInto(0, folder / fs::path(u8"распаковано")), kOk);
  EXPECT_EQ(zip->ExtractEntry(0, Utf8(folder / fs::path(u8"цель")) + "/" + entry.name), kOk);
  for (const char8_t* into : {u8"распаковано", u8"цель"}) {
    EXPECT_EQ(testing::ReadBytes(folder / fs::path(into) / fs::path(u8"прошивка/файл.bin")),
              "данные")
        << Utf8(fs::path(into));
  }
}

}  // namespace
}  // namespace korvan
