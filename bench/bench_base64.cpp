// SPDX-License-Identifier: GPL-3.0-or-later
#include <Base64.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kSize = 64u << 20;

// 64 MiB of random bytes in a file of their own; HARBORLY_BENCH_FILE names an existing file
// instead, so that other tools can be timed on the very same bytes. Beside it the MIME text of
// those bytes, as a file and in memory.
struct Fixture {
    fs::path dir;
    fs::path input;
    fs::path encoded;
    std::vector<std::byte> bytes;
    std::string text;
    std::u16string text16;
    bool ownDir = false;

    Fixture() {
        if (const char* given = std::getenv("HARBORLY_BENCH_FILE")) {
            input = given;
            dir = input.parent_path();
            std::ifstream in(input, std::ios::binary);
            const std::string all{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
            bytes.resize(all.size());
            std::memcpy(bytes.data(), all.data(), all.size());
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
                std::memcpy(bytes.data() + i, &v, 8);
            }
            std::ofstream(input, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
        }
        text = base64::encode(bytes);
        text16.assign(text.begin(), text.end());
        encoded = dir / "bench-in.b64";
        std::ofstream(encoded, std::ios::binary)
            .write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    ~Fixture() {
        std::error_code ec;
        if (ownDir) {
            fs::remove_all(dir, ec);
            return;
        }
        for (const char* name : {"bench-in.b64", "bench-out.b64", "bench-out.bin"})
            fs::remove(dir / name, ec);
    }
    std::string out(const char* name) const { return (dir / name).string(); }
    static std::u16string toU16(const std::string& s) { return {s.begin(), s.end()}; }
};

const Fixture& fixture() {
    static const Fixture f;
    return f;
}

void setBytes(benchmark::State& state, std::size_t n) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(n));
}

// The yardstick: copying the same number of bytes between two buffers already in use.
void Memcpy(benchmark::State& state) {
    const std::size_t n = fixture().bytes.size();
    std::vector<std::byte> to(n, std::byte{1});
    for (auto _ : state) {
        std::memcpy(to.data(), fixture().bytes.data(), n);
        benchmark::ClobberMemory();
    }
    setBytes(state, n);
}

// And into memory just allocated, as every function that returns its result pays it.
void MemcpyFresh(benchmark::State& state) {
    const std::size_t n = fixture().bytes.size();
    for (auto _ : state) {
        auto to = std::make_unique_for_overwrite<std::byte[]>(n);
        std::memcpy(to.get(), fixture().bytes.data(), n);
        benchmark::DoNotOptimize(to.get());
        benchmark::ClobberMemory();
    }
    setBytes(state, n);
}

const base64::kernel kKernels[] = {base64::kernel::scalar, base64::kernel::portable,
                                   base64::kernel::avx2, base64::kernel::avx512_vbmi};

// Selects the path of the benchmark's first argument for its run.
class Path {
public:
    explicit Path(benchmark::State& state) : saved_(base64::active_kernel()) {
        const base64::kernel k = kKernels[state.range(0)];
        ok_ = base64::select_kernel(k);
        if (!ok_)
            state.SkipWithError("this processor lacks the path");
        state.SetLabel(base64::kernel_name(k));
    }
    ~Path() { base64::select_kernel(saved_); }
    bool ok() const { return ok_; }

private:
    base64::kernel saved_;
    bool ok_ = false;
};

// Throughput in bytes of binary data, both ways, into buffers the caller already has.
void EncodeInto(benchmark::State& state) {
    const Path path(state);
    const auto in = std::span(fixture().bytes).first(static_cast<std::size_t>(state.range(1)));
    std::vector<char> out(base64::encoded_size(in.size()), '\0');
    for (auto _ : state) {
        if (!path.ok())
            break;
        benchmark::DoNotOptimize(base64::encode_into(in, out));
    }
    setBytes(state, in.size());
}

void DecodeInto(benchmark::State& state) {
    const Path path(state);
    const std::size_t n = static_cast<std::size_t>(state.range(1));
    const std::string text = base64::encode(std::span(fixture().bytes).first(n));
    // A buffer of max_decoded_size needs no look at the text before decoding.
    std::vector<std::byte> out(base64::max_decoded_size(text.size()), std::byte{0});
    for (auto _ : state) {
        if (!path.ok())
            break;
        benchmark::DoNotOptimize(base64::decode_into(text, out).count);
    }
    setBytes(state, n);
}

void EncodeToString(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(base64::encode(fixture().bytes));
    setBytes(state, fixture().bytes.size());
}

void DecodeToVector(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(base64::decode(fixture().text));
    setBytes(state, fixture().bytes.size());
}

void EncodeArr(benchmark::State& state) {
    const ByteArray arr(std::vector<std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(fixture().bytes.data()),
        reinterpret_cast<const std::uint8_t*>(fixture().bytes.data()) + fixture().bytes.size()));
    Base64 codec;
    for (auto _ : state)
        benchmark::DoNotOptimize(codec.EncodeArr(arr));
    setBytes(state, fixture().bytes.size());
}

