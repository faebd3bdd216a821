#pragma once
// Captures what the program prints: takes the place of std::cout's stream
// buffer (or std::cerr's), passes every write on to the buffer it replaced and
// then emits it as outputWritten, one emission per write, unchanged. Every
// other stream request (a flush) goes to the kept buffer. Destruction puts
// the kept buffer back.
//
// The host installs the redirector before other threads print and destroys it
// after they have stopped. Writes from several threads are passed on one at a
// time; each is emitted whole on the thread that wrote it, so a receiver in
// another thread gets it queued.

#include <QObject>
#include <QString>

#include <iosfwd>
#include <memory>
#include <streambuf>
#include <string_view>

namespace Kelvra {

class OutputRedirector : public QObject {
    Q_OBJECT
public:
    // `standardOutput` true captures std::cout, false std::cerr.
    OutputRedirector(QObject* parent, bool standardOutput = true);
    ~OutputRedirector() override;

    // Passes `text` on to the kept buffer, then emits it. When the kept buffer
    // takes less than all of it, nothing is emitted and false is returned.
    bool write(std::string_view text);

signals:
    void outputWritten(const QString& text);

private:
    class Buffer;
    std::ostream& slot() const;

    const bool _stdout;
    std::unique_ptr<Buffer> buffer;
    std::streambuf* _stream; // the replaced buffer; not owned
};

} // namespace Kelvra
