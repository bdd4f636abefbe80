// The report of one session as plain data, and its JSON text.
#pragma once

#include <stdint.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "testhost/core/scenario.h"
#include "testhost/core/score.h"
#include "testhost/core/session.h"

namespace testhost {

// The dialog as it stood right after the plug-in's set-up.
struct ShownDialog {
    std::string caption;  // as the window holds it (Latin-1)
    std::vector<std::pair<int, int32_t>> values;  // control id -> integer reading
    bool removeVisible = false;
    int32_t left = 0, top = 0;
};

enum class ClosedBy { NoDialog, Plugin, Host };

struct InvocationReport {
    std::optional<int64_t> result;  // empty when the entry point is missing
    std::optional<ShownDialog> shown;
    std::vector<BoxRecord> boxes;
    std::vector<size_t> skipped;
    ClosedBy closedBy = ClosedBy::NoDialog;
};

struct MenuReport {
    int64_t result = 0;
    std::string menuText, descriptionText, shortTitle;  // UTF-8
    uint32_t itemWord = 0;
};

using NamedCounts = std::vector<std::pair<std::string, int>>;

struct Report {
    bool loaded = false;
    // Results of the entry points; empty when the module lacks one.
    std::optional<int64_t> version, init, menuStatus, terminate;
    uint32_t flags = 0;
    std::optional<MenuReport> menu;
    std::vector<InvocationReport> invocations;
    RegistryState registry;
    std::vector<TempoRow> tempo;
    NamedCounts hostCalls;
    NamedCounts lookups;
};

std::string ReportJson(const Report& report);

// The plug-in's 8-bit texts are Latin-1.
std::string Latin1ToUtf8(const std::string& text);
// UTF-16 units up to the first zero unit or `maxUnits`; a lone surrogate
// becomes U+FFFD.
std::string Utf16ToUtf8(const uint16_t* units, size_t maxUnits);

}  // namespace testhost
