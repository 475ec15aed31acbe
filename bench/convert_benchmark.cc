// In-process cost of converting one record into a file, beside memcpy of the
// same number of bytes.

#include <benchmark/benchmark.h>
#include <string.h>

#include <filesystem>
#include <string>
#include <vector>

#include "file_access.h"
#include "save_format.h"
#include "test_support.h"

namespace {

void BM_WriteConvertedSave(benchmark::State& state) {
  size_t payload = static_cast<size_t>(state.range(0));
  testing_support::TempFolder folder;
  std::string source = testing_support::SourceSave(1, "Bench", testing_support::Pattern(payload));
  std::wstring target = testing_support::Wide(folder.path / "RAVNOX_1.sav");
  uint8_t header[kConvertedHeaderSize];
  for (auto _ : state) {
    HANDLE out = CreateFileForWrite(target.c_str());
    ConvertResult result =
        WriteConvertedSave(reinterpret_cast<const uint8_t*>(source.data()), source.size(), out, header);
    CloseHandle(out);
    if (result != kSaveWritten) state.SkipWithError("conversion failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(payload + 520));
}
BENCHMARK(BM_WriteConvertedSave)->Arg(16 << 10)->Arg(1 << 20)->Arg(64 << 20)->UseRealTime();

void BM_Memcpy(benchmark::State& state) {
  size_t bytes = static_cast<size_t>(state.range(0)) + 520;
  std::vector<char> from(bytes, 'x'), to(bytes);
  for (auto _ : state) {
    memcpy(to.data(), from.data(), bytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_Memcpy)->Arg(16 << 10)->Arg(1 << 20)->Arg(64 << 20);

}  // namespace

BENCHMARK_MAIN();
