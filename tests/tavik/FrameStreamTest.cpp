// Recorded streams: writer and reader round trip, crafted files, damaged and
// random files, and concurrent use of one reader.

#include "TavikTestUtil.h"
#include "Tavik/PlainFile.h"
#include "Tavik/StreamGenerator.h"
#include "tavik/src/Detail.h"
#include "tavik/src/PieceReadThread.h"
#include "tavik/src/StreamCodec.h"
#include "tests/support/FailingDisk.h"
#include "tests/support/MemoryLimit.h"
#include "tests/support/TestSupport.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iostream>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Tavik;
namespace fs = std::filesystem;
namespace gen = Tavik::StreamGenerator;

namespace {

// A fresh directory per test, removed afterwards.
class StreamFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() / (std::string("tavik-") + info->name() + "-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string path(const std::string& name) const { return (dir / name).string(); }

    fs::path dir;
    CameraSystem system;
};

std::vector<char> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::vector<char>& bytes, std::size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(size));
}

// Reads from the start until readNext fails; the ids read. Never reads more
// than size() sets.
std::vector<int64_t> readAll(FrameStreamReader& reader)
{
    std::vector<int64_t> ids;
    while (reader.readNext()) {
        EXPECT_LE(static_cast<int>(ids.size()), reader.size());
        const FrameSet set = reader.frames();
        for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t)
            EXPECT_TRUE(set[t] && set[t]->type == t);
        ids.push_back(set[0]->id);
        if (static_cast<int>(ids.size()) > reader.size())
            break;
    }
    return ids;
}

void expectSameFrame(const Frame& a, const Frame& b)
{
    EXPECT_EQ(a.type, b.type);
    EXPECT_EQ(a.id, b.id);
    EXPECT_EQ(a.timestamp, b.timestamp);
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.subFrameCount, b.subFrameCount);
    EXPECT_EQ(a.rawSamples, b.rawSamples);
    EXPECT_EQ(a.phase, b.phase);
    EXPECT_EQ(a.amplitude, b.amplitude);
    EXPECT_EQ(a.flags, b.flags);
    EXPECT_EQ(a.depth, b.depth);
    ASSERT_EQ(a.points.size(), b.points.size());
    for (std::size_t i = 0; i < a.points.size(); ++i) {
        EXPECT_EQ(a.points[i].x, b.points[i].x);
        EXPECT_EQ(a.points[i].z, b.points[i].z);
        EXPECT_EQ(a.points[i].i, b.points[i].i);
    }
}

gen::Spec tiny(int sets, int width, int height)
{
    gen::Spec spec;
    spec.sets = sets;
    spec.width = width;
    spec.height = height;
    return spec;
}

StreamHeader smallHeader()
{
    StreamHeader h;
    h.cameraType = "Quenta14Camera";
    h.chipset = "sim.common";
    h.width = 6;
    h.height = 4;
    h.streamParams = {{"depthScalingFactor", 0.001}, {"amplitudeScalingFactor", 1.0}};
    h.calib = std::array<float, 4>{3.75f, 3.75f, 3.f, 2.f};
    return h;
}

// Writes the sets; where they lie in the file.
std::vector<uint64_t> writeSets(const std::string& file, const std::vector<FrameSet>& sets)
{
    FrameStreamWriter writer(file, smallHeader());
    for (const FrameSet& set : sets)
        EXPECT_TRUE(writer.write(set));
    return writer.setOffsets();
}

// Threads of this process by that name.
int threadsNamed(const std::string& name)
{
    int count = 0;
    std::error_code ec;
    for (const auto& task : fs::directory_iterator("/proc/self/task", ec)) {
        std::ifstream comm(task.path() / "comm");
        std::string line;
        if (std::getline(comm, line) && line == name)
            ++count;
    }
    return count;
}

// Sets of 320x240, long enough to be read on two threads, ids from 1.
std::vector<FrameSet> longSets(int count)
{
    std::vector<FrameSet> sets;
    for (int64_t id = 1; id <= count; ++id)
        sets.push_back(gen::makeFrameSet(320, 240, id, id * 1000));
    return sets;
}

// A long set of the same length as a 320x240 one whose frames split it
// otherwise: more raw samples, a shorter point cloud.
FrameSet resplitSet(int64_t id)
{
    FrameSet set = gen::makeFrameSet(320, 240, id, id * 1000);
    FrameSet out;
    for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t)
        out[t] = set[t]->copy();
    Frame& raw = *out[FRAME_RAW_FRAME_UNPROCESSED];
    raw.rawSamples.resize(raw.rawSamples.size() + 320 * 240, 77); // 2 bytes a sample
    Frame& cloud = *out[FRAME_XYZI_POINT_CLOUD_FRAME];
    cloud.height = 210; // 30 rows of 320 points of 16 bytes
    cloud.points.resize(320 * 210);
    return out;
}

} // namespace

TEST_F(StreamFiles, RoundTripKeepsEveryFrame)
{
    std::vector<FrameSet> sets;
    {
        FrameStreamWriter writer(path("a.tvks"), smallHeader());
        ASSERT_TRUE(writer.isOpen());
        for (int i = 0; i < 3; ++i) {
            sets.push_back(gen::makeFrameSet(6, 4, 10 + i, 5000 + 33333 * i));
            ASSERT_TRUE(writer.write(sets.back()));
        }
        EXPECT_EQ(writer.setsWritten(), 3);
    } // the destructor writes the index

    FrameStreamReader reader(path("a.tvks"), system);
    ASSERT_TRUE(reader.isStreamGood()) << reader.errorString();
    EXPECT_EQ(reader.size(), 3);
    EXPECT_EQ(reader.currentPosition(), 0);
    EXPECT_EQ(reader.header().cameraType, "Quenta14Camera");
    EXPECT_EQ(reader.header().chipset, "sim.common");
    EXPECT_EQ(reader.header().width, 6);
    ASSERT_TRUE(reader.header().calib);
    EXPECT_EQ((*reader.header().calib)[0], 3.75f);
    EXPECT_EQ(reader.getStreamParamf("depthScalingFactor").value, 0.001f);
    EXPECT_FALSE(reader.getStreamParamf("other").ok);
    EXPECT_FALSE(reader.frames()[0]); // nothing read yet

    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(reader.readNext());
        EXPECT_EQ(reader.currentPosition(), i + 1);
        const FrameSet got = reader.frames();
        for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t)
            expectSameFrame(*got[t], *sets[i][t]);
    }
    EXPECT_FALSE(reader.readNext()); // at size()
    EXPECT_EQ(reader.currentPosition(), 3);
}

TEST(StreamChecksum, IsTheCrc32OfZipAndContinuesAcrossPieces)
{
    const std::string check = "123456789";
    EXPECT_EQ(detail::crc32(check.data(), check.size()), 0xCBF43926u);
    EXPECT_EQ(detail::crc32(check.data() + 4, 5, detail::crc32(check.data(), 4)), 0xCBF43926u);
    EXPECT_EQ(detail::crc32(nullptr, 0, 0x1234u), 0x1234u);
    // Long enough for the wide paths, with a tail that is not a multiple of them.
    std::vector<uint8_t> bytes(100003);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 131 + (i >> 9));
    uint32_t bitwise = ~0u;
    for (uint8_t b : bytes) {
        bitwise ^= b;
        for (int k = 0; k < 8; ++k)
            bitwise = (bitwise & 1u) ? 0xedb88320u ^ (bitwise >> 1) : bitwise >> 1;
    }
    bitwise = ~bitwise;
    EXPECT_EQ(detail::crc32(bytes.data(), bytes.size()), bitwise);
    EXPECT_EQ(detail::crc32(bytes.data() + 777, bytes.size() - 777, detail::crc32(bytes.data(), 777)), bitwise);
}

TEST(StreamChecksum, ChecksumsOfPiecesJoinToThatOfTheWhole)
{
    std::vector<uint8_t> bytes(70001);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    const uint32_t whole = detail::crc32(bytes.data(), bytes.size());
    for (std::size_t cut : {0u, 1u, 7u, 33u, 4096u, 65537u, 70000u, 70001u}) {
        const std::size_t rest = bytes.size() - cut;
        const uint32_t first = detail::crc32(bytes.data(), cut);
        const uint32_t second = detail::crc32(bytes.data() + cut, rest);
        EXPECT_EQ(detail::crc32Shift(first, detail::crc32ShiftFactor(rest)) ^ second, whole) << "cut at " << cut;
    }
}

TEST_F(StreamFiles, SetsOfChangingSizesReadBackWhole)
{
    // Frames are filled in place in storage used before: a set of another
    // size must come back exactly, with nothing left of the one before.
    std::vector<FrameSet> sets;
    {
        FrameStreamWriter writer(path("sizes.tvks"), smallHeader());
        const std::pair<int, int> sizes[] = {{6, 4}, {2, 2}, {0, 0}, {6, 4}, {3, 5}, {0, 3}, {6, 4}};
        int64_t id = 1;
        for (auto [w, h] : sizes) {
            sets.push_back(gen::makeFrameSet(w, h, id, id * 1000));
            ASSERT_TRUE(writer.write(sets.back()));
            ++id;
        }
    }
    FrameStreamReader reader(path("sizes.tvks"), system);
    ASSERT_EQ(reader.size(), static_cast<int>(sets.size()));
    for (int round = 0; round < 2; ++round) {
        reader.seekTo(0);
        for (const FrameSet& expected : sets) {
            ASSERT_TRUE(reader.readNext()) << reader.errorString();
            const FrameSet got = reader.frames();
            for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t) {
                expectSameFrame(*got[t], *expected[t]);
                EXPECT_EQ(got[t]->payloadBytes(), expected[t]->payloadBytes());
            }
        }
    }
}

TEST_F(StreamFiles, FramesHandedOutStayAsReadAndTheirStorageIsUsedAgain)
{
    ASSERT_TRUE(gen::write(path("pool.tvks"), tiny(12, 8, 6)));
    FrameStreamReader reference(path("pool.tvks"), system);
    std::vector<FrameSet> copies;
    while (reference.readNext()) {
        FrameSet copy;
        for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t)
            copy[t] = reference.frames()[t]->copy();
        copies.push_back(copy);
    }
    ASSERT_EQ(copies.size(), 12u);

    // Every third set is held while the rest are let go at once.
    FrameStreamReader reader(path("pool.tvks"), system);
    std::vector<std::pair<int, FrameSet>> held;
    for (int round = 0; round < 3; ++round) {
        reader.seekTo(0);
        for (int k = 0; k < 12; ++k) {
            ASSERT_TRUE(reader.readNext());
            if (round == 0 && k % 3 == 0)
                held.emplace_back(k, reader.frames());
        }
    }
    for (const auto& [k, set] : held)
        for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t)
            expectSameFrame(*set[t], *copies[static_cast<std::size_t>(k)][t]);

    // Once warm, reading makes no frame objects: sets let go are filled again.
    const uint64_t before = Frame::constructedCount();
    reader.seekTo(0);
    for (int k = 0; k < 12; ++k)
        ASSERT_TRUE(reader.readNext());
    EXPECT_EQ(Frame::constructedCount(), before);
}

