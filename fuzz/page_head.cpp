// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The page head matcher reads the first 64 KiB of every page of a site,
// written by anyone: whatever the bytes, it stops inside them, and what it
// finds is consistent with the text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "head/head.h"

using namespace larkspur;
using larkspur::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const PageHead head = ScanHead(input);
    if (head.noindex) {
        const std::string lower = [&] {
            std::string text = DecodeCharacterReferences(input);  // "&#110;oindex" counts
            for (char& c : text)
                c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
            return text;
        }();
        Check(lower.find("meta") != std::string::npos, "noindex comes from a meta element");
        Check(lower.find("noindex") != std::string::npos || lower.find("none") != std::string::npos,
              "noindex comes from its content", input);
    }
    // A page's head is read in one piece of up to 64 KiB: what a shorter
    // piece finds, the whole must find too.
    if (ScanHead(input.substr(0, size / 2)).noindex)
        Check(head.noindex, "noindex found in the start is found in the whole", input);

    // Resolving and comparing URLs: any reference against a page's URL, and
    // the input itself as a base.
    const char* page = "https://example.org/docs/a%20b/index.html?q=1";
    const std::string resolved = ResolveUrl(page, input);
    Check(resolved.find('#') == std::string::npos, "a resolved URL has no fragment", resolved);
    Check(SameUrl(resolved, resolved), "a URL is the same as itself", resolved);
    Check(SameUrl(page, ResolveUrl(page, "")), "an empty reference is the page itself");
    ResolveUrl(input, "../x/./y?z#w");
    CanonicalElsewhere(page, head);
    CanonicalElsewhere(input, head);
    return 0;
}
