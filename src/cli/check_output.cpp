// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "check_output.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace larkspur::cli {

namespace {

constexpr std::size_t kExamples = 10;

// A sitemap may hold any bytes: control characters (a terminal's escape
// sequences, a tab that would add a column) are shown as \xNN.
std::string Shown(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

void PrintCheckReport(std::ostream& out, const CheckReport& report)
{
    if (!report.files.empty()) {
        out << "Checked " << Shown(report.files.front());
        if (report.files.size() > 1)
            out << " and " << report.files.size() - 1 << " part(s)";
        out << ": " << report.urls << " URL(s); " << report.pages << " page(s) in the folder.\n";
    }
    long long problems = 0, hints = 0;
    for (const CheckKindInfo& info : CheckKinds()) {
        const long long count = report.count(info.kind);
        if (count == 0)
            continue;
        (info.hint ? hints : problems) += count;
        out << '\n' << info.title << ": " << count << '\n';
        std::size_t shown = 0;
        for (const CheckFinding& finding : report.findings) {
            if (finding.kind != info.kind)
                continue;
            if (shown++ == kExamples)
                break;
            out << "  " << Shown(finding.url);
            if (!finding.detail.empty())
                out << " (" << Shown(finding.detail) << ')';
            out << '\n';
        }
        if (count > static_cast<long long>(kExamples))
            out << "  ... and " << count - static_cast<long long>(kExamples) << " more\n";
    }
    out << '\n';
    if (problems == 0)
        out << "No problems found";
    else
        out << problems << " problem(s) found";
    if (hints > 0)
        out << ", " << hints << " hint(s)";
    out << ".\n";
}

void PrintCheckFindings(std::ostream& out, const CheckReport& report)
{
    for (const CheckFinding& finding : report.findings)
        out << KindInfo(finding.kind).word << '\t' << Shown(finding.url) << '\t' << Shown(finding.detail) << '\n';
}

}  // namespace larkspur::cli
