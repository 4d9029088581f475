// Runs a fuzz target without libFuzzer: every file of the seed folders, then
// a fixed number of mutations drawn from a seeded generator, so that a run
// is the same every time and takes a few seconds.
//
//   fuzz_NAME [--mutations N] [--seed S] [--max-length L] FOLDER_OR_FILE...

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

using Bytes = std::vector<uint8_t>;

// xorshift64*: small, and the same sequence on every machine.
struct Random {
    uint64_t state;
    uint64_t next()
    {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return state * 2685821657736338717ULL;
    }
    size_t below(size_t n) { return n == 0 ? 0 : size_t(next() % n); }
};

// Bytes that mean something to the readers fuzzed here.
const char *const Tokens[] = {";;", "\r\n", "\n", "[", "]", "=", "*", "?", "#", "[!", "-", "\"", "'",
                              " WHERE ", " ORDER BY ", " LIKE ", " AND ", " OR ", " NOT ", "(", ")",
                              ",", " DESC", "\xc3\xa9", "\xe9", "\xef\xbb\xbf", "\0", "\xff", ";"};

Bytes mutate(Bytes input, Random &random, size_t maxLength)
{
    const int steps = 1 + int(random.below(4));
    for (int s = 0; s < steps; ++s) {
        switch (random.below(6)) {
        case 0: // flip a bit
            if (!input.empty())
                input[random.below(input.size())] ^= uint8_t(1u << random.below(8));
            break;
        case 1: // a random byte in
            input.insert(input.begin() + std::ptrdiff_t(random.below(input.size() + 1)), uint8_t(random.next()));
            break;
        case 2: // a run out
            if (!input.empty()) {
                const size_t at = random.below(input.size());
                const size_t length = 1 + random.below(std::min<size_t>(16, input.size() - at));
                input.erase(input.begin() + std::ptrdiff_t(at), input.begin() + std::ptrdiff_t(at + length));
            }
            break;
        case 3: { // a token in
            const char *token = Tokens[random.below(std::size(Tokens))];
            const size_t length = std::max<size_t>(1, std::strlen(token));
            input.insert(input.begin() + std::ptrdiff_t(random.below(input.size() + 1)), token, token + length);
            break;
        }
        case 4: // a piece repeated
            if (!input.empty()) {
                const size_t at = random.below(input.size());
                const size_t length = 1 + random.below(std::min<size_t>(64, input.size() - at));
                const Bytes piece(input.begin() + std::ptrdiff_t(at), input.begin() + std::ptrdiff_t(at + length));
                input.insert(input.begin() + std::ptrdiff_t(random.below(input.size() + 1)), piece.begin(), piece.end());
            }
            break;
        default: // a byte replaced
            if (!input.empty())
                input[random.below(input.size())] = uint8_t(random.next());
            break;
        }
    }
    if (input.size() > maxLength)
        input.resize(maxLength);
    return input;
}

bool readFile(const std::filesystem::path &path, Bytes *bytes)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    bytes->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    long mutations = 2000;
    uint64_t seed = 1;
    size_t maxLength = 4096;
    std::vector<Bytes> seeds;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if ((argument == "--mutations" || argument == "--seed" || argument == "--max-length") && i + 1 < argc) {
            const unsigned long long value = std::strtoull(argv[++i], nullptr, 10);
            if (argument == "--mutations")
                mutations = long(value);
            else if (argument == "--seed")
                seed = value;
            else
                maxLength = size_t(value);
            continue;
        }
        std::error_code error;
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(argument, error)) {
            for (const auto &entry : std::filesystem::directory_iterator(argument, error))
                files.push_back(entry.path());
        } else {
            files.emplace_back(argument);
        }
        for (const auto &file : files) {
            Bytes bytes;
            if (!readFile(file, &bytes)) {
                std::fprintf(stderr, "cannot read %s\n", file.c_str());
                return 2;
            }
            seeds.push_back(std::move(bytes));
        }
    }
    if (seeds.empty())
        seeds.emplace_back();

    for (const Bytes &input : seeds)
        LLVMFuzzerTestOneInput(input.data(), input.size());
    Random random{seed * 0x9E3779B97F4A7C15ULL + 1};
    // Some mutations join the pool, so that later ones go further from the seeds.
    std::vector<Bytes> pool = seeds;
    for (long i = 0; i < mutations; ++i) {
        Bytes input = mutate(pool[random.below(pool.size())], random, maxLength);
        LLVMFuzzerTestOneInput(input.data(), input.size());
        if (pool.size() < 1024 && random.below(8) == 0)
            pool.push_back(std::move(input));
    }
    std::printf("%zu seeds and %ld mutations run\n", seeds.size(), mutations);
    return 0;
}