TEST_F(StreamFiles, SeekingAndFreshFrames)
{
    ASSERT_TRUE(gen::write(path("b.tvks"), gen::Spec{}));
    FrameStreamReader reader(path("b.tvks"), system);
    ASSERT_EQ(reader.size(), 10);
    ASSERT_TRUE(reader.readNext());
    const FramePtr kept = reader.frames()[FRAME_DEPTH_FRAME];
    ASSERT_TRUE(reader.readNext());
    EXPECT_NE(reader.frames()[FRAME_DEPTH_FRAME], kept);
    EXPECT_EQ(kept->id, 1); // a frame handed out is never overwritten

    EXPECT_TRUE(reader.seekTo(7));
    ASSERT_TRUE(reader.readNext());
    EXPECT_EQ(reader.frames()[0]->id, 8);
    EXPECT_TRUE(reader.seekTo(reader.currentPosition() - 1)); // step back as a paused player does
    ASSERT_TRUE(reader.readNext());
    EXPECT_EQ(reader.frames()[0]->id, 8);
    EXPECT_TRUE(reader.seekTo(10));
    EXPECT_FALSE(reader.readNext());
    EXPECT_FALSE(reader.seekTo(25)); // beyond: reads as the end
    EXPECT_EQ(reader.currentPosition(), 10);
    EXPECT_FALSE(reader.seekTo(-3));
    EXPECT_EQ(reader.currentPosition(), 0);
}

TEST_F(StreamFiles, CraftedFiles)
{
    auto open = [&](gen::Crafted kind) {
        const std::string file = path(gen::craftedFileName(kind));
        std::string error;
        EXPECT_TRUE(gen::writeCrafted(file, kind, &error)) << error;
        return std::make_unique<FrameStreamReader>(file, system);
    };

    auto empty = open(gen::Crafted::Empty);
    EXPECT_TRUE(empty->isStreamGood());
    EXPECT_EQ(empty->size(), 0);
    EXPECT_FALSE(empty->readNext());
    EXPECT_EQ(empty->currentPosition(), 0);

    auto corrupt = open(gen::Crafted::CorruptMiddle);
    EXPECT_EQ(corrupt->size(), 10);
    EXPECT_EQ(readAll(*corrupt), (std::vector<int64_t>{1, 2, 3, 4, 5}));
    // The failed read moved past the damaged set; what was read before stays.
    EXPECT_EQ(corrupt->currentPosition(), 6);
    EXPECT_EQ(corrupt->errorString(), "frame set checksum mismatch");
    EXPECT_EQ(corrupt->frames()[0]->id, 5);
    EXPECT_EQ(readAll(*corrupt), (std::vector<int64_t>{7, 8, 9, 10}));
    EXPECT_FALSE(corrupt->readNext()); // at the end the position stays
    EXPECT_EQ(corrupt->currentPosition(), 10);

    auto gap = open(gen::Crafted::IdGap);
    ASSERT_TRUE(gap->readNext());
    const int64_t t10 = gap->frames()[0]->timestamp;
    ASSERT_TRUE(gap->readNext());
    EXPECT_EQ(gap->frames()[0]->id, 13);
    EXPECT_EQ(gap->frames()[0]->timestamp - t10, 100000);

    auto zero = open(gen::Crafted::ZeroTimestamp);
    ASSERT_TRUE(zero->readNext());
    EXPECT_EQ(zero->frames()[FRAME_XYZI_POINT_CLOUD_FRAME]->timestamp, 0);

    auto noScale = open(gen::Crafted::NoDepthScalingFactor);
    auto dsf = noScale->getStreamParamf("depthScalingFactor");
    EXPECT_FALSE(dsf.ok);
    EXPECT_EQ(dsf.value, 0.f);
    EXPECT_TRUE(noScale->getStreamParamf("amplitudeScalingFactor").ok);

    auto truncated = open(gen::Crafted::Truncated);
    EXPECT_TRUE(truncated->isStreamGood());
    EXPECT_EQ(truncated->size(), 5); // the cut set is not counted
    EXPECT_EQ(readAll(*truncated).size(), 5u);

    auto noIndex = open(gen::Crafted::NoIndex);
    EXPECT_EQ(noIndex->size(), 5);
    EXPECT_EQ(readAll(*noIndex).size(), 5u);
}

TEST_F(StreamFiles, MissingAndForeignFilesAreNotGoodAndSayWhy)
{
    FrameStreamReader missing(path("none.tvks"), system);
    EXPECT_FALSE(missing.isStreamGood());
    EXPECT_FALSE(missing.readNext());
    EXPECT_EQ(missing.size(), 0);
    EXPECT_FALSE(missing.seekTo(0));
    EXPECT_FALSE(missing.getStreamParamf("amplitudeScalingFactor").ok);
    EXPECT_EQ(missing.errorString(), "file not found");

    writeFile(path("text.tvks"), {'h', 'e', 'l', 'l', 'o'}, 5);
    FrameStreamReader text(path("text.tvks"), system);
    EXPECT_FALSE(text.isStreamGood());
    EXPECT_EQ(text.errorString(), "not a recorded stream");
    FrameStreamReader directory(dir.string(), system);
    EXPECT_FALSE(directory.isStreamGood());
    EXPECT_EQ(directory.errorString(), "a folder, not a file");

    ASSERT_TRUE(gen::write(path("good.tvks"), tiny(2, 3, 2)));
    const auto bytes = readFile(path("good.tvks"));
    auto damaged = bytes;
    damaged[20] = static_cast<char>(damaged[20] ^ 0x01); // inside the camera type text
    writeFile(path("header.tvks"), damaged, damaged.size());
    EXPECT_EQ(FrameStreamReader(path("header.tvks"), system).errorString(), "header checksum mismatch");
    writeFile(path("short.tvks"), bytes, 30);
    EXPECT_EQ(FrameStreamReader(path("short.tvks"), system).errorString(), "truncated header");

    // Texts and the header beyond their limits are named as such.
    const auto header = [&](const std::vector<std::string>& names) {
        detail::Encoder e;
        e.bytes.assign(detail::kMagic, detail::kMagic + sizeof(detail::kMagic));
        e.put<uint32_t>(detail::kVersion);
        e.text("Quenta14Camera");
        e.text("sim.common");
        e.put<uint32_t>(6);
        e.put<uint32_t>(4);
        e.put<uint32_t>(static_cast<uint32_t>(names.size()));
        for (const std::string& name : names) {
            e.text(name);
            e.put<double>(1.0);
        }
        e.put<uint8_t>(0);
        e.put<uint32_t>(detail::crc32(e.bytes.data(), e.bytes.size()));
        writeFile(path("limits.tvks"), std::vector<char>(e.bytes.begin(), e.bytes.end()), e.bytes.size());
        return FrameStreamReader(path("limits.tvks"), system).errorString();
    };
    EXPECT_EQ(header({std::string(4096, 'n')}), "");
    EXPECT_EQ(header({std::string(5000, 'n')}), "stream parameter name too long: 5000 bytes, more than 4096");
    EXPECT_EQ(header(std::vector<std::string>(300, std::string(4000, 'n'))),
              "header too large: more than 1048576 bytes");

    fs::permissions(path("good.tvks"), fs::perms::none);
    if (std::ifstream(path("good.tvks")).is_open()) {
        // Root reads any file: there is no unreadable file to try.
        std::cout << "[          ] running with every permission: the refused open is not tried\n";
    } else {
        FrameStreamReader locked(path("good.tvks"), system);
        EXPECT_FALSE(locked.isStreamGood());
        EXPECT_EQ(locked.errorString(), "permission denied");
    }
}

TEST_F(StreamFiles, APipeASocketOrADeviceIsRefusedAtOnce)
{
    const std::string fifo = path("fifo.tvks"), socketFile = path("socket.tvks");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketFile.size(), sizeof(address.sun_path));
    socketFile.copy(address.sun_path, socketFile.size());
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    for (const std::string& file : {fifo, socketFile, std::string("/dev/zero")}) {
        auto opened = std::async(std::launch::async, [&] {
            FrameStreamReader reader(file, system);
            return std::make_pair(reader.isStreamGood(), reader.errorString());
        });
        if (opened.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ADD_FAILURE() << file << ": the open waits";
            ::close(::open(fifo.c_str(), O_WRONLY)); // a writer, so that it returns
        }
        const auto [good, why] = opened.get();
        EXPECT_FALSE(good) << file;
        EXPECT_EQ(why, "not a regular file") << file;
    }
    ::close(listener);
}

TEST_F(StreamFiles, ZeroPixelFramesRoundTrip)
{
    ASSERT_TRUE(gen::write(path("empty-frames.tvks"), tiny(3, 0, 0)));
    FrameStreamReader reader(path("empty-frames.tvks"), system);
    ASSERT_TRUE(reader.isStreamGood()) << reader.errorString();
    ASSERT_EQ(readAll(reader), (std::vector<int64_t>{1, 2, 3}));
    const FrameSet set = reader.frames();
    for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t) {
        EXPECT_EQ(set[t]->width, 0);
        EXPECT_EQ(set[t]->height, 0);
        EXPECT_EQ(set[t]->payloadBytes(), 0u);
    }
    EXPECT_TRUE(set[FRAME_RAW_FRAME_UNPROCESSED]->rawSamples.empty());
    EXPECT_TRUE(set[FRAME_DEPTH_FRAME]->depth.empty());
}

TEST_F(StreamFiles, ADamagedIndexIsScannedForRealSetsOnly)
{
    // Enough sets that the index is longer than a set head claims: read as a
    // set, it would count as one more.
    const int sets = 20;
    ASSERT_TRUE(gen::write(path("ok.tvks"), tiny(sets, 2, 2)));
    const auto bytes = readFile(path("ok.tvks"));
    const std::size_t indexStart = bytes.size() - (8 * sets + 16);
    for (std::size_t at = indexStart; at < bytes.size(); at += 3) {
        auto damaged = bytes;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x44);
        writeFile(path("bad-index.tvks"), damaged, damaged.size());
        FrameStreamReader reader(path("bad-index.tvks"), system);
        ASSERT_TRUE(reader.isStreamGood()) << at;
        EXPECT_EQ(reader.size(), sets) << "index byte " << at;
        EXPECT_EQ(readAll(reader).size(), static_cast<std::size_t>(sets)) << "index byte " << at;
    }
}

