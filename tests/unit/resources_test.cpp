// The compiled resources, read back byte by byte from the .res image that
// windres made of the resource script: the tempo dialog's template, its
// layout companion, the manifest and the version block.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "plugin_fixture.h"
#include "winapi/emu/emu_modules.h"
#include "winapi/emu/res_format.h"

using emu::res::NameOrId;

namespace {

constexpr uint16_t kEnglishUs = 1033;
constexpr uint16_t kTempoDialog = 20128;

std::vector<uint8_t> ReadResFile() {
    std::ifstream in(ZORV_RES_FILE, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

const std::vector<emu::res::ResourceEntry>& Entries() {
    static const std::vector<emu::res::ResourceEntry> entries = [] {
        std::vector<uint8_t> image = ReadResFile();
        auto parsed = emu::res::ParseResFile(image.data(), image.size());
        return parsed ? *parsed : std::vector<emu::res::ResourceEntry>{};
    }();
    return entries;
}

const emu::res::ResourceEntry* Find(const NameOrId& type, const NameOrId& name) {
    return emu::res::FindResource(Entries(), type, name, kEnglishUs);
}

std::string Narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) out.push_back(c < 0x80 ? char(c) : '?');
    return out;
}

std::string Upper(std::string text) {
    for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// windres writes a control class as the string "BUTTON"; a template from
// another compiler may use the predefined atom instead. Both are fine.
std::string ClassOf(const NameOrId& windowClass) {
    if (!windowClass.isId) return Upper(Narrow(windowClass.name));
    switch (windowClass.id) {
        case 0x80: return "BUTTON";
        case 0x81: return "EDIT";
        case 0x82: return "STATIC";
        default: return "ATOM" + std::to_string(windowClass.id);
    }
}

struct ExpectedControl {
    uint32_t id;
    const char* className;
    const char* text;
    uint32_t style;
    int16_t x, y, cx, cy;
};

// The dialog as the user must see it, in tab order.
const ExpectedControl kControls[] = {
    {1, "BUTTON", "OK", 0x50010001, 128, 150, 50, 14},
    {2, "BUTTON", "Cancel", 0x50010000, 185, 150, 50, 14},
    {101, "BUTTON", "Start:", 0x50000007, 7, 8, 107, 77},
    {102, "BUTTON", "16th", 0x50020009, 17, 23, 30, 10},
    {103, "BUTTON", "8th", 0x50000009, 17, 34, 26, 10},
    {104, "BUTTON", "Quarter", 0x50000009, 17, 45, 40, 10},
    {105, "BUTTON", "Half", 0x50000009, 17, 56, 28, 10},
    {106, "BUTTON", "Whole", 0x50000009, 17, 67, 35, 10},
    {109, "BUTTON", "Dotted", 0x50010003, 64, 33, 37, 10},
    {110, "STATIC", "=", 0x50020000, 55, 61, 8, 8},
    {111, "EDIT", "", 0x50810080, 64, 59, 40, 14},
    {121, "BUTTON", "Stop:", 0x50000007, 128, 8, 107, 78},
    {122, "BUTTON", "16th", 0x50020009, 138, 23, 30, 10},
    {123, "BUTTON", "8th", 0x50000009, 138, 34, 26, 10},
    {124, "BUTTON", "Quarter", 0x50000009, 138, 45, 40, 10},
    {125, "BUTTON", "Half", 0x50000009, 138, 56, 28, 10},
    {126, "BUTTON", "Whole", 0x50000009, 138, 67, 35, 10},
    {129, "BUTTON", "Dotted", 0x50010003, 185, 33, 37, 10},
    {130, "STATIC", "=", 0x50020000, 176, 61, 8, 8},
    {131, "EDIT", "", 0x50810080, 185, 59, 40, 14},
    {141, "BUTTON", "Action directly after selection:", 0x50000007, 123, 89, 112, 53},
    {142, "BUTTON", "None", 0x50020009, 138, 102, 32, 10},
    {143, "BUTTON", "Insert Stop Tempo", 0x50000009, 138, 112, 74, 10},
    {144, "BUTTON", "Insert Start Tempo", 0x50000009, 138, 123, 75, 10},
    {135, "BUTTON", "Remove", 0x50010000, 7, 150, 50, 14},
};

std::optional<emu::res::DialogTemplate> TempoDialog() {
    const auto* entry = Find(NameOrId::Id(5), NameOrId::Id(kTempoDialog));
    if (!entry) return std::nullopt;
    return emu::res::ParseDialogTemplateEx(entry->data.data(), entry->data.size());
}

}  // namespace

TEST(Resources, ImageHoldsExactlyTheFourResourcesInUsEnglish) {
    ASSERT_EQ(Entries().size(), 4u) << "the .res image did not parse or holds other resources";
    EXPECT_NE(Find(NameOrId::Id(5), NameOrId::Id(kTempoDialog)), nullptr);
    EXPECT_NE(Find(NameOrId::Name(u"AFX_DIALOG_LAYOUT"), NameOrId::Id(kTempoDialog)), nullptr);
    EXPECT_NE(Find(NameOrId::Id(24), NameOrId::Id(2)), nullptr);
    EXPECT_NE(Find(NameOrId::Id(16), NameOrId::Id(1)), nullptr);
    for (const auto& entry : Entries()) EXPECT_EQ(entry.language, kEnglishUs);
}

TEST(Resources, DialogTemplateHeader) {
    auto dialog = TempoDialog();
    ASSERT_TRUE(dialog.has_value());
    EXPECT_EQ(dialog->dlgVer, 1);
    EXPECT_EQ(dialog->signature, 0xFFFF);
    EXPECT_EQ(dialog->helpId, 0u);
    EXPECT_EQ(dialog->exStyle, 0u);
    // The horizontal scroll bit belongs to the dialog's style as shipped.
    EXPECT_EQ(dialog->style, 0x80D800C8u);
    EXPECT_EQ(dialog->itemCount, 25);
    EXPECT_EQ(dialog->x, 0);
    EXPECT_EQ(dialog->y, 0);
    EXPECT_EQ(dialog->cx, 242);
    EXPECT_EQ(dialog->cy, 181);
    EXPECT_TRUE(dialog->menu.IsEmpty());
    EXPECT_TRUE(dialog->windowClass.IsEmpty());
    EXPECT_EQ(dialog->title, u"Zorv Tempo");
    ASSERT_TRUE(dialog->hasFont);
    EXPECT_EQ(dialog->pointSize, 8);
    EXPECT_EQ(dialog->weight, 400);
    EXPECT_EQ(dialog->italic, 0);
    EXPECT_EQ(dialog->charset, 1);
    EXPECT_EQ(dialog->typeface, u"MS Shell Dlg");
}

TEST(Resources, DialogControlsInTabOrderWithExactStyles) {
    auto dialog = TempoDialog();
    ASSERT_TRUE(dialog.has_value());
    ASSERT_EQ(dialog->items.size(), std::size(kControls));
    for (size_t i = 0; i < std::size(kControls); ++i) {
        const auto& item = dialog->items[i];
        const auto& want = kControls[i];
        SCOPED_TRACE("control #" + std::to_string(i + 1) + " id " + std::to_string(want.id));
        EXPECT_EQ(item.id, want.id);
        EXPECT_EQ(ClassOf(item.windowClass), want.className);
        EXPECT_FALSE(item.title.isId);
        EXPECT_EQ(Narrow(item.title.name), want.text);
        EXPECT_EQ(item.style, want.style);
        EXPECT_EQ(item.helpId, 0u);
        EXPECT_EQ(item.exStyle, 0u);
        EXPECT_EQ(item.x, want.x);
        EXPECT_EQ(item.y, want.y);
        EXPECT_EQ(item.cx, want.cx);
        EXPECT_EQ(item.cy, want.cy);
        EXPECT_TRUE(item.creationData.empty());
    }
    // The up-down range the dialog sends goes to identifiers that must not exist.
    for (const auto& item : dialog->items) {
        EXPECT_NE(item.id, 112u);
        EXPECT_NE(item.id, 132u);
    }
}

TEST(Resources, LayoutCompanionIsOneZeroWord) {
    const auto* layout = Find(NameOrId::Name(u"AFX_DIALOG_LAYOUT"), NameOrId::Id(kTempoDialog));
    ASSERT_NE(layout, nullptr);
    EXPECT_EQ(layout->data, (std::vector<uint8_t>{0, 0}));
}

TEST(Resources, ManifestIsTheEmptyAssemblyWithCrLfLines) {
    const auto* manifest = Find(NameOrId::Id(24), NameOrId::Id(2));
    ASSERT_NE(manifest, nullptr);
    const std::string expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
        "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
        "</assembly>\r\n";
    EXPECT_EQ(expected.size(), 145u);
    EXPECT_EQ(std::string(manifest->data.begin(), manifest->data.end()), expected);
}

TEST(Resources, VersionBlockNamesRelease106) {
    const auto* entry = Find(NameOrId::Id(16), NameOrId::Id(1));
    ASSERT_NE(entry, nullptr);
    auto root = emu::res::ParseVersionInfo(entry->data.data(), entry->data.size());
    ASSERT_TRUE(root.has_value());
    EXPECT_EQ(root->key, u"VS_VERSION_INFO");
    auto fixed = emu::res::ReadFixedFileInfo(*root);
    ASSERT_TRUE(fixed.has_value());
    EXPECT_EQ(fixed->fileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->fileVersionLS, 0x00060000u);
    EXPECT_EQ(fixed->productVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->productVersionLS, 0x00060000u);

    const auto* strings = root->Child(u"StringFileInfo");
    ASSERT_NE(strings, nullptr);
    const auto* table = strings->Child(u"040904b0");
    ASSERT_NE(table, nullptr);
    const std::pair<const char16_t*, const char16_t*> expected[] = {
        {u"FileVersion", u"1.06"},           {u"ProductVersion", u"1.06"},
        {u"FileDescription", u"Zorv Tempo"}, {u"Comments", u"Inserts tempo records"},
        {u"ProductName", u"Zorv Tempo"},     {u"OriginalFilename", u"ZorvTempo64.fxt"},
    };
    for (const auto& [key, value] : expected) {
        const auto* node = table->Child(key);
        ASSERT_NE(node, nullptr) << Narrow(key);
        EXPECT_EQ(node->valueType, 1);
        EXPECT_EQ(node->Text(), value) << Narrow(key);
    }

    const auto* vars = root->Child(u"VarFileInfo");
    ASSERT_NE(vars, nullptr);
    const auto* translation = vars->Child(u"Translation");
    ASSERT_NE(translation, nullptr);
    EXPECT_EQ(translation->value, (std::vector<uint8_t>{0x09, 0x04, 0xB0, 0x04}));
}

// The native module must carry the very image the script compiled to, or
// the emulated dialogs would be built from something else.
TEST(Resources, NativeModuleEmbedsTheCompiledImage) {
    HostProcess process;
    LoadedPlugin plugin(u"ZorvTempo64.fxt");
    ASSERT_TRUE(plugin.loaded());
    emu::ResourceImage image = emu::ModuleResources(plugin.module());
    std::vector<uint8_t> fromFile = ReadResFile();
    ASSERT_FALSE(fromFile.empty());
    EXPECT_EQ(std::vector<uint8_t>(image.bytes, image.bytes + image.size), fromFile);
}

// Cut short anywhere, an image or a template reads as a shorter valid image
// or as nothing, never past its end (AddressSanitizer watches the copies).
TEST(ResourceFormat, TruncatedInputNeverReadsPastItsEnd) {
    std::vector<uint8_t> image = ReadResFile();
    ASSERT_FALSE(image.empty());
    const size_t fullCount = Entries().size();
    for (size_t length = 0; length < image.size(); ++length) {
        std::vector<uint8_t> prefix(image.begin(), image.begin() + length);
        auto parsed = emu::res::ParseResFile(prefix.data(), prefix.size());
        if (!parsed) continue;
        ASSERT_LE(parsed->size(), fullCount) << "length " << length;
        for (size_t i = 0; i < parsed->size(); ++i)
            EXPECT_EQ((*parsed)[i].data, Entries()[i].data) << "length " << length;
    }

    const auto* entry = Find(NameOrId::Id(5), NameOrId::Id(kTempoDialog));
    ASSERT_NE(entry, nullptr);
    for (size_t length = 0; length < entry->data.size(); ++length) {
        std::vector<uint8_t> prefix(entry->data.begin(), entry->data.begin() + length);
        EXPECT_FALSE(emu::res::ParseDialogTemplateEx(prefix.data(), prefix.size()).has_value())
            << "length " << length;
    }

    const auto* version = Find(NameOrId::Id(16), NameOrId::Id(1));
    ASSERT_NE(version, nullptr);
    for (size_t length = 0; length < version->data.size(); ++length) {
        std::vector<uint8_t> prefix(version->data.begin(), version->data.begin() + length);
        EXPECT_FALSE(emu::res::ParseVersionInfo(prefix.data(), prefix.size()).has_value())
            << "length " << length;
    }
}

TEST(ResourceFormat, RejectsHeadersThatClaimMoreThanTheImageHolds) {
    std::vector<uint8_t> image = ReadResFile();
    ASSERT_GE(image.size(), 40u);
    // The second entry's data size, made huge.
    std::vector<uint8_t> corrupt = image;
    corrupt[32] = 0xFF;
    corrupt[33] = 0xFF;
    corrupt[34] = 0xFF;
    corrupt[35] = 0x7F;
    EXPECT_FALSE(emu::res::ParseResFile(corrupt.data(), corrupt.size()).has_value());
    // Its header size, made smaller than the size fields themselves.
    corrupt = image;
    corrupt[36] = 4;
    corrupt[37] = corrupt[38] = corrupt[39] = 0;
    EXPECT_FALSE(emu::res::ParseResFile(corrupt.data(), corrupt.size()).has_value());
    EXPECT_FALSE(emu::res::ParseResFile(nullptr, 0).has_value());

    // A classic DLGTEMPLATE (no 0xFFFF signature) is not taken for an extended one.
    auto dialog = Find(NameOrId::Id(5), NameOrId::Id(kTempoDialog));
    ASSERT_NE(dialog, nullptr);
    std::vector<uint8_t> classic = dialog->data;
    classic[2] = 0;
    classic[3] = 0;
    EXPECT_FALSE(emu::res::ParseDialogTemplateEx(classic.data(), classic.size()).has_value());
}
