// Where ZipExtractor writes an item: the chain of folders from the caller's folder down to the
// item's own, entered one step at a time without following links, and the item's "<name>.part"
// file, renamed onto the item's name once complete. One implementation per platform:
// extraction_target_posix.cpp (the *at() calls on folder descriptors) and
// extraction_target_windows.cpp (wide paths below folder handles held open).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "sources/zip_extractor.h"

namespace korvan {

// File times: 100 ns units since 1601-01-01 UTC, as ZipEntry carries them.
struct FileTimes {
  uint64_t write = 0;
  uint64_t access = 0;
  uint64_t creation = 0;
};

// The folders of one extraction. Each step is opened below the one before without following a
// link, and stays open (on Windows: cannot be renamed or removed) until the chain ends, so what
// the item writes cannot be redirected out of the root by a link planted or swapped in.
class FolderChain {
 public:
  FolderChain();
  // Unless Keep() was called, removes the folders this chain created, innermost first; a folder
  // that is not empty any more stays.
  ~FolderChain();
  FolderChain(const FolderChain&) = delete;
  FolderChain& operator=(const FolderChain&) = delete;

  // The caller's folder is trusted: it is created with its parents and may be reached through
  // links. CannotOpen when it cannot be made or opened as a folder.
  ZipResult OpenRoot(const std::filesystem::path& root);

  // One step (UTF-8, no separator, never "." or "..") below the folder entered last: opened, or
  // created and opened when missing. BadArguments for a link (on Windows a symbolic link or a
  // junction) or a name this platform cannot hold as it stands; CannotOpen for a file or
  // anything else that keeps the folder from being made.
  ZipResult Enter(const std::string& name);

  // The folders made so far stay.
  void Keep();

 private:
  friend class PartFile;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// "<name>.part" in the folder a chain entered last, written in full and then renamed onto
// `name`; removed when it is not committed. The chain must outlive it.
class PartFile {
 public:
  PartFile(FolderChain& chain, const std::string& name);
  ~PartFile();
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;

  // A stale "<name>.part" (or a link planted under that name) is removed, never followed, and
  // a new file is made in its place. Read-only items end up without write permission.
  // CannotOpen when it cannot be made; BadArguments for a name this platform cannot hold.
  ZipResult Create(bool readOnly);

  // False when not all of `data` was written.
  bool Write(const uint8_t* data, std::size_t size);

  // Closes the file with the item's times. False when the file system may not hold all of the
  // data. A file system that cannot hold the times still holds the data: not a failure.
  bool Finish(const FileTimes& times);

  // Renames the finished file onto `name`, replacing a file or a link there (the link itself,
  // never what it points at). On failure whatever was at `name` stays as it was: CannotOpen.
  ZipResult Commit();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace korvan
