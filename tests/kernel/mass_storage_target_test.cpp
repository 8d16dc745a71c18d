// The gadget's mass-storage answers without a kernel: the Bulk-Only wrappers, what each command
// returns and leaves for REQUEST SENSE, and unit writes reaching the device.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "emulator/gadget/mass_storage_target.h"
#include "tests/emulator/small_device.h"

namespace korvan::emu {
namespace {

CommandBlockWrapper Block(std::initializer_list<uint8_t> cdb, uint32_t dataLength, bool dataIn,
                          uint8_t lun = 0) {
  CommandBlockWrapper block;
  block.tag = 0x1234;
  block.dataLength = dataLength;
  block.dataIn = dataIn;
  block.lun = lun;
  block.cdbLength = static_cast<uint8_t>(cdb.size());
  std::copy(cdb.begin(), cdb.end(), block.cdb.begin());
  return block;
}

std::vector<uint8_t> WrapperBytes(uint32_t signature, uint8_t cdbLength) {
  std::vector<uint8_t> bytes(kCommandBlockWrapperSize, 0);
  for (int i = 0; i < 4; ++i) {
    bytes[i] = static_cast<uint8_t>(signature >> (8 * i));
  }
  bytes[4] = 0x78;  // tag 0x12345678
  bytes[5] = 0x56;
  bytes[6] = 0x34;
  bytes[7] = 0x12;
  bytes[9] = 0x04;  // 1024 bytes
  bytes[12] = 0x80;
  bytes[14] = cdbLength;
  bytes[15] = 0xC8;
  bytes[16] = 0x01;
  return bytes;
}

TEST(MassStorageTargetTest, CommandBlockWrapperIsReadOrRefused) {
  const auto parsed = ParseCommandBlockWrapper(WrapperBytes(0x43425355, 12));
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->tag, 0x12345678U);
  EXPECT_EQ(parsed->dataLength, 1024U);
  EXPECT_TRUE(parsed->dataIn);
  EXPECT_EQ(parsed->cdbLength, 12);
  EXPECT_EQ(parsed->cdb[0], 0xC8);
  EXPECT_EQ(parsed->cdb[1], 0x01);

  std::vector<uint8_t> longer = WrapperBytes(0x43425355, 12);
  longer.push_back(0);
  std::vector<uint8_t> shorter = WrapperBytes(0x43425355, 12);
  shorter.pop_back();
  const std::vector<uint8_t> refused[] = {
      WrapperBytes(0x53425355, 12),  // a status block's signature
      WrapperBytes(0x43425355, 0),  WrapperBytes(0x43425355, 17), shorter, longer,
  };
  for (const auto& bytes : refused) {
    EXPECT_FALSE(ParseCommandBlockWrapper(bytes).has_value()) << bytes.size();
  }

