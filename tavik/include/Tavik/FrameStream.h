#pragma once
// Recorded streams: a reader that plays a file frame set by frame set, and a
// writer that records one. Every reader call is atomic with respect to the
// others (one internal lock), so two threads may use one reader.
//
// File layout (little endian):
//   header  "TVKSTRM\0", u32 version, text camera type, text chipset,
//           u32 width, u32 height, u32 n, n × (text name, f64 value),
//           u8 hasCalib [, 4 × f32 fx fy cx cy], u32 header CRC32
//   body    frame sets: u32 length, u32 CRC32 of the record, then four frame
//           records in type order (u8 type, i64 id, i64 timestamp, u32 width,
//           u32 height, u32 sub-frame count, u32 payload length, payload)
//   footer  u64 × count set offsets, u32 count, u32 CRC32, "TVKINDEX"
// A text is u32 length + bytes. Each CRC32 covers the bytes it follows (the
// header from the magic on, the four records of a set, the index with its
// count). A file without a valid footer, or whose index does not line up
// with its sets, is scanned.
//
// Limits, well above any camera modelled here: a header of at most 1 MiB,
// texts of at most 4096 bytes, at most 1024 stream parameters, frames of at
// most 8192 pixels a side and sets of at most 256 MiB (their records). A
// header beyond them is refused ("too large", "too long"), a set beyond them
// skipped as damaged, in both cases before anything is allocated for it.
//
// Damage costs only the sets it hits: a set whose length alone is damaged is
// read where a sound index or its own records say it ends, when its checksum
// holds; one that fails its checksum is skipped; a scan passes over what is
// not a set to the next whole set, in time linear in the file's size. An
// index that lists more sets than the file has room for (a set has at least
// its head and four frame heads) is not used. What the open keeps is in step
// with the file's size, whatever the file claims. damageNotes() tells what
// the open found lost or wrong. A read the disk fails names the system's
// reason.

#include "Tavik/Common.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Tavik {

using FrameSet = std::array<FramePtr, FRAME_TYPE_COUNT>;

struct StreamHeader {
    std::string cameraType;
    std::string chipset;
    int width = 0;
    int height = 0;
    std::map<std::string, double> streamParams;
    std::optional<std::array<float, 4>> calib; // fx, fy, cx, cy
};

namespace detail {
struct ReaderState;
struct WriterState;
} // namespace detail

class FrameStreamReader : public StreamParamProvider {
public:
    // Told now and then, on the opening thread, how far a scan of the file
    // has come (bytes looked at, of the file's size); false gives the open
    // up ("opening cancelled").
    using OpenProgress = std::function<bool(uint64_t done, uint64_t total)>;

    // Opens the file; never fails outright: isStreamGood() tells. Only a
    // regular file is opened, so the open never waits on a pipe or device.
    FrameStreamReader(const std::string& path, CameraSystem& cameraSystem, OpenProgress progress = {});
    ~FrameStreamReader() override;
    FrameStreamReader(const FrameStreamReader&) = delete;
    FrameStreamReader& operator=(const FrameStreamReader&) = delete;

    // False when the file is missing, unreadable or its header is bad.
    bool isStreamGood() const;
    // Reads the set at currentPosition() into frame objects no one else holds
    // (their storage is used again once every holder has let go) and advances
    // by one. False at the end (the position stays), when the set is damaged
    // or the disk fails to read it (the position moves past it), or when the
    // file has been cut short since the open before the set's end (the sets
    // no longer there are gone: size() and the position end before them).
    // frames() then keeps the set read before; errorString() tells why and
    // failedReadNote() what was lost. A file that grows is read as opened.
    bool readNext();
    // What the last readNext() that failed lost, as a player tells it:
    // "frame set 4 / 8 skipped: frame set checksum mismatch", "cannot read
    // frame set 167 / 300: Input/output error", or the set a file cut short
    // since the open now ends in ("recording cut short in frame set 151: …").
    // Empty at the end and after a read that succeeded.
    std::string failedReadNote() const;
    // The frames of the set just read, indexed by frame type (all four, or all
    // empty before the first read).
    FrameSet frames() const;
    // Position of the next set to read, 0 .. size().
    int currentPosition() const;
    int size() const;
    // What the open found the file to lose, one line each in file order: the
    // first sets it cannot read one by one (skippedSetNote()), the rest
    // counted by reason ("… and 9,999,990 more frame sets skipped: frame set
    // length mismatch"), then the set a file cut short ends in ("recording
    // cut short in frame set 6: 1000 of 2764841 bytes"), or what is wrong
    // with an index that was not used ("index is empty"). Sets that fail
    // their checksum are found only when read. Empty for a sound file.
    std::vector<std::string> damageNotes() const;
    // Makes that set the next one read; clamped to 0 .. size().
    bool seekTo(int position);
    Result<float> getStreamParamf(const std::string& name) const override;

    const StreamHeader& header() const;
    // Why the stream is not good (the file is missing, a folder, not a regular
    // file, not readable, the disk fails to read it, not a recorded stream, its
    // header is damaged or too large), or why the last read failed.
    std::string errorString() const;

private:
    std::unique_ptr<detail::ReaderState> d_;
};

class FrameStreamWriter {
public:
    FrameStreamWriter(const std::string& path, const StreamHeader& header);
    ~FrameStreamWriter(); // closes (writes the index) when still open
    FrameStreamWriter(const FrameStreamWriter&) = delete;
    FrameStreamWriter& operator=(const FrameStreamWriter&) = delete;

    bool isOpen() const;
    // Appends one set; every frame present, in type order.
    bool write(const FrameSet& frames);
    // Writes the index footer; false on an I/O error.
    bool close();
    int setsWritten() const;
    // File offsets of the sets written so far (for tools that patch files).
    std::vector<uint64_t> setOffsets() const;

    // The header a camera's recording carries (type, chipset, size, stream
    // parameters, calibration of the active profile).
    static StreamHeader headerFor(const DepthCamera& camera);

private:
    std::unique_ptr<detail::WriterState> d_;
};

// "frame set 3 / 20 skipped: <why>" for the set at `position` of `size`,
// counted from 1 as a player shows positions.
std::string skippedSetNote(int position, int size, const std::string& why);

// Records `sets` frame sets from a running camera into `path` (blocking; the
// camera is started and stopped by the call). For the sample recording.
bool recordFromCamera(const DepthCameraPtr& camera, const std::string& path, int sets, std::string* error = nullptr);

} // namespace Tavik
