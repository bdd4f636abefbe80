#include "winapi/emu/res_format.h"

#include <utility>

namespace emu::res {

namespace {

// A bounds-checked little-endian cursor. Every read fails once the cursor
// would pass `end`; a failed reader stays failed, so a parser can read a
// whole record and test once.
class Reader {
public:
    Reader(const uint8_t* base, size_t end, size_t pos = 0) : base_(base), end_(end), pos_(pos) {
        if (pos_ > end_) failed_ = true;
    }

    bool ok() const { return !failed_; }
    size_t pos() const { return pos_; }
    size_t remaining() const { return failed_ ? 0 : end_ - pos_; }

    uint8_t U8() { return uint8_t(Take(1)); }
    uint16_t U16() { return uint16_t(Take(2)); }
    uint32_t U32() { return uint32_t(Take(4)); }
    int16_t I16() { return int16_t(U16()); }

    // Moves to the next multiple of four, counted from `base`.
    void AlignTo4() {
        size_t aligned = (pos_ + 3) & ~size_t(3);
        if (aligned > end_) {
            // Padding may be missing at the very end of an image.
            pos_ = end_;
            return;
        }
        pos_ = aligned;
    }

    void Skip(size_t count) {
        if (failed_ || count > end_ - pos_) {
            failed_ = true;
            return;
        }
        pos_ += count;
    }

    std::vector<uint8_t> Bytes(size_t count) {
        if (failed_ || count > end_ - pos_) {
            failed_ = true;
            return {};
        }
        std::vector<uint8_t> out(base_ + pos_, base_ + pos_ + count);
        pos_ += count;
        return out;
    }

    // A zero-terminated UTF-16 string.
    std::u16string String() {
        std::u16string out;
        while (!failed_) {
            uint16_t unit = U16();
            if (failed_ || unit == 0) break;
            out.push_back(char16_t(unit));
        }
        return out;
    }

    // 0xFFFF and an ordinal, or a zero-terminated string (empty: none).
    NameOrId NameOrOrdinal() {
        size_t start = pos_;
        uint16_t first = U16();
        if (failed_) return {};
        if (first == 0xFFFF) return NameOrId::Id(U16());
        pos_ = start;
        return NameOrId::Name(String());
    }

private:
    uint64_t Take(size_t count) {
        if (failed_ || count > end_ - pos_) {
            failed_ = true;
            return 0;
        }
        uint64_t value = 0;
        for (size_t i = 0; i < count; ++i) value |= uint64_t(base_[pos_ + i]) << (8 * i);
        pos_ += count;
        return value;
    }

