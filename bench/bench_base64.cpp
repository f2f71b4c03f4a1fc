#include <Base64.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kSize = 64u << 20;

// 64 MiB of random bytes in a file of their own; HARBORLY_BENCH_FILE names an existing file
// instead, so that other tools can be timed on the very same bytes.
struct Fixture {
    fs::path dir;
    fs::path input;
    std::vector<std::uint8_t> bytes;
    std::u16string text;
    bool ownDir = false;

    Fixture() {
        if (const char* given = std::getenv("HARBORLY_BENCH_FILE")) {
            input = given;
            dir = input.parent_path();
            std::ifstream in(input, std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        } else {
            std::string tmpl = (fs::temp_directory_path() / "bench-base64-XXXXXX").string();
            if (!::mkdtemp(tmpl.data()))
                throw std::runtime_error("no temporary folder");
            dir = tmpl;
            ownDir = true;
            input = dir / "data.bin";
            std::mt19937_64 random(20240601);
            bytes.resize(kSize);
            for (std::size_t i = 0; i < kSize; i += 8) {
                const std::uint64_t v = random();
                for (int k = 0; k < 8; ++k)
                    bytes[i + k] = static_cast<std::uint8_t>(v >> (8 * k));
            }
            std::ofstream(input, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
        }
        text = Base64().EncodeArr(ByteArray(bytes));
    }
    ~Fixture() {
        std::error_code ec;
        if (ownDir) {
            fs::remove_all(dir, ec);
            return;
        }
        fs::remove(dir / "bench-out.b64", ec);
        fs::remove(dir / "bench-out.bin", ec);
    }
    std::u16string path(const char* name) const { return toU16((dir / name).string()); }
    static std::u16string toU16(const std::string& s) { return {s.begin(), s.end()}; }
};

const Fixture& fixture() {
    static const Fixture f;
    return f;
}

void setBytes(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(fixture().bytes.size()));
}

void EncodeArr(benchmark::State& state) {
    const ByteArray arr(fixture().bytes);
    Base64 codec;
    for (auto _ : state)
        benchmark::DoNotOptimize(codec.EncodeArr(arr));
    setBytes(state);
}

void DecodeArr(benchmark::State& state) {
    Base64 codec;
    for (auto _ : state)
        benchmark::DoNotOptimize(codec.DecodeArr(fixture().text));
    setBytes(state);
}

bool writeAscii(const std::u16string& text, const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    static char chunk[1 << 20];
    bool ok = true;
    for (std::size_t at = 0; ok && at < text.size(); at += sizeof chunk) {
        const std::size_t n = std::min(sizeof chunk, text.size() - at);
        for (std::size_t i = 0; i < n; ++i)
            chunk[i] = static_cast<char>(text[at + i]);
        ok = std::fwrite(chunk, 1, n, file) == n;
    }
    return std::fclose(file) == 0 && ok;
}

// What a user of the library does to get "base64 -w 76 file > out": encode and write the text.
void EncodeFromFileAndWrite(benchmark::State& state) {
    const Fixture& f = fixture();
    const std::u16string source = Fixture::toU16(f.input.string());
    const std::string out = (f.dir / "bench-out.b64").string();
    Base64 codec;
    for (auto _ : state) {
        const std::u16string text = codec.EncodeFromFile(source);
        if (!writeAscii(text, out)) {
            state.SkipWithError("cannot write the encoded text");
            break;
        }
    }
    setBytes(state);
}

void DecodeToFile(benchmark::State& state) {
    const std::u16string out = fixture().path("bench-out.bin");
    Base64 codec;
    for (auto _ : state)
        codec.DecodeToFile(fixture().text, out);
    setBytes(state);
}

BENCHMARK(EncodeArr)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(DecodeArr)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(EncodeFromFileAndWrite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(DecodeToFile)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
