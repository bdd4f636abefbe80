// Readers of the compiled resource formats the emulation needs: the .res
// image windres writes (and the native module embeds), the extended dialog
// template, and the version block.
//
// Every reader works on untrusted bytes: it checks each length against the
// end of its input and reports a malformed image as "nothing", never by
// reading past the end.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <optional>
#include <string>
#include <vector>

namespace emu::res {

// A resource type, a resource name, a dialog's menu or class, or a control's
// class or title: either a 16-bit ordinal or a UTF-16 string.
struct NameOrId {
    bool isId = false;
    uint16_t id = 0;
    std::u16string name;

    static NameOrId Id(uint16_t value);
    static NameOrId Name(std::u16string value);
    bool IsEmpty() const { return !isId && name.empty(); }
    bool operator==(const NameOrId& other) const;
};

struct ResourceEntry {
    NameOrId type;
    NameOrId name;
    uint16_t language = 0;
    uint16_t memoryFlags = 0;
    uint32_t dataVersion = 0;
    uint32_t version = 0;
    uint32_t characteristics = 0;
    std::vector<uint8_t> data;
};

// All entries of a .res image except the empty one that opens it; nothing
// when the image is cut short or inconsistent.
std::optional<std::vector<ResourceEntry>> ParseResFile(const uint8_t* bytes, size_t size);

// The entry of this type and name, preferring `language`; else the first
// entry of that type and name in any language; null when there is none.
const ResourceEntry* FindResource(const std::vector<ResourceEntry>& entries, const NameOrId& type,
                                  const NameOrId& name, uint16_t language = 1033);

struct DialogItem {
    uint32_t helpId = 0;
    uint32_t exStyle = 0;
    uint32_t style = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    uint32_t id = 0;
    NameOrId windowClass;
    NameOrId title;
    std::vector<uint8_t> creationData;
};

struct DialogTemplate {
    uint16_t dlgVer = 0;
    uint16_t signature = 0;
    uint32_t helpId = 0;
    uint32_t exStyle = 0;
    uint32_t style = 0;
    uint16_t itemCount = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    NameOrId menu;
    NameOrId windowClass;
    std::u16string title;
    bool hasFont = false;
    uint16_t pointSize = 0;
    uint16_t weight = 0;
    uint8_t italic = 0;
    uint8_t charset = 0;
    std::u16string typeface;
    std::vector<DialogItem> items;
};

// Reads an extended dialog template (version 1, signature 0xFFFF). The old
// DLGTEMPLATE form and anything malformed give nothing.
std::optional<DialogTemplate> ParseDialogTemplateEx(const uint8_t* bytes, size_t size);

// Ordinal of a predefined control class ("Button" is 0x80 ...) as its name;
// the name itself for a string class. Names of the predefined classes come
// back in their registered spelling whatever case the template used.
std::u16string ControlClassName(const NameOrId& windowClass);

// One node of a version block: VS_VERSIONINFO, StringFileInfo, a string
// table, a string, VarFileInfo, Translation.
struct VersionNode {
    std::u16string key;
    uint16_t valueType = 0;  // 1 text, 0 binary
    std::vector<uint8_t> value;
    std::vector<VersionNode> children;

    // The value as text (up to its terminating zero) when valueType is 1.
    std::u16string Text() const;
    const VersionNode* Child(const std::u16string& childKey) const;
};

std::optional<VersionNode> ParseVersionInfo(const uint8_t* bytes, size_t size);

// The fixed part of a version block's root value.
struct FixedFileInfo {
    uint32_t signature = 0;
    uint32_t structVersion = 0;
    uint32_t fileVersionMS = 0, fileVersionLS = 0;
    uint32_t productVersionMS = 0, productVersionLS = 0;
    uint32_t fileFlagsMask = 0, fileFlags = 0;
    uint32_t fileOS = 0, fileType = 0, fileSubtype = 0;
    uint32_t fileDateMS = 0, fileDateLS = 0;
};
std::optional<FixedFileInfo> ReadFixedFileInfo(const VersionNode& root);

}  // namespace emu::res
