// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// larkspur-cli projects: list, add, set, show and remove the saved projects,
// all through the project store.
#include "commands.h"

#include <algorithm>
#include <iostream>

#include "project_store.h"

namespace larkspur::cli {

namespace {

int RunProjectList(const Arguments& args, Failure& failure)
{
    if (CheckAllowed(args, {"working-dir"}, "projects", failure.message) != 0) {
        failure.status = kUsageError;
        return -1;
    }
    ProjectStore store;
    if (OpenStore(args, store, failure) != 0)
        return -1;
    for (int row = 0; row < store.count(); ++row) {
        const ProjectRecord& r = store.project(row);
        std::cout << r.name << '\t' << r.localPath << '\t' << r.websiteUrl << '\t' << PriorityText(r.priorityIndex)
                  << '\t' << FrequencyText(r.frequencyIndex) << '\n';
    }
    return 0;
}

int RunProjectAdd(const Arguments& args, Failure& failure)
{
    std::string error;
    if (CheckAllowed(args, WithSitemapOptions({"path", "url", "priority", "changefreq", "working-dir"}), "projects add", error) != 0
        || args.words.size() != 3 || !args.has("path") || !args.has("url")) {
        failure = {kUsageError, error.empty() ? "projects add takes NAME, --path FOLDER and --url BASE" : error};
        return -1;
    }
    SitemapParameters fields;
    if (ReadFields(args, fields, failure) != 0)
        return -1;
    if (CheckBaseUrl(args.value("url"), kUsageError, failure) != 0)
        return -1;
    if (args.words[2].empty()) {
        failure = {kUsageError, "a project needs a name"};
        return -1;
    }
    ProjectStore store;
    if (OpenStore(args, store, failure, true) != 0)
        return -1;
    const int row = store.add(args.words[2], error);
    if (row < 0 || store.setFolder(row, args.value("path"), error) != 0 || store.setUrl(row, args.value("url"), error) != 0) {
        failure = {kFailure, error};
        return -1;
    }
    return SaveFields(store, row, fields, failure);
}

int RunProjectSet(const Arguments& args, Failure& failure)
{
    std::string error;
    if (CheckAllowed(args, WithSitemapOptions({"path", "url", "priority", "changefreq", "working-dir"}), "projects set", error) != 0
        || args.words.size() != 3) {
        failure = {kUsageError, error.empty() ? "projects set takes NAME and the fields to change" : error};
        return -1;
    }
    // The same checks as projects add: a stored field outlives this run.
    if (args.has("url") && CheckBaseUrl(args.value("url"), kUsageError, failure) != 0)
        return -1;
    ProjectStore store;
    const int row = OpenNamed(args, args.words[2], store, failure, true);
    if (row < 0)
        return -1;
    SitemapParameters fields = store.parameters(row);
    if (ReadFields(args, fields, failure) != 0)
        return -1;
    if ((args.has("path") && store.setFolder(row, args.value("path"), error) != 0)
        || (args.has("url") && store.setUrl(row, args.value("url"), error) != 0)) {
        failure = {kFailure, error};
        return -1;
    }
    // Stored values no option understands are replaced here, by what was
    // given or the default: the way to repair them.
    for (const OptionProblem& problem : store.optionProblems(row))
        std::cerr << "larkspur-cli: " << problem.message << ": replaced\n";
    return SaveFields(store, row, fields, failure);
}

int RunProjectShow(const Arguments& args, Failure& failure)
{
    std::string error;
    if (CheckAllowed(args, {"working-dir"}, "projects show", error) != 0 || args.words.size() != 3) {
        failure = {kUsageError, error.empty() ? "projects show takes NAME" : error};
        return -1;
    }
    ProjectStore store;
    const int row = OpenNamed(args, args.words[2], store, failure);
    if (row < 0)
        return -1;
    const ProjectRecord& r = store.project(row);
    std::cout << "name: " << r.name << "\npath: " << r.localPath << "\nurl: " << r.websiteUrl
              << "\npriority: " << PriorityText(r.priorityIndex) << "\nchangefreq: "
              << FrequencyText(r.frequencyIndex) << '\n';
    // An option whose stored value cannot be read is named, not shown; none
    // is when the file cannot be read (a problem of no one option).
    const std::vector<OptionProblem>& problems = store.optionProblems(row);
    for (const OptionField& field : SitemapOptionFields()) {
        if (std::any_of(problems.begin(), problems.end(),
                        [&](const OptionProblem& p) { return p.key == field.key || p.key.empty(); }))
            continue;
        const std::vector<std::string> values = field.get(store.options(row));
        if (values.empty())
            std::cout << field.key << ":\n";
        for (const std::string& value : values)
            std::cout << field.key << ':' << (value.empty() ? "" : " ") << value << '\n';
    }
    for (const OptionProblem& problem : problems)
        failure.message += (failure.message.empty() ? "" : "\nlarkspur-cli: ") + problem.message;
    return problems.empty() ? 0 : -1;
}

int RunProjectRemove(const Arguments& args, Failure& failure)
{
    std::string error;
    if (CheckAllowed(args, {"working-dir"}, "projects remove", error) != 0 || args.words.size() != 3) {
        failure = {kUsageError, error.empty() ? "projects remove takes NAME" : error};
        return -1;
    }
    ProjectStore store;
    const int row = OpenNamed(args, args.words[2], store, failure, true);
    if (row < 0)
        return -1;
    store.remove(row);
    return SaveStore(store, failure);
}

}  // namespace

int RunProjects(const Arguments& args, Failure& failure)
{
    const std::string sub = args.words.size() > 1 ? args.words[1] : "";
    if (sub.empty())
        return RunProjectList(args, failure);
    if (sub == "add")
        return RunProjectAdd(args, failure);
    if (sub == "set")
        return RunProjectSet(args, failure);
    if (sub == "show")
        return RunProjectShow(args, failure);
    if (sub == "remove")
        return RunProjectRemove(args, failure);
    failure = {kUsageError, "unknown projects command '" + sub + "'"};
    return -1;
}

}  // namespace larkspur::cli