TEST_F(StreamFiles, EveryTruncationIsReportedNeverOverread)
{
    const gen::Spec spec = tiny(2, 3, 2);
    ASSERT_TRUE(gen::write(path("full.tvks"), spec));
    const auto bytes = readFile(path("full.tvks"));
    int good = 0;
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
        writeFile(path("cut.tvks"), bytes, cut);
        FrameStreamReader reader(path("cut.tvks"), system);
        if (!reader.isStreamGood())
            continue;
        ++good;
        const auto ids = readAll(reader);
        EXPECT_LE(ids.size(), 2u);
        EXPECT_EQ(static_cast<int>(ids.size()), reader.size()) << "cut at " << cut;
        if (cut == bytes.size()) {
            EXPECT_EQ(ids.size(), 2u);
        }
    }
    EXPECT_GT(good, 0);
}

TEST_F(StreamFiles, EveryFlippedByteIsCaught)
{
    std::vector<uint64_t> offsets;
    {
        // The same file through the writer, to learn where the sets lie.
        FrameStreamWriter writer(path("ref.tvks"), smallHeader());
        writer.write(gen::makeFrameSet(2, 2, 1, 100));
        writer.write(gen::makeFrameSet(2, 2, 2, 200));
        offsets = writer.setOffsets();
    }
    const auto bytes = readFile(path("ref.tvks"));
    const std::size_t indexStart = bytes.size() - (8 * 2 + 16);
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        auto damaged = bytes;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x10);
        writeFile(path("bad.tvks"), damaged, damaged.size());
        FrameStreamReader reader(path("bad.tvks"), system);
        if (at < offsets[0]) {
            EXPECT_FALSE(reader.isStreamGood()) << "header byte " << at;
            continue;
        }
        ASSERT_TRUE(reader.isStreamGood()) << at;
        const std::size_t sets = readAll(reader).size();
        if (at >= indexStart) {
            EXPECT_EQ(sets, 2u) << "index byte " << at; // falls back to a scan
            EXPECT_EQ(reader.size(), 2) << "index byte " << at;
        } else if (at - offsets[at < offsets[1] ? 0 : 1] < 4) {
            // A length alone: the index tells where the set ends.
            EXPECT_EQ(sets, 2u) << "set length byte " << at;
        } else {
            EXPECT_EQ(sets, at < offsets[1] ? 0u : 1u) << "set byte " << at;
            // With the index intact the damaged set is passed and the set
            // after it read.
            if (at < offsets[1] && reader.size() == 2) {
                EXPECT_EQ(reader.currentPosition(), 1) << "set byte " << at;
                EXPECT_TRUE(reader.readNext()) << "set byte " << at;
            }
        }
    }
}

TEST_F(StreamFiles, RandomFilesNeverCrashTheReader)
{
    std::mt19937 rng(20240607);
    const gen::Spec spec = tiny(1, 2, 2);
    ASSERT_TRUE(gen::write(path("seed.tvks"), spec));
    const auto seed = readFile(path("seed.tvks"));
    for (int round = 0; round < 300; ++round) {
        std::vector<char> bytes;
        if (round % 2 == 0) {
            bytes.resize(rng() % 400);
            for (auto& b : bytes)
                b = static_cast<char>(rng());
        } else {
            // A real file with random bytes written over a random stretch.
            bytes = seed;
            const std::size_t from = rng() % bytes.size(), count = 1 + rng() % 16;
            for (std::size_t i = from; i < std::min(bytes.size(), from + count); ++i)
                bytes[i] = static_cast<char>(rng());
            bytes.resize(bytes.size() - rng() % 4);
        }
        writeFile(path("random.tvks"), bytes, bytes.size());
        FrameStreamReader reader(path("random.tvks"), system);
        readAll(reader);
        reader.seekTo(static_cast<int>(rng() % 5));
        reader.readNext();
        EXPECT_LE(reader.currentPosition(), reader.size());
    }
}

TEST_F(StreamFiles, WriterRefusesInconsistentSets)
{
    FrameStreamWriter writer(path("w.tvks"), smallHeader());
    FrameSet set = gen::makeFrameSet(6, 4, 1, 1);
    FrameSet missing = set;
    missing[2] = nullptr;
    EXPECT_FALSE(writer.write(missing));
    FrameSet swapped = set;
    std::swap(swapped[1], swapped[2]);
    EXPECT_FALSE(writer.write(swapped));
    FrameSet wrongSize = set;
    wrongSize[3] = set[3]->copy();
    wrongSize[3]->points.pop_back();
    EXPECT_FALSE(writer.write(wrongSize));
    EXPECT_TRUE(writer.write(set));
    EXPECT_EQ(writer.setsWritten(), 1);
    ASSERT_TRUE(writer.close());
    EXPECT_FALSE(writer.write(set)); // closed
    FrameStreamReader reader(path("w.tvks"), system);
    EXPECT_EQ(reader.size(), 1);
    EXPECT_FALSE(FrameStreamWriter(dir.string(), smallHeader()).isOpen());
}

TEST_F(StreamFiles, OneReaderFromTwoThreads)
{
    ASSERT_TRUE(gen::write(path("c.tvks"), gen::Spec{}));
    FrameStreamReader reader(path("c.tvks"), system);
    std::atomic<bool> done{false};
    std::thread player([&] {
        for (int i = 0; i < 200; ++i) {
            if (!reader.readNext())
                reader.seekTo(0);
            const FrameSet set = reader.frames();
            if (set[0]) {
                EXPECT_EQ(set[0]->id, set[3]->id); // never a mix of two sets
            }
            reader.seekTo(reader.currentPosition() - (i % 3 == 0 ? 1 : 0));
        }
        done = true;
    });
    while (!done) {
        EXPECT_LE(reader.currentPosition(), reader.size());
        EXPECT_TRUE(reader.getStreamParamf("depthScalingFactor").ok);
        EXPECT_TRUE(reader.isStreamGood());
        reader.seekTo(5);
    }
    player.join();
}

TEST_F(StreamFiles, RecordsFromACamera)
{
    TavikTest::Rig rig;
    rig.system.simulation().setIdDropPeriod(rig.camera, 2);
    rig.system.simulation().setCameraProfile(rig.camera, 3);
    std::string error;
    ASSERT_TRUE(recordFromCamera(rig.camera, path("cam.tvks"), 5, &error)) << error;
    EXPECT_FALSE(rig.camera->isRunning()); // started and stopped by the call

    FrameStreamReader reader(path("cam.tvks"), system);
    ASSERT_EQ(reader.size(), 5);
    EXPECT_EQ(reader.header().width, 160);
    EXPECT_EQ(reader.header().height, 120);
    EXPECT_EQ((*reader.header().calib)[0], 100.f);
    EXPECT_EQ(reader.getStreamParamf("depthScalingFactor").value,
              rig.camera->getStreamParamf("depthScalingFactor").value);
    EXPECT_EQ(readAll(reader), (std::vector<int64_t>{1, 2, 4, 5, 7}));

    // The capture thread path, at a quick rate.
    TavikTest::Rig live(TavikTest::CameraB, false);
    live.system.simulation().setFrameRate(live.camera, 300);
    ASSERT_TRUE(recordFromCamera(live.camera, path("live.tvks"), 3, &error)) << error;
    FrameStreamReader liveReader(path("live.tvks"), system);
    EXPECT_EQ(liveReader.header().chipset, "meridian.tk");
    EXPECT_EQ(readAll(liveReader).size(), 3u);

    live.system.disconnect(live.camera);
    EXPECT_FALSE(recordFromCamera(live.camera, path("gone.tvks"), 3, &error));
}

// Long sets are read on two threads, into frames sized by the set before when
// the set is as long, so sets alike in length but not in make-up follow
// each other here; a short set and one of another length lie between.
TEST_F(StreamFiles, LongSetsReadBackWhole)
{
    std::vector<FrameSet> sets;
    auto add = [&](int w, int h) {
        const auto id = static_cast<int64_t>(sets.size()) + 1;
        sets.push_back(gen::makeFrameSet(w, h, id, id * 1000));
    };
    add(320, 240);
    add(240, 320); // as many pixels: the same length, other sizes in the heads
    add(320, 240);
    sets.push_back(resplitSet(4));
    add(320, 240);
    add(6, 4);
    add(160, 120);
    add(320, 240);
    const auto offsets = writeSets(path("long.tvks"), sets);
    ASSERT_EQ(offsets.size(), sets.size());
    ASSERT_EQ(offsets[1] - offsets[0], offsets[2] - offsets[1]);
    ASSERT_EQ(offsets[3] - offsets[2], offsets[4] - offsets[3]);

    FrameStreamReader reader(path("long.tvks"), system);
    ASSERT_EQ(reader.size(), static_cast<int>(sets.size()));
    for (int round = 0; round < 2; ++round) {
        const uint64_t made = Frame::constructedCount();
        reader.seekTo(0);
        for (const FrameSet& expected : sets) {
            ASSERT_TRUE(reader.readNext()) << reader.errorString();
            const FrameSet got = reader.frames();
            for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t) {
                SCOPED_TRACE(testing::Message() << "set " << expected[0]->id << " frame " << t);
                expectSameFrame(*got[t], *expected[t]);
            }
        }
        // Once warm, every set is read in place: none is read again whole
        // into frames made anew, as a set that fails in place is.
        if (round == 1) {
            EXPECT_EQ(Frame::constructedCount(), made);
        }
    }
}

TEST_F(StreamFiles, AFlippedByteInALongSetIsCaughtAndTheNextSetReads)
{
    const std::vector<FrameSet> sets = longSets(5);
    const auto offsets = writeSets(path("long.tvks"), sets);
    auto bytes = readFile(path("long.tvks"));
    // In the first frame of set 2 (past the set head, the frame head and a
    // little), and the very last byte of the point cloud of set 4.
    bytes[offsets[1] + 8 + 33 + 1000] ^= 0x01;
    bytes[offsets[4] - 1] ^= 0x40;
    writeFile(path("bad.tvks"), bytes, bytes.size());

    FrameStreamReader reader(path("bad.tvks"), system);
    ASSERT_EQ(reader.size(), 5);
    for (int k = 0; k < 5; ++k) {
        if (k == 1 || k == 3) {
            EXPECT_FALSE(reader.readNext()) << "set " << k + 1;
            EXPECT_EQ(reader.errorString(), "frame set checksum mismatch");
            continue;
        }
        ASSERT_TRUE(reader.readNext()) << "set " << k + 1 << ": " << reader.errorString();
        const FrameSet got = reader.frames();
        for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t)
            expectSameFrame(*got[t], *sets[static_cast<std::size_t>(k)][t]);
    }
}

