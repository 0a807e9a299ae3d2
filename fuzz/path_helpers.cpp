// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The name and path helpers: extensions, the CSV to XML file name, fitting a
// text into a saving.dat field, joining paths.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "platform/paths.h"
#include "projects/projects.h"
#include "scan/scan.h"
#include "sitemap/csv.h"

using namespace larkspur;
using larkspur::fuzz::Check;

namespace {

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Strict UTF-8: no overlongs, no surrogates, nothing past U+10FFFF.
bool IsUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        std::size_t length = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
        if (length == 0 || i + length > text.size())
            return false;
        std::uint32_t value = length == 1 ? b : b & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto n = static_cast<unsigned char>(text[i + k]);
            if ((n & 0xC0) != 0x80)
                return false;
            value = (value << 6) | (n & 0x3F);
        }
        const std::uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (value < minimum[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // Extension: from the last dot, at most 15 bytes, empty without a dot.
    const std::string_view extension = Extension(input);
    const auto dot = input.rfind('.');
    if (dot == std::string_view::npos) {
        Check(extension.empty(), "no dot, no extension");
    } else {
        Check(!extension.empty() && extension.front() == '.' && extension.size() <= 15, "extension form");
        Check(input.substr(dot).rfind(extension, 0) == 0, "extension starts at the last dot");
    }
    if (IsPageExtension(extension))
        Check(extension.size() == 4 || extension.size() == 5, "page extensions are .htm and .html");

    // CSV path to XML path: only for names ending in .csv, in any case.
    const std::string path(input);
    std::string xml;
    const bool isCsv = dot != std::string_view::npos && input.size() - dot == 4 && Lower(input[dot + 1]) == 'c'
                    && Lower(input[dot + 2]) == 's' && Lower(input[dot + 3]) == 'v';
    const int result = XmlPathForCsv(path, xml);
    Check((result == 0) == isCsv, "accepted exactly when the name ends in .csv");
    if (result == 0)
        Check(xml.size() == path.size() && xml.compare(0, dot, path, 0, dot) == 0
                  && xml.compare(dot, std::string::npos, ".xml") == 0,
              "the .csv becomes .xml", xml);

    // A saving.dat field: a prefix of at most 259 bytes, cut at most three
    // bytes early, and never inside a UTF-8 character.
    const std::string fitted = FitField(input);
    Check(fitted.size() <= 259 && input.substr(0, fitted.size()) == fitted, "a prefix that fits");
    if (input.size() <= 259)
        Check(fitted.size() == input.size(), "a text that fits is kept whole");
    else
        Check(fitted.size() >= 256, "cut at most three bytes early");
    if (IsUtf8(input))
        Check(IsUtf8(fitted), "UTF-8 is never cut inside a character", fitted);
    Check(FitField(fitted) == fitted, "fitting is idempotent");

    // Joining a folder and a name gives a path whose last component is the name.
    const auto nul = input.find('\0');
    if (nul != std::string_view::npos) {
        const std::string folder(input.substr(0, nul));
        const std::string name(input.substr(nul + 1));
        if (!name.empty() && name.find('/') == std::string::npos && name.find('\0') == std::string::npos)
            Check(platform::FileName(platform::JoinPath(folder, name)) == name, "join then take the name");
    }
    return 0;
}
