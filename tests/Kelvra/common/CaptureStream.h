#pragma once
// Test helper: a string stream buffer that several threads may write to at
// once, and a guard that puts it in place of std::cout's buffer.

#include <iostream>
#include <mutex>
#include <streambuf>
#include <string>

namespace KelvraTest {

class LockedStringBuf : public std::streambuf {
public:
    std::string text() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return data;
    }
    int syncCount() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return syncs;
    }

protected:
    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        data.append(s, static_cast<std::size_t>(n));
        return n;
    }
    int_type overflow(int_type ch) override
    {
        if (traits_type::eq_int_type(ch, traits_type::eof()))
            return traits_type::not_eof(ch);
        std::lock_guard<std::mutex> lock(mutex);
        data += traits_type::to_char_type(ch);
        return ch;
    }
    int sync() override
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++syncs;
        return 0;
    }

private:
    mutable std::mutex mutex;
    std::string data;
    int syncs = 0;
};

// Captures std::cout (or another stream) for its lifetime.
class CaptureStream {
public:
    explicit CaptureStream(std::ostream& stream = std::cout)
        : stream(stream)
        , old(stream.rdbuf(&buf))
    {
    }
    ~CaptureStream() { stream.rdbuf(old); }
    std::string text() const { return buf.text(); }
    LockedStringBuf& buffer() { return buf; }

private:
    LockedStringBuf buf;
    std::ostream& stream;
    std::streambuf* old;
};

} // namespace KelvraTest
