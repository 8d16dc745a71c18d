#include "sources/zip_name.h"

#include <array>
#include <cstdint>

#include "device/utf8.h"

namespace korvan {
namespace {

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

// Length of the UTF-8 sequence starting `text`, never past its end. Cleaning works on decoded
// names, so the lead byte is trusted; a stray continuation byte counts as one character.
std::size_t CharacterLength(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text.front());
  std::size_t length = 1;
  if (lead >= 0xF0 && lead <= 0xF7) {
    length = 4;
  } else if (lead >= 0xE0) {
    length = lead <= 0xEF ? 3 : 1;
  } else if (lead >= 0xC0) {
    length = 2;
  }
  return length < text.size() ? length : text.size();
}

constexpr uint32_t kReplacement = 0xFFFD;

// One code point from the front of `bytes`; `used` is how many bytes it took (at least one).
// Overlong forms, surrogates and values past U+10FFFF are malformed, as for any strict decoder.
uint32_t NextCodePoint(std::string_view bytes, std::size_t& used) {
  const auto lead = static_cast<unsigned char>(bytes[0]);
  used = 1;
  if (lead < 0x80) {
    return lead;
  }
  std::size_t length = 0;
  uint32_t cp = 0;
  uint32_t lowest = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    cp = lead & 0x1F;
    lowest = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    cp = lead & 0x0F;
    lowest = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    cp = lead & 0x07;
    lowest = 0x10000;
  } else {
    return kReplacement;
  }
  std::size_t i = 1;
  for (; i < length && i < bytes.size(); ++i) {
    const auto next = static_cast<unsigned char>(bytes[i]);
    if ((next & 0xC0) != 0x80) {
      break;
    }
    cp = (cp << 6) | (next & 0x3F);
  }
  // A broken sequence is replaced as a whole up to the byte that broke it, which then starts
  // the next character.
  used = i;
  if (i < length || cp < lowest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    return kReplacement;
  }
  return cp;
}

}  // namespace

std::string DecodeEntryName(std::string_view stored) {
  std::string name;
  std::size_t characters = 0;
  while (!stored.empty() && characters < kMaxEntryNameLength) {
    std::size_t used = 0;
    const uint32_t cp = NextCodePoint(stored, used);
    if (cp == 0) {
      break;
    }
    AppendUtf8(name, cp);
    stored.remove_prefix(used);
    ++characters;
  }
  return name;
}

std::string CleanEntryName(std::string_view name) {
  static constexpr std::array<std::string_view, 4> kParentSteps = {"\\..\\", "\\../", "/../",
                                                                   "/..\\"};
  // Each pass removes at least one character, so the loop ends.
  for (;;) {
    if (name.empty()) {
      break;
    }
    const std::size_t first = CharacterLength(name);
    if (first < name.size() && name[first] == ':') {
      name.remove_prefix(first + 1);
      continue;
    }
    if (IsSeparator(name.front())) {
      name.remove_prefix(1);
      continue;
    }
    if (name.size() >= 3 && name[0] == '.' && name[1] == '.' && IsSeparator(name[2])) {
      name.remove_prefix(3);
      continue;
    }
    bool cut = false;
    for (const std::string_view step : kParentSteps) {
      const std::size_t at = name.find(step);
      if (at != std::string_view::npos) {
        name.remove_prefix(at + step.size());
        cut = true;
        break;
      }
    }
    if (!cut) {
      break;
    }
  }
  return std::string(name);
}

std::optional<std::vector<std::string>> EntryPathSteps(std::string_view cleanedName) {
  std::vector<std::string> steps;
  while (!cleanedName.empty()) {
    std::size_t end = 0;
    while (end < cleanedName.size() && !IsSeparator(cleanedName[end])) {
      ++end;
    }
    const std::string_view step = cleanedName.substr(0, end);
    cleanedName.remove_prefix(end < cleanedName.size() ? end + 1 : end);
    if (step.empty()) {
      continue;
    }
    if (step.find_first_not_of('.') == std::string_view::npos) {
      return std::nullopt;
    }
    steps.emplace_back(step);
  }
  if (steps.empty()) {
    return std::nullopt;
  }
  return steps;
}

bool NamesFolder(std::string_view cleanedName) {
  return !cleanedName.empty() && IsSeparator(cleanedName.back());
}

}  // namespace korvan
