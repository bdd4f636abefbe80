#include "testhost/core/report.h"

#include <nlohmann/json.hpp>

namespace testhost {

namespace {

using nlohmann::json;

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

json Optional(const std::optional<int64_t>& value) {
    return value ? json(*value) : json(nullptr);
}

json RegistryJson(const RegistryState& registry) {
    if (!registry.keyExists) return nullptr;
    json key = json::object();
    if (registry.hasValue) {
        key["UserDialog"] = ToHex(registry.bytes);
        key["type"] = registry.type;
    }
    return key;
}

json ShownJson(const ShownDialog& shown) {
    json values = json::object();
    for (const auto& [id, value] : shown.values) values[std::to_string(id)] = value;
    return {{"caption", Latin1ToUtf8(shown.caption)},
            {"values", values},
            {"removeVisible", shown.removeVisible},
            {"position", {shown.left, shown.top}}};
}

json BoxJson(const BoxRecord& box) {
    return {{"caption", Latin1ToUtf8(box.caption)},
            {"text", Latin1ToUtf8(box.text)},
            {"flags", box.flags},
            {"owner", box.owner},
            {"answer", box.answer}};
}

json ClosedByJson(ClosedBy closedBy) {
    switch (closedBy) {
        case ClosedBy::Plugin: return "plugin";
        case ClosedBy::Host: return "host";
        case ClosedBy::NoDialog: break;
    }
    return nullptr;
}

json InvocationJson(const InvocationReport& invocation) {
    json boxes = json::array();
    for (const auto& box : invocation.boxes) boxes.push_back(BoxJson(box));
    return {{"result", Optional(invocation.result)},
            {"shown", invocation.shown ? ShownJson(*invocation.shown) : json(nullptr)},
            {"boxes", boxes},
            {"skipped", invocation.skipped},
            {"closedBy", ClosedByJson(invocation.closedBy)}};
}

json MenuJson(const MenuReport& menu) {
    return {{"result", menu.result},
            {"menuText", menu.menuText},
            {"descriptionText", menu.descriptionText},
            {"shortTitle", menu.shortTitle},
            {"itemWord", menu.itemWord}};
}

json CountsJson(const NamedCounts& counts) {
    json object = json::object();
    for (const auto& [name, count] : counts) object[name] = count;
    return object;
}

}  // namespace

std::string Latin1ToUtf8(const std::string& text) {
    std::string out;
    for (char c : text) AppendUtf8(out, uint8_t(c));
    return out;
}

std::string Utf16ToUtf8(const uint16_t* units, size_t maxUnits) {
    std::string out;
    for (size_t i = 0; i < maxUnits && units[i] != 0; ++i) {
        uint32_t c = units[i];
        bool high = c >= 0xD800 && c <= 0xDBFF;
        bool low = c >= 0xDC00 && c <= 0xDFFF;
        if (high && i + 1 < maxUnits && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00u);
            ++i;
        } else if (high || low) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::string ReportJson(const Report& report) {
    json out = json::object();
    out["loaded"] = report.loaded;
    out["registry"] = RegistryJson(report.registry);
    if (!report.loaded) return out.dump(2);
    out["version"] = Optional(report.version);
    out["init"] = Optional(report.init);
    out["flags"] = report.flags;
    out["menu"] = report.menu ? MenuJson(*report.menu) : json(nullptr);
    out["menuStatus"] = Optional(report.menuStatus);
    json invocations = json::array();
    for (const auto& invocation : report.invocations)
        invocations.push_back(InvocationJson(invocation));
    out["invocations"] = invocations;
    out["terminate"] = Optional(report.terminate);
    out["tempo"] = report.tempo;
    out["hostCalls"] = CountsJson(report.hostCalls);
    out["lookups"] = CountsJson(report.lookups);
    return out.dump(2);
}

}  // namespace testhost
