// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The CSV line splitter: any line splits or is refused without harm, and
// fields that the writer quotes come back exactly as they went in.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "sitemap/csv.h"
#include "text/text.h"

using namespace larkspur;
using larkspur::fuzz::Check;

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void CheckList(const FieldList& list, int result, std::string_view line)
{
    if (result != 0) {
        Check(list.fields.empty(), "a refused line leaves no fields");
        return;
    }
    Check(!list.fields.empty(), "a split line has a field");
    Check(list.fields.size() <= line.size() / 3 + 1, "no more fields than the capacity");
    std::size_t total = 0;
    for (const std::string& field : list.fields)
        total += field.size();
    Check(total <= line.size(), "fields hold no more than the line");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    FieldList list;

    // Any line, with the usual separator and with an arbitrary one.
    CheckList(list, SplitFields(list, input, ','), input);
    if (size > 1) {
        const std::string_view rest = input.substr(1);
        CheckList(list, SplitFields(list, rest, input[0]), rest);
    }

    // Trimming is idempotent and leaves no white space at either end.
    std::string trimmed(input);
    TrimSpaces(trimmed);
    Check(trimmed.empty() || (!IsSpace(trimmed.front()) && !IsSpace(trimmed.back())), "trimmed ends");
    Check(input.find(trimmed) != std::string_view::npos, "trimmed text is part of the input");

    // Fields (the input cut at NUL bytes), every one quoted: they come back.
    std::vector<std::string> fields(1);
    for (const char c : input) {
        if (c == '\0')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    std::string quoted;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            quoted += ',';
        quoted += '"';
        for (const char c : fields[i]) {
            if (c == '"')
                quoted += '"';
            quoted += c;
        }
        quoted += '"';
    }
    // Up to kMaxFields; a longer row is junk unless the rest is padding.
    if (fields.size() <= kMaxFields) {
        Check(SplitFields(list, quoted, ',') == 0, "a quoted row splits", quoted);
        Check(list.fields == fields, "quoted fields come back unchanged", quoted);
    } else {
        Check(SplitFields(list, quoted, ',') != 0, "a quoted row of too many fields is refused", quoted);
    }

    // The same fields as the writer puts them (quoted only when needed) come
    // back too, as long as the row has no white space at its ends, does not
    // end in an empty field and fits the splitter's capacity.
    std::string written;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            written += ',';
        written += CsvField(fields[i]);
    }
    if (!written.empty() && !IsSpace(written.front()) && !IsSpace(written.back()) && !fields.back().empty()
        && fields.size() <= written.size() / 3 + 1 && fields.size() <= kMaxFields) {
        Check(SplitFields(list, written, ',') == 0, "a written row splits", written);
        Check(list.fields == fields, "written fields come back unchanged", written);
    }
    return 0;
}
