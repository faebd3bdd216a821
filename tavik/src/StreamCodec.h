#pragma once
// The byte format of recorded streams (see Tavik/FrameStream.h): its
// constants, the encoder and bounds-checked decoder, frame records and the
// index footer. Shared by the stream reader and writer.

#include "Detail.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include <sys/uio.h>

namespace Tavik::detail {

constexpr char kMagic[8] = {'T', 'V', 'K', 'S', 'T', 'R', 'M', '\0'};
constexpr char kIndexMagic[8] = {'T', 'V', 'K', 'I', 'N', 'D', 'E', 'X'};
constexpr uint32_t kVersion = 1;
constexpr std::size_t kSetHead = 8; // u32 length, u32 CRC32
constexpr std::size_t kFrameHead = 1 + 8 + 8 + 4 + 4 + 4 + 4; // type .. payload length
constexpr std::size_t kFooterTail = 4 + 4 + sizeof(kIndexMagic); // count, CRC32, magic
// The limits of Tavik/FrameStream.h: a file beyond them is refused, or the
// set beyond them skipped, before anything is allocated for it.
constexpr std::size_t kMaxHeader = 1u << 20;
constexpr uint32_t kMaxText = 4096;
constexpr uint32_t kMaxStreamParams = 1024;
constexpr uint32_t kMaxSide = 8192;
constexpr uint64_t kMaxSetLength = 256u << 20; // the records of a set, its head not counted
// The widest side a frame head can give and still be taken for one (its
// payload length fits its field): a set of such frames is found, and then
// skipped for its size.
constexpr uint32_t kSideField = 1u << 16;

inline bool littleEndianHost()
{
    const uint16_t one = 1;
    uint8_t first;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

// --- encoding -------------------------------------------------------------------

struct Encoder {
    std::vector<uint8_t> bytes;

    template <class T> void put(T value)
    {
        static_assert(std::is_trivially_copyable_v<T>);
        uint8_t b[sizeof(T)];
        std::memcpy(b, &value, sizeof(T));
        if (!littleEndianHost())
            std::reverse(b, b + sizeof(T));
        bytes.insert(bytes.end(), b, b + sizeof(T));
    }
    void text(const std::string& s)
    {
        put<uint32_t>(static_cast<uint32_t>(s.size()));
        bytes.insert(bytes.end(), s.begin(), s.end());
    }
    template <class T> void array(const std::vector<T>& values)
    {
        if (littleEndianHost() || sizeof(T) == 1) {
            const auto* p = reinterpret_cast<const uint8_t*>(values.data());
            bytes.insert(bytes.end(), p, p + values.size() * sizeof(T));
        } else {
            for (const T& v : values)
                put(v);
        }
    }
    void points(const std::vector<XYZIPoint>& values)
    {
        for (const auto& p : values) {
            put(p.x);
            put(p.y);
            put(p.z);
            put(p.i);
        }
    }
};

// Reads from a byte range; every read checks the bounds and a failed read
// leaves the decoder failed.
struct Decoder {
    const uint8_t* p;
    std::size_t left;
    bool ok = true;

    bool need(std::size_t n)
    {
        if (!ok || n > left)
            ok = false;
        return ok;
    }
    template <class T> T get()
    {
        T value{};
        if (!need(sizeof(T)))
            return value;
        uint8_t b[sizeof(T)];
        std::memcpy(b, p, sizeof(T));
        if (!littleEndianHost())
            std::reverse(b, b + sizeof(T));
        std::memcpy(&value, b, sizeof(T));
        p += sizeof(T);
        left -= sizeof(T);
        return value;
    }
    // A text of at most `maxLength` bytes; `length`, when given, gets the
    // length the text claims.
    std::string text(uint32_t maxLength, uint32_t* length = nullptr)
    {
        const uint32_t n = get<uint32_t>();
        if (length)
            *length = n;
        if (n > maxLength || !need(n)) {
            ok = false;
            return {};
        }
        std::string s(reinterpret_cast<const char*>(p), n);
        p += n;
        left -= n;
        return s;
    }
    template <class T> void array(std::vector<T>& out, std::size_t count)
    {
        if (count > left / sizeof(T) || !need(count * sizeof(T))) {
            ok = false;
            return;
        }
        out.resize(count);
        if (count == 0)
            return; // an empty vector may have no storage to copy into
        if (littleEndianHost() || sizeof(T) == 1) {
            std::memcpy(out.data(), p, count * sizeof(T));
            p += count * sizeof(T);
            left -= count * sizeof(T);
        } else {
            for (auto& v : out)
                v = get<T>();
        }
    }
    void points(std::vector<XYZIPoint>& out, std::size_t count)
    {
        if (count > left / 16) {
            ok = false;
            return;
        }
        out.resize(count);
        for (auto& pt : out) {
            pt.x = get<float>();
            pt.y = get<float>();
            pt.z = get<float>();
            pt.i = get<float>();
        }
    }
};

// The index footer the writer ends a file with, for sets at `offsets`.
std::vector<uint8_t> indexFooter(const std::vector<uint64_t>& offsets);

// Bytes of a frame's payload as the file stores it, by type.
uint64_t payloadSize(FrameType type, uint64_t pixels, uint64_t rawSamples);

// False when the frame's buffers do not have the sizes its type and size ask.
bool encodeFrame(Encoder& e, const Frame& f, FrameType type);

// What the head of a frame record says, checked.
struct FrameHead {
    int64_t id = 0;
    int64_t timestamp = 0;
    int width = 0;
    int height = 0;
    int subFrameCount = 0;
    uint32_t length = 0; // of the payload
    std::size_t pixels = 0;
    std::size_t samples = 0; // raw samples (of a raw unprocessed frame)
};

// Reads the head of a frame record of `type`, followed by `room` bytes in its
// set; false (with `error`) when it cannot be such a record.
bool readFrameHead(Decoder& d, FrameType type, uint64_t room, FrameHead& h, std::string& error);

// Why a frame or a set of that size is not read; empty within the limits.
std::string frameOverLimit(const FrameHead& h);
std::string setOverLimit(uint64_t length);

void setHead(Frame& f, FrameType type, const FrameHead& h);

FramePtr decodeFrame(Decoder& d, FrameType type, std::string& error);

// The buffers of a frame as the file stores them, in order: sized for the
// head's frame, their bytes to be filled in place. Buffers the type does not
// use are emptied (a pooled frame keeps their capacity).
struct Buffers {
    std::array<iovec, 3> parts{};
    int count = 0;

    template <class T> void add(std::vector<T>& v, std::size_t n)
    {
        v.resize(n);
        if (n > 0)
            parts[count++] = {v.data(), n * sizeof(T)};
    }
};

Buffers sizeBuffers(Frame& f, FrameType type, const FrameHead& h);

} // namespace Tavik::detail
