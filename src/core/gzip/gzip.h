// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Gzip output (RFC 1952) through zlib, for sitemap.xml.gz and the like.
// Search engines fetch a compressed sitemap in a fraction of the bytes; the
// protocol's limits still apply to the uncompressed text, which is what the
// writers count.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace larkspur {

class GzipWriter {
public:
    // Compressed bytes go to `out`, which must outlive the writer.
    explicit GzipWriter(std::ostream& out);
    ~GzipWriter();
    GzipWriter(const GzipWriter&) = delete;
    GzipWriter& operator=(const GzipWriter&) = delete;

    // Where the uncompressed text is written.
    std::ostream& stream();
    // Compresses what is left and writes the trailer. 0, or -1 with a message
    // when compressing or writing to `out` failed; the writer is done after.
    int finish(std::string& error);
    std::uint64_t uncompressedBytes() const;

private:
    class Buffer;
    std::unique_ptr<Buffer> m_buffer;
    std::ostream m_stream;
};

// The text of gzip data, at most `limit` bytes of it: an earlier
// compressed index is read for the parts it names. 0, or -1 with a message
// when the data is not gzip, is cut short or is longer than `limit`. With
// `startOnly` the first `limit` bytes are enough, and the rest is not
// decompressed.
int Gunzip(std::string_view compressed, std::string& text, std::size_t limit, std::string& error,
           bool startOnly = false);

}  // namespace larkspur
