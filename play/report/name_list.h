// --live-ports and --capture-sources: what there is, a line each ("ID  Name"), or why nothing.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Prints items (each with an Id and a Name), or "No WHAT." when there are none, or "No WHAT: why."
// when they could not be listed.
template <typename Named>
void PrintNames(const char* what, bool listed, const std::string& failure, const std::vector<Named>& items)
{
    if (!listed) {
        std::printf("No %s: %s.\n", what, failure.c_str());
        return;
    }
    if (items.empty()) std::printf("No %s.\n", what);
    for (const Named& item : items) std::printf("%s  %s\n", item.Id.c_str(), item.Name.c_str());
}
