// The extraction target on Windows. There is no openat(): every step is named by a full path.
// So each folder of the chain is held open, without FILE_SHARE_DELETE, until the item is written
// (no one can rename it or remove it to put a junction or a link in its place), and each handle's
// final path is compared with the path asked for (an empty folder can still be turned into a
// junction while it is held; what is opened through one is refused). Paths are in the "\\?\"
// form, which Windows takes as they stand: no trailing dot or space dropped, no name taken for a
// device, no MAX_PATH limit.
#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "sources/extraction_target.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;

class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept
      : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    Reset(std::exchange(other.handle_, INVALID_HANDLE_VALUE));
    return *this;
  }
  ~UniqueHandle() { Reset(); }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  // Closes now and reports whether Windows accepted it.
  bool Close() {
    const HANDLE handle = std::exchange(handle_, INVALID_HANDLE_VALUE);
    return handle == INVALID_HANDLE_VALUE || CloseHandle(handle) != 0;
  }
  void Reset(HANDLE handle = INVALID_HANDLE_VALUE) {
    if (valid()) {
      CloseHandle(handle_);
    }
    handle_ = handle;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// A link or a junction at the last step is opened itself, never followed; backup semantics let
// a folder be opened at all.
constexpr DWORD kOpenItself = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
// Folders are held with data access: only a handle with data access makes its share mode count,
// and that share mode (no FILE_SHARE_DELETE) is what keeps anyone from opening the folder for
// the DELETE access a rename or a removal needs.
constexpr DWORD kFolderAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kAnyShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kNameSurrogate = 0x20000000;  // the reparse tag bit of links and junctions

std::optional<std::wstring> Wide(const std::string& utf8) {
  if (utf8.empty()) {
    return std::wstring();
  }
  const int length = static_cast<int>(utf8.size());
  const int size =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
  if (size <= 0) {
    return std::nullopt;
  }
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, wide.data(), size);
  return wide;
}

// CON, PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9 (and their superscript-digit forms), CONIN$
// and CONOUT$, in any case, with any extension: through an ordinary path, as the download flow
// later opens the files, they name devices.
bool IsDeviceName(std::wstring_view name) {
  std::wstring_view base = name.substr(0, name.find(L'.'));
  while (!base.empty() && base.back() == L' ') {
    base.remove_suffix(1);
  }
  std::wstring upper(base);
  for (wchar_t& c : upper) {
    if (c >= L'a' && c <= L'z') {
      c = static_cast<wchar_t>(c - L'a' + L'A');
    }
  }
  if (upper == L"CON" || upper == L"PRN" || upper == L"AUX" || upper == L"NUL" ||
      upper == L"CONIN$" || upper == L"CONOUT$") {
    return true;
  }
  if (upper.size() == 4 && (upper.starts_with(L"COM") || upper.starts_with(L"LPT"))) {
    const wchar_t digit = upper[3];
    return (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
           digit == L'\u00B3';
  }
  return false;
}

// A name Windows holds as it stands. Refused: the characters Windows forbids in names (':'
// would write an alternate data stream of another file), a trailing dot or space (dropped by
// ordinary paths, so the file would be reached under another name), and device names.
bool FitsWindows(std::wstring_view name) {
  constexpr std::wstring_view kForbidden = L"<>:\"/\\|?*";
  if (name.empty() || name.back() == L'.' || name.back() == L' ') {
    return false;
  }
  const bool badCharacter = std::any_of(name.begin(), name.end(), [&](wchar_t c) {
    return c < 0x20 || kForbidden.find(c) != std::wstring_view::npos;
  });
  return !badCharacter && !IsDeviceName(name);
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  return !folder.empty() && folder.back() == L'\\' ? folder + name : folder + L'\\' + name;
}

// Where a handle really is, in the "\\?\C:\..." or "\\?\UNC\..." form.
std::optional<std::wstring> FinalPath(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD size =
        GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (size == 0) {
      return std::nullopt;
    }
    if (size < path.size()) {
      path.resize(size);
      return path;
    }
    // Too small: `size` is what it needs, with the terminator (wine counts it without).
    path.resize(size + 1);
  }
  return std::nullopt;
}

