// Stands in for libFuzzer where clang is missing: feeds the fuzz target a fixed number of
// randomised inputs, mutated from stored records, from a fixed seed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    const long runs = argc > 1 ? std::atol(argv[1]) : 200000;
    std::mt19937 rng(12345);
    std::vector<std::uint8_t> input;
    for (long i = 0; i < runs; ++i) {
        if (rng() % 16 == 0)
            input.clear();
        switch (rng() % 4) {
        case 0: input.push_back(static_cast<std::uint8_t>(rng())); break;
        case 1: input.push_back(rng() % 2 ? 0xFF : 0xFE); break;
        case 2: if (!input.empty()) input[rng() % input.size()] = static_cast<std::uint8_t>(rng()); break;
        default: if (!input.empty()) input.resize(rng() % input.size()); break;
        }
        if (input.size() > 512)
            input.resize(512);
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("%ld inputs read without fault\n", runs);
    return 0;
}
