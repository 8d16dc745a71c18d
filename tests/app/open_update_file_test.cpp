#include "app/open_update_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "app/recording_view.h"
#include "device/model_catalogue.h"
#include "emulator/update_file_builder.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;

constexpr const char* kGoodName = "Dahlia_F0173_V0012_D150523.bin";
constexpr const char* kNotFound = "Файл прошивки не найден!!";
constexpr const char* kUnreadText = "v255255.255255";

// Type 4 keeps its version record at 0x1CF00 and its voice image, digits first, at 0x1D010.
constexpr uint32_t kRecordOffset = 0x1CF00;
constexpr uint32_t kVoiceOffset = 0x1D010;
const std::vector<uint8_t> kGoodRecord{0xA4, 0x5B, 0x03, 0x84, 0x00, 0x01, 0x07, 0x03};
const std::vector<uint8_t> kVoiceDigits{0, 0, 1, 2};

class OpenUpdateFileTest : public ::testing::Test {
 protected:
  OpenUpdateFileTest() {
    state.deviceInfo.typeCode = 4;
    // The window as detection leaves it: the file-to-load column blank, Upload disabled.
    for (const int id : {ids::kFileFwVersionText, ids::kFileVoiceVersionText, ids::kFileDbText}) {
      view.SetControlText(id, "blank");
    }
    view.EnableControl(ids::kUploadButton, false);
  }

  // A type-4 image at `name` in the temp folder: `record` at the record offset, the voice
  // digits behind it, `size` bytes in all.
  std::string MakeFile(const std::string& name, const std::vector<uint8_t>& record = kGoodRecord,
                       uint32_t size = kVoiceOffset + 0x10) {
    std::vector<uint8_t> bytes(size, 0);
    auto place = [&](uint32_t at, const std::vector<uint8_t>& part) {
      for (size_t i = 0; i < part.size() && at + i < size; ++i) {
        bytes[at + i] = part[i];
      }
    };
    place(kRecordOffset, record);
    place(kVoiceOffset, kVoiceDigits);
    const fs::path path = temp / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(size));
    return path.string();
  }

  bool Open(std::optional<std::string> choice) {
    view.QueueFileChoice(std::move(choice));
    return OpenUpdateFile(view, state);
  }

  void ExpectRefused() {
    EXPECT_EQ(view.Status().text, kNotFound);
    EXPECT_FALSE(view.Control(ids::kUploadButton).enabled);
    EXPECT_FALSE(state.UpdateFileReady);
  }

  void ExpectFileColumn(const std::string& fw, const std::string& voice, const std::string& db) {
    EXPECT_EQ(view.Text(ids::kFileFwVersionText), fw);
    EXPECT_EQ(view.Text(ids::kFileVoiceVersionText), voice);
    EXPECT_EQ(view.Text(ids::kFileDbText), db);
  }

  testing::ScopedTempDir temp{"korvan_open"};
  RecordingView view;
  AppState state;
};

TEST_F(OpenUpdateFileTest, AcceptsAFileNamedAndRecordedForTheModel) {
  const std::string path = MakeFile(kGoodName);
  state.UploadMode = 5;
  state.UpdateFilePath = "/earlier/file.bin";

  EXPECT_TRUE(Open(path));

  const auto& calls = view.Calls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "choose Bin file(*.bin)|*.bin|"), calls.end());
  EXPECT_EQ(view.Text(ids::kFilePathEdit), path);
  EXPECT_EQ(state.filePathText, path);
  EXPECT_EQ(view.Status().text, kGoodName);
  EXPECT_EQ(state.UpdateFilePath, fs::path(path));
  ExpectFileColumn("v01.73", "v00.12", "150523");
  EXPECT_EQ(state.updateFileInfo.fileCountry, 3);
  EXPECT_TRUE(state.updateFileInfo.fileAccepted);
  EXPECT_EQ(state.UploadMode, 0);
  EXPECT_TRUE(view.Control(ids::kUploadButton).enabled);
  EXPECT_TRUE(state.UpdateFileReady);
}

