// Fuzzes the watch-list loader with arbitrary afxg003 files (the input is the
// unscrambled content): it must load 0 to 16 records, and what it loads must
// survive a save and a second load unchanged.
#include "common/ProgramState.h"
#include "common/QuoteRecord.h"
#include "fuzz/FuzzDeviceRoot.h"
#include "watchlist/DataFiles.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::filesystem::path gFile;
constexpr int kStored[] = {0, 1, 2, 3, 4, 6, 8, 9, 10, 11, 12, 15};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gFile = UseFuzzDeviceRoot("watchlist", "afxg003");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string content(reinterpret_cast<const char*>(data), size);
    std::ofstream(gFile, std::ios::binary | std::ios::trunc) << ScrambleText(content);
    ResetProgramState();
    int count = LoadWatchList();
    if (count < 0 || count > kMaxStocks || count != stockCount) {
        std::abort();
    }
    std::vector<QuoteRecord> loaded(WatchList, WatchList + count);
    SaveWatchList();
    ResetProgramState();
    int again = LoadWatchList();
    if (again > count) {
        std::abort();
    }
    // Defaults can make a record longer than it was in the file, so fewer
    // whole groups may fit; those that were saved must come back unchanged.
    for (int i = 0; i < again; ++i) {
        for (int f : kStored) {
            if (FieldOf(WatchList[i], f) != FieldOf(loaded[i], f)) {
                std::abort();
            }
        }
    }
    return 0;
}
