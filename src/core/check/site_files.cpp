// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "check/site_files.h"

#include <algorithm>

#include "sitemap/url.h"
#include "text/text.h"

namespace larkspur {

using ascii::Lower;

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
