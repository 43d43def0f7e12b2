// libFuzzer's entry point; ORQ_FUZZ_ENTRY names the target body it runs.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return ORQ_FUZZ_ENTRY(data, size);
}
