// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include <gtest/gtest.h>

#include <sstream>

#include <zlib.h>

#include "gzip/gzip.h"

using namespace larkspur;

namespace {

// The whole of a gzip member, or "<bad>" when it is not one.
std::string Gunzip(const std::string& data)
{
    z_stream z{};
    if (inflateInit2(&z, 15 + 16) != Z_OK)
        return "<bad>";
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    std::string out;
    char chunk[4096];
    int result = Z_OK;
    while (result == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(chunk);
        z.avail_out = sizeof chunk;
        result = inflate(&z, Z_NO_FLUSH);
        out.append(chunk, sizeof chunk - z.avail_out);
    }
    const bool whole = result == Z_STREAM_END && z.avail_in == 0;
    inflateEnd(&z);
    return whole ? out : "<bad>";
}

}  // namespace

TEST(Gzip, DecompressesToWhatWasWritten)
{
    std::string big;
    for (int i = 0; big.size() < 3 * 1024 * 1024; ++i)
        big += "<url><loc>https://example.org/page" + std::to_string(i * 7919 % 100003) + ".html</loc></url>\r\n";
    for (const std::string& text : {std::string(), std::string("x"), big}) {
        std::ostringstream out;
        GzipWriter gzip(out);
        gzip.stream() << text << std::flush;  // a flush on the way changes nothing
        std::string error;
        ASSERT_EQ(gzip.finish(error), 0) << error;
        EXPECT_EQ(gzip.uncompressedBytes(), text.size());
        EXPECT_EQ(Gunzip(out.str()), text);
        if (text.size() == big.size()) {
            EXPECT_LT(out.str().size(), text.size() / 5);
        }
        std::ostringstream again;
        GzipWriter same(again);
        same.stream() << text;
        ASSERT_EQ(same.finish(error), 0);
        EXPECT_EQ(again.str(), out.str()) << "the same text gives the same bytes";
    }
}

TEST(Gzip, AFailingOutputIsReported)
{
    std::ostringstream out;
    out.setstate(std::ios::badbit);
    GzipWriter gzip(out);
    gzip.stream() << std::string(200000, 'a');
    std::string error;
    EXPECT_EQ(gzip.finish(error), -1);
    EXPECT_FALSE(error.empty());
}

TEST(Gzip, ReadBackWholeOrNotAtAll)
{
    std::ostringstream out;
    GzipWriter gzip(out);
    gzip.stream() << std::string(100000, 'a') << "<sitemapindex>";
    std::string error;
    ASSERT_EQ(gzip.finish(error), 0);
    const std::string whole = out.str();
    std::string text;
    ASSERT_EQ(larkspur::Gunzip(whole, text, 200000, error), 0) << error;
    EXPECT_EQ(text, std::string(100000, 'a') + "<sitemapindex>");
    ASSERT_EQ(larkspur::Gunzip(whole, text, 10, error, true), 0) << error;
    EXPECT_EQ(text, std::string(10, 'a')) << "only the start, when the start is enough";
    // Members one after the other, as `gzip >>` appends them, are one text.
    ASSERT_EQ(larkspur::Gunzip(whole + whole, text, 400000, error), 0) << error;
    EXPECT_EQ(text.size(), 2 * (100000 + 14));
    const struct {
        const char* what;
        std::string data;
        std::size_t limit;
    } refused[] = {
        {"cut short", whole.substr(0, whole.size() - 5), 200000},
        {"longer than the limit", whole, 50000},
        {"a second member past the limit", whole + whole, 150000},
        {"a second member cut short", whole + whole.substr(0, 20), 400000},
        {"not gzip", "<sitemapindex>", 200000},
        {"empty", "", 200000},
    };
    for (const auto& c : refused) {
        text = "kept";
        EXPECT_EQ(larkspur::Gunzip(c.data, text, c.limit, error), -1) << c.what;
        EXPECT_EQ(text, "kept") << c.what;
    }
}
