// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The descriptors of this process: the names that reach one, and output
// written straight onto one.
#pragma once

#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace larkspur::platform {

// The open descriptor of this process that `path` names: /dev/stdout,
// /dev/stderr, /dev/fd/N, /proc/self/fd/N (or /proc/PID/fd/N of this
// process), open for writing; -1 for any other name. Opening such a name
// anew would start a file that standard output was redirected to from its
// beginning again, or replace it; the descriptor itself writes where the
// shell left it, as "-" does.
int OpenDescriptorNamed(const std::string& path);

// An output buffer straight onto a descriptor, so write errors (a full disk,
// a file size limit) are seen where they happen.
class DescriptorBuffer : public std::streambuf {
public:
    explicit DescriptorBuffer(int fd) : m_fd(fd), m_buffer(1 << 16)
    {
        setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    }
    // The system's error number of a write that failed; 0 while none did.
    int writeError() const { return m_error; }

protected:
    int_type overflow(int_type ch) override
    {
        if (drain() != 0)
            return traits_type::eof();
        if (!traits_type::eq_int_type(ch, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(ch);
            pbump(1);
        }
        return traits_type::not_eof(ch);
    }
    int sync() override { return drain(); }

private:
    int drain();

    int m_fd;
    std::vector<char> m_buffer;
    int m_error = 0;
};

// Standard output written straight to its descriptor; unlike the buffer of
// std::cout it keeps the system's reason when a write fails.
std::unique_ptr<std::streambuf> StandardOutputBuffer();
// The system's error number of the first failed write through `out` when
// its buffer is one of this layer's, else 0.
int WriteError(const std::ostream& out);

}  // namespace larkspur::platform