// The "\\?\" form of an absolute path, for a root whose final path cannot be asked for.
std::wstring LongForm(const fs::path& absolute) {
  std::wstring path = fs::path(absolute).make_preferred().native();
  if (path.starts_with(L"\\\\?\\")) {
    return path;
  }
  if (path.starts_with(L"\\\\")) {
    return L"\\\\?\\UNC\\" + path.substr(2);
  }
  return L"\\\\?\\" + path;
}

// Names compare as the file system does: without regard to case.
bool SamePath(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::optional<FILE_ATTRIBUTE_TAG_INFO> KindOf(HANDLE handle) {
  FILE_ATTRIBUTE_TAG_INFO info{};
  if (GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &info, sizeof info)) {
    return info;
  }
  BY_HANDLE_FILE_INFORMATION basic{};
  if (!GetFileInformationByHandle(handle, &basic)) {
    return std::nullopt;
  }
  // Without its tag, any reparse point is taken for a link.
  info.FileAttributes = basic.dwFileAttributes;
  info.ReparseTag =
      (basic.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? kNameSurrogate : 0;
  return info;
}

bool IsReparsePoint(const FILE_ATTRIBUTE_TAG_INFO& kind) {
  return (kind.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A symbolic link, a junction or another reparse point that names another place. Other reparse
// points (the placeholders of a cloud-synced folder, deduplicated files) are the folder itself,
// kept by a file system filter: refusing them would refuse the folders of a synced drive.
bool IsLink(const FILE_ATTRIBUTE_TAG_INFO& kind) {
  return IsReparsePoint(kind) && (kind.ReparseTag & kNameSurrogate) != 0;
}

bool IsPlainFile(const FILE_ATTRIBUTE_TAG_INFO& kind) {
  return !IsReparsePoint(kind) && (kind.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool SetAttributes(HANDLE handle, DWORD attributes) {
  FILE_BASIC_INFO info{};  // times of 0 stay as they are
  info.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
  return SetFileInformationByHandle(handle, FileBasicInfo, &info, sizeof info) != 0;
}

bool Dispose(HANDLE handle) {
  FILE_DISPOSITION_INFO dispose{};
  dispose.DeleteFile = TRUE;
  return SetFileInformationByHandle(handle, FileDispositionInfo, &dispose, sizeof dispose) != 0;
}

UniqueHandle OpenItself(const std::wstring& path, DWORD access) {
  return UniqueHandle(
      CreateFileW(path.c_str(), access, kAnyShare, nullptr, OPEN_EXISTING, kOpenItself, nullptr));
}

// Removes what is at `path` without following it: a file (read-only too) or a link or junction
// (the link itself). A folder stays.
void RemoveLeftover(const std::wstring& path) {
  const UniqueHandle handle =
      OpenItself(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
  const auto kind = handle.valid() ? KindOf(handle.get()) : std::nullopt;
  if (!kind || (!IsReparsePoint(*kind) && !IsPlainFile(*kind))) {
    return;
  }
  if (IsPlainFile(*kind) && (kind->FileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
    SetAttributes(handle.get(), kind->FileAttributes & ~FILE_ATTRIBUTE_READONLY);
  }
  Dispose(handle.get());
}

// The attributes a plain read-only file at `path` had before its read-only bit was cleared;
// nullopt when nothing was changed.
std::optional<DWORD> ClearReadOnly(const std::wstring& path) {
  const UniqueHandle handle = OpenItself(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
  const auto kind = handle.valid() ? KindOf(handle.get()) : std::nullopt;
  if (!kind || !IsPlainFile(*kind) || (kind->FileAttributes & FILE_ATTRIBUTE_READONLY) == 0 ||
      !SetAttributes(handle.get(), kind->FileAttributes & ~FILE_ATTRIBUTE_READONLY)) {
    return std::nullopt;
  }
  return kind->FileAttributes;
}

void RestoreAttributes(const std::wstring& path, DWORD attributes) {
  const UniqueHandle handle = OpenItself(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
  const auto kind = handle.valid() ? KindOf(handle.get()) : std::nullopt;
  if (kind && IsPlainFile(*kind)) {
    SetAttributes(handle.get(), attributes);
  }
}

FILETIME ToFileTime(uint64_t ticks) {
  FILETIME time{};
  time.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return time;
}

}  // namespace

struct FolderChain::Impl {
  std::vector<UniqueHandle> handles;  // the root, then each folder entered
  std::vector<std::wstring> paths;    // where handles[i] is, in the "\\?\" form
  std::vector<bool> created;          // handles[i] is a folder this chain made
  // paths[0] is the root's final path, so each step's final path can be compared with it.
  bool verified = true;
  bool keep = false;
};

FolderChain::FolderChain() : impl_(std::make_unique<Impl>()) {}

FolderChain::~FolderChain() {
  Impl& chain = *impl_;
  for (std::size_t i = chain.handles.size(); i-- > 0;) {
    // A folder held open without FILE_SHARE_DELETE cannot be removed, by us neither: closed
    // first, innermost first. RemoveDirectoryW leaves a folder that is not empty.
    chain.handles[i].Reset();
    if (!chain.keep && chain.created[i]) {
      RemoveDirectoryW(chain.paths[i].c_str());
    }
  }
}

ZipResult FolderChain::OpenRoot(const fs::path& root) {
  Impl& chain = *impl_;
  std::error_code ignored;
  fs::create_directories(root, ignored);
  // The root may be reached through links: followed here, and from then on named by where it
  // really is.
  UniqueHandle handle(CreateFileW(root.c_str(), kFolderAccess, kFolderShare, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  const auto kind = handle.valid() ? KindOf(handle.get()) : std::nullopt;
  if (!kind || (kind->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return ZipResult::CannotOpen;
  }
  std::optional<std::wstring> path = FinalPath(handle.get());
  if (!path) {
    // Some network file systems cannot tell: the held handles still keep the chain in place.
    chain.verified = false;
    path = LongForm(root);
  }
  chain.handles.push_back(std::move(handle));
  chain.paths.push_back(std::move(*path));
  chain.created.push_back(false);
  return ZipResult::Ok;
}

ZipResult FolderChain::Enter(const std::string& name) {
  Impl& chain = *impl_;
  const std::optional<std::wstring> wide = Wide(name);
  if (!wide || !FitsWindows(*wide)) {
    return ZipResult::BadArguments;
  }
  const std::wstring path = Join(chain.paths.back(), *wide);
  const auto open = [&path] {
    return UniqueHandle(CreateFileW(path.c_str(), kFolderAccess, kFolderShare, nullptr,
                                    OPEN_EXISTING, kOpenItself, nullptr));
  };
  bool created = false;
  UniqueHandle handle = open();
  if (!handle.valid() && GetLastError() == ERROR_FILE_NOT_FOUND) {
    if (CreateDirectoryW(path.c_str(), nullptr)) {
      created = true;
    } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
      return ZipResult::CannotOpen;
    }
    handle = open();
  }
  const auto kind = handle.valid() ? KindOf(handle.get()) : std::nullopt;
  if (kind && IsLink(*kind)) {
    // Even one this call made and someone swapped: a link is not ours to remove.
    return ZipResult::BadArguments;
  }
  if (!kind || (kind->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    handle.Reset();
    if (created) {
      RemoveDirectoryW(path.c_str());
    }
    return ZipResult::CannotOpen;
  }
  // A final path that cannot be told (wine answers none past MAX_PATH) leaves the held handles
  // as the only guard; one that differs is refused.
  const std::optional<std::wstring> final =
      chain.verified ? FinalPath(handle.get()) : std::optional<std::wstring>();
  if (final && !SamePath(*final, path)) {
    // Reached through a junction made of a folder of the chain, or by another name (a short 8.3
    // one): not the step asked for. A folder this call made there goes again.
    handle.Reset();
    if (created) {
      RemoveDirectoryW(final->c_str());
    }
    return ZipResult::BadArguments;
  }
  const std::wstring at = final ? *final : path;
  chain.handles.push_back(std::move(handle));
  chain.paths.push_back(std::move(at));
  chain.created.push_back(created);
  return ZipResult::Ok;
}

void FolderChain::Keep() {
  impl_->keep = true;
}

struct PartFile::Impl {
  bool verified = true;
  bool fits = false;    // the name is one Windows holds as it stands
  std::wstring target;  // the item's path
  std::wstring part;    // target + ".part"
  UniqueHandle file;
  bool readOnly = false;
  bool made = false;
};

PartFile::PartFile(FolderChain& chain, const std::string& name) : impl_(std::make_unique<Impl>()) {
  Impl& part = *impl_;
  part.verified = chain.impl_->verified;
  const std::optional<std::wstring> wide = Wide(name);
  part.fits = wide && FitsWindows(*wide);
  if (part.fits) {
    part.target = Join(chain.impl_->paths.back(), *wide);
    part.part = part.target + L".part";
  }
}

PartFile::~PartFile() {
  Impl& part = *impl_;
  if (!part.made) {
    return;
  }
  // Still open: it is certainly ours, and goes by its handle.
  if (part.file.valid() && Dispose(part.file.get())) {
    part.file.Reset();
    return;
  }
  part.file.Reset();
  RemoveLeftover(part.part);
}

ZipResult PartFile::Create(bool readOnly) {
  Impl& part = *impl_;
  if (!part.fits) {
    return ZipResult::BadArguments;
  }
  // DeleteFileW semantics on what is there (a link goes, never its target; a read-only leftover
  // of an interrupted run too), then CREATE_NEW makes sure the file written is a new one.
  RemoveLeftover(part.part);
  part.file.Reset(CreateFileW(part.part.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!part.file.valid()) {
    return ZipResult::CannotOpen;
  }
  part.made = true;
  part.readOnly = readOnly;
  if (part.verified) {
    const std::optional<std::wstring> final = FinalPath(part.file.get());
    if (final && !SamePath(*final, part.part)) {
      return ZipResult::BadArguments;  // made through a junction: removed by its handle
    }
  }
  return ZipResult::Ok;
}

bool PartFile::Write(const uint8_t* data, std::size_t size) {
  while (size > 0) {
    const auto piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD done = 0;
    if (!WriteFile(impl_->file.get(), data, piece, &done, nullptr) || done == 0) {
      return false;
    }
    data += done;
    size -= done;
  }
  return true;
}

bool PartFile::Finish(const FileTimes& times) {
  Impl& part = *impl_;
  if (!FlushFileBuffers(part.file.get())) {
    return false;
  }
  // Zero times (an MS-DOS stamp that could not be read) leave the file's own.
  const FILETIME creation = ToFileTime(times.creation);
  const FILETIME access = ToFileTime(times.access);
  const FILETIME write = ToFileTime(times.write);
  SetFileTime(part.file.get(), &creation, &access, &write);
  // Read-only last, after the data and the times; the handle keeps its write access.
  if (part.readOnly) {
    const auto kind = KindOf(part.file.get());
    if (!kind || !SetAttributes(part.file.get(), kind->FileAttributes | FILE_ATTRIBUTE_READONLY)) {
      return false;
    }
  }
  return part.file.Close();
}

ZipResult PartFile::Commit() {
  Impl& part = *impl_;
  // Windows refuses to replace a read-only file (access denied) where rename(2) replaces it, so
  // a read-only item extracted again could never be brought up to date. The read-only bit of a
  // plain file at the target is cleared for the move and put back when the move fails, so that
  // on failure the target stays as it was. A link or junction there keeps its attributes: the
  // move replaces the link itself, and what it points at is never ours to change.
  const std::optional<DWORD> cleared = ClearReadOnly(part.target);
  if (!MoveFileExW(part.part.c_str(), part.target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    if (cleared) {
      RestoreAttributes(part.target, *cleared);
    }
    return ZipResult::CannotOpen;
  }
  part.made = false;
  return ZipResult::Ok;
}

}  // namespace korvan
