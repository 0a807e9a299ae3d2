// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "gzip/gzip.h"

#include <streambuf>
#include <vector>

#include <zlib.h>

namespace larkspur {

class GzipWriter::Buffer : public std::streambuf {
public:
    explicit Buffer(std::ostream& out) : m_out(out), m_input(1 << 16), m_output(1 << 16)
    {
        // 15 + 16: the largest window, wrapped as gzip with a header of zlib's
        // own (no name, no time), so the same text compresses to the same bytes.
        m_ready = deflateInit2(&m_zlib, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) == Z_OK;
        if (!m_ready)
            m_error = "cannot start compressing";
        setp(m_input.data(), m_input.data() + m_input.size());
    }
    ~Buffer() override
    {
        if (m_ready)
            deflateEnd(&m_zlib);
    }

    int finish(std::string& error)
    {
        if (m_finished) {
            error = "already finished";
            return -1;
        }
        m_finished = true;
        const bool compressed = compress(Z_FINISH) == 0;
        setp(nullptr, nullptr);
        if (!compressed || !m_out.flush()) {
            error = m_error.empty() ? "cannot write the compressed file" : m_error;
            return -1;
        }
        return 0;
    }

    std::uint64_t uncompressed() const { return m_total; }

protected:
    int_type overflow(int_type ch) override
    {
        if (m_finished || compress(Z_NO_FLUSH) != 0)
            return traits_type::eof();
        if (!traits_type::eq_int_type(ch, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(ch);
            pbump(1);
        }
        return traits_type::not_eof(ch);
    }
    // A flush of the text stream only hands the text to zlib: flushing the
    // compressed stream would cost compression and bytes.
    int sync() override { return m_finished ? 0 : compress(Z_NO_FLUSH); }

private:
    // Compresses the buffered text, with `flush` as zlib's flush mode.
    int compress(int flush)
    {
        if (!m_ready || !m_error.empty())
            return -1;
        const std::size_t pending = static_cast<std::size_t>(pptr() - pbase());
        m_total += pending;
        m_zlib.next_in = reinterpret_cast<Bytef*>(pbase());
        m_zlib.avail_in = static_cast<uInt>(pending);
        for (;;) {
            m_zlib.next_out = reinterpret_cast<Bytef*>(m_output.data());
            m_zlib.avail_out = static_cast<uInt>(m_output.size());
            const int result = deflate(&m_zlib, flush);
            if (result == Z_STREAM_ERROR) {
                m_error = "compressing failed";
                return -1;
            }
            const std::size_t produced = m_output.size() - m_zlib.avail_out;
            if (produced > 0 && !m_out.write(m_output.data(), static_cast<std::streamsize>(produced))) {
                m_error = "cannot write the compressed file";
                return -1;
            }
            if (flush == Z_FINISH ? result == Z_STREAM_END : m_zlib.avail_out != 0)
                break;
        }
        setp(m_input.data(), m_input.data() + m_input.size());
        return 0;
    }

    std::ostream& m_out;
    std::vector<char> m_input;
    std::vector<char> m_output;
    z_stream m_zlib{};
    bool m_ready = false;
    bool m_finished = false;
    std::uint64_t m_total = 0;
    std::string m_error;
};

GzipWriter::GzipWriter(std::ostream& out) : m_buffer(std::make_unique<Buffer>(out)), m_stream(m_buffer.get()) {}

GzipWriter::~GzipWriter() = default;

std::ostream& GzipWriter::stream()
{
    return m_stream;
}

int GzipWriter::finish(std::string& error)
{
    m_stream.flush();
    if (!m_stream) {
        m_buffer->finish(error);
        error = "cannot write the compressed file";
        return -1;
    }
    return m_buffer->finish(error);
}

std::uint64_t GzipWriter::uncompressedBytes() const
{
    return m_buffer->uncompressed();
}

int Gunzip(std::string_view compressed, std::string& text, std::size_t limit, std::string& error, bool startOnly)
{
    z_stream zlib{};
    if (inflateInit2(&zlib, 15 + 16) != Z_OK) {
        error = "cannot start decompressing";
        return -1;
    }
    std::string out;
    std::vector<char> buffer(1 << 16);
    zlib.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    zlib.avail_in = static_cast<uInt>(compressed.size());
    int result = Z_OK;
    while (result == Z_OK) {
        zlib.next_out = reinterpret_cast<Bytef*>(buffer.data());
        zlib.avail_out = static_cast<uInt>(buffer.size());
        result = inflate(&zlib, Z_NO_FLUSH);
        out.append(buffer.data(), buffer.size() - zlib.avail_out);
        if (startOnly && out.size() >= limit) {
            out.resize(limit);
            result = Z_STREAM_END;
            break;
        }
        if (out.size() > limit) {
            result = Z_BUF_ERROR;
            break;
        }
        if (result == Z_BUF_ERROR && zlib.avail_out != 0)
            break;  // no more input before the end of the stream
        if (result == Z_BUF_ERROR)
            result = Z_OK;
        // Members one after the other (`gzip >>` appends one) are one text,
        // as gunzip reads them; other bytes after the end are not looked at.
        if (result == Z_STREAM_END && zlib.avail_in >= 2 && zlib.next_in[0] == 0x1F && zlib.next_in[1] == 0x8B
            && inflateReset(&zlib) == Z_OK)
            result = Z_OK;
    }
    inflateEnd(&zlib);
    if (result != Z_STREAM_END) {
        error = out.size() > limit ? "longer than expected" : "not complete gzip data";
        return -1;
    }
    text = std::move(out);
    return 0;
}

}  // namespace larkspur
