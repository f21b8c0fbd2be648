#include "LoopThread.h"

#include "EmuServer.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace vantry::emu {

LoopThread::~LoopThread()
{
    stop();
    closeWake();
}

void LoopThread::openWake()
{
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        throw EmuError("pipe: " + std::string(std::strerror(errno)));
}

void LoopThread::start(std::function<void()> loop)
{
    m_stop = false;
    m_thread = std::thread(std::move(loop));
}

bool LoopThread::stop()
{
    if (!m_thread.joinable())
        return false;
    m_stop = true;
    const char wake = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wake[1], &wake, 1);
    m_thread.join();
    closeWake();
    return true;
}

void LoopThread::closeWake()
{
    for (int& fd : m_wake) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

} // namespace vantry::emu
