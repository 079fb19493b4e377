// In-process cost of building the flat image of the largest embedded image: the working copy
// and the build, as the update makes them, counted in bytes of Intel HEX text.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>

#include "BinImage.h"
#include "LumivaneFwUpgrade.h"

namespace {

int largestCatalogueEntry()
{
    int largest = 0;
    for (int i = 1; i < (int)(sizeof AUTOGEN_FILES / sizeof AUTOGEN_FILES[0]); i++) {
        if (AUTOGEN_FILES[i].fileDataLength > AUTOGEN_FILES[largest].fileDataLength) {
            largest = i;
        }
    }
    return largest;
}

void BM_FlatImageBuildLargestEntry(benchmark::State &state)
{
    const int entry = largestCatalogueEntry();
    gDataConcatenated = (uint8_t *)calloc(CONCAT_BUFFER_SIZE + 16, 1);
    if (gDataConcatenated == nullptr) {
        state.SkipWithError("out of memory");
        return;
    }
    memset(gDataConcatenated, 0xFF, CONCAT_BUFFER_SIZE);
    for (auto _ : state) {
        // Each build consumes its copy, so every round makes a fresh one, as the update does.
        char *workingCopy = copyCatalogueText(entry);
        BOOL built = workingCopy != nullptr ? ValidateFwAndConcatenateData(workingCopy) : FALSE;
        free(workingCopy);
        if (built != TRUE) {
            state.SkipWithError("the build failed");
            break;
        }
        benchmark::DoNotOptimize(gDataConcatenatedLenght);
    }
    state.SetBytesProcessed(state.iterations() * (int64_t)AUTOGEN_FILES[entry].fileDataLength);
    state.SetLabel(AUTOGEN_FILES[entry].filePath);
    free(gDataConcatenated);
    gDataConcatenated = nullptr;
}

// Bytes per second of CPU time: the build's own cost, whatever else the machine runs. bench/run
// shows the wall-time rate beside it.
BENCHMARK(BM_FlatImageBuildLargestEntry)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