TEST_F(OpenUpdateFileTest, RefusesNamesOffThePatternWithoutShowingVersions) {
  const char* names[] = {
      // One character more, at the front, inside and at the end.
      "XDahlia_F0173_V0012_D150523.bin",
      "Dahlia_F01733_V0012_D150523.bin",
      "Dahlia_F0173_V0012_D150523.bin1",
      // One character less.
      "ahlia_F0173_V0012_D150523.bin",
      "Dahlia_F017_V0012_D150523.bin",
      "Dahlia_F0173_V0012_D150523.bi",
      // Case counts, the extension's included.
      "dahlia_F0173_V0012_D150523.bin",
      "Dahlia_F0173_V0012_D150523.BIN",
      // A literal character differs; another model's prefix.
      "Dahlia_F0173-V0012_D150523.bin",
      "DahliaMax_F0173_V0012_D150523.bin",
  };
  for (const char* name : names) {
    SCOPED_TRACE(name);
    const std::string path = MakeFile(name);
    state.UpdateFilePath = "/earlier/file.bin";
    state.UpdateFileReady = true;
    state.updateFileInfo.fileFwVersion = {1, 2, 3, 4};
    view.EnableControl(ids::kUploadButton, true);

    EXPECT_FALSE(Open(path));

    ExpectRefused();
    ExpectFileColumn("blank", "blank", "blank");
    EXPECT_EQ(state.UpdateFilePath, fs::path("/earlier/file.bin"));
    EXPECT_EQ(view.Text(ids::kFilePathEdit), path);  // the choice itself is shown
    // The record is reset before the name is looked at, and fileAccepted set for the check.
    EXPECT_EQ(state.updateFileInfo.fileFwVersion, (std::array<uint16_t, 4>{255, 255, 255, 255}));
    EXPECT_TRUE(state.updateFileInfo.fileAccepted);
  }
}

TEST_F(OpenUpdateFileTest, RefusesAFolderAndAMissingFile) {
  fs::create_directory(temp / kGoodName);
  const std::string paths[] = {(temp / kGoodName).string(), (temp / "sub" / kGoodName).string()};
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    view.EnableControl(ids::kUploadButton, true);
    EXPECT_FALSE(Open(path));
    ExpectRefused();
    ExpectFileColumn("blank", "blank", "blank");
  }
}

