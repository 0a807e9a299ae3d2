// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "check/site_files.h"

#include <algorithm>

#include "sitemap/sitemap.h"

namespace larkspur {

namespace {

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

int Hex(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = Lower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

}  // namespace

void PercentDecode(std::string_view text, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && Hex(text[i + 1]) >= 0 && Hex(text[i + 2]) >= 0) {
            out += static_cast<char>(Hex(text[i + 1]) * 16 + Hex(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
}

std::string PercentDecoded(std::string_view text)
{
    std::string out;
    PercentDecode(text, out);
    return out;
}

bool SplitHttpUrl(std::string_view url, UrlSplit& split)
{
    const std::size_t scheme = HttpSchemeEnd(url);
    if (scheme == 0)
        return false;
    const std::size_t end = std::min(url.find_first_of("/?#", scheme), url.size());
    split.origin.clear();
    for (const char c : url.substr(0, end))
        split.origin += Lower(c);
    const bool https = split.origin.starts_with("https");
    const std::string_view port = https ? ":443" : ":80";
    if (split.origin.ends_with(port))
        split.origin.resize(split.origin.size() - port.size());
    const std::size_t pathEnd = std::min(url.find_first_of("?#", end), url.size());
    split.path = PercentDecoded(url.substr(end, pathEnd - end));
    if (split.path.empty())
        split.path.assign(1, '/');  // not = "/": g++ 12 warns wrongly (-Wrestrict)
    return split.origin.size() > scheme;
}

}  // namespace larkspur