// Ends the test binary with a message when the scope it guards has not ended
// within `limit`: a read that never returns then fails the run at once
// rather than stalling it until CTest's limit.
class Deadline {
public:
    Deadline(std::string what, std::chrono::seconds limit)
        : watchdog([this, what = std::move(what), limit] {
            std::unique_lock<std::mutex> lock(mutex);
            if (!ended.wait_for(lock, KelvraTest::budget(limit), [this] { return done; })) {
                std::fprintf(stderr, "%s did not end within %lld s\n", what.c_str(),
                             static_cast<long long>(limit.count()));
                std::abort(); // the stuck thread holds the reader: nothing to go on with
            }
        })
    {
    }
    ~Deadline()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            done = true;
        }
        ended.notify_one();
        watchdog.join();
    }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

private:
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::thread watchdog; // last: starts once the rest is set
};

TEST_F(StreamFiles, ALongSetCutShortWhileReadEndsTheRecordingThere)
{
    const Deadline deadline("reading a long set cut short", std::chrono::minutes(1));
    const std::vector<FrameSet> sets = longSets(3);
    const auto offsets = writeSets(path("long.tvks"), sets);
    // Cut while the reader has it open: in the point cloud of set 2, then in
    // the first frame of set 1 after stepping back.
    FrameStreamReader reader(path("long.tvks"), system);
    ASSERT_EQ(reader.size(), 3);
    ASSERT_TRUE(reader.readNext());
    const uint64_t setLength = offsets[2] - offsets[1];
    fs::resize_file(path("long.tvks"), offsets[2] - 5000);
    EXPECT_FALSE(reader.readNext());
    EXPECT_EQ(reader.errorString(),
              "recording cut short in frame set 2: " + std::to_string(setLength - 5000) + " of "
                  + std::to_string(setLength) + " bytes");
    EXPECT_EQ(reader.size(), 1);
    EXPECT_EQ(reader.currentPosition(), 1);
    EXPECT_EQ(reader.frames()[0]->id, 1); // the set read before stays
    fs::resize_file(path("long.tvks"), offsets[0] + 8 + 33 + 5000);
    reader.seekTo(0);
    EXPECT_FALSE(reader.readNext());
    EXPECT_EQ(reader.failedReadNote(),
              "recording cut short in frame set 1: " + std::to_string(8 + 33 + 5000) + " of "
                  + std::to_string(offsets[1] - offsets[0]) + " bytes");
    EXPECT_EQ(reader.size(), 0);
    EXPECT_FALSE(reader.readNext());
    EXPECT_EQ(reader.errorString(), "end of stream");
}

// Reads many long sets in a row with the helping thread, which the reader
// starts on its first long set and joins when it goes.
TEST_F(StreamFiles, ManyLongSetsInARowAllVerify)
{
    const std::vector<FrameSet> sets = longSets(3);
    writeSets(path("long.tvks"), sets);
    const int threads = threadsNamed("tavik-pieces");
    auto reader = std::make_unique<FrameStreamReader>(path("long.tvks"), system);
    ASSERT_EQ(reader->size(), 3);
    EXPECT_EQ(threadsNamed("tavik-pieces"), threads);
    // On a thread of its own, so that a read that never returns fails the
    // test rather than stalling it.
    auto reading = std::async(std::launch::async, [&] {
        uint64_t made = 0;
        for (int k = 0; k < 200; ++k) {
            if (k == 3)
                made = Frame::constructedCount(); // warm: each set in place from here on
            if (reader->currentPosition() == reader->size())
                reader->seekTo(0);
            const FrameSet& expected = sets[static_cast<std::size_t>(k % 3)];
            ASSERT_TRUE(reader->readNext()) << "read " << k << ": " << reader->errorString();
            const FrameSet got = reader->frames();
            ASSERT_EQ(got[0]->id, expected[0]->id) << "read " << k;
            const XYZIPoint& last = got[FRAME_XYZI_POINT_CLOUD_FRAME]->points.back();
            const XYZIPoint& written = expected[FRAME_XYZI_POINT_CLOUD_FRAME]->points.back();
            ASSERT_TRUE(last.x == written.x && last.z == written.z && last.i == written.i) << "read " << k;
        }
        EXPECT_EQ(Frame::constructedCount(), made);
    });
    if (reading.wait_for(KelvraTest::budget(std::chrono::minutes(1))) != std::future_status::ready) {
        std::fprintf(stderr, "reading long sets in a row never returned\n");
        std::abort(); // the reading thread holds the reader: nothing to go on with
    }
    EXPECT_EQ(threadsNamed("tavik-pieces"), threads + 1);
    reader.reset();
    // The join returns once the thread has ended; the kernel drops its entry
    // from /proc a moment later, so look again for a while before failing.
    const auto until = std::chrono::steady_clock::now() + KelvraTest::budget(std::chrono::seconds(10));
    while (threadsNamed("tavik-pieces") != threads && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(threadsNamed("tavik-pieces"), threads);
}

#ifdef KELVRA_SAMPLE_RECORDING
// The helping thread takes pieces of its own (a lost wake-up would leave
// every piece to the caller), and whoever read a piece, the bytes land in
// place and the joined checksum is that of the whole.
TEST_F(StreamFiles, PiecesAreSharedWithTheHelpingThread)
{
    constexpr std::size_t kBytes = 1u << 20, kPieces = 8, kPiece = kBytes / kPieces;
    std::vector<uint8_t> bytes(kBytes);
    std::mt19937 rng(7);
    for (auto& b : bytes)
        b = static_cast<uint8_t>(rng());
    {
        std::ofstream out(path("bytes"), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    const int fd = ::open(path("bytes").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    std::vector<uint8_t> into(kBytes);
    detail::ReadJob job;
    job.fd = fd;
    for (std::size_t k = 0; k < kPieces; ++k) {
        job.parts.push_back({into.data() + k * kPiece, kPiece});
        detail::ReadPiece piece;
        piece.offset = k * kPiece;
        piece.size = kPiece;
        piece.first = k;
        piece.count = 1;
        piece.shift = detail::crc32ShiftFactor(kBytes - (k + 1) * kPiece);
        job.pieces.push_back(piece);
    }
    const uint32_t whole = detail::crc32(bytes.data(), bytes.size());

    detail::PieceReadThread reader;
    int reads = 0;
    const auto readAll = [&] {
        std::fill(into.begin(), into.end(), 0);
        uint32_t crc = 0;
        EXPECT_TRUE(reader.read(job, crc)) << "read " << reads;
        EXPECT_EQ(crc, whole) << "read " << reads;
        EXPECT_TRUE(into == bytes) << "read " << reads;
        ++reads;
    };
    // The first job meets the thread as it starts; later ones must wake it
    // (given time to fall asleep first).
    readAll();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::size_t before = reader.piecesByThread();
    const auto deadline = std::chrono::steady_clock::now() + KelvraTest::budget(std::chrono::seconds(20));
    while (reader.piecesByThread() == before && std::chrono::steady_clock::now() < deadline && !HasFailure())
        readAll();
    EXPECT_GT(reader.piecesByThread(), before) << "after " << reads << " reads";
    ::close(fd);
}

TEST(SampleRecording, IsBuiltAndPlayable)
{
    CameraSystem system;
    FrameStreamReader reader(KELVRA_SAMPLE_RECORDING, system);
    ASSERT_TRUE(reader.isStreamGood()) << reader.errorString();
    EXPECT_GT(reader.size(), 0);
    EXPECT_EQ(reader.header().width, 320);
    EXPECT_EQ(reader.header().height, 240);
    ASSERT_TRUE(reader.seekTo(reader.size() - 1));
    ASSERT_TRUE(reader.readNext());
    EXPECT_EQ(reader.frames()[FRAME_DEPTH_FRAME]->depth.size(), 320u * 240u);
    FrameStreamReader crafted(std::string(KELVRA_CRAFTED_STREAM_DIR) + "/id-gap.tvks", system);
    EXPECT_EQ(crafted.size(), 5);
}
#endif

// --- Damage costs only the sets it hits, and the open says what it costs ----------

namespace {

// Reads every position in turn, going on past the sets that fail: the ids
// read, and why each failed set failed, by position.
struct ReadThrough {
    std::vector<int64_t> ids;
    std::map<int, std::string> failed;
};

ReadThrough readThrough(FrameStreamReader& reader)
{
    ReadThrough r;
    reader.seekTo(0);
    for (int k = 0; k < reader.size(); ++k) {
        EXPECT_EQ(reader.currentPosition(), k);
        if (reader.readNext())
            r.ids.push_back(reader.frames()[0]->id);
        else
            r.failed[k] = reader.errorString();
    }
    EXPECT_FALSE(reader.readNext());
    EXPECT_EQ(reader.errorString(), "end of stream");
    return r;
}

// Ids 1 .. count but those given.
std::vector<int64_t> idsBut(int count, std::set<int64_t> missing)
{
    std::vector<int64_t> ids;
    for (int64_t id = 1; id <= count; ++id)
        if (!missing.count(id))
            ids.push_back(id);
    return ids;
}

uint32_t getU32(const std::vector<char>& bytes, uint64_t at)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<uint8_t>(bytes[at + static_cast<uint64_t>(i)]);
    return value;
}

void putU32(std::vector<char>& bytes, uint64_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<uint64_t>(i)] = static_cast<char>(value >> (8 * i));
}

// `count` small sets with ids from 1, with or without the index; where the
// sets lie, and the file's bytes.
std::vector<uint64_t> smallSets(const std::string& file, int count, bool withIndex, std::vector<char>& bytes)
{
    std::vector<FrameSet> sets;
    for (int64_t id = 1; id <= count; ++id)
        sets.push_back(gen::makeFrameSet(4, 3, id, id * 1000));
    const auto offsets = writeSets(file, sets);
    bytes = readFile(file);
    if (!withIndex)
        bytes.resize(bytes.size() - (8 * static_cast<std::size_t>(count) + 16));
    return offsets;
}

std::vector<std::string> notes(std::initializer_list<std::string> lines)
{
    return lines;
}

} // namespace

TEST_F(StreamFiles, ASetWhoseLengthAloneIsDamagedIsReadWhereItEndsWithOrWithoutTheIndex)
{
    for (const bool withIndex : {true, false}) {
        std::vector<char> bytes;
        const auto offsets = smallSets(path("sets.tvks"), 20, withIndex, bytes);
        // 0xFFFFFFFF, a flipped byte, 0: first, middle, last.
        const std::pair<int, uint32_t> damages[] = {
            {0, 0xffffffffu}, {9, getU32(bytes, offsets[9]) ^ 0x5a00u}, {19, 0xffffffffu}, {12, 0u}};
        for (const auto& [k, length] : damages) {
            for (const bool checksumToo : {false, true}) {
                SCOPED_TRACE(testing::Message() << (withIndex ? "with" : "without") << " the index, set " << k + 1
                                                << (checksumToo ? ", its checksum too" : ""));
                auto damaged = bytes;
                putU32(damaged, offsets[static_cast<std::size_t>(k)], length);
                if (checksumToo)
                    damaged[offsets[static_cast<std::size_t>(k)] + 4] ^= 0x01;
                writeFile(path("bad.tvks"), damaged, damaged.size());
                FrameStreamReader reader(path("bad.tvks"), system);
                ASSERT_TRUE(reader.isStreamGood());
                ASSERT_EQ(reader.size(), 20);
                const ReadThrough read = readThrough(reader);
                if (!checksumToo) {
                    EXPECT_TRUE(reader.damageNotes().empty());
                    EXPECT_EQ(read.ids, idsBut(20, {}));
                    continue;
                }
                EXPECT_EQ(reader.damageNotes(),
                          notes({"frame set " + std::to_string(k + 1) + " / 20 skipped: frame set length mismatch"}));
                EXPECT_EQ(read.ids, idsBut(20, {k + 1}));
                EXPECT_EQ(read.failed, (std::map<int, std::string>{{k, "frame set length mismatch"}}));
            }
        }
        if (!withIndex)
            continue;
        // The index alone tells where the set ends when its records are
        // damaged too (a scan would find only where the next set starts).
        auto damaged = bytes;
        putU32(damaged, offsets[4], 0xffffffffu);
        damaged[offsets[4] + 8] ^= 0x02;
        writeFile(path("bad.tvks"), damaged, damaged.size());
        FrameStreamReader reader(path("bad.tvks"), system);
        EXPECT_EQ(reader.damageNotes(), notes({"frame set 5 / 20 skipped: frame set length mismatch"}));
        EXPECT_EQ(readThrough(reader).ids, idsBut(20, {5}));
    }
}

TEST_F(StreamFiles, ALongSetWhoseLengthAloneIsDamagedIsRead)
{
    // Long sets are read in pieces on two threads, the one with the damaged
    // length as the others.
    const std::vector<FrameSet> sets = longSets(3);
    const auto offsets = writeSets(path("long.tvks"), sets);
    auto bytes = readFile(path("long.tvks"));
    putU32(bytes, offsets[1], getU32(bytes, offsets[1]) ^ 0x01000000u);
    writeFile(path("bad.tvks"), bytes, bytes.size());
    FrameStreamReader reader(path("bad.tvks"), system);
    ASSERT_EQ(reader.size(), 3);
    EXPECT_TRUE(reader.damageNotes().empty());
    for (int round = 0; round < 2; ++round) {
        reader.seekTo(0);
        for (int k = 0; k < 3; ++k) {
            ASSERT_TRUE(reader.readNext()) << reader.errorString();
            for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t)
                expectSameFrame(*reader.frames()[t], *sets[static_cast<std::size_t>(k)][t]);
        }
    }
    // Its checksum failing too, it is skipped.
    bytes[offsets[1] + 100000] ^= 0x01;
    writeFile(path("bad.tvks"), bytes, bytes.size());
    FrameStreamReader skipped(path("bad.tvks"), system);
    EXPECT_EQ(skipped.damageNotes(), notes({"frame set 2 / 3 skipped: frame set length mismatch"}));
    EXPECT_EQ(readThrough(skipped).ids, (std::vector<int64_t>{1, 3}));
}

TEST_F(StreamFiles, WithoutTheIndexAScanPassesOverALongDamagedSet)
{
    // The next set lies megabytes on: the search reads the file a window
    // at a time.
    const auto offsets = writeSets(path("long.tvks"), longSets(3));
    auto bytes = readFile(path("long.tvks"));
    bytes.resize(bytes.size() - (8 * 3 + 16));
    putU32(bytes, offsets[1], 5);
    bytes[offsets[1] + 8] ^= 0x02;
    writeFile(path("bad.tvks"), bytes, bytes.size());
    FrameStreamReader reader(path("bad.tvks"), system);
    ASSERT_EQ(reader.size(), 3);
    EXPECT_EQ(reader.damageNotes(), notes({"frame set 2 / 3 skipped: damaged frame set"}));
    EXPECT_EQ(readThrough(reader).ids, (std::vector<int64_t>{1, 3}));
}

TEST_F(StreamFiles, AScanTakesASetAfterDamageByItsChecksumTellsItsProgressAndCanBeGivenUp)
{
    // Sets 2 and 4 of five long ones damaged, no index: set 3, found after
    // set 2, is followed by no set, so its checksum decides, as it does for
    // a false set head planted in set 2 that chains four frames to inside
    // set 4.
    const auto offsets = writeSets(path("long.tvks"), longSets(5));
    auto bytes = readFile(path("long.tvks"));
    bytes.resize(bytes.size() - (8 * 5 + 16));
    for (const std::size_t k : {1u, 3u}) {
        putU32(bytes, offsets[k], 5);
        bytes[offsets[k] + 8] ^= 0x02;
    }
    detail::Encoder planted;
    const uint64_t rows = (offsets[3] + 1000 - (offsets[1] + 100) - 8 - 4 * 33) / (16 * 320) + 1;
    planted.put<uint32_t>(static_cast<uint32_t>(4 * 33 + 16 * 320 * rows));
    planted.put<uint32_t>(0);
    for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t) {
        planted.put<uint8_t>(static_cast<uint8_t>(t));
        planted.put<int64_t>(7);
        planted.put<int64_t>(7);
        planted.put<uint32_t>(t == 3 ? 320 : 0);
        planted.put<uint32_t>(t == 3 ? static_cast<uint32_t>(rows) : 0);
        planted.put<uint32_t>(1);
        planted.put<uint32_t>(t == 3 ? static_cast<uint32_t>(16 * 320 * rows) : 0);
    }
    std::copy(planted.bytes.begin(), planted.bytes.end(),
              bytes.begin() + static_cast<std::ptrdiff_t>(offsets[1] + 100));
    writeFile(path("bad.tvks"), bytes, bytes.size());
    std::vector<std::pair<uint64_t, uint64_t>> told;
    FrameStreamReader reader(path("bad.tvks"), system, [&](uint64_t done, uint64_t total) {
        told.emplace_back(done, total);
        return true;
    });
    ASSERT_EQ(reader.size(), 5);
    EXPECT_EQ(reader.damageNotes(),
              notes({"frame set 2 / 5 skipped: damaged frame set", "frame set 4 / 5 skipped: damaged frame set"}));
    EXPECT_EQ(readThrough(reader).ids, (std::vector<int64_t>{1, 3, 5}));
    ASSERT_FALSE(told.empty());
    for (std::size_t i = 0; i < told.size(); ++i) {
        EXPECT_EQ(told[i].second, bytes.size());
        EXPECT_LE(told[i].first, bytes.size());
        EXPECT_TRUE(i == 0 || told[i].first >= told[i - 1].first);
    }

    int calls = 0;
    FrameStreamReader givenUp(path("bad.tvks"), system, [&](uint64_t, uint64_t) { return ++calls < 2; });
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(givenUp.isStreamGood());
    EXPECT_EQ(givenUp.errorString(), "opening cancelled");
    EXPECT_EQ(givenUp.size(), 0);
}

