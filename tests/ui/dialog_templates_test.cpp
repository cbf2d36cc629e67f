// Reads the compiled dialog templates back from the module's resources, as the dialog manager
// would, and checks them field by field.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "resources/resource_ids.h"

namespace {

// A classic template: WORD-aligned fields, strings in UTF-16, ordinals as 0xFFFF + WORD.
class TemplateReader {
  public:
    explicit TemplateReader(const uint8_t* data) : at_(data) {}

    uint32_t Dword() {
        uint32_t value;
        std::memcpy(&value, at_, 4);
        at_ += 4;
        return value;
    }
    uint16_t Word() {
        uint16_t value;
        std::memcpy(&value, at_, 2);
        at_ += 2;
        return value;
    }
    int16_t Short() { return static_cast<int16_t>(Word()); }
    // A string, or "#n" for an ordinal, as UTF-16 code units.
    std::u16string Text() {
        std::u16string text;
        uint16_t unit = Word();
        if (unit == 0xFFFF) {
            text.push_back(u'#');
            AppendNumber(text, Word());
            return text;
        }
        for (; unit != 0; unit = Word()) text.push_back(static_cast<char16_t>(unit));
        return text;
    }
    void AlignDword(const uint8_t* base) {
        while ((at_ - base) % 4 != 0) ++at_;
    }

  private:
    static void AppendNumber(std::u16string& text, uint16_t n) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%u", static_cast<unsigned>(n));
        for (const char* d = digits; *d != '\0'; ++d) text.push_back(static_cast<char16_t>(*d));
    }
    const uint8_t* at_;
};

struct Control {
    uint32_t style;
    uint32_t extended_style;
    int16_t x, y, width, height;
    uint16_t id;
    std::u16string window_class;
    std::u16string text;
};

struct Dialog {
    uint32_t style;
    uint32_t extended_style;
    int16_t x, y, width, height;
    std::u16string menu, window_class, title;
    uint16_t point_size;
    std::u16string face;
    std::vector<Control> controls;
};

Dialog LoadTemplate(int id) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceExA(module, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(id),
                                  MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
    EXPECT_NE(found, nullptr) << "template " << id << " in language 0x0411";
    Dialog dialog{};
    if (found == nullptr) return dialog;
    const auto* base = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
    TemplateReader in(base);
    dialog.style = in.Dword();
    dialog.extended_style = in.Dword();
    const uint16_t count = in.Word();
    dialog.x = in.Short();
    dialog.y = in.Short();
    dialog.width = in.Short();
    dialog.height = in.Short();
    dialog.menu = in.Text();
    dialog.window_class = in.Text();
    dialog.title = in.Text();
    if (dialog.style & DS_SETFONT) {
        dialog.point_size = in.Word();
        dialog.face = in.Text();
    }
    for (uint16_t i = 0; i < count; ++i) {
        in.AlignDword(base);
        Control c{};
        c.style = in.Dword();
        c.extended_style = in.Dword();
        c.x = in.Short();
        c.y = in.Short();
        c.width = in.Short();
        c.height = in.Short();
        c.id = in.Word();
        c.window_class = in.Text();
        c.text = in.Text();
        in.Word();  // creation data length
        dialog.controls.push_back(c);
    }
    return dialog;
}

void ExpectControl(const Control& c, uint16_t id, const std::u16string& window_class,
                   const std::u16string& text, uint32_t style, int16_t x, int16_t y, int16_t width,
                   int16_t height) {
    EXPECT_EQ(c.id, id);
    EXPECT_TRUE(c.window_class == window_class) << "control " << id;
    EXPECT_TRUE(c.text == text) << "control " << id;
    EXPECT_EQ(c.style, style) << "control " << id;
    EXPECT_EQ(c.extended_style, 0u) << "control " << id;
    EXPECT_EQ(c.x, x);
    EXPECT_EQ(c.y, y);
    EXPECT_EQ(c.width, width);
    EXPECT_EQ(c.height, height);
}

