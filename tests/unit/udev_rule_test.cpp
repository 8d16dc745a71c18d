// The udev rule the package installs, read as udev reads it: it must grant the logged-in user
// the SCSI generic node of exactly the disks the program itself takes for a detector, and
// nothing more.
#include <fnmatch.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "device/linux/sysfs_inquiry_filter.h"

namespace korvan {
namespace {

struct Key {
  std::string name;  // "SUBSYSTEM", "ATTRS{vendor}", ...
  std::string op;    // "==", "!=", "=", "+=", ...
  std::string value;
};

// One rule's keys: NAME[{attr}] OP "value", separated by commas. False when some text is not
// such a key.
bool ParseKeys(const std::string& rule, std::vector<Key>& keys) {
  size_t at = 0;
  const auto skipBlanks = [&] {
    while (at < rule.size() && std::isspace(static_cast<unsigned char>(rule[at]))) {
      ++at;
    }
  };
  for (;;) {
    skipBlanks();
    if (at == rule.size()) {
      return true;
    }
    Key key;
    while (at < rule.size() &&
           (std::isalpha(static_cast<unsigned char>(rule[at])) || rule[at] == '_')) {
      key.name += rule[at++];
    }
    if (at < rule.size() && rule[at] == '{') {
      const size_t close = rule.find('}', at);
      if (close == std::string::npos) {
        return false;
      }
      key.name += rule.substr(at, close + 1 - at);
      at = close + 1;
    }
    skipBlanks();
    for (const char* op : {"==", "!=", "+=", "-=", ":=", "="}) {
      if (rule.compare(at, std::strlen(op), op) == 0) {
        key.op = op;
        at += key.op.size();
        break;
      }
    }
    skipBlanks();
    if (key.name.empty() || key.op.empty() || at >= rule.size() || rule[at] != '"') {
      return false;
    }
    const size_t close = rule.find('"', at + 1);
    if (close == std::string::npos) {
      return false;
    }
    key.value = rule.substr(at + 1, close - at - 1);
    at = close + 1;
    keys.push_back(key);
    skipBlanks();
    if (at < rule.size() && rule[at] == ',') {
      ++at;
    } else if (at != rule.size()) {
      return false;
    }
  }
}

// The rules of a rules file: comments and blank lines dropped, continued lines joined.
std::vector<std::vector<Key>> ReadRules(const std::string& path) {
  std::ifstream file(path);
  EXPECT_TRUE(file) << path;
  std::vector<std::vector<Key>> rules;
  std::string line, rule;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\\') {
      rule += line.substr(0, line.size() - 1);
      continue;
    }
    rule += line;
    const auto first = rule.find_first_not_of(" \t");
    if (first != std::string::npos && rule[first] != '#') {
      std::vector<Key> keys;
      EXPECT_TRUE(ParseKeys(rule, keys)) << "unreadable text in " << rule;
      rules.push_back(keys);
    }
    rule.clear();
  }
  return rules;
}

// A match key's value as udev compares it with an attribute: shell glob patterns, '|' between
// alternatives; the attribute's trailing newline is dropped, and its other trailing whitespace
// (the padding) is ignored unless the pattern itself ends in whitespace.
bool UdevMatches(const std::string& patterns, std::string attribute) {
  attribute.erase(attribute.find_last_not_of('\n') + 1);
  std::stringstream alternatives(patterns);
  std::string pattern;
  while (std::getline(alternatives, pattern, '|')) {
    std::string value = attribute;
    if (pattern.empty() || !std::isspace(static_cast<unsigned char>(pattern.back()))) {
      value.erase(value.find_last_not_of(" \t\n") + 1);
    }
    if (fnmatch(pattern.c_str(), value.c_str(), 0) == 0) {
      return true;
    }
  }
  return false;
}

// What sysfs shows for an INQUIRY field: the device's bytes, space-padded to the field's width
// as devices send them, and a newline.
std::string SysfsText(std::string field, size_t width) {
  field.resize(width, ' ');
  return field + "\n";
}

const std::string kRulePath =
    std::string(KORVAN_SOURCE_DIR) + "/packaging/udev/70-korvan-updater.rules";

TEST(UdevRuleTest, GrantsTheSeatUserTheGenericNodeAndNothingElse) {
  const auto rules = ReadRules(kRulePath);
  ASSERT_EQ(rules.size(), 1U);
  std::map<std::string, Key> keys;
  for (const Key& key : rules[0]) {
    EXPECT_TRUE(keys.emplace(key.name, key).second) << "twice: " << key.name;
  }
  ASSERT_TRUE(keys.contains("SUBSYSTEM"));
  EXPECT_EQ(keys["SUBSYSTEM"].op, "==");
  EXPECT_EQ(keys["SUBSYSTEM"].value, "scsi_generic");
  ASSERT_TRUE(keys.contains("TAG"));
  EXPECT_EQ(keys["TAG"].op, "+=");
  EXPECT_EQ(keys["TAG"].value, "uaccess");
  // The two identification keys and the two above are the whole rule: no MODE, GROUP or OWNER
  // that would open the node to more than the seat's user, no program run.
  EXPECT_TRUE(keys.contains("ATTRS{vendor}"));
  EXPECT_TRUE(keys.contains("ATTRS{model}"));
  EXPECT_EQ(keys.size(), 4U);
  for (const char* match : {"ATTRS{vendor}", "ATTRS{model}"}) {
    EXPECT_EQ(keys[match].op, "==") << match;
  }
}

TEST(UdevRuleTest, MatchesTheDisksTheProgramTakesForADetector) {
  const auto rules = ReadRules(kRulePath);
  ASSERT_EQ(rules.size(), 1U);
  std::string vendorPattern, modelPattern;
  for (const Key& key : rules[0]) {
    if (key.name == "ATTRS{vendor}") {
      vendorPattern = key.value;
    } else if (key.name == "ATTRS{model}") {
      modelPattern = key.value;
    }
  }

  struct Case {
    const char* vendor;  // the INQUIRY's 8 vendor bytes, without their padding
    const char* model;   // its 16 product bytes
    bool detector;
  };
  const Case cases[] = {
      {"Firmware", " Update Device", true},  {"Firmware", " Update", true},
      {"Firmware", " Updater 2", true},      {"Firmware", " Update   x     ", true},
      {"Firmware", "Update Device", false},  // no leading space
      {"Firmware", "  Update", false},       {"Firmware", " update", false},
      {"Firmware", " Updat", false},         {"Firmware", "", false},
      {"FIRMWARE", " Update Device", false}, {"Firmwar", " Update Device", false},
      {" Firmwar", " Update Device", false}, {"ATA", "Samsung SSD 860", false},
      {"Generic", "Flash Disk", false},      {"", "", false},
  };
  for (const Case& c : cases) {
    const std::string vendor = SysfsText(c.vendor, 8);
    const std::string model = SysfsText(c.model, 16);
    const bool program = JudgeInquiryStrings(vendor, model) == SysfsVerdict::MayBeDevice;
    const bool rule = UdevMatches(vendorPattern, vendor) && UdevMatches(modelPattern, model);
    EXPECT_EQ(program, c.detector) << '"' << c.vendor << "\" \"" << c.model << '"';
    EXPECT_EQ(rule, c.detector) << '"' << c.vendor << "\" \"" << c.model << '"';
  }
}

}  // namespace
}  // namespace korvan