TEST_F(StreamFiles, WithoutTheIndexAScanPassesOverWhatIsNotASet)
{
    std::vector<char> bytes;
    const auto offsets = smallSets(path("sets.tvks"), 10, false, bytes);
    const uint64_t firstPayload = 8 + 33; // in set k from offsets[k] on: past the set and frame heads
    std::mt19937 rng(11);
    struct Case {
        const char* what;
        std::function<void(std::vector<char>&)> damage;
        std::vector<std::string> notes;
        std::vector<int64_t> ids;
        std::map<int, std::string> failed;
        int size;
    };
    const std::string skipped4 = "frame set 4 / 10 skipped: damaged frame set";
    const std::vector<Case> cases = {
        {"the first frame's type in set 4",
         [&](auto& b) { b[offsets[3] + 8] ^= 0x02; },
         {},
         idsBut(10, {4}),
         {{3, "frame set checksum mismatch"}}, // its length still leads to set 5
         10},
        {"the first frame's type and the set length in set 4",
         [&](auto& b) {
             b[offsets[3] + 8] ^= 0x02;
             putU32(b, offsets[3], 7);
         },
         {skipped4},
         idsBut(10, {4}),
         {{3, "damaged frame set"}},
         10},
        {"40 random bytes from the start of set 4",
         [&](auto& b) {
             for (uint64_t i = 0; i < 40; ++i)
                 b[offsets[3] + i] = static_cast<char>(rng());
             b[offsets[3] + 8] = 9; // never a frame type
         },
         {skipped4},
         idsBut(10, {4}),
         {{3, "damaged frame set"}},
         10},
        {"set 4 as above and a byte of set 5's payload",
         [&](auto& b) {
             b[offsets[3] + 8] ^= 0x02;
             putU32(b, offsets[3], 7);
             b[offsets[4] + firstPayload] ^= 0x10;
         },
         {skipped4},
         idsBut(10, {4, 5}),
         {{3, "damaged frame set"}, {4, "frame set checksum mismatch"}},
         10},
        {"set 4 as above and the first frame's type in set 6",
         [&](auto& b) {
             b[offsets[3] + 8] ^= 0x02;
             putU32(b, offsets[3], 7);
             b[offsets[5] + 8] ^= 0x02;
         },
         {skipped4},
         idsBut(10, {4, 6}),
         {{3, "damaged frame set"}, {5, "frame set checksum mismatch"}},
         10},
        {"the first frame's type in the last set",
         [&](auto& b) { b[offsets[9] + 8] ^= 0x02; },
         {},
         idsBut(10, {10}),
         {{9, "frame set checksum mismatch"}},
         10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto damaged = bytes;
        c.damage(damaged);
        writeFile(path("bad.tvks"), damaged, damaged.size());
        FrameStreamReader reader(path("bad.tvks"), system);
        ASSERT_EQ(reader.size(), c.size);
        EXPECT_EQ(reader.damageNotes(), c.notes);
        const ReadThrough read = readThrough(reader);
        EXPECT_EQ(read.ids, c.ids);
        EXPECT_EQ(read.failed, c.failed);
    }
}

TEST_F(StreamFiles, ACutShortRecordingSaysInWhichSetAndHowManyBytes)
{
    std::vector<char> bytes;
    const auto offsets = smallSets(path("sets.tvks"), 6, true, bytes);
    const uint64_t lastSet = bytes.size() - (8 * 6 + 16) - offsets[5]; // with its head
    auto open = [&](std::size_t cut) {
        writeFile(path("cut.tvks"), bytes, cut);
        return std::make_unique<FrameStreamReader>(path("cut.tvks"), system);
    };
    auto inTheSet = open(offsets[5] + 100);
    EXPECT_EQ(inTheSet->size(), 5);
    EXPECT_EQ(inTheSet->damageNotes(),
              notes({"recording cut short in frame set 6: 100 of " + std::to_string(lastSet) + " bytes"}));
    EXPECT_EQ(readThrough(*inTheSet).ids, idsBut(5, {}));
    auto inTheHead = open(offsets[5] + 3);
    EXPECT_EQ(inTheHead->size(), 5);
    EXPECT_EQ(inTheHead->damageNotes(), notes({"recording cut short in frame set 6: 3 bytes"}));
    // Cut where a set ends, or in the index: every set is there.
    EXPECT_TRUE(open(offsets[5])->damageNotes().empty());
    for (std::size_t cut = offsets[5] + lastSet; cut <= bytes.size(); ++cut) {
        auto inTheIndex = open(cut);
        EXPECT_EQ(inTheIndex->size(), 6) << "cut at " << cut;
        EXPECT_TRUE(inTheIndex->damageNotes().empty()) << "cut at " << cut;
    }

    // A set damaged and the file cut: both told, in file order.
    auto both = bytes;
    putU32(both, offsets[2], 0xffffffffu);
    both[offsets[2] + 4] ^= 0x01;
    writeFile(path("both.tvks"), both, offsets[5] + 50);
    FrameStreamReader reader(path("both.tvks"), system);
    EXPECT_EQ(reader.damageNotes(),
              notes({"frame set 3 / 5 skipped: frame set length mismatch",
                     "recording cut short in frame set 6: 50 of " + std::to_string(lastSet) + " bytes"}));
    EXPECT_EQ(readThrough(reader).ids, idsBut(5, {3}));
}

TEST_F(StreamFiles, EveryCutIsToldUnlessItLosesNoSet)
{
    std::vector<char> bytes;
    const auto offsets = smallSets(path("sets.tvks"), 3, true, bytes);
    const uint64_t indexStart = bytes.size() - (8 * 3 + 16);
    const std::vector<uint64_t> ends = {offsets[1], offsets[2], indexStart};
    for (uint64_t cut = offsets[0]; cut <= bytes.size(); ++cut) {
        writeFile(path("cut.tvks"), bytes, cut);
        FrameStreamReader reader(path("cut.tvks"), system);
        ASSERT_TRUE(reader.isStreamGood());
        const auto whole = std::count_if(ends.begin(), ends.end(), [&](uint64_t end) { return end <= cut; });
        EXPECT_EQ(reader.size(), whole) << "cut at " << cut;
        EXPECT_EQ(readThrough(reader).ids, idsBut(static_cast<int>(whole), {})) << "cut at " << cut;
        const auto told = reader.damageNotes();
        if (cut == offsets[0] || cut >= indexStart || std::count(ends.begin(), ends.end(), cut) > 0) {
            EXPECT_TRUE(told.empty()) << "cut at " << cut << ": " << told[0];
            continue;
        }
        ASSERT_EQ(told.size(), 1u) << "cut at " << cut;
        // Past a whole set head the note gives the set's length too.
        const uint64_t left = cut - offsets[static_cast<std::size_t>(whole)];
        const std::string expected = "recording cut short in frame set " + std::to_string(whole + 1) + ": "
            + std::to_string(left) + (left < 8 ? " bytes" : " of ");
        EXPECT_EQ(told[0].substr(0, expected.size()), expected);
    }
}

TEST_F(StreamFiles, ADamagedIndexLosesNoSetAndIsNotTold)
{
    std::vector<char> bytes;
    smallSets(path("sets.tvks"), 4, true, bytes);
    const std::size_t indexStart = bytes.size() - (8 * 4 + 16);
    for (std::size_t at = indexStart; at < bytes.size(); ++at) {
        auto damaged = bytes;
        damaged[at] ^= 0x21;
        writeFile(path("bad.tvks"), damaged, damaged.size());
        FrameStreamReader reader(path("bad.tvks"), system);
        EXPECT_EQ(reader.size(), 4) << "index byte " << at;
        EXPECT_TRUE(reader.damageNotes().empty()) << "index byte " << at;
    }
}

TEST_F(StreamFiles, TheCraftedDamagedRecordingsTellWhatTheyLose)
{
    const std::string damagedLength = path(gen::craftedFileName(gen::Crafted::DamagedLength));
    ASSERT_TRUE(gen::writeCrafted(damagedLength, gen::Crafted::DamagedLength));
    FrameStreamReader skipped(damagedLength, system);
    EXPECT_EQ(skipped.size(), 20);
    EXPECT_EQ(skipped.damageNotes(), notes({"frame set 2 / 20 skipped: frame set length mismatch"}));
    EXPECT_EQ(readThrough(skipped).ids, idsBut(20, {2}));

    const std::string truncated = path(gen::craftedFileName(gen::Crafted::Truncated));
    ASSERT_TRUE(gen::writeCrafted(truncated, gen::Crafted::Truncated));
    FrameStreamReader cut(truncated, system);
    EXPECT_EQ(cut.size(), 5);
    ASSERT_EQ(cut.damageNotes().size(), 1u);
    EXPECT_EQ(cut.damageNotes()[0].rfind("recording cut short in frame set 6: ", 0), 0u) << cut.damageNotes()[0];

    for (const gen::Crafted sound : {gen::Crafted::Empty, gen::Crafted::NoIndex, gen::Crafted::CorruptMiddle}) {
        const std::string file = path(gen::craftedFileName(sound));
        ASSERT_TRUE(gen::writeCrafted(file, sound));
        EXPECT_TRUE(FrameStreamReader(file, system).damageNotes().empty()) << file; // a checksum is met when read
    }
    EXPECT_TRUE(FrameStreamReader(path("none.tvks"), system).damageNotes().empty());
}

namespace {

struct FrameShape {
    uint32_t width = 0, height = 0, payload = 0;
};

// The small header and one set of frames of these shapes whose payloads are
// left a hole (no disk used), with or without the index; the set's length.
uint64_t sparseSet(const std::string& file, const std::array<FrameShape, FRAME_TYPE_COUNT>& shapes, bool withIndex)
{
    {
        FrameStreamWriter writer(file, smallHeader());
    }
    const uint64_t start = fs::file_size(file) - 16; // past the empty index
    detail::Encoder e;
    e.put<uint32_t>(0); // the length, below
    e.put<uint32_t>(0); // the checksum: never reached
    uint64_t length = 0;
    std::vector<std::pair<uint64_t, std::vector<uint8_t>>> heads;
    for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t) {
        detail::Encoder h;
        h.put<uint8_t>(static_cast<uint8_t>(t));
        h.put<int64_t>(1);
        h.put<int64_t>(1000);
        h.put<uint32_t>(shapes[t].width);
        h.put<uint32_t>(shapes[t].height);
        h.put<uint32_t>(1);
        h.put<uint32_t>(shapes[t].payload);
        heads.emplace_back(start + 8 + length, h.bytes);
        length += h.bytes.size() + shapes[t].payload;
    }
    const uint64_t end = start + 8 + length;
    fs::resize_file(file, end);
    std::fstream out(file, std::ios::in | std::ios::out | std::ios::binary);
    const auto put = [&](uint64_t at, const std::vector<uint8_t>& bytes) {
        out.seekp(static_cast<std::streamoff>(at));
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    };
    detail::Encoder setHead;
    setHead.put<uint32_t>(static_cast<uint32_t>(length));
    put(start, setHead.bytes);
    for (const auto& [at, bytes] : heads)
        put(at, bytes);
    if (withIndex)
        put(end, detail::indexFooter({start}));
    return length;
}

} // namespace

