#include "StandardStreams.h"

#include "CliRun.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace vantry::cli {

namespace {

// errno as the failed write left it, when it is one a write to standard output can give; other
// calls since (a socket's EAGAIN, say) would only mislead.
std::string writeFailure(int error)
{
    switch (error) {
    case ENOSPC:
    case EBADF:
    case EPIPE:
    case EIO:
    case EFBIG:
    case EDQUOT:
    case EROFS:
        return std::string(": ") + std::strerror(error);
    default:
        return {};
    }
}

bool isOpen(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1 || errno != EBADF;
}

// The message when the output was lost; empty when it was not.
std::string lostOutput(bool written, int error, const StandardStreams& streams)
{
    if (!streams.outputOpen)
        return "vantry: standard output is closed; the output was lost\n";
    if (!written)
        return "vantry: cannot write the output" + writeFailure(error) + "\n";
    return {};
}

int finalStatus(int status, const std::string& lost)
{
    if (lost.empty())
        return status;
    // Bad arguments stay bad arguments: the usage went to standard error.
    return status == ExitBadArguments ? status : ExitOutputLost;
}

} // namespace

StandardStreams holdStandardDescriptors()
{
    StandardStreams streams;
    for (int fd = 0; fd <= 2; ++fd) {
        if (isOpen(fd))
            continue;
        if (fd == STDOUT_FILENO)
            streams.outputOpen = false;
        // open() takes the lowest free number, which is this one.
        const int filler = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (filler != fd && filler >= 0)
            ::close(filler);
    }
    return streams;
}

DescriptorOutput::DescriptorOutput(int fd) : m_fd(fd)
{
    setp(m_buffer, m_buffer + sizeof m_buffer);
}

DescriptorOutput::~DescriptorOutput()
{
    drain();
}

bool DescriptorOutput::drain()
{
    const char* next = pbase();
    while (next < pptr()) {
        const ssize_t n = ::write(m_fd, next, static_cast<std::size_t>(pptr() - next));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (m_error == 0)
                m_error = n < 0 ? errno : EIO;
            break;
        }
        next += n;
    }
    // What could not be written is dropped: the first error is what gets reported.
    setp(m_buffer, m_buffer + sizeof m_buffer);
    return m_error == 0;
}

DescriptorOutput::int_type DescriptorOutput::overflow(int_type c)
{
    if (!drain())
        return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int DescriptorOutput::sync()
{
    return drain() ? 0 : -1;
}

int finishOutput(int status, const StandardStreams& streams, std::ostream& out, DescriptorOutput& written,
                 std::ostream& err)
{
    out.flush();
    const std::string lost = lostOutput(written.error() == 0 && out, written.error(), streams);
    if (!lost.empty())
        err << lost << std::flush;
    return finalStatus(status, lost);
}

int finishOutput(int status, const StandardStreams& streams, std::FILE* file)
{
    errno = 0;
    const bool flushed = std::fflush(file) == 0;
    const int error = errno;
    const std::string lost = lostOutput(flushed && !std::ferror(file), error, streams);
    if (!lost.empty())
        std::fputs(lost.c_str(), stderr);
    return finalStatus(status, lost);
}

} // namespace vantry::cli
