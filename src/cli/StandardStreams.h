#pragma once

#include <cstdio>
#include <ostream>
#include <streambuf>

namespace vantry::cli {

// Exit status when what the command printed could not be written.
inline constexpr int ExitOutputLost = 3;

struct StandardStreams
{
    bool outputOpen = true; // standard output was open when the program started
};

// Fills a closed descriptor 0, 1 or 2 with /dev/null, so that no socket or file the program opens
// later takes that number and receives its output or messages; says whether standard output was
// open. Call first, before anything opens a descriptor.
StandardStreams holdStandardDescriptors();

// Buffered output straight to a descriptor, keeping the first write error: an ostream keeps only
// that something failed, and errno is long gone by the time the program ends.
class DescriptorOutput : public std::streambuf
{
public:
    explicit DescriptorOutput(int fd);
    ~DescriptorOutput() override;
    DescriptorOutput(const DescriptorOutput&) = delete;
    DescriptorOutput& operator=(const DescriptorOutput&) = delete;

    int error() const { return m_error; } // 0 while every write succeeded

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    bool drain();

    int m_fd;
    int m_error = 0;
    char m_buffer[1 << 16];
};

// The exit status once `out` is flushed: `status` as it is, or ExitOutputLost with a message on
// `err` when the output was lost (a full disk, a closed standard output). A script must be able to
// tell that its output never arrived.
int finishOutput(int status, const StandardStreams& streams, std::ostream& out, DescriptorOutput& written,
                 std::ostream& err);
// The same for what was written through stdio's `file`.
int finishOutput(int status, const StandardStreams& streams, std::FILE* file);

} // namespace vantry::cli