TEST_F(StreamFiles, ASetBeyondTheLimitsIsSkippedWithItsReasonBeforeAnythingIsAllocated)
{
    // The whole set would ask for gigabytes: 16384 x 16384 frames, or a
    // cloud of 8192 x 4096 points; or little, with a side beyond the limit.
    const uint32_t side = 16384, pixels = side * side;
    const std::string wideFrame = "frame of 16384 x 16384 pixels is too large: more than 8192 per side";
    struct Case {
        const char* what;
        std::array<FrameShape, FRAME_TYPE_COUNT> shapes;
        std::string withIndex, withoutIndex; // noted by the open; empty: found when read
        std::string read;
    };
    const std::string bigSet = "frame set of 1342177412 bytes is too large: more than 268435456";
    const std::string bigCloud = "frame set of 536871044 bytes is too large: more than 268435456";
    const std::vector<Case> cases = {
        {"16384 x 16384 frames", {{{side, side, 0}, {side, side, pixels * 5}, {}, {}}}, bigSet, wideFrame, bigSet},
        {"a cloud of 8192 x 4096", {{{}, {}, {}, {8192, 4096, 8192 * 4096 * 16}}}, bigCloud, bigCloud, bigCloud},
        {"a frame of 16384 x 16384 without samples", {{{side, side, 0}, {}, {}, {}}}, "", wideFrame, wideFrame},
    };
    for (const Case& c : cases)
        for (const bool withIndex : {true, false}) {
            SCOPED_TRACE(testing::Message() << c.what << (withIndex ? ", with the index" : ", without the index"));
            sparseSet(path("big.tvks"), c.shapes, withIndex);
            FrameStreamReader reader(path("big.tvks"), system);
            ASSERT_TRUE(reader.isStreamGood()) << reader.errorString();
            ASSERT_EQ(reader.size(), 1);
            const std::string& noted = withIndex ? c.withIndex : c.withoutIndex;
            EXPECT_EQ(reader.damageNotes(),
                      noted.empty() ? std::vector<std::string>{} : notes({"frame set 1 / 1 skipped: " + noted}));
            EXPECT_FALSE(reader.readNext());
            EXPECT_EQ(reader.errorString(), noted.empty() ? c.read : noted);
        }
    // The writer keeps to the same limits.
    FrameStreamWriter writer(path("w.tvks"), smallHeader());
    FrameSet wide = gen::makeFrameSet(2, 2, 1, 1);
    wide[FRAME_RAW_FRAME_UNPROCESSED]->width = 8193;
    wide[FRAME_RAW_FRAME_UNPROCESSED]->height = 0;
    EXPECT_FALSE(writer.write(wide));
}

