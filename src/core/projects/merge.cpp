// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The merge of a table edited here with the one another program saved
// meanwhile: each side's edits kept, field by field, by name.
#include <algorithm>
#include <array>

#include "projects.h"

namespace larkspur {

namespace {

constexpr unsigned kAllFields =
    kEditedName | kEditedLocalPath | kEditedWebsiteUrl | kEditedPriority | kEditedFrequency;

// The EditedField bits of the stored fields in which a and b differ.
unsigned DifferentFields(const ProjectRecord& a, const ProjectRecord& b)
{
    return (a.name != b.name ? kEditedName : 0u) | (a.localPath != b.localPath ? kEditedLocalPath : 0u)
         | (a.websiteUrl != b.websiteUrl ? kEditedWebsiteUrl : 0u)
         | (a.priorityIndex != b.priorityIndex ? kEditedPriority : 0u)
         | (a.frequencyIndex != b.frequencyIndex ? kEditedFrequency : 0u);
}

void CopyFields(ProjectRecord& to, const ProjectRecord& from, unsigned fields)
{
    if (fields & kEditedName)
        to.name = from.name;
    if (fields & kEditedLocalPath)
        to.localPath = from.localPath;
    if (fields & kEditedWebsiteUrl)
        to.websiteUrl = from.websiteUrl;
    if (fields & kEditedPriority)
        to.priorityIndex = from.priorityIndex;
    if (fields & kEditedFrequency)
        to.frequencyIndex = from.frequencyIndex;
    // The folder texts of a walk made here are what EncodeTable would store.
    if (from.walked()) {
        to.savedRoot = from.scan.tree.root;
        to.savedBase = from.scan.tree.base;
    }
}

// Names may repeat (older files, or the window's own renames): the n-th
// project of a name in one table is the n-th of that name in the other.
int Occurrence(const ProjectTable& table, int slot)
{
    int n = 0;
    for (int i = 0; i < slot; ++i)
        n += table.slots[i].name == table.slots[slot].name ? 1 : 0;
    return n;
}

int FindOccurrence(const ProjectTable& table, std::string_view name, int n)
{
    for (int i = 0; i < table.projectCount; ++i) {
        if (table.slots[i].name == name && n-- == 0)
            return i;
    }
    return -1;
}

}  // namespace

void MergeProjects(const ProjectTable& loaded, const ProjectTable& ours, const ProjectChanges& changes,
                   const ProjectTable& theirs, ProjectTable& result, MergeReport& report)
{
    report = {};
    report.merged = true;
    auto overrule = [&report](const std::string& name) {
        if (std::find(report.overruled.begin(), report.overruled.end(), name) == report.overruled.end())
            report.overruled.push_back(name);
    };
    // Where each loaded project is in their table now, -1 when it is gone.
    std::array<int, kMaxProjects> now;
    std::array<bool, kMaxProjects> claimed{};  // their slots that a loaded project maps to
    std::array<bool, kMaxProjects> keptHere{};  // loaded projects this side still has
    for (int b = 0; b < kMaxProjects; ++b) {
        now[b] = b < loaded.projectCount ? FindOccurrence(theirs, loaded.slots[b].name, Occurrence(loaded, b)) : -1;
        if (now[b] >= 0)
            claimed[now[b]] = true;
    }

    for (int i = 0; i < kMaxProjects; ++i) {
        ProjectRecord& to = result.slots[i];
        to = ProjectRecord{};
        CopyFields(to, theirs.slots[i], kAllFields);
        to.savedRoot = theirs.slots[i].savedRoot;
        to.savedBase = theirs.slots[i].savedBase;
    }
    result.projectCount = theirs.projectCount;

    std::vector<const ProjectRecord*> additions;
    std::vector<int> removals;
    for (int i = 0; i < ours.projectCount; ++i) {
        const ProjectRecord& mine = ours.slots[i];
        const unsigned edited = changes[i].edited;
        const int b = changes[i].loadedSlot;
        if (b < 0 || b >= loaded.projectCount) {
            additions.push_back(&mine);
            continue;
        }
        keptHere[b] = true;
        const int t = now[b];
        if (t < 0) {
            // Removed elsewhere: stays removed unless it was changed here.
            if (edited != 0) {
                additions.push_back(&mine);
                overrule(mine.name);
            }
            continue;
        }
        const unsigned changedThere = DifferentFields(theirs.slots[t], loaded.slots[b]);
        if (edited & changedThere & DifferentFields(theirs.slots[t], mine))
            overrule(mine.name);
        CopyFields(result.slots[t], mine, edited);
        // Renamed here to a name added elsewhere: one project, this side's,
        // as for a name added on both sides.
        if (edited & kEditedName) {
            const int added = FindOccurrence(theirs, mine.name, 0);
            if (added >= 0 && added != t && !claimed[added]) {
                claimed[added] = true;
                removals.push_back(added);
                overrule(mine.name);
            }
        }
    }

    for (int b = 0; b < loaded.projectCount; ++b) {
        if (keptHere[b] || now[b] < 0)
            continue;
        removals.push_back(now[b]);
        if (DifferentFields(theirs.slots[now[b]], loaded.slots[b]) != 0)
            overrule(loaded.slots[b].name);
    }
    // Added on both sides under one name: one project, this side's.
    std::vector<const ProjectRecord*> appended;
    for (const ProjectRecord* mine : additions) {
        const int t = FindOccurrence(theirs, mine->name, 0);
        if (t >= 0 && !claimed[t]) {
            claimed[t] = true;
            CopyFields(result.slots[t], *mine, kAllFields);
            overrule(mine->name);
        } else {
            appended.push_back(mine);
        }
    }
    std::sort(removals.begin(), removals.end(), std::greater<int>());
    for (const int t : removals)
        RemoveProject(result, t);
    for (const ProjectRecord* mine : appended) {
        const int slot = AddProject(result, mine->name);
        if (slot < 0) {
            report.notKept.push_back(mine->name);
            continue;
        }
        CopyFields(result.slots[slot], *mine, kAllFields);
    }
}

}  // namespace larkspur