TEST_F(OpenUpdateFileTest, ModelsWithoutLocalFilesRefuseAnyFile) {
  struct Case {
    int type;
    const char* name;  // the model's own pattern filled in, where it has one
    const char* dateText;
  };
  const Case cases[] = {
      {1, "Aster_F0173.bin", ""},
      {2, "Briar_F0173_V0012.bin", ""},
      {3, "Cedar_F0173_V0012_D150523.bin", "150523"},
      {7, kGoodName, nullptr},
      {10, kGoodName, nullptr},
      {13, kGoodName, nullptr},
      {15, kGoodName, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    state.deviceInfo.typeCode = static_cast<int8_t>(c.type);
    // A record claiming the model, where type-4 files keep theirs.
    std::vector<uint8_t> record = kGoodRecord;
    record[3] = static_cast<uint8_t>(c.type);
    const std::string path = MakeFile(c.name, record);
    view.EnableControl(ids::kUploadButton, true);
    for (const int id : {ids::kFileFwVersionText, ids::kFileVoiceVersionText, ids::kFileDbText}) {
      view.SetControlText(id, "blank");
    }

    EXPECT_FALSE(Open(path));

    ExpectRefused();
    if (c.dateText != nullptr) {
      // The name fits, so the versions are shown: nothing was read.
      ExpectFileColumn(kUnreadText, kUnreadText, c.dateText);
      EXPECT_EQ(state.UpdateFilePath, fs::path(path));
    } else {
      ExpectFileColumn("blank", "blank", "blank");
    }
  }
}

TEST_F(OpenUpdateFileTest, RecordDecidesAfterTheName) {
  struct Case {
    const char* what;
    std::vector<uint8_t> record;
    uint32_t size;
    bool accepted;
    const char* fwText;
    const char* voiceText;
    bool fileAccepted;
  };
  const uint32_t full = kVoiceOffset + 0x10;
  const Case cases[] = {
      {"type byte without flag",
       {0xA4, 0x5B, 12, 0x04, 0, 2, 4, 3},
       full,
       true,
       "v02.43",
       "v00.12",
       true},
      {"type byte of another model",
       {0xA4, 0x5B, 3, 0x05, 0, 1, 7, 3},
       full,
       false,
       kUnreadText,
       kUnreadText,
       true},
      {"unknown country",
       {0xA4, 0x5B, 7, 0x84, 0, 1, 7, 3},
       full,
       false,
       "v01.73",
       "v00.12",
       false},
      {"wrong magic",
       {0xA4, 0x00, 3, 0x84, 0, 1, 7, 3},
       full,
       false,
       kUnreadText,
       kUnreadText,
       true},
      {"file shorter than the record", kGoodRecord, kRecordOffset + 7, false, kUnreadText,
       kUnreadText, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = MakeFile(kGoodName, c.record, c.size);

    EXPECT_EQ(Open(path), c.accepted);

    // The name fitted: the file is recorded and its column shown, whatever the record says.
    EXPECT_EQ(state.UpdateFilePath, fs::path(path));
    ExpectFileColumn(c.fwText, c.voiceText, "150523");
    EXPECT_EQ(state.updateFileInfo.fileAccepted, c.fileAccepted);
    EXPECT_EQ(state.UpdateFileReady, c.accepted);
    EXPECT_EQ(view.Control(ids::kUploadButton).enabled, c.accepted);
    EXPECT_EQ(view.Status().text, c.accepted ? kGoodName : kNotFound);
  }
}

TEST_F(OpenUpdateFileTest, CancelAfterAGoodChoiceWithdrawsIt) {
  const std::string path = MakeFile(kGoodName);
  ASSERT_TRUE(Open(path));

  EXPECT_FALSE(Open(std::nullopt));

  ExpectRefused();
  EXPECT_EQ(view.Text(ids::kFilePathEdit), path);
  EXPECT_EQ(state.filePathText, path);
  EXPECT_EQ(state.UpdateFilePath, fs::path(path));
  ExpectFileColumn("v01.73", "v00.12", "150523");  // left as the good choice showed them
  EXPECT_EQ(state.updateFileInfo.fileFwVersion, (std::array<uint16_t, 4>{255, 255, 255, 255}));
}

TEST_F(OpenUpdateFileTest, CancelIsRefusedEvenForAModelWithoutPattern) {
  // A model without pattern expects the empty name; no file chosen must still not pass.
  state.deviceInfo.typeCode = 7;
  state.UpdateFilePath = "/earlier/file.bin";
  EXPECT_FALSE(Open(std::nullopt));
  ExpectRefused();
  EXPECT_EQ(state.UpdateFilePath, fs::path("/earlier/file.bin"));
  ExpectFileColumn("blank", "blank", "blank");
}

TEST_F(OpenUpdateFileTest, RefusesHeaderComponentsOutsideTheFileOrTheMemory) {
  namespace catalogue = ModelCatalogue;
  // Header fields: firmware length at 1, voice at 5, database at 9 (u32), signature at 13 (u16).
  enum Field { kFw = 1, kVoice = 5, kDb = 9, kSig = 13 };
  struct Case {
    uint8_t type;
    Field field;
    const char* what;
    // The length to put in the header, from the model's numbers; 0 keeps the file as made.
    std::function<uint64_t(int8_t type, uint32_t dbAddress, uint64_t fileSize)> length;
    bool extendFile;  // make the file long enough that only the memory can refuse
  };
  const auto pastFile = [](uint32_t (*offset)(int8_t)) {
    return [offset](int8_t type, uint32_t, uint64_t size) { return size - offset(type) + 1; };
  };
  const auto voicePastFlash = [](int8_t type, uint32_t, uint64_t) {
    return uint64_t{catalogue::FlashSize(type)} + 1;
  };
  const auto dbPastFlash = [](int8_t type, uint32_t db, uint64_t) {
    return uint64_t{catalogue::FlashSize(type)} - db + 1;
  };
  const auto fwPastController = [](int8_t type, uint32_t, uint64_t) {
    return uint64_t{catalogue::FwReadLength(type)} - catalogue::BootLoaderSize(type) + 1;
  };
  const auto all = [](int8_t, uint32_t, uint64_t) { return uint64_t{0xFFFFFFFF}; };
  const auto none = [](int8_t, uint32_t, uint64_t) { return uint64_t{0}; };
  const Case cases[] = {
      {4, kFw, "as made", none, false},
      {8, kFw, "as made", none, false},
      {17, kFw, "as made", none, false},
      {26, kFw, "as made", none, false},
      {4, kFw, "firmware past the file", pastFile(catalogue::FwFileOffset), false},
      {17, kFw, "firmware past the controller memory", fwPastController, true},
      {26, kFw, "firmware past the controller memory", fwPastController, true},
      {4, kVoice, "voice past the file", pastFile(catalogue::VoiceFileOffset), false},
      {4, kVoice, "voice past the data flash", voicePastFlash, true},
      {8, kVoice, "voice past the data flash", voicePastFlash, true},
      {26, kVoice, "voice over the settings and version record",
       [](int8_t, uint32_t, uint64_t) { return uint64_t{0x01100000}; }, true},
      {26, kVoice, "voice of 4 GiB", all, false},
      {4, kDb, "database past the file", pastFile(catalogue::DbFileOffset), false},
      {4, kDb, "database past the data flash", dbPastFlash, true},
      {17, kDb, "database past the data flash", dbPastFlash, true},
      {26, kDb, "database past the data flash", dbPastFlash, true},
      {26, kDb, "database of 4 GiB", all, false},
      {8, kSig, "signature past the file", [](int8_t, uint32_t, uint64_t) { return 0xFFFF; },
       false},
      {8, kSig, "signature past its 8 KiB block",
       [](int8_t, uint32_t, uint64_t) { return 8 * 1024 + 1; }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + ": " + c.what);
    emu::PresetOptions device;
    device.rawType = c.type;
    const emu::UpdateFile file = emu::MakeUpdateFile(emu::NewerUpdateFile(device));
    const auto path = emu::WriteUpdateFile(temp.path(), file).value();
    const auto type = static_cast<int8_t>(c.type);
    DeviceInfo info;
    info.typeCode = type;
    UpdateFileInfo newer;
    newer.fileFwVersion = {0, 3, 0, 1};
    const uint64_t length =
        c.length(type, catalogue::DbFlashOffset(1, info, newer), file.bytes.size());
    if (length != 0) {
      std::fstream patch(path, std::ios::binary | std::ios::in | std::ios::out);
      for (int i = 0; i < (c.field == kSig ? 2 : 4); ++i) {
        patch.seekp(c.field + i);
        patch.put(static_cast<char>((length >> (8 * i)) & 0xFF));
      }
    }
    if (c.extendFile) {
      const uint64_t offsets[] = {0, catalogue::FwFileOffset(type),
                                  0, 0,
                                  0, catalogue::VoiceFileOffset(type),
                                  0, 0,
                                  0, catalogue::DbFileOffset(type),
                                  0, 0,
                                  0, 0x800000};
      fs::resize_file(path, std::max<uint64_t>(file.bytes.size(), offsets[c.field] + length));
    }
    state = AppState{};
    state.deviceInfo.typeCode = type;
    const bool accepted = Open(path.string());
    EXPECT_EQ(accepted, length == 0);
    if (length != 0) {
      ExpectRefused();
    }
  }
}

}  // namespace
}  // namespace korvan
