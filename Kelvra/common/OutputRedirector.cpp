#include "Kelvra/common/OutputRedirector.h"

#include <iostream>
#include <mutex>

namespace Kelvra {

// Unbuffered, so every write reaches write() as the stream hands it over.
class OutputRedirector::Buffer : public std::streambuf {
public:
    explicit Buffer(OutputRedirector& owner)
        : owner(owner)
    {
    }

    // Passes text on under the lock: the kept buffer (a string buffer, say)
    // need not be safe for several writers. Emission happens outside it, so a
    // receiver that prints does not wait for itself.
    bool pass(std::string_view text)
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto size = static_cast<std::streamsize>(text.size());
        return owner._stream && owner._stream->sputn(text.data(), size) == size;
    }

protected:
    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        return owner.write(std::string_view(s, static_cast<std::size_t>(n))) ? n : 0;
    }

    int_type overflow(int_type ch) override
    {
        if (traits_type::eq_int_type(ch, traits_type::eof()))
            return traits_type::not_eof(ch);
        const char c = traits_type::to_char_type(ch);
        return owner.write(std::string_view(&c, 1)) ? ch : traits_type::eof();
    }

    int sync() override
    {
        std::lock_guard<std::mutex> lock(mutex);
        return owner._stream ? owner._stream->pubsync() : -1;
    }

private:
    OutputRedirector& owner;
    std::mutex mutex;
};

OutputRedirector::OutputRedirector(QObject* parent, bool standardOutput)
    : QObject(parent)
    , _stdout(standardOutput)
    , buffer(std::make_unique<Buffer>(*this))
    , _stream(slot().rdbuf(buffer.get()))
{
}

OutputRedirector::~OutputRedirector()
{
    slot().rdbuf(_stream);
}

std::ostream& OutputRedirector::slot() const
{
    return _stdout ? std::cout : std::cerr;
}

bool OutputRedirector::write(std::string_view text)
{
    if (!buffer->pass(text))
        return false;
    emit outputWritten(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
    return true;
}

} // namespace Kelvra