    const uint8_t* base_;
    size_t end_;
    size_t pos_;
    bool failed_ = false;
};

constexpr uint32_t kDsSetFont = 0x40;
constexpr uint32_t kDsShellFont = 0x48;  // DS_SETFONT | DS_FIXEDSYS

std::optional<ResourceEntry> ReadEntry(Reader& reader, const uint8_t* bytes) {
    size_t start = reader.pos();
    uint32_t dataSize = reader.U32();
    uint32_t headerSize = reader.U32();
    if (!reader.ok() || headerSize < 8 || headerSize > reader.remaining() + 8) return std::nullopt;
    size_t headerEnd = start + headerSize;
    if (dataSize > reader.remaining() + 8 - headerSize) return std::nullopt;

    Reader header(bytes, headerEnd, reader.pos());
    ResourceEntry entry;
    entry.type = header.NameOrOrdinal();
    entry.name = header.NameOrOrdinal();
    header.AlignTo4();
    entry.dataVersion = header.U32();
    entry.memoryFlags = header.U16();
    entry.language = header.U16();
    entry.version = header.U32();
    entry.characteristics = header.U32();
    if (!header.ok()) return std::nullopt;

    reader.Skip(headerSize - 8);
    entry.data = reader.Bytes(dataSize);
    reader.AlignTo4();
    if (!reader.ok()) return std::nullopt;
    return entry;
}

bool ReadDialogItem(Reader& reader, DialogItem& item) {
    reader.AlignTo4();
    item.helpId = reader.U32();
    item.exStyle = reader.U32();
    item.style = reader.U32();
    item.x = reader.I16();
    item.y = reader.I16();
    item.cx = reader.I16();
    item.cy = reader.I16();
    item.id = reader.U32();
    item.windowClass = reader.NameOrOrdinal();
    item.title = reader.NameOrOrdinal();
    uint16_t extraCount = reader.U16();
    item.creationData = reader.Bytes(extraCount);
    return reader.ok();
}

std::optional<VersionNode> ReadVersionNode(const uint8_t* bytes, size_t limit, size_t start,
                                           int depth) {
    // A version block is a handful of levels deep; a deeper one is malformed
    // and must not recurse without bound.
    if (depth > 8) return std::nullopt;
    Reader head(bytes, limit, start);
    uint16_t length = head.U16();
    uint16_t valueLength = head.U16();
    uint16_t type = head.U16();
    if (!head.ok() || length < 6 || length > limit - start) return std::nullopt;

    size_t end = start + length;
    Reader reader(bytes, end, head.pos());
    VersionNode node;
    node.valueType = type;
    node.key = reader.String();
    reader.AlignTo4();
    // Text values count their length in UTF-16 units, binary ones in bytes.
    size_t valueBytes = type == 1 ? size_t(valueLength) * 2 : valueLength;
    node.value = reader.Bytes(valueBytes);
    if (!reader.ok()) return std::nullopt;
    reader.AlignTo4();
    while (reader.ok() && reader.remaining() >= 6) {
        auto child = ReadVersionNode(bytes, end, reader.pos(), depth + 1);
        if (!child) return std::nullopt;
        uint16_t childLength = uint16_t(bytes[reader.pos()] | (bytes[reader.pos() + 1] << 8));
        node.children.push_back(std::move(*child));
        reader.Skip(childLength);
        reader.AlignTo4();
    }
    return node;
}

}  // namespace

NameOrId NameOrId::Id(uint16_t value) {
    NameOrId out;
    out.isId = true;
    out.id = value;
    return out;
}

NameOrId NameOrId::Name(std::u16string value) {
    NameOrId out;
    out.name = std::move(value);
    return out;
}

bool NameOrId::operator==(const NameOrId& other) const {
    if (isId != other.isId) return false;
    return isId ? id == other.id : name == other.name;
}

std::optional<std::vector<ResourceEntry>> ParseResFile(const uint8_t* bytes, size_t size) {
    if (!bytes) return std::nullopt;
    Reader reader(bytes, size);
    std::vector<ResourceEntry> entries;
    bool first = true;
    while (reader.remaining() > 0) {
        auto entry = ReadEntry(reader, bytes);
        if (!entry) return std::nullopt;
        // The image opens with an empty entry that only marks the format.
        bool marker = first && entry->data.empty() && entry->type.isId && entry->type.id == 0;
        first = false;
        if (!marker) entries.push_back(std::move(*entry));
    }
    return entries;
}

const ResourceEntry* FindResource(const std::vector<ResourceEntry>& entries, const NameOrId& type,
                                  const NameOrId& name, uint16_t language) {
    const ResourceEntry* fallback = nullptr;
    for (const auto& entry : entries) {
        if (!(entry.type == type) || !(entry.name == name)) continue;
        if (entry.language == language) return &entry;
        if (!fallback) fallback = &entry;
    }
    return fallback;
}

std::optional<DialogTemplate> ParseDialogTemplateEx(const uint8_t* bytes, size_t size) {
    if (!bytes) return std::nullopt;
    Reader reader(bytes, size);
    DialogTemplate dialog;
    dialog.dlgVer = reader.U16();
    dialog.signature = reader.U16();
    if (!reader.ok() || dialog.dlgVer != 1 || dialog.signature != 0xFFFF) return std::nullopt;
    dialog.helpId = reader.U32();
    dialog.exStyle = reader.U32();
    dialog.style = reader.U32();
    dialog.itemCount = reader.U16();
    dialog.x = reader.I16();
    dialog.y = reader.I16();
    dialog.cx = reader.I16();
    dialog.cy = reader.I16();
    dialog.menu = reader.NameOrOrdinal();
    dialog.windowClass = reader.NameOrOrdinal();
    dialog.title = reader.String();
    if ((dialog.style & kDsSetFont) || (dialog.style & kDsShellFont) == kDsShellFont) {
        dialog.hasFont = true;
        dialog.pointSize = reader.U16();
        dialog.weight = reader.U16();
        dialog.italic = reader.U8();
        dialog.charset = reader.U8();
        dialog.typeface = reader.String();
    }
    if (!reader.ok()) return std::nullopt;
    for (uint16_t i = 0; i < dialog.itemCount; ++i) {
        DialogItem item;
        if (!ReadDialogItem(reader, item)) return std::nullopt;
        dialog.items.push_back(std::move(item));
    }
    return dialog;
}

std::u16string ControlClassName(const NameOrId& windowClass) {
    static const char16_t* const kPredefined[] = {u"Button",    u"Edit",     u"Static",
                                                  u"ListBox",   u"ScrollBar", u"ComboBox"};
    if (windowClass.isId) {
        if (windowClass.id >= 0x80 && windowClass.id <= 0x85) return kPredefined[windowClass.id - 0x80];
        std::u16string digits;
        for (unsigned value = windowClass.id; value > 0 || digits.empty(); value /= 10)
            digits.insert(digits.begin(), char16_t(u'0' + value % 10));
        return u"#" + digits;
    }
    for (const char16_t* known : kPredefined) {
        std::u16string name(known);
        if (name.size() != windowClass.name.size()) continue;
        bool same = true;
        for (size_t i = 0; i < name.size() && same; ++i) {
            char16_t a = name[i], b = windowClass.name[i];
            if (a >= u'a' && a <= u'z') a = char16_t(a - 32);
            if (b >= u'a' && b <= u'z') b = char16_t(b - 32);
            same = a == b;
        }
        if (same) return name;
    }
    return windowClass.name;
}

std::u16string VersionNode::Text() const {
    std::u16string out;
    for (size_t i = 0; i + 1 < value.size(); i += 2) {
        char16_t unit = char16_t(value[i] | (value[i + 1] << 8));
        if (unit == 0) break;
        out.push_back(unit);
    }
    return out;
}

const VersionNode* VersionNode::Child(const std::u16string& childKey) const {
    for (const auto& child : children)
        if (child.key == childKey) return &child;
    return nullptr;
}

std::optional<VersionNode> ParseVersionInfo(const uint8_t* bytes, size_t size) {
    if (!bytes) return std::nullopt;
    return ReadVersionNode(bytes, size, 0, 0);
}

std::optional<FixedFileInfo> ReadFixedFileInfo(const VersionNode& root) {
    if (root.value.size() < 52) return std::nullopt;
    Reader reader(root.value.data(), root.value.size());
    FixedFileInfo info;
    info.signature = reader.U32();
    info.structVersion = reader.U32();
    info.fileVersionMS = reader.U32();
    info.fileVersionLS = reader.U32();
    info.productVersionMS = reader.U32();
    info.productVersionLS = reader.U32();
    info.fileFlagsMask = reader.U32();
    info.fileFlags = reader.U32();
    info.fileOS = reader.U32();
    info.fileType = reader.U32();
    info.fileSubtype = reader.U32();
    info.fileDateMS = reader.U32();
    info.fileDateLS = reader.U32();
    if (info.signature != 0xFEEF04BD) return std::nullopt;
    return info;
}

}  // namespace emu::res
