// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// POSIX: the descriptors of this process, and output written onto one.
#include "descriptors.h"

#include <cerrno>
#include <string_view>

#include <fcntl.h>
#include <unistd.h>

namespace larkspur::platform {

int DescriptorBuffer::drain()
{
    const char* data = pbase();
    std::size_t left = static_cast<std::size_t>(pptr() - pbase());
    while (left > 0) {
        const ssize_t written = ::write(m_fd, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            m_error = errno;
            return -1;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    return 0;
}

int OpenDescriptorNamed(const std::string& path)
{
    std::string_view rest = path;
    int number = -1;
    if (rest == "/dev/stdout") {
        number = STDOUT_FILENO;
    } else if (rest == "/dev/stderr") {
        number = STDERR_FILENO;
    } else {
        const std::string own = "/proc/" + std::to_string(::getpid()) + "/fd/";
        for (const std::string_view prefix : {std::string_view("/dev/fd/"), std::string_view("/proc/self/fd/"),
                                              std::string_view("/proc/thread-self/fd/"), std::string_view(own)}) {
            if (rest.starts_with(prefix)) {
                rest.remove_prefix(prefix.size());
                if (rest.empty() || rest.size() > 9 || rest.find_first_not_of("0123456789") != std::string_view::npos
                    || (rest.size() > 1 && rest[0] == '0'))
                    return -1;
                number = std::stoi(std::string(rest));
                break;
            }
        }
    }
    if (number < 0)
        return -1;
    const int flags = ::fcntl(number, F_GETFL);
    if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY)
        return -1;
    return number;
}

std::unique_ptr<std::streambuf> StandardOutputBuffer()
{
    return std::make_unique<DescriptorBuffer>(STDOUT_FILENO);
}

int WriteError(const std::ostream& out)
{
    const auto* buffer = dynamic_cast<const DescriptorBuffer*>(out.rdbuf());
    return buffer ? buffer->writeError() : 0;
}

}  // namespace larkspur::platform
