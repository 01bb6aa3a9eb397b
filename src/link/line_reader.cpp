#include "line_reader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <streambuf>
#include <sys/stat.h>
#include <unistd.h>

namespace plovan {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// The bytes of an open descriptor, a buffer at a time, at most `limit` of
// them: a file that grows while it is read, or one whose size the system
// does not know (/proc), is cut there and said to be too large.
class DescriptorBuffer : public std::streambuf {
public:
    DescriptorBuffer(int fd, std::uintmax_t limit) : fd_(fd), limit_(limit) {}
    int readError() const { return error_; }
    bool tooLarge() const { return total_ > limit_; }

protected:
    int_type underflow() override
    {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        if (tooLarge()) return traits_type::eof();
        // One byte past the limit tells a file of exactly `limit` bytes from a larger one.
        const std::size_t want = std::size_t(std::min<std::uintmax_t>(buffer_.size(), limit_ - total_ + 1));
        ssize_t n = 0;
        do
            n = ::read(fd_, buffer_.data(), want);
        while (n < 0 && errno == EINTR);
        if (n <= 0) {
            if (n < 0) error_ = errno;
            return traits_type::eof();
        }
        total_ += std::uintmax_t(n);
        if (tooLarge()) return traits_type::eof();
        setg(buffer_.data(), buffer_.data(), buffer_.data() + n);
        return traits_type::to_int_type(*gptr());
    }

private:
    int fd_;
    std::uintmax_t limit_;
    std::uintmax_t total_ = 0;
    int error_ = 0;
    std::array<char, 64 * 1024> buffer_{};
};

} // namespace

LineReader::LineReader(std::istream& in, std::size_t maxLineChars) : in_(in), maxLineChars_(maxLineChars) {}

std::optional<FileLine> LineReader::next()
{
    if (!error_.empty()) return std::nullopt;
    std::streambuf* bytes = in_.rdbuf();
    if (!bytes) return std::nullopt;
    FileLine line;
    line.number = number_ + 1;
    // The mark does not count against the first line's length.
    const std::size_t cap = maxLineChars_ + (number_ == 0 ? kBom.size() : 0);
    for (;;) {
        const auto c = bytes->sbumpc();
        if (c == std::streambuf::traits_type::eof()) {
            if (line.text.empty()) return std::nullopt;
            break;
        }
        if (c == '\n') {
            line.end = "\n";
            break;
        }
        if (c == '\r') {
            line.end = "\r";
            if (bytes->sgetc() == '\n') {
                bytes->sbumpc();
                line.end = "\r\n";
            }
            break;
        }
        if (line.text.size() >= cap) {
            error_ = "line " + std::to_string(line.number) + " is longer than " +
                     std::to_string(maxLineChars_) + " characters";
            return std::nullopt;
        }
        line.text.push_back(static_cast<char>(c));
    }
    if (number_ == 0 && std::string_view(line.text).starts_with(kBom)) {
        line.text.erase(0, kBom.size());
        bomSkipped_ = true;
    }
    number_ = line.number;
    return line;
}

struct TextFile::Impl {
    int fd = -1;
    std::unique_ptr<DescriptorBuffer> buffer;
    std::unique_ptr<std::istream> stream;
    std::unique_ptr<LineReader> reader;
    std::uintmax_t maxBytes = 0;

    ~Impl()
    {
        if (fd >= 0) ::close(fd);
    }
};

TextFile::TextFile() = default;
TextFile::~TextFile() = default;

std::string TextFile::open(const std::string& path, const TextLimits& limits)
{
    d_.reset();
    if (path.empty()) return "no file name given";
    auto d = std::make_unique<Impl>();
    // Not blocking, so that opening a FIFO without a writer returns at once;
    // it is refused below, as is anything else that is not a regular file.
    d->fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (d->fd < 0) return std::strerror(errno);
    struct stat st {};
    if (::fstat(d->fd, &st) != 0) return std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return "it is a folder, not a file";
    if (!S_ISREG(st.st_mode)) return "it is not a regular file (a device, pipe or socket)";
    if (std::uintmax_t(st.st_size) > limits.maxBytes)
        return "it has " + std::to_string(st.st_size) + " bytes; a file of this kind has at most " +
               std::to_string(limits.maxBytes);
    const int flags = ::fcntl(d->fd, F_GETFL);
    if (flags >= 0) ::fcntl(d->fd, F_SETFL, flags & ~O_NONBLOCK);
    d->buffer = std::make_unique<DescriptorBuffer>(d->fd, limits.maxBytes);
    d->maxBytes = limits.maxBytes;
    d->stream = std::make_unique<std::istream>(d->buffer.get());
    d->reader = std::make_unique<LineReader>(*d->stream, limits.maxLineChars);
    d_ = std::move(d);
    return {};
}

std::optional<FileLine> TextFile::next()
{
    return d_ ? d_->reader->next() : std::nullopt;
}

std::size_t TextFile::linesRead() const
{
    return d_ ? d_->reader->linesRead() : 0;
}

std::string TextFile::error() const
{
    if (!d_) return {};
    if (d_->buffer->tooLarge())
        return "it has more than " + std::to_string(d_->maxBytes) + " bytes; a file of this kind has no more";
    if (d_->buffer->readError() != 0)
        return "reading stopped after line " + std::to_string(d_->reader->linesRead()) + ": " +
               std::strerror(d_->buffer->readError());
    return d_->reader->error();
}

bool TextFile::bomSkipped() const
{
    return d_ && d_->reader->bomSkipped();
}

std::string quotedText(std::string_view text, std::size_t shown)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (const char c : text.substr(0, shown)) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7F || c == '\\') {
            out += "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 0xF];
        }
        else {
            out += c;
        }
    }
    if (text.size() > shown) out += "...";
    return out + "\"";
}

} // namespace plovan
