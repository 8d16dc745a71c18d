// The Windows pass-through request as bytes: checked on every platform, since the Windows host
// sends exactly these.
#include "device/pass_through_request.h"

#include <gtest/gtest.h>

#include <vector>

namespace korvan {
namespace {

std::vector<uint8_t> Bytes(const PassThroughRequest& request) {
  return {request.bytes.begin(), request.bytes.end()};
}

TEST(PassThroughRequestTest, ReadOfTheVersionRecordByteForByte) {
  const PassThroughRequest request =
      MakePassThroughRequest(MakeReadUnitCdb(MemorySelector::DataFlash, 0x7FD000),
                             DataDirection::FromDevice, 0x1122334455667788);
  std::vector<uint8_t> expected = {
      0x38, 0x00,                                      // Length 56
      0x00, 0x00, 0x00,                                // ScsiStatus, PathId, TargetId
      0x01,                                            // Lun: the memory selector
      0x0C, 0x20, 0x01,                                // CdbLength 12, SenseInfoLength 32, DataIn
      0x00, 0x00, 0x00,                                // padding
      0x00, 0x04, 0x00, 0x00,                          // DataTransferLength 1024
      0x88, 0x13, 0x00, 0x00,                          // TimeOutValue 5000 s
      0x00, 0x00, 0x00, 0x00,                          // padding
      0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11,  // DataBuffer
      0x38, 0x00, 0x00, 0x00,                          // SenseInfoOffset 56
      0xC8, 0x01, 0x00, 0x00, 0x1F, 0xF4, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,  // Cdb
      0x00, 0x00, 0x00, 0x00,                                                  // Cdb[12..15]
      0x00, 0x00, 0x00, 0x00,                                                  // padding
  };
  expected.resize(88, 0x00);  // the sense area
  EXPECT_EQ(Bytes(request), expected);
}

TEST(PassThroughRequestTest, EachCommandDiffersOnlyInLunDirectionAndCdb) {
  struct Case {
    const char* name;
    Cdb cdb;
    DataDirection direction;
    uint8_t lun;
    uint8_t dataIn;
  };
  const Case cases[] = {
      {"inquiry", MakeInquiryCdb(), DataDirection::FromDevice, 0, 1},
      {"read", MakeReadUnitCdb(MemorySelector::Controller, 0x08000400), DataDirection::FromDevice,
       0, 1},
      {"write", MakeWriteUnitCdb(MemorySelector::LegacySettings, 0x08080000),
       DataDirection::ToDevice, 2, 0},
  };
  const PassThroughRequest reference = MakePassThroughRequest(
      MakeReadUnitCdb(MemorySelector::DataFlash, 0x7FD000), DataDirection::FromDevice, 0x1000);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const PassThroughRequest request = MakePassThroughRequest(c.cdb, c.direction, 0x1000);
    std::vector<uint8_t> expected = Bytes(reference);
    expected[pass_through::kLun] = c.lun;
    expected[pass_through::kDataIn] = c.dataIn;
    std::copy(c.cdb.begin(), c.cdb.end(), expected.begin() + pass_through::kCdb);
    EXPECT_EQ(Bytes(request), expected);
  }
}

TEST(PassThroughRequestTest, ReadsWhatTheDriverWroteBack) {
  PassThroughRequest request =
      MakePassThroughRequest(MakeInquiryCdb(), DataDirection::FromDevice, 0);
  EXPECT_EQ(PassThroughScsiStatus(request), 0);
  EXPECT_EQ(PassThroughDataTransferLength(request), 1024u);
  request.bytes[2] = 0x02;
  request.bytes[12] = 0x24;  // 36 bytes of INQUIRY data
  request.bytes[13] = 0x00;
  EXPECT_EQ(PassThroughScsiStatus(request), 0x02);
  EXPECT_EQ(PassThroughDataTransferLength(request), 36u);
  request.bytes[15] = 0x80;
  EXPECT_EQ(PassThroughDataTransferLength(request), 0x80000024u);
}

}  // namespace
}  // namespace korvan