  const auto status = MakeCommandStatusWrapper(0x12345678, 988, CommandOutcome::Failed);
  const std::array<uint8_t, 13> expected = {'U',  'S',  'B',  'S', 0x78, 0x56, 0x34,
                                            0x12, 0xDC, 0x03, 0,   0,    1};
  EXPECT_EQ(status, expected);
}

TEST(MassStorageTargetTest, EachCommandAnswersAndLeavesItsSense) {
  const auto device = testing::MakeSmallDevice();
  MassStorageTarget target(device);
  struct Case {
    const char* what;
    CommandBlockWrapper command;
    CommandOutcome outcome;
    size_t sent;
    uint8_t asc;  // what REQUEST SENSE then reports; 0 after a command that passed
  };
  const Case cases[] = {
      {"storage driver's INQUIRY", Block({0x12, 0, 0, 0, 36, 0}, 36, true), CommandOutcome::Passed,
       36, 0},
      {"program's INQUIRY, one unit transferred", Block({0x12, 0, 0, 0, 0x88, 0}, 1024, true),
       CommandOutcome::Passed, 36, 0},
      {"vital product data page", Block({0x12, 1, 0x80, 0, 0xFF, 0}, 255, true),
       CommandOutcome::Failed, 0, 0x24},
      {"READ CAPACITY(10)", Block({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8, true),
       CommandOutcome::Failed, 0, 0x20},
      {"TEST UNIT READY", Block({0x00, 0, 0, 0, 0, 0}, 0, false), CommandOutcome::Passed, 0, 0},
      {"read unit 2 of the data flash", Block({0xC8, 1, 0, 0, 0, 2, 0, 0, 1, 0, 0, 0}, 1024, true),
       CommandOutcome::Passed, 1024, 0},
      {"read unit past the data flash", Block({0xC8, 1, 0, 0, 0, 8, 0, 0, 1, 0, 0, 0}, 1024, true),
       CommandOutcome::Failed, 0, 0x21},
      {"read unit into a data stage too short for it",
       Block({0xC8, 1, 0, 0, 0, 2, 0, 0, 1, 0, 0, 0}, 512, true), CommandOutcome::Failed, 0, 0x24},
      {"second logical unit", Block({0x00, 0, 0, 0, 0, 0}, 0, false, 1), CommandOutcome::Failed, 0,
       0x25},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TargetReply reply = target.Answer(c.command, {});
    EXPECT_EQ(reply.outcome, c.outcome);
    ASSERT_EQ(reply.dataIn.size(), c.sent);
    EXPECT_EQ(reply.residue, c.command.dataLength - c.sent);
    if (c.command.cdb[0] == 0xC8 && c.sent > 0) {
      EXPECT_EQ(reply.dataIn, device->Peek(MemorySelector::DataFlash, 2 * 1024, 1024));
    }
    if (c.command.cdb[0] == 0x12 && c.sent > 0) {
      EXPECT_EQ(reply.dataIn, device->inquiry());
    }

    // The driver's REQUEST SENSE asks 18 bytes after a failure; the sense is then cleared.
    const TargetReply sense = target.Answer(Block({0x03, 0, 0, 0, 18, 0}, 18, true), {});
    ASSERT_EQ(sense.dataIn.size(), 18U);
    EXPECT_EQ(sense.dataIn[0], 0x70);
    EXPECT_EQ(sense.dataIn[2], c.asc == 0 ? 0 : kSenseIllegalRequest);
    EXPECT_EQ(sense.dataIn[12], c.asc);
    EXPECT_EQ(target.Answer(Block({0x03, 0, 0, 0, 18, 0}, 18, true), {}).dataIn[12], 0);
  }
}

TEST(MassStorageTargetTest, WriteUnitReachesTheDeviceOnlyWhole) {
  const auto device = testing::MakeSmallDevice();
  MassStorageTarget target(device);
  const std::vector<uint8_t> unit(1024, 0x5A);
  // Unit 1 of the legacy settings memory, which starts at byte address 0x08080000.
  const CommandBlockWrapper write =
      Block({0xCA, 2, 0x00, 0x02, 0x02, 0x01, 0, 0, 1, 0, 0, 0}, 1024, false);

  const std::vector<uint8_t> half(512, 0x5A);
  const std::vector<uint8_t> before =
      device->Peek(MemorySelector::LegacySettings, 0x08080400, 1024);
  EXPECT_EQ(target.Answer(write, half).outcome, CommandOutcome::Failed);
  EXPECT_EQ(device->Peek(MemorySelector::LegacySettings, 0x08080400, 1024), before);

  const TargetReply reply = target.Answer(write, unit);
  EXPECT_EQ(reply.outcome, CommandOutcome::Passed);
  EXPECT_EQ(reply.residue, 0U);
  EXPECT_TRUE(reply.dataIn.empty());
  EXPECT_EQ(device->Peek(MemorySelector::LegacySettings, 0x08080400, 1024), unit);
  EXPECT_EQ(target.deviceCommands(), 1U);
}

}  // namespace
}  // namespace korvan::emu
