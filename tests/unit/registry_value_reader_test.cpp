// The registry reader against the real registry: a key of the test's own under
// HKEY_CURRENT_USER, read through the list of enumerated disks.
#include "device/windows/registry_value_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/platform_host.h"

namespace korvan {
namespace {

class RegistryValueReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = L"Software\\KorvanUpdaterTest\\" + std::to_wstring(GetCurrentProcessId());
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key_, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    if (key_ != nullptr) {
      RegCloseKey(key_);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KorvanUpdaterTest");
  }

  void SetText(const wchar_t* name, const std::wstring& text) {
    ASSERT_EQ(RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }
  void SetCount(DWORD count) {
    ASSERT_EQ(RegSetValueExW(key_, L"Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count),
                             sizeof count),
              ERROR_SUCCESS);
  }

  std::wstring path_;
  HKEY key_ = nullptr;
};

TEST_F(RegistryValueReaderTest, ListsTheDisksOfTheKey) {
  SetCount(5);
  SetText(L"0", L"SCSI\\Disk&Ven_NVMe&Prod_Samsung_SSD_970\\5&2a&0&000000");
  SetText(L"1", L"USBSTOR\\Disk&Ven_Firmware&Prod_Update&Rev_1.00\\7&1f2e3d4c&0");
  // "2" is missing
  SetText(L"3", std::wstring(127, L'x'));  // 256 bytes with its NUL: fits
  SetText(L"4", std::wstring(128, L'y'));  // 258 bytes: does not
  SetText(L"5", L"beyond Count");
  const RegistryDiskList list(MakeRegistryValueReader(HKEY_CURRENT_USER, path_));
  EXPECT_EQ(
      list.Identifications(),
      (std::vector<std::string>{"SCSI\\Disk&Ven_NVMe&Prod_Samsung_SSD_970\\5&2a&0&000000",
                                "USBSTOR\\Disk&Ven_Firmware&Prod_Update&Rev_1.00\\7&1f2e3d4c&0", "",
                                std::string(127, 'x'), ""}));

  SetText(L"0", L"USBSTOR\\Disk&Ven_Флешка");
  SetCount(300);
  const std::vector<std::string> disks = list.Identifications();
  ASSERT_EQ(disks.size(), 44u);
  EXPECT_EQ(disks[0], "USBSTOR\\Disk&Ven_Флешка");
}

TEST_F(RegistryValueReaderTest, AMissingKeyListsNothing) {
  const RegistryValueReader read =
      MakeRegistryValueReader(HKEY_CURRENT_USER, path_ + L"\\NoSuchKey");
  EXPECT_EQ(read("Count"), std::nullopt);
  EXPECT_TRUE(RegistryDiskList(read).Identifications().empty());

  SetCount(1);
  const RegistryValueReader present = MakeRegistryValueReader(HKEY_CURRENT_USER, path_);
  EXPECT_EQ(present("Count"), (std::vector<uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(present("0"), std::nullopt);
}

// The machine's own list: whatever it holds here, reading it works and ends.
TEST_F(RegistryValueReaderTest, ThePlatformListReadsTheSystemKey) {
  const std::unique_ptr<EnumeratedDisks> disks = MakePlatformDiskList();
  ASSERT_NE(disks, nullptr);
  EXPECT_LE(disks->Identifications().size(), 255u);
  EXPECT_EQ(MakePlatformDeviceEvents(), nullptr);
}

}  // namespace
}  // namespace korvan
