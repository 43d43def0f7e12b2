// Replays every checked-in fuzz input (seeds, and the reproducers of faults
// the fuzzers found) through the same target bodies that the libFuzzer
// programs run, compiled here with the normal compiler: a fault fixed once
// stays fixed in every test run, sanitizer builds included.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../fuzz/capture_file.cpp"
#include "../fuzz/message_decode.cpp"
#include "../fuzz/receive_path.cpp"
#include "../fuzz/receive_stream.cpp"

namespace {

struct FuzzTarget {
    const char* name;  // directory under fuzz/corpus
    int (*body)(const uint8_t*, size_t);
};

std::ostream& operator<<(std::ostream& os, const FuzzTarget& t) {
    return os << t.name;
}

class FuzzCorpusReplay : public ::testing::TestWithParam<FuzzTarget> {};

TEST_P(FuzzCorpusReplay, EveryCheckedInInputPassesTheTargetInvariants) {
    const std::filesystem::path dir = std::filesystem::path(ORQ_SOURCE_DIR) / "fuzz" / "corpus" / GetParam().name;
    ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
    size_t replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        SCOPED_TRACE(entry.path().string());
        // A broken invariant aborts the program with its line on stderr.
        EXPECT_EQ(GetParam().body(bytes.data(), bytes.size()), 0);
        ++replayed;
    }
    EXPECT_GT(replayed, 0u) << "no inputs in " << dir;
}

// The empty input is every target's first run under libFuzzer.
TEST_P(FuzzCorpusReplay, EmptyInputPasses) {
    EXPECT_EQ(GetParam().body(nullptr, 0), 0);
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzCorpusReplay,
                         ::testing::Values(FuzzTarget{"capture_file", &orqFuzzOneCaptureFile},
                                           FuzzTarget{"message_decode", &orqFuzzOneMessageDecode},
                                           FuzzTarget{"receive_stream", &orqFuzzOneReceiveStream},
                                           FuzzTarget{"receive_path", &orqFuzzOneReceivePath}),
                         [](const ::testing::TestParamInfo<FuzzTarget>& p) { return std::string(p.param.name); });

}  // namespace
