// Replays fuzz corpora without libFuzzer: every file in the directories or files named on
// the command line goes through the target once. Used by CTest, so every build checks
// the kept corpora, sanitizers included.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

int replayFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
    }
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    int failures = 0;
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path root(argv[i]);
        if (!std::filesystem::is_directory(root)) {
            failures += replayFile(root);
            ++replayed;
            continue;
        }
        for (const auto& entry : std::filesystem::directory_iterator(root)) {
            if (!entry.is_regular_file()) continue;
            failures += replayFile(entry.path());
            ++replayed;
        }
    }
    std::printf("replayed %d inputs\n", replayed);
    return failures != 0 || replayed == 0 ? 1 : 0;
}
