// Costs of the version extraction on copies of realistic size, next to the least work any
// reading of them can do: one pass summing the longest voice row.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "device/device_info.h"
#include "device/model_catalogue.h"
#include "device/version_record.h"
#include "flash/firmware_build_table.h"
#include "flash/version_extraction.h"

namespace korvan {
namespace {

struct BenchCopies {
  std::filesystem::path folder;
  std::filesystem::path type3Flash;       // 5 MiB data flash
  std::filesystem::path type4Controller;  // 128 KiB controller memory
};

BenchCopies gCopies;

std::vector<uint8_t> PseudoRandomBytes(size_t size, uint64_t seed) {
  std::vector<uint8_t> bytes(size);
  uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
  for (auto& b : bytes) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    b = static_cast<uint8_t>(state >> 24);
  }
  return bytes;
}

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

uint32_t LongestVoiceRow() {
  uint32_t longest = 0;
  for (const FirmwareBuildRow& row : BuildTableTV().rows) {
    longest = std::max(longest, row.length);
  }
  return longest;
}

bool MakeCopies() {
  std::string pattern = (std::filesystem::temp_directory_path() / "korvan_bench_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    return false;
  }
  gCopies.folder = pattern;
  gCopies.type3Flash = gCopies.folder / "TempImageData.bin";
  gCopies.type4Controller = gCopies.folder / "TempFwData.bin";

  std::vector<uint8_t> flash = PseudoRandomBytes(5 * 1024 * 1024, 3);
  const char text[] = "V2.1_210615";
  std::memcpy(flash.data() + 0x300000 + 12, text, 11);
  WriteFile(gCopies.type3Flash, flash);

  std::vector<uint8_t> controller = PseudoRandomBytes(0x20000, 4);
  const VersionRecordBytes record = EncodeVersionRecord(3, 4, {0, 2, 4, 3});
  std::copy(record.begin(), record.end(),
            controller.begin() + ModelCatalogue::ControllerVersionRecordOffset(4));
  WriteFile(gCopies.type4Controller, controller);
  return true;
}

void ExtractFlashVersionsType3(benchmark::State& state) {
  for (auto _ : state) {
    DeviceInfo info;
    info.typeCode = 3;
    info.layoutVariant = 1;
    ExtractFlashVersions(3, gCopies.type3Flash, info);
    benchmark::DoNotOptimize(info);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * LongestVoiceRow());
}
BENCHMARK(ExtractFlashVersionsType3)->Unit(benchmark::kMillisecond);

// The floor: open the copy and sum the longest voice row once, in the same chunk size.
void SingleSumPassLongestVoiceRow(benchmark::State& state) {
  const uint32_t length = LongestVoiceRow();
  std::vector<uint8_t> chunk(64 * 1024);
  for (auto _ : state) {
    std::ifstream in(gCopies.type3Flash, std::ios::binary);
    uint8_t sum = 0;
    for (uint32_t done = 0; done < length;) {
      const auto want = std::min<size_t>(chunk.size(), length - done);
      in.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(want));
      const auto got = static_cast<size_t>(in.gcount());
      sum = static_cast<uint8_t>(sum + ByteSum8(std::span(chunk).first(got)));
      if (got < want) {
        break;
      }
      done += static_cast<uint32_t>(got);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * length);
}
BENCHMARK(SingleSumPassLongestVoiceRow)->Unit(benchmark::kMillisecond);

// For scale: every voice row read into its own zero-filled buffer, as a row-by-row reading
// would do.
void RowByRowVoiceTable(benchmark::State& state) {
  for (auto _ : state) {
    std::ifstream in(gCopies.type3Flash, std::ios::binary);
    int matches = 0;
    for (const FirmwareBuildRow& row : BuildTableTV().rows) {
      std::vector<uint8_t> buffer(row.length);
      in.clear();
      in.seekg(0);
      in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(row.length));
      matches += ByteSum8(buffer) == row.sum ? 1 : 0;
    }
    benchmark::DoNotOptimize(matches);
  }
}
BENCHMARK(RowByRowVoiceTable)->Unit(benchmark::kMillisecond);

void ExtractFirmwareVersionType4(benchmark::State& state) {
  for (auto _ : state) {
    DeviceInfo info;
    info.typeCode = 4;
    ExtractFirmwareVersion(4, gCopies.type4Controller, info);
    benchmark::DoNotOptimize(info);
  }
}
BENCHMARK(ExtractFirmwareVersionType4)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace korvan

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  if (!korvan::MakeCopies()) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  std::filesystem::remove_all(korvan::gCopies.folder, ignored);
  return 0;
}