TEST_F(StreamFiles, AnAllocationThatFailsWhileASetIsReadIsToldNotAnAbort)
{
    if (!KelvraTest::canCapAddressSpace)
        GTEST_SKIP() << "the address space cannot be capped under a sanitizer";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A cloud of 200 MB, within the limits, with 64 MB to spare.
    sparseSet(path("cloud.tvks"), {{{}, {}, {}, {8192, 1600, 8192 * 1600 * 16}}}, true);
    EXPECT_EXIT(
        {
            KelvraTest::capAddressSpace(64u << 20);
            FrameStreamReader reader(path("cloud.tvks"), system);
            const bool read = reader.readNext();
            const bool told = reader.errorString() == "not enough memory to read the frame set";
            fs::remove_all(dir);
            std::exit(reader.isStreamGood() && !read && told && reader.currentPosition() == 1 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(StreamFiles, AnIndexThatDoesNotLineUpIsNotUsedAndWhatIsWrongWithItIsSaid)
{
    std::vector<char> bytes;
    const auto offsets = smallSets(path("sets.tvks"), 10, false, bytes);
    const auto footer = [](const std::vector<uint64_t>& listed) {
        const auto f = detail::indexFooter(listed);
        return std::vector<char>(f.begin(), f.end());
    };
    const auto joined = [](std::vector<char> a, const std::vector<char>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    std::vector<uint64_t> everyOther, twice = offsets;
    for (std::size_t k = 0; k < offsets.size(); k += 2)
        everyOther.push_back(offsets[k]);
    twice.insert(twice.end(), offsets.begin(), offsets.end());
    const std::vector<std::pair<std::vector<char>, std::string>> cases = {
        {footer(everyOther), "index lists 5 frame sets, the file holds 10"},
        {footer({}), "index is empty"},
        {footer(twice), "index lists 20 frame sets, the file holds 10"},
        {joined(footer(offsets), std::vector<char>(37, 'x')), "37 bytes after the index"},
        {joined(footer(offsets), footer(offsets)), "index written 2 times"},
        {joined(footer(everyOther), std::vector<char>(37, 'x')),
         "index lists 5 frame sets, the file holds 10; 37 bytes after the index"},
    };
    for (const auto& [tail, note] : cases) {
        SCOPED_TRACE(note);
        const auto file = joined(bytes, tail);
        writeFile(path("index.tvks"), file, file.size());
        FrameStreamReader reader(path("index.tvks"), system);
        ASSERT_EQ(reader.size(), 10);
        EXPECT_EQ(reader.damageNotes(), notes({note}));
        const ReadThrough read = readThrough(reader);
        EXPECT_EQ(read.ids, idsBut(10, {}));
        EXPECT_TRUE(read.failed.empty());
    }
    // No set, and after its (right) empty index 152 bytes more.
    std::vector<char> none(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(offsets[0]));
    none = joined(joined(none, footer({})), std::vector<char>(152, '\0'));
    writeFile(path("none.tvks"), none, none.size());
    FrameStreamReader empty(path("none.tvks"), system);
    EXPECT_EQ(empty.size(), 0);
    EXPECT_EQ(empty.damageNotes(), notes({"152 bytes after the index"}));
}

TEST_F(StreamFiles, AFrameBeyondTheLimitsInALongSetIsRefusedBeforeItsBuffersAreMade)
{
    if (!KelvraTest::canCapAddressSpace)
        GTEST_SKIP() << "the address space cannot be capped under a sanitizer";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // 80 MiB of points after a raw frame of 16384 x 1024 (no samples): read
    // in pieces, the set would ask for more than the memory left.
    sparseSet(path("wide.tvks"), {{{16384, 1024, 0}, {}, {}, {2560, 2048, 2560 * 2048 * 16}}}, true);
    EXPECT_EXIT(
        {
            KelvraTest::capAddressSpace(64u << 20);
            FrameStreamReader reader(path("wide.tvks"), system);
            const bool read = reader.readNext();
            const bool told =
                reader.errorString() == "frame of 16384 x 1024 pixels is too large: more than 8192 per side";
            fs::remove_all(dir);
            std::exit(reader.isStreamGood() && !read && told ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// --- A file cut short or failing while open ---------------------------------------

TEST_F(StreamFiles, ARecordingCutShortWhileOpenEndsWhereTheFileNowEnds)
{
    std::vector<char> bytes;
    const auto offsets = smallSets(path("sets.tvks"), 10, true, bytes);
    FrameStreamReader reader(path("sets.tvks"), system);
    ASSERT_EQ(reader.size(), 10);
    for (int k = 0; k < 3; ++k)
        ASSERT_TRUE(reader.readNext());
    // Cut in set 6: the sets before it play, then the end is told once.
    fs::resize_file(path("sets.tvks"), offsets[5] + 100);
    EXPECT_TRUE(reader.readNext() && reader.readNext());
    EXPECT_FALSE(reader.readNext());
    const std::string cut =
        "recording cut short in frame set 6: 100 of " + std::to_string(offsets[6] - offsets[5]) + " bytes";
    EXPECT_EQ(reader.errorString(), cut);
    EXPECT_EQ(reader.failedReadNote(), cut);
    EXPECT_EQ(reader.size(), 5);
    EXPECT_EQ(reader.currentPosition(), 5);
    EXPECT_EQ(reader.frames()[0]->id, 5);
    EXPECT_EQ(reader.damageNotes(), notes({cut}));
    EXPECT_FALSE(reader.readNext());
    EXPECT_EQ(reader.errorString(), "end of stream");
    EXPECT_TRUE(reader.failedReadNote().empty());
    EXPECT_EQ(readThrough(reader).ids, idsBut(5, {}));

    // Cut where a set ends: the sets after it are gone all the same.
    fs::resize_file(path("sets.tvks"), offsets[3]);
    ASSERT_TRUE(reader.seekTo(2));
    EXPECT_TRUE(reader.readNext());
    EXPECT_FALSE(reader.readNext());
    EXPECT_EQ(reader.failedReadNote(), "recording cut short in frame set 4: 0 bytes");
    EXPECT_EQ(reader.size(), 3);

    // One that grows plays what it had.
    writeFile(path("grows.tvks"), bytes, bytes.size());
    FrameStreamReader grows(path("grows.tvks"), system);
    std::ofstream(path("grows.tvks"), std::ios::binary | std::ios::app).write(bytes.data(), 5000);
    EXPECT_EQ(readThrough(grows).ids, idsBut(10, {}));
    EXPECT_EQ(grows.size(), 10);
    EXPECT_TRUE(grows.damageNotes().empty());
}

TEST_F(StreamFiles, AReadTheDiskFailsIsNamedWithTheSystemsReason)
{
    namespace disk = KelvraTest::FailingDisk;
    const std::string failed = std::strerror(EIO);
    std::vector<char> bytes;
    const auto offsets = smallSets(path("sets.tvks"), 10, true, bytes);
    {
        FrameStreamReader reader(path("sets.tvks"), system);
        const disk::Watch failing(path("sets.tvks"), offsets[2] + 50, offsets[2] + 51, EIO);
        ASSERT_TRUE(failing.watching);
        const ReadThrough read = readThrough(reader);
        EXPECT_EQ(read.ids, idsBut(10, {3}));
        EXPECT_EQ(read.failed, (std::map<int, std::string>{{2, failed}}));
        reader.seekTo(2);
        const disk::Watch counting(path("sets.tvks"), offsets[2] + 50, offsets[2] + 51, EIO);
        EXPECT_FALSE(reader.readNext());
        EXPECT_EQ(reader.failedReadNote(), "cannot read frame set 3 / 10: " + failed);
        EXPECT_EQ(reader.size(), 10);
        // A set the disk failed on is not read again whole: the failure would be the same.
        EXPECT_LE(disk::bytesRead(), offsets[3] - offsets[2]);
    }
    // Bytes the open does not need, beyond the header's reach: the open,
    // which reads ahead of the set heads it looks at, holds.
    std::vector<char> many;
    const auto manyOffsets = smallSets(path("many.tvks"), 4000, true, many);
    ASSERT_GT(manyOffsets[3000], 1u << 20);
    {
        const disk::Watch failing(path("many.tvks"), manyOffsets[3000] + 50, manyOffsets[3000] + 51, EIO);
        FrameStreamReader reader(path("many.tvks"), system);
        ASSERT_TRUE(reader.isStreamGood()) << reader.errorString();
        reader.seekTo(3000);
        EXPECT_FALSE(reader.readNext());
        EXPECT_EQ(reader.failedReadNote(), "cannot read frame set 3001 / 4000: " + failed);
    }
    // A long set, read in pieces by two threads.
    const auto longOffsets = writeSets(path("long.tvks"), longSets(3));
    {
        FrameStreamReader reader(path("long.tvks"), system);
        const disk::Watch failing(path("long.tvks"), longOffsets[1] + 2000000, longOffsets[1] + 2000001, EIO);
        const ReadThrough read = readThrough(reader);
        EXPECT_EQ(read.ids, (std::vector<int64_t>{1, 3}));
        reader.seekTo(1);
        EXPECT_FALSE(reader.readNext());
        EXPECT_EQ(reader.failedReadNote(), "cannot read frame set 2 / 3: " + failed);
    }
    // The open: its header, its index, a scan without one.
    writeFile(path("no-index.tvks"), bytes, bytes.size() - (8 * 10 + 16));
    for (const auto& [file, at] : {std::pair{path("sets.tvks"), uint64_t{0}},
                                   {path("sets.tvks"), uint64_t{bytes.size() - 20}},
                                   {path("no-index.tvks"), offsets[4] + 10}}) {
        const disk::Watch failing(file, at, at + 1, EIO);
        FrameStreamReader reader(file, system);
        EXPECT_FALSE(reader.isStreamGood()) << file << " at " << at;
        EXPECT_EQ(reader.errorString(), "cannot read file: " + failed) << file << " at " << at;
    }
}

// --- What a file claims costs no more than the file ---------------------------------

namespace {

// The small header, then `count` sets of four frame heads without payload
// (frames of no pixels, but the raw one of `rawWidth(k)` x 1 for set k), no index.
std::vector<char> headOnlySets(const std::string& file, int count, const std::function<uint32_t(int)>& rawWidth)
{
    {
        FrameStreamWriter writer(file, smallHeader());
    }
    std::vector<char> bytes = readFile(file);
    bytes.resize(bytes.size() - 16); // the empty index
    for (int k = 0; k < count; ++k) {
        detail::Encoder records;
        for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t) {
            const uint32_t width = t == FRAME_RAW_FRAME_UNPROCESSED ? rawWidth(k) : 0;
            records.put<uint8_t>(static_cast<uint8_t>(t));
            records.put<int64_t>(k + 1);
            records.put<int64_t>((k + 1) * 1000);
            records.put<uint32_t>(width);
            records.put<uint32_t>(width > 0 ? 1 : 0);
            records.put<uint32_t>(1);
            records.put<uint32_t>(0);
        }
        detail::Encoder head;
        head.put<uint32_t>(static_cast<uint32_t>(records.bytes.size()));
        head.put<uint32_t>(detail::crc32(records.bytes.data(), records.bytes.size()));
        bytes.insert(bytes.end(), head.bytes.begin(), head.bytes.end());
        bytes.insert(bytes.end(), records.bytes.begin(), records.bytes.end());
    }
    return bytes;
}

std::vector<char> withIndex(std::vector<char> bytes, const std::vector<uint64_t>& offsets)
{
    const auto footer = detail::indexFooter(offsets);
    bytes.insert(bytes.end(), footer.begin(), footer.end());
    return bytes;
}

// The small header, then `count` damaged set heads of 8 bytes, listed by an
// index whose checksum holds.
std::vector<char> headsListed(const std::string& file, int count)
{
    std::vector<char> bytes = headOnlySets(file, 0, nullptr);
    std::vector<uint64_t> offsets;
    for (int k = 0; k < count; ++k) {
        offsets.push_back(bytes.size());
        bytes.insert(bytes.end(), {'\xff', '\xff', '\xff', '\xff', 0, 0, 0, 0});
    }
    return withIndex(bytes, offsets);
}

// `count` sets of the shortest length, each with its length and checksum
// damaged; with the index, whose checksum holds, or without.
std::vector<char> damagedShortSets(const std::string& file, int count, bool listed)
{
    std::vector<char> bytes = headOnlySets(file, count, [](int) { return 0u; });
    constexpr uint64_t setLength = 8 + 4 * 33;
    std::vector<uint64_t> offsets;
    for (uint64_t k = 0, start = bytes.size() - count * setLength; k < static_cast<uint64_t>(count); ++k) {
        offsets.push_back(start + k * setLength);
        putU32(bytes, offsets.back(), 7);
        bytes[offsets.back() + 4] ^= 0x01;
    }
    return listed ? withIndex(bytes, offsets) : bytes;
}

} // namespace

TEST_F(StreamFiles, WhatDamageCostsIsBoundedByTheFile)
{
    // A sound index of 100000 sets over 8-byte set heads claims more sets
    // than the file has room for: it is not used.
    const std::vector<char> claims = headsListed(path("claims.tvks"), 100000);
    writeFile(path("claims.tvks"), claims, claims.size());
    FrameStreamReader claimed(path("claims.tvks"), system);
    ASSERT_TRUE(claimed.isStreamGood());
    EXPECT_EQ(claimed.size(), 0);
    EXPECT_LE(claimed.damageNotes().size(), 1u);

    // 1000 sets of the shortest length under a sound index, each with its
    // length and checksum damaged: the first ten named, the rest counted;
    // every one says why when read.
    const std::vector<char> bytes = damagedShortSets(path("damaged.tvks"), 1000, true);
    writeFile(path("damaged.tvks"), bytes, bytes.size());
    FrameStreamReader damaged(path("damaged.tvks"), system);
    ASSERT_EQ(damaged.size(), 1000);
    std::vector<std::string> expected;
    for (int k = 0; k < 10; ++k)
        expected.push_back(skippedSetNote(k, 1000, "frame set length mismatch"));
    expected.push_back("\u2026 and 990 more frame sets skipped: frame set length mismatch");
    EXPECT_EQ(damaged.damageNotes(), expected);
    damaged.seekTo(500);
    EXPECT_FALSE(damaged.readNext());
    EXPECT_EQ(damaged.failedReadNote(), "frame set 501 / 1000 skipped: frame set length mismatch");

    // Reasons that differ: the rest counted by the first three, then together.
    const std::vector<char> wide = headOnlySets(path("wide.tvks"), 15, [](int k) { return 8193u + k; });
    writeFile(path("wide.tvks"), wide, wide.size());
    FrameStreamReader widths(path("wide.tvks"), system);
    ASSERT_EQ(widths.size(), 15);
    const auto tooWide = [](int k) {
        return "frame of " + std::to_string(8193 + k) + " x 1 pixels is too large: more than 8192 per side";
    };
    expected.clear();
    for (int k = 0; k < 10; ++k)
        expected.push_back(skippedSetNote(k, 15, tooWide(k)));
    for (int k = 10; k < 13; ++k)
        expected.push_back("\u2026 and 1 more frame set skipped: " + tooWide(k));
    expected.push_back("\u2026 and 2 more frame sets skipped for other reasons");
    EXPECT_EQ(widths.damageNotes(), expected);
}

TEST_F(StreamFiles, AnOpenCostsInStepWithTheFileAsksToGoOnOftenAndEndsSoonAfterItIsToldTo)
{
    namespace disk = KelvraTest::FailingDisk;
    // 12000 sets with their length and checksum damaged, under a sound index
    // (its check gathers the damage) and without one (a scan does); an index
    // of 120000 sets over set heads alone; 3 MB that hold no set before sets,
    // and 5000 sets each after 3 bytes that are not (searched); an index
    // written 2000 times after the sets (each copy looked at).
    constexpr uint64_t setLength = 8 + 4 * 33;
    const std::vector<char> five = headOnlySets(path("five.tvks"), 5, [](int) { return 0u; });
    const auto setsOf = [&](const std::vector<char>& bytes, int count) {
        return std::vector<char>(bytes.end() - static_cast<std::ptrdiff_t>(count * setLength), bytes.end());
    };
    std::vector<char> noise = headOnlySets(path("noise.tvks"), 0, nullptr);
    noise.resize(noise.size() + (3u << 20), '\x5a');
    const std::vector<char> fiveSets = setsOf(five, 5);
    noise.insert(noise.end(), fiveSets.begin(), fiveSets.end());
    std::vector<char> spotted = headOnlySets(path("spotted.tvks"), 0, nullptr);
    const std::vector<char> many = setsOf(headOnlySets(path("many.tvks"), 5000, [](int) { return 0u; }), 5000);
    for (int k = 0; k < 5000; ++k) {
        spotted.insert(spotted.end(), 3, '\x5a');
        const auto set = many.begin() + static_cast<std::ptrdiff_t>(k * setLength);
        spotted.insert(spotted.end(), set, set + static_cast<std::ptrdiff_t>(setLength));
    }
    std::vector<uint64_t> offsets;
    for (uint64_t k = 0; k < 5; ++k)
        offsets.push_back(five.size() - (5 - k) * setLength);
    std::vector<char> copies = five;
    const auto footer = detail::indexFooter(offsets);
    for (int k = 0; k < 2000; ++k)
        copies.insert(copies.end(), footer.begin(), footer.end());
    const std::vector<std::pair<std::string, std::vector<char>>> files = {
        {"indexed", damagedShortSets(path("open.tvks"), 12000, true)},
        {"scanned", damagedShortSets(path("open.tvks"), 12000, false)},
        {"claims", headsListed(path("open.tvks"), 120000)},
        {"searched", noise},
        {"spotted", spotted},
        {"copies", copies}};
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        writeFile(path("open.tvks"), bytes, bytes.size());
        // A few times the file's bytes read at most, and told at least every
        // so many reads.
        std::vector<uint64_t> told;
        {
            const disk::Watch counting(path("open.tvks"));
            FrameStreamReader reader(path("open.tvks"), system, [&](uint64_t, uint64_t) {
                told.push_back(disk::reads());
                return true;
            });
            ASSERT_TRUE(reader.isStreamGood());
            EXPECT_LE(disk::bytesRead(), 16 * bytes.size());
            // Not a read for each look at a few bytes: one for each 16 KiB or so.
            EXPECT_LE(disk::reads(), bytes.size() / 16384 + 32);
            told.push_back(disk::reads());
        }
        ASSERT_GE(told.size(), 2u);
        for (std::size_t i = 0; i < told.size(); ++i)
            EXPECT_LE(told[i] - (i > 0 ? told[i - 1] : 0), 100000u) << "before call " << i + 1;
        // Given up at each call: a few reads more at most.
        for (std::size_t call = 1; call < told.size(); ++call) {
            const disk::Watch counting(path("open.tvks"));
            std::size_t calls = 0;
            uint64_t atCancel = 0;
            FrameStreamReader reader(path("open.tvks"), system, [&](uint64_t, uint64_t) {
                atCancel = disk::reads();
                return ++calls < call;
            });
            EXPECT_EQ(reader.errorString(), "opening cancelled") << "at call " << call;
            EXPECT_LE(disk::reads() - atCancel, 16u) << "at call " << call;
        }
    }
}

TEST(PlainFile, OnlyARegularFileIsOpenedAndItWaitsAsUsual)
{
    char folder[] = "/tmp/tavik-plain-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string file = std::string(folder) + "/file", fifo = std::string(folder) + "/fifo";
    std::ofstream(file) << "12345";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const int flags : {O_RDONLY, O_RDWR, O_WRONLY | O_APPEND | O_CREAT}) {
        const PlainFile plain = openPlainFile(file, flags);
        ASSERT_GE(plain.fd, 0) << plain.reason;
        EXPECT_EQ(plain.size, 5u);
        EXPECT_EQ(::fcntl(plain.fd, F_GETFL) & (O_NONBLOCK | O_ACCMODE), flags & O_ACCMODE);
        EXPECT_NE(::fcntl(plain.fd, F_GETFD) & FD_CLOEXEC, 0);
        ::close(plain.fd);
        // A FIFO with no one at its other end neither holds the open up nor is opened.
        const PlainFile pipe = openPlainFile(fifo, flags);
        EXPECT_EQ(pipe.fd, -1);
        EXPECT_EQ(pipe.error, 0);
        EXPECT_EQ(pipe.reason, "not a regular file");
        const PlainFile directory = openPlainFile(folder, flags);
        EXPECT_EQ(directory.fd, -1);
        EXPECT_EQ(directory.reason, "a folder, not a file");
    }
    const PlainFile missing = openPlainFile(std::string(folder) + "/none", O_RDONLY);
    EXPECT_EQ(missing.fd, -1);
    EXPECT_EQ(missing.error, ENOENT);
    EXPECT_EQ(missing.reason, std::strerror(ENOENT));
    fs::remove_all(folder);
}
