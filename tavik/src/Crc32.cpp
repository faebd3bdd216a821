#include "Detail.h"

#include <isa-l/crc.h>

#include <array>

namespace Tavik::detail {

// The CRC-32 of zip and PNG (reflected, polynomial 0xedb88320), which the
// library computes with carry-less multiplies where the processor has them.
uint32_t crc32(const void* data, std::size_t size, uint32_t crc)
{
    if (size == 0)
        return crc;
    return crc32_gzip_refl(crc, static_cast<const unsigned char*>(data), size);
}

namespace {

constexpr uint32_t kCrcPolynomial = 0xedb88320u;

// a times b modulo the polynomial, both in the CRC's bit order (x^0 the top bit).
uint32_t multiplyModP(uint32_t a, uint32_t b)
{
    uint32_t product = 0;
    for (uint32_t m = 1u << 31; m != 0; m >>= 1) {
        if (a & m)
            product ^= b;
        b = (b & 1u) ? (b >> 1) ^ kCrcPolynomial : b >> 1;
    }
    return product;
}

} // namespace

// x^(8 * bytes) modulo the polynomial.
uint32_t crc32ShiftFactor(uint64_t bytes)
{
    // x^(2^k): x^1, then each the square of the one before.
    static const std::array<uint32_t, 67> powers = [] {
        std::array<uint32_t, 67> p{};
        p[0] = 1u << 30;
        for (std::size_t k = 1; k < p.size(); ++k)
            p[k] = multiplyModP(p[k - 1], p[k - 1]);
        return p;
    }();
    uint32_t factor = 1u << 31; // x^0
    for (std::size_t k = 3; bytes != 0; bytes >>= 1, ++k)
        if (bytes & 1u)
            factor = multiplyModP(powers[k], factor);
    return factor;
}

uint32_t crc32Shift(uint32_t crc, uint32_t factor)
{
    return multiplyModP(factor, crc);
}

} // namespace Tavik::detail