TEST(DialogTemplates, ProgressWindow) {
    const Dialog d = LoadTemplate(IDD_PROGRESS);
    EXPECT_EQ(d.style, 0x80C808C0u);
    EXPECT_EQ(d.extended_style, 0u);
    EXPECT_EQ(d.x, 0);
    EXPECT_EQ(d.y, 0);
    EXPECT_EQ(d.width, 215);
    EXPECT_EQ(d.height, 59);
    EXPECT_TRUE(d.menu.empty());
    EXPECT_TRUE(d.window_class.empty());
    EXPECT_TRUE(d.title == u"Self Unpack");
    EXPECT_EQ(d.point_size, 9);
    EXPECT_TRUE(d.face == u"ＭＳ Ｐゴシック");
    ASSERT_EQ(d.controls.size(), 2u);
    // The progress bar is named by class; the dialog manager compares class names without case.
    ASSERT_EQ(d.controls[0].window_class.size(), 17u);
    ExpectControl(d.controls[0], IDC_PROGRESS_BAR, d.controls[0].window_class, u"Progress",
                  0x50800000, 30, 27, 150, 14);
    EXPECT_EQ(CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE,
                             reinterpret_cast<const wchar_t*>(d.controls[0].window_class.c_str()),
                             -1, L"msctls_progress32", -1),
              CSTR_EQUAL);
    ExpectControl(d.controls[1], IDC_STATUS_TEXT, u"#130", u"準備中．．．", 0x50020000, 31, 13, 148,
                  8);
}

TEST(DialogTemplates, ConfirmationDialog) {
    const Dialog d = LoadTemplate(IDD_CONFIRM);
    EXPECT_EQ(d.style, 0x80C800C0u);
    EXPECT_EQ(d.extended_style, 0u);
    EXPECT_EQ(d.x, 0);
    EXPECT_EQ(d.y, 0);
    EXPECT_EQ(d.width, 249);
    EXPECT_EQ(d.height, 145);
    EXPECT_TRUE(d.menu.empty());
    EXPECT_TRUE(d.window_class.empty());
    EXPECT_TRUE(d.title == u"SelfUnpack");
    EXPECT_EQ(d.point_size, 9);
    EXPECT_TRUE(d.face == u"ＭＳ Ｐゴシック");
    ASSERT_EQ(d.controls.size(), 4u);
    ExpectControl(d.controls[0], IDOK, u"#128", u"開始", 0x50010001, 65, 120, 50, 14);
    ExpectControl(d.controls[1], IDCANCEL, u"#128", u"ｷｬﾝｾﾙ", 0x50010000, 130, 120, 50, 14);
    ExpectControl(d.controls[2], IDC_EXPLANATION, u"#129", u"", 0x50011804, 10, 15, 225, 68);
    ExpectControl(d.controls[3], IDC_UNPACK_ONLY, u"#128", u"解凍のみ", 0x50010003, 40, 95, 43, 10);
}

TEST(DialogTemplates, ManifestAsksForNoElevation) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr);
    const auto* text = static_cast<const char*>(LockResource(LoadResource(module, found)));
    const std::string manifest(text, SizeofResource(module, found));
    EXPECT_NE(manifest.find("requestedExecutionLevel level=\"asInvoker\""), std::string::npos);
}

// Without these, Windows runs the program in compatibility modes: an older system's answers,
// and its windows stretched as a bitmap (blurred) on a screen above 96 DPI.
TEST(DialogTemplates, ManifestDeclaresSystemsAndSystemDpiAwareness) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr);
    const auto* text = static_cast<const char*>(LockResource(LoadResource(module, found)));
    const std::string manifest(text, SizeofResource(module, found));
    for (const char* id : {"{e2011457-1546-43c5-a5fe-008deee3d3f0}",
                           "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
        EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"") + id + "\"/>"),
                  std::string::npos)
            << id;
    }
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
}

}  // namespace
