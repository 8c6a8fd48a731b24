#include "kit/platform/sha256.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <memory>

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace veltrop::platform {

namespace {

constexpr std::array<std::uint32_t, 64> roundConstants{
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::array<std::uint32_t, 8> initialState{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                    0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

using BlockFunction = void (*)(std::uint32_t* state, const std::uint8_t* data, std::size_t blocks);

std::uint32_t bigEndian(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 | bytes[3];
}

void portableBlocks(std::uint32_t* state, const std::uint8_t* data, std::size_t blocks) {
    for (; blocks > 0; --blocks, data += 64) {
        std::uint32_t w[64];
        for (int i = 0; i < 16; ++i) w[i] = bigEndian(data + 4 * i);
        for (int i = 16; i < 64; ++i) {
            const std::uint32_t s0 = std::rotr(w[i - 15], 7) ^ std::rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const std::uint32_t s1 = std::rotr(w[i - 2], 17) ^ std::rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int i = 0; i < 64; ++i) {
            const std::uint32_t s1 = std::rotr(e, 6) ^ std::rotr(e, 11) ^ std::rotr(e, 25);
            const std::uint32_t choice = (e & f) ^ (~e & g);
            const std::uint32_t t1 = h + s1 + choice + roundConstants[static_cast<std::size_t>(i)] + w[i];
            const std::uint32_t s0 = std::rotr(a, 2) ^ std::rotr(a, 13) ^ std::rotr(a, 22);
            const std::uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
            const std::uint32_t t2 = s0 + majority;
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

#if defined(__x86_64__)

bool cpuHasShaInstructions() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    const bool ssse3 = ecx & (1u << 9), sse41 = ecx & (1u << 19);
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
    const bool sha = ebx & (1u << 29);
    return ssse3 && sse41 && sha;
}

// The processor's SHA extensions: about eight times the portable speed,
// which keeps hashing a package's copies and originals cheap beside encoding.
__attribute__((target("sha,sse4.1,ssse3"))) void shaInstructionBlocks(std::uint32_t* state, const std::uint8_t* data,
                                                                      std::size_t blocks) {
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    // The instructions keep the state as ABEF and CDGH.
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);      // CDAB
    __m128i efgh = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);  // EFGH
    __m128i abef = _mm_alignr_epi8(abcd, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, abcd, 0xF0);

    for (; blocks > 0; --blocks, data += 64) {
        const __m128i abefBefore = abef, cdghBefore = cdgh;
        __m128i words[4];
        for (int group = 0; group < 16; ++group) {
            __m128i& current = words[group % 4];
            if (group < 4) {
                current =
                    _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * group)), byteSwap);
            } else {
                // Words 4g…4g+3 from groups g−4 (current), g−3, g−2 and g−1.
                const __m128i& back3 = words[(group + 1) % 4];
                const __m128i& back2 = words[(group + 2) % 4];
                const __m128i& back1 = words[(group + 3) % 4];
                const __m128i partial =
                    _mm_add_epi32(_mm_sha256msg1_epu32(current, back3), _mm_alignr_epi8(back1, back2, 4));
                current = _mm_sha256msg2_epu32(partial, back1);
            }
            __m128i sum = _mm_add_epi32(
                current, _mm_loadu_si128(reinterpret_cast<const __m128i*>(roundConstants.data() + 4 * group)));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, sum);
            sum = _mm_shuffle_epi32(sum, 0x0E);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, sum);
        }
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }

    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));   // DCBA
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));  // HGFE
}

#else

bool cpuHasShaInstructions() { return false; }

#endif

BlockFunction chosenBlocks() {
#if defined(__x86_64__)
    static const BlockFunction chosen = cpuHasShaInstructions() ? shaInstructionBlocks : portableBlocks;
    return chosen;
#else
    return portableBlocks;
#endif
}

}  // namespace

Sha256::Sha256() : Sha256(chosenBlocks()) {}

Sha256::Sha256(Blocks blocks) : blocks_(blocks), state_(initialState) {}

void Sha256::update(std::span<const std::uint8_t> bytes) {
    const std::uint8_t* data = bytes.data();
    std::size_t size = bytes.size();
    totalBytes_ += size;
    if (pendingSize_ > 0) {
        const std::size_t take = std::min(size, pending_.size() - pendingSize_);
        std::memcpy(pending_.data() + pendingSize_, data, take);
        pendingSize_ += take;
        data += take;
        size -= take;
        if (pendingSize_ < pending_.size()) return;
        blocks_(state_.data(), pending_.data(), 1);
        pendingSize_ = 0;
    }
    const std::size_t whole = size / 64;
    if (whole > 0) blocks_(state_.data(), data, whole);
    std::memcpy(pending_.data(), data + whole * 64, size - whole * 64);
    pendingSize_ = size - whole * 64;
}

void Sha256::update(std::string_view bytes) {
    update(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

Sha256Digest Sha256::finish() {
    const std::uint64_t bits = totalBytes_ * 8;
    std::uint8_t padding[72] = {0x80};
    const std::size_t padSize = (pendingSize_ < 56 ? 56 : 120) - pendingSize_;
    for (std::size_t i = 0; i < 8; ++i) padding[padSize + i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    update(std::span<const std::uint8_t>(padding, padSize + 8));
    Sha256Digest digest{};
    for (std::size_t i = 0; i < 8; ++i)
        for (std::size_t j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<std::uint8_t>(state_[i] >> (24 - 8 * j));
    return digest;
}

Sha256Digest sha256(std::string_view bytes) {
    Sha256 hasher;
    hasher.update(bytes);
    return hasher.finish();
}

std::string hexText(const Sha256Digest& digest) {
    constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(64);
    for (std::uint8_t byte : digest) {
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 15]);
    }
    return text;
}

std::expected<Sha256Digest, std::error_code> sha256OfFile(const std::filesystem::path& file) {
    const int descriptor = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return std::unexpected(std::error_code(errno, std::generic_category()));
    ::posix_fadvise(descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);

    constexpr std::size_t bufferSize = 256 * 1024;
    const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(bufferSize);
    Sha256 hasher;
    for (;;) {
        const ssize_t count = ::read(descriptor, buffer.get(), bufferSize);
        if (count == 0) break;
        if (count < 0) {
            if (errno == EINTR) continue;
            const std::error_code error(errno, std::generic_category());
            ::close(descriptor);
            return std::unexpected(error);
        }
        hasher.update(std::span<const std::uint8_t>(buffer.get(), static_cast<std::size_t>(count)));
    }
    ::close(descriptor);
    return hasher.finish();
}

namespace detail {

Sha256Digest portableSha256(std::string_view bytes) {
    Sha256 hasher(portableBlocks);
    hasher.update(bytes);
    return hasher.finish();
}

bool hasShaInstructions() { return chosenBlocks() != portableBlocks; }

}  // namespace detail

}  // namespace veltrop::platform
