// Runs a fuzz target without libFuzzer: replays every file of the given corpus folders, then
// feeds mutated copies of them (and of a few built-in seeds) for the given number of seconds.
// The mutations are the simple ones that find most parser faults: bit flips, byte changes,
// truncation, duplication of a slice, insertion of boundary bytes and splicing of two inputs.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

using Input = std::vector<std::uint8_t>;

void run(const Input &input)
{
    // Copy into an exact-size buffer so that ASan sees reads past the end.
    const std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[input.empty() ? 1 : input.size()]);
    std::copy(input.begin(), input.end(), buffer.get());
    LLVMFuzzerTestOneInput(buffer.get(), input.size());
}

Input mutate(const Input &seed, const std::vector<Input> &pool, std::mt19937_64 &rng)
{
    static const std::uint8_t boundary[] = {0,    0x7f, 0x80, 0xff, '<', '>', '&', ';',
                                            '\'', '"',  '\n', '=',  '%', '|', '~', '-'};
    const auto below = [&rng](std::size_t n) { return n ? std::size_t(rng() % n) : 0; };
    Input out = seed;
    for (int round = 1 + int(rng() % 4); round > 0; --round) {
        // A position, and a slice from it to at most the end.
        const std::size_t size = out.size(), at = below(size), len = size ? 1 + below(size - at) : 0;
        switch (rng() % 7) {
        case 0: // flip a bit
            if (size)
                out[at] ^= std::uint8_t(1u << (rng() % 8));
            break;
        case 1: // set a byte to a boundary value
            if (size)
                out[at] = boundary[rng() % sizeof boundary];
            break;
        case 2: // truncate
            out.resize(at);
            break;
        case 3: // duplicate a slice
            if (size <= (1u << 20)) {
                const Input slice(out.begin() + at, out.begin() + at + len);
                out.insert(out.begin() + below(size + 1), slice.begin(), slice.end());
            }
            break;
        case 4: // erase a slice
            out.erase(out.begin() + at, out.begin() + at + len);
            break;
        case 5: // insert random bytes
            for (std::size_t i = 0, where = below(size + 1), n = 1 + rng() % 16; i < n; ++i)
                out.insert(out.begin() + where, std::uint8_t(rng()));
            break;
        default: // splice with another input
            if (!pool.empty()) {
                const Input &other = pool[rng() % pool.size()];
                out.resize(at);
                out.insert(out.end(), other.begin() + below(other.size()), other.end());
            }
        }
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    double seconds = 5;
    std::vector<Input> corpus{{}, {0}, Input(4096, 'A')};
    const auto load = [&corpus](const std::filesystem::path &path) {
        std::ifstream in(path, std::ios::binary);
        corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::error_code ec;
        if (arg == "--seconds" && i + 1 < argc)
            seconds = std::atof(argv[++i]);
        else if (std::filesystem::is_directory(arg, ec))
            for (const auto &entry : std::filesystem::directory_iterator(arg))
                load(entry.path());
        else if (std::filesystem::is_regular_file(arg, ec))
            load(arg);
    }
    for (const Input &input : corpus)
        run(input);
    std::printf("replayed %zu inputs\n", corpus.size());

    std::mt19937_64 rng(std::random_device{}());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    std::size_t runs = 0;
    for (; std::chrono::steady_clock::now() < deadline; ++runs)
        run(mutate(corpus[rng() % corpus.size()], corpus, rng));
    std::printf("mutated runs: %zu\n", runs);
    return 0;
}
