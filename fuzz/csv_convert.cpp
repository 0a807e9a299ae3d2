// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The CSV to XML converter: whatever the file holds, the XML written is
// well-formed and holds one url element per row counted.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>

#include "fuzz_check.h"
#include "sitemap/csv.h"
#include "sitemap/xml.h"
#include "well_formed_xml.h"

using namespace larkspur;
using larkspur::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::istringstream csv(std::string(reinterpret_cast<const char*>(data), size));
    std::ostringstream out;
    ConvertReport report;
    Check(ConvertCsvToXml(csv, out, &report) == 0, "conversion into memory succeeds");
    const std::string xml = out.str();

    const std::string fault = larkspur::test::XmlFault(xml);
    Check(fault.empty(), "the XML is well-formed", fault + "\n" + xml);
    // Field texts have their "<" escaped, so every "<url>" is a start tag.
    std::size_t urls = 0;
    for (auto at = xml.find("<url>"); at != std::string::npos; at = xml.find("<url>", at + 1))
        ++urls;
    Check(urls == static_cast<std::size_t>(report.rowsWritten), "one url per row");
    Check(xml.rfind(kUrlsetHead, 0) == 0, "the head comes first");
    Check(xml.size() >= std::strlen(kUrlsetTail)
              && xml.compare(xml.size() - std::strlen(kUrlsetTail), std::string::npos, kUrlsetTail) == 0,
          "the tail comes last");
    Check(report.rowsWritten >= 0 && report.linesSkipped >= 0, "counts");
    return 0;
}
