// Runs a fuzz target without libFuzzer: replays every file of the given corpus folders, then
// feeds mutated copies of them (and of a few built-in seeds) for the given number of seconds.
// The mutations are the simple ones that find most parser faults: bit flips, byte changes,
// truncation, duplication of a slice, insertion of boundary bytes and splicing of two inputs.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[input.size() ? input.size() : 1]);
    if (!input.empty())
        std::memcpy(buffer.get(), input.data(), input.size());
    LLVMFuzzerTestOneInput(buffer.get(), input.size());
}

Input mutate(const Input &seed, const std::vector<Input> &pool, std::mt19937_64 &rng)
{
    Input out = seed;
    const int rounds = 1 + static_cast<int>(rng() % 4);
    for (int r = 0; r < rounds; ++r) {
        const std::size_t size = out.size();
        switch (rng() % 7) {
        case 0: // flip a bit
            if (size)
                out[rng() % size] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
            break;
        case 1: // set a byte to a boundary value
            if (size) {
                static const std::uint8_t values[] = {0,    0x7f, 0x80, 0xff, '<', '>', '&', ';',
                                                      '\'', '"',  '\n', '=',  '%', '|', '~', '-'};
                out[rng() % size] = values[rng() % sizeof values];
            }
            break;
        case 2: // truncate
            if (size)
                out.resize(rng() % size);
            break;
        case 3: { // duplicate a slice
            if (!size || size > (1u << 20))
                break;
            const std::size_t from = rng() % size, len = 1 + rng() % (size - from);
            const Input slice(out.begin() + from, out.begin() + from + len);
            out.insert(out.begin() + rng() % (size + 1), slice.begin(), slice.end());
            break;
        }
        case 4: // erase a slice
            if (size) {
                const std::size_t from = rng() % size, len = 1 + rng() % (size - from);
                out.erase(out.begin() + from, out.begin() + from + len);
            }
            break;
        case 5: { // insert random bytes
            const std::size_t at = size ? rng() % (size + 1) : 0, len = 1 + rng() % 16;
            for (std::size_t i = 0; i < len; ++i)
                out.insert(out.begin() + at, static_cast<std::uint8_t>(rng()));
            break;
        }
        case 6: { // splice with another input
            if (pool.empty())
                break;
            const Input &other = pool[rng() % pool.size()];
            const std::size_t cut = size ? rng() % size : 0;
            const std::size_t from = other.empty() ? 0 : rng() % other.size();
            out.resize(cut);
            out.insert(out.end(), other.begin() + from, other.end());
            break;
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
