// libBase64 on a 64 MiB random file, side by side with GNU coreutils base64 in the same run.
#include "Base64.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kSize = 64u << 20;

struct Files {
    Files() {
        folder = fs::temp_directory_path() / ("bench-base64-" + std::to_string(::getpid()));
        fs::create_directories(folder);
        std::vector<char> data(kSize);
        std::mt19937_64 random(42);
        for (std::size_t i = 0; i < kSize; i += 8) {
            const std::uint64_t r = random();
            std::memcpy(data.data() + i, &r, 8);
        }
        std::ofstream(input(), std::ios::binary).write(data.data(), std::streamsize(data.size()));
        const std::string cmd = "base64 -w 76 '" + input() + "' > '" + encoded() + "'";
        if (std::system(cmd.c_str()) != 0)
            std::abort();
    }
    ~Files() { fs::remove_all(folder); }
    std::string input() const { return (folder / "input.bin").string(); }
    std::string encoded() const { return (folder / "input.b64").string(); }
    std::string output() const { return (folder / "output").string(); }
    fs::path folder;
};

Files& files() {
    static Files f;
    return f;
}

std::u16string u16(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

void EncodeFromFileAndWrite(benchmark::State& state) {
    Base64 codec;
    const std::u16string path = u16(files().input());
    for (auto _ : state) {
        const std::u16string text = codec.EncodeFromFile(path);
        // The text goes out as the bytes it stands for, through a small buffer as base64's own
        // output does, with the final line end base64 writes.
        std::FILE* f = std::fopen(files().output().c_str(), "wb");
        char buffer[1 << 16];
        std::size_t used = 0;
        for (const char16_t c : text) {
            buffer[used++] = static_cast<char>(c);
            if (used == sizeof buffer) {
                std::fwrite(buffer, 1, used, f);
                used = 0;
            }
        }
        buffer[used++] = '\n';
        std::fwrite(buffer, 1, used, f);
        std::fclose(f);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kSize));
}

void DecodeToFile(benchmark::State& state) {
    Base64 codec;
    std::ifstream in(files().encoded(), std::ios::binary);
    const std::u16string text = u16(std::string(std::istreambuf_iterator<char>(in), {}));
    const std::u16string out = u16(files().output());
    for (auto _ : state)
        codec.DecodeToFile(text, out);
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kSize));
}

void Coreutils(benchmark::State& state, const char* args, bool decode) {
    const std::string from = decode ? files().encoded() : files().input();
    const std::string cmd =
        std::string("base64 ") + args + " '" + from + "' > '" + files().output() + "'";
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0)
            state.SkipWithError("base64 failed");
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kSize));
}

void CoreutilsEncode(benchmark::State& state) {
    Coreutils(state, "-w 76", false);
}

void CoreutilsDecode(benchmark::State& state) {
    Coreutils(state, "-d", true);
}

} // namespace

BENCHMARK(EncodeFromFileAndWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(CoreutilsEncode)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(DecodeToFile)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(CoreutilsDecode)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK_MAIN();