void DecodeArr(benchmark::State& state) {
    Base64 codec;
    for (auto _ : state)
        benchmark::DoNotOptimize(codec.DecodeArr(fixture().text16));
    setBytes(state, fixture().bytes.size());
}

bool writeAll(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w <= 0)
            return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

// What "base64 -w 76 in > out" and "base64 -d in > out" do, with the streaming functions: read
// a piece, code it, write it out.
void StreamEncodeFile(benchmark::State& state) {
    constexpr std::size_t kPiece = 3u << 18;
    std::vector<std::byte> piece(kPiece);
    std::vector<char> out(base64::encoder::max_update_size(kPiece));
    const std::string target = fixture().out("bench-out.b64");
    for (auto _ : state) {
        const int in = ::open(fixture().input.c_str(), O_RDONLY | O_CLOEXEC);
        const int to = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        base64::encoder encoder;
        bool ok = in >= 0 && to >= 0;
        for (ssize_t got; ok && (got = ::read(in, piece.data(), kPiece)) > 0;)
            ok = writeAll(to, out.data(),
                          encoder.update(std::span(piece).first(std::size_t(got)), out));
        ok = ok && writeAll(to, out.data(), encoder.finish(out));
        ok = ::close(to) == 0 && ok;
        ::close(in);
        if (!ok) {
            state.SkipWithError("cannot encode the file");
            break;
        }
    }
    setBytes(state, fixture().bytes.size());
}

void StreamDecodeFile(benchmark::State& state) {
    constexpr std::size_t kPiece = 1u << 20;
    std::vector<char> piece(kPiece);
    std::vector<std::byte> out(base64::decoder::max_update_size(kPiece));
    const std::string target = fixture().out("bench-out.bin");
    for (auto _ : state) {
        const int in = ::open(fixture().encoded.c_str(), O_RDONLY | O_CLOEXEC);
        const int to = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        base64::decoder decoder;
        bool ok = in >= 0 && to >= 0;
        for (ssize_t got; ok && (got = ::read(in, piece.data(), kPiece)) > 0;) {
            const base64::result r =
                decoder.update(std::string_view(piece.data(), std::size_t(got)), out);
            ok = r && writeAll(to, reinterpret_cast<const char*>(out.data()), r.count);
        }
        const base64::result r = decoder.finish(out);
        ok = ok && r && writeAll(to, reinterpret_cast<const char*>(out.data()), r.count);
        ok = ::close(to) == 0 && ok;
        ::close(in);
        if (!ok) {
            state.SkipWithError("cannot decode the file");
            break;
        }
    }
    setBytes(state, fixture().bytes.size());
}

// The class's own file operations: the encoded text narrowed to bytes and written out, and
// DecodeToFile, which syncs its file before renaming it into place.
void EncodeFromFileAndWrite(benchmark::State& state) {
    const std::u16string source = Fixture::toU16(fixture().input.string());
    const std::string target = fixture().out("bench-out.b64");
    std::vector<char> chunk(1 << 20);
    Base64 codec;
    for (auto _ : state) {
        const std::u16string text = codec.EncodeFromFile(source);
        const int to = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        bool ok = to >= 0;
        for (std::size_t at = 0; ok && at < text.size(); at += chunk.size()) {
            const std::size_t n = std::min(chunk.size(), text.size() - at);
            std::transform(text.begin() + std::ptrdiff_t(at), text.begin() + std::ptrdiff_t(at + n),
                           chunk.begin(), [](char16_t c) { return static_cast<char>(c); });
            ok = writeAll(to, chunk.data(), n);
        }
        ok = ::close(to) == 0 && ok;
        if (!ok) {
            state.SkipWithError("cannot write the encoded text");
            break;
        }
    }
    setBytes(state, fixture().bytes.size());
}

void DecodeToFile(benchmark::State& state) {
    const std::u16string target = Fixture::toU16(fixture().out("bench-out.bin"));
    Base64 codec;
    for (auto _ : state)
        codec.DecodeToFile(fixture().text16, target);
    setBytes(state, fixture().bytes.size());
}

void paths(benchmark::internal::Benchmark* b) {
    for (std::int64_t k = 0; k < 4; ++k)
        for (const std::int64_t size : {1 << 10, 64 << 10, 64 << 20})
            b->Args({k, size});
}

BENCHMARK(Memcpy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(MemcpyFresh)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(EncodeInto)->Apply(paths)->UseRealTime();
BENCHMARK(DecodeInto)->Apply(paths)->UseRealTime();
BENCHMARK(EncodeToString)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(DecodeToVector)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(EncodeArr)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(DecodeArr)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(StreamEncodeFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(StreamDecodeFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(EncodeFromFileAndWrite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(DecodeToFile)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
