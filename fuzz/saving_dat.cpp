// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The saving.dat reader: any bytes give a sound table, and writing that
// table and reading it again changes nothing.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "projects/projects.h"

using namespace larkspur;
using larkspur::fuzz::Check;

namespace {

std::string Describe(const ProjectRecord& r)
{
    return r.name + '\x01' + r.localPath + '\x01' + r.websiteUrl + '\x01' + r.savedRoot + '\x01' + r.savedBase
         + '\x01' + std::to_string(r.priorityIndex) + '\x01' + std::to_string(r.frequencyIndex);
}

void CheckSound(const ProjectTable& table, const LoadReport& report)
{
    Check(table.projectCount >= 0 && table.projectCount <= kMaxProjects, "count in range");
    Check(report.slotsRead >= 0 && report.slotsRead <= kMaxProjects, "slots read in range");
    Check(report.slotsRepaired >= 0 && report.slotsRepaired <= report.slotsRead, "repairs in range");
    for (int i = 0; i < kMaxProjects; ++i) {
        const ProjectRecord& r = table.slots[i];
        Check(r.name.empty() == (i >= table.projectCount), "used slots first");
        Check(r.priorityIndex >= 0 && r.priorityIndex < kPriorityCount, "priority index valid");
        Check(r.frequencyIndex >= 0 && r.frequencyIndex < kFrequencyCount, "frequency index valid");
        for (const std::string* text : {&r.name, &r.localPath, &r.websiteUrl, &r.savedRoot, &r.savedBase}) {
            Check(text->size() < kTextFieldSize, "text fits its field", *text);
            Check(text->find('\0') == std::string::npos, "no NUL inside a text");
        }
        Check(!r.walked(), "nothing loaded is walked");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view file(reinterpret_cast<const char*>(data), size);
    ProjectTable table;
    LoadReport report;
    DecodeTable(file, table, &report);
    CheckSound(table, report);

    const std::string written = EncodeTable(table);
    std::size_t lineFeeds = 0;
    for (const char c : written)
        lineFeeds += c == '\n';
    Check(written.size() == kTableSize + lineFeeds, "the file is the table with LF stored as CR LF");

    ProjectTable again;
    LoadReport againReport;
    DecodeTable(written, again, &againReport);
    CheckSound(again, againReport);
    Check(againReport.slotsRead == kMaxProjects && againReport.slotsRepaired == 0 && !againReport.moved,
          "a written file reads back whole");
    Check(again.projectCount == table.projectCount, "same count after a round trip");
    for (int i = 0; i < kMaxProjects; ++i)
        Check(Describe(again.slots[i]) == Describe(table.slots[i]), "same slot after a round trip");
    Check(EncodeTable(again) == written, "writing again gives the same bytes");
    return 0;
}
