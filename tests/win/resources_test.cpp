// The resources built into UpgradeNorvik.exe: every skin picture with its format, size and
// transparency (read from the bytes and decoded with GDI+; the first screen's pre-decoded copies
// as GDI+ decodes them), the icon group and its two images, the button pointer, the version
// information and the manifest.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>

#include "common/win32/utf16.h"
#include "ui/frm_main_def.h"
#include "ui/resource_ids.h"
#include "ui/win32/resource_pictures.h"

namespace {

// The product lies two folders above this test: <build>/tests/win/win_tests.exe.
std::wstring productPath() {
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, n);
    for (int up = 0; up < 3; ++up)
        path.resize(path.find_last_of(L"\\/"));
    return path + L"\\UpgradeNorvik.exe";
}

class Resources : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        module_ = LoadLibraryExW(productPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    }
    static void TearDownTestSuite() {
        if (module_)
            FreeLibrary(module_);
        module_ = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(module_, nullptr) << "cannot load the built UpgradeNorvik.exe as data";
    }

    static std::optional<std::string_view> data(LPCWSTR type, LPCWSTR name,
                                                std::optional<WORD> language = std::nullopt) {
        HRSRC res = language ? FindResourceExW(module_, type, name, *language)
                             : FindResourceW(module_, name, type);
        if (!res)
            return std::nullopt;
        HGLOBAL h = LoadResource(module_, res);
        const void* p = h ? LockResource(h) : nullptr;
        if (!p)
            return std::nullopt;
        return std::string_view(static_cast<const char*>(p), SizeofResource(module_, res));
    }

    static HMODULE module_;
};
HMODULE Resources::module_ = nullptr;

std::uint16_t le16(std::string_view b, size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      (static_cast<unsigned char>(b[at + 1]) << 8));
}
std::uint32_t le32(std::string_view b, size_t at) {
    return le16(b, at) | (static_cast<std::uint32_t>(le16(b, at + 2)) << 16);
}
std::uint16_t be16(std::string_view b, size_t at) {
    return static_cast<std::uint16_t>((static_cast<unsigned char>(b[at]) << 8) |
                                      static_cast<unsigned char>(b[at + 1]));
}

enum class Kind { JpegBaseline, JpegProgressive, GifEnd, GifMiddle, Bmp24 };

struct Picture {
    const char* name;
    Kind kind;
    int width, height;
};

const Picture kPictures[] = {
    {"imgTitleLeft", Kind::GifEnd, 19, 30},       {"imgTitleMain", Kind::GifMiddle, 3, 30},
    {"imgTitleRight", Kind::GifEnd, 19, 30},      {"imgWindowLeft", Kind::Bmp24, 19, 30},
    {"imgWindowRight", Kind::Bmp24, 19, 30},      {"imgWindowBottom", Kind::Bmp24, 19, 30},
    {"imgWindowBottomLeft", Kind::Bmp24, 19, 30}, {"imgWindowBottomRight", Kind::Bmp24, 19, 30},
    {"bg", Kind::JpegBaseline, 511, 203},         {"bg2", Kind::JpegBaseline, 511, 203},
    {"bg3", Kind::JpegProgressive, 511, 203},     {"bg5", Kind::JpegBaseline, 511, 203},
    {"cmdUpd", Kind::JpegBaseline, 112, 26},      {"cmdOK", Kind::JpegBaseline, 112, 26},
    {"cmdHelp", Kind::JpegProgressive, 112, 26},  {"cmdProxy", Kind::JpegProgressive, 112, 26},
    {"cmdExit", Kind::JpegProgressive, 112, 26},  {"cmdBr", Kind::JpegBaseline, 32, 32},
};

// Walks a JPEG's segments to its frame header; checks the coding process, the size, 8-bit
// precision and three components without chroma subsampling.
void checkJpeg(std::string_view b, const Picture& p) {
    ASSERT_GE(b.size(), 4u);
    ASSERT_EQ(be16(b, 0), 0xFFD8) << "no SOI";
    size_t at = 2;
    while (at + 4 <= b.size()) {
        ASSERT_EQ(static_cast<unsigned char>(b[at]), 0xFF) << "bad segment at " << at;
        const unsigned marker = static_cast<unsigned char>(b[at + 1]);
        const size_t length = be16(b, at + 2);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) {
            const unsigned expected = p.kind == Kind::JpegProgressive ? 0xC2 : 0xC0;
            EXPECT_EQ(marker, expected) << "frame type (SOF0 baseline, SOF2 progressive)";
            EXPECT_EQ(static_cast<unsigned char>(b[at + 4]), 8) << "precision";
            EXPECT_EQ(be16(b, at + 5), p.height);
            EXPECT_EQ(be16(b, at + 7), p.width);
            ASSERT_EQ(static_cast<unsigned char>(b[at + 9]), 3) << "components";
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(static_cast<unsigned char>(b[at + 11 + 3 * c]), 0x11)
                    << "sampling of component " << c;
            return;
        }
        at += 2 + length;
    }
    ADD_FAILURE() << "no frame header";
}

void checkGif(std::string_view b, const Picture& p) {
    ASSERT_GE(b.size(), 13u);
    EXPECT_EQ(b.substr(0, 6), "GIF89a");
    EXPECT_EQ(le16(b, 6), p.width);
    EXPECT_EQ(le16(b, 8), p.height);
    const unsigned packed = static_cast<unsigned char>(b[10]);
    ASSERT_TRUE(packed & 0x80) << "global colour table";
    const unsigned colours = 2u << (packed & 7);
    EXPECT_EQ(colours, p.kind == Kind::GifEnd ? 64u : 256u);
    // The graphic control extension before the image: transparency flag and index.
    const size_t gce = b.find(std::string_view("\x21\xF9\x04", 3), 13 + 3 * colours);
    const bool transparent =
        gce != std::string_view::npos && (static_cast<unsigned char>(b[gce + 3]) & 1);
    if (p.kind == Kind::GifEnd) {
        ASSERT_TRUE(transparent) << "transparent colour";
        EXPECT_EQ(static_cast<unsigned char>(b[gce + 6]), 48) << "transparent index";
    } else {
        EXPECT_FALSE(transparent);
    }
}

void checkBmp(std::string_view b, const Picture& p) {
    ASSERT_EQ(b.size(), 1854u);  // 54-byte headers + 30 rows of 57 bytes padded to 60
    EXPECT_EQ(b.substr(0, 2), "BM");
    EXPECT_EQ(le32(b, 2), b.size());
    EXPECT_EQ(le32(b, 14), 40u);  // BITMAPINFOHEADER
    EXPECT_EQ(static_cast<int>(le32(b, 18)), p.width);
    EXPECT_EQ(static_cast<int>(le32(b, 22)), p.height);
    EXPECT_EQ(le16(b, 28), 24) << "bits per pixel";
    EXPECT_EQ(le32(b, 30), 0u) << "compression";
}

// The pixels of a decoded picture, top row first (its DIB section's bytes).
std::string_view pixels(const ui::win32::GdiPicture& pic) {
    DIBSECTION dib{};
    if (GetObjectW(pic.bitmap, sizeof dib, &dib) != static_cast<int>(sizeof dib))
        return {};
    return {static_cast<const char*>(dib.dsBm.bmBits),
            static_cast<size_t>(pic.width) * pic.height * 4};
}

TEST_F(Resources, EveryPictureOfTheWindowDefinitionIsBuiltIn) {
    // The first screen (what the definition shows, and every button, whose box takes its
    // picture's size) also has a pre-decoded copy, as GDI+ decodes its picture.
    const ui::win32::ResourcePictures decoded(module_, {}, false), copied(module_);
    const form::FormDef& def = ui::frmMainDefinition();
    for (const auto* list : {&def.windowless, &def.children})
        for (const form::ControlDef& c : *list) {
            if (c.picture.empty())
                continue;
            SCOPED_TRACE(c.picture);
            const std::wstring name = norvik::win32::toWide(c.picture);
            EXPECT_TRUE(data(RT_RCDATA, name.c_str()));
            if (!c.visible && c.kind != form::ControlKind::PictureBox)
                continue;
            ASSERT_TRUE(data(RT_BITMAP, name.c_str())) << "no pre-decoded copy";
            const ui::win32::GdiPicture* want = decoded.gdi(c.picture);
            const ui::win32::GdiPicture* got = copied.gdi(c.picture);
            ASSERT_TRUE(want && got);
            ASSERT_NE(want->bitmap, got->bitmap);
            EXPECT_EQ(got->opaque, want->opaque);
            const std::string_view a = pixels(*want), b = pixels(*got);
            ASSERT_EQ(a.size(), b.size());
            int worst = 0;  // decoders may round a level apart
            for (size_t i = 0; i < a.size(); ++i)
                worst = std::max(worst, std::abs(static_cast<unsigned char>(a[i]) -
                                                 static_cast<unsigned char>(b[i])));
            EXPECT_LE(worst, 3);
        }
}

TEST_F(Resources, PicturesHaveTheirFormatsSizesAndTransparency) {
    for (const Picture& p : kPictures) {
        SCOPED_TRACE(p.name);
        const auto b = data(RT_RCDATA, norvik::win32::toWide(p.name).c_str());
        ASSERT_TRUE(b);
        switch (p.kind) {
            case Kind::JpegBaseline:
            case Kind::JpegProgressive:
                checkJpeg(*b, p);
                break;
            case Kind::GifEnd:
            case Kind::GifMiddle:
                checkGif(*b, p);
                break;
            case Kind::Bmp24:
                checkBmp(*b, p);
                break;
        }
    }
}

TEST_F(Resources, GdiplusDecodesEveryPictureAtItsSize) {
    const ui::win32::ResourcePictures pictures(module_);
    for (const Picture& p : kPictures) {
        const ui::win32::GdiPicture* pic = pictures.gdi(p.name);
        ASSERT_NE(pic, nullptr) << p.name;
        EXPECT_EQ(pic->width, p.width) << p.name;
        EXPECT_EQ(pic->height, p.height) << p.name;
    }
    // The title ends' outer corner is transparent, their inner side and the middle opaque.
    auto alpha = [&](const char* name, int x, int y) {
        DIBSECTION dib{};
        const ui::win32::GdiPicture* pic = pictures.gdi(name);
        EXPECT_EQ(GetObjectW(pic->bitmap, sizeof dib, &dib), static_cast<int>(sizeof dib));
        const auto* bits = static_cast<const unsigned char*>(dib.dsBm.bmBits);
        return bits[(static_cast<size_t>(y) * pic->width + x) * 4 + 3];
    };
    EXPECT_EQ(alpha("imgTitleLeft", 0, 0), 0);
    EXPECT_EQ(alpha("imgTitleLeft", 18, 15), 255);
    EXPECT_EQ(alpha("imgTitleRight", 18, 0), 0);
    EXPECT_EQ(alpha("imgTitleMain", 1, 0), 255);
    EXPECT_FALSE(pictures.gdi("imgTitleLeft")->opaque);
    EXPECT_TRUE(pictures.gdi("bg")->opaque);
    // Whatever was not used yet is decoded one by one after the window is shown.
    while (pictures.decodeNext()) {
    }
    EXPECT_EQ(pictures.gdi("noSuchPicture"), nullptr);
}

TEST_F(Resources, IconGroupOneHoldsA16And32PixelImage) {
    const WORD neutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
    const auto group = data(RT_GROUP_ICON, MAKEINTRESOURCEW(NORVIK_ICON_GROUP), neutral);
    ASSERT_TRUE(group);
    ASSERT_EQ(group->size(), 6u + 2 * 14);
    EXPECT_EQ(le16(*group, 2), 1) << "icon type";
    ASSERT_EQ(le16(*group, 4), 2) << "image count";
    struct Entry {
        int size, bits;
        std::uint32_t bytes;
        int id;
    };
    for (int i = 0; const Entry& e : {Entry{16, 24, 872, 30001}, Entry{32, 8, 2216, 30002}}) {
        SCOPED_TRACE(e.id);
        const size_t at = 6 + 14 * static_cast<size_t>(i++);
        EXPECT_EQ(static_cast<unsigned char>((*group)[at]), e.size);
        EXPECT_EQ(static_cast<unsigned char>((*group)[at + 1]), e.size);
        EXPECT_EQ(le16(*group, at + 6), e.bits);
        EXPECT_EQ(le32(*group, at + 8), e.bytes);
        EXPECT_EQ(le16(*group, at + 12), e.id);
        const auto image = data(RT_ICON, MAKEINTRESOURCEW(e.id), neutral);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->size(), e.bytes);
        EXPECT_EQ(le32(*image, 0), 40u);
        EXPECT_EQ(static_cast<int>(le32(*image, 4)), e.size);
        EXPECT_EQ(static_cast<int>(le32(*image, 8)), 2 * e.size);  // colour rows + mask
        EXPECT_EQ(le16(*image, 14), e.bits);
        // The system picks each image for its own size, and can build an icon from it.
        const int picked =
            LookupIconIdFromDirectoryEx(reinterpret_cast<PBYTE>(const_cast<char*>(group->data())),
                                        TRUE, e.size, e.size, LR_DEFAULTCOLOR);
        EXPECT_EQ(picked, e.id);
        HICON icon = CreateIconFromResourceEx(
            reinterpret_cast<PBYTE>(const_cast<char*>(image->data())),
            static_cast<DWORD>(image->size()), TRUE, 0x00030000, e.size, e.size, LR_DEFAULTCOLOR);
        EXPECT_NE(icon, nullptr);
        if (icon)
            DestroyIcon(icon);
    }
}

TEST_F(Resources, ButtonPointerIsOne32PixelSixteenColourImage) {
    const auto group = data(RT_GROUP_CURSOR, MAKEINTRESOURCEW(NORVIK_BUTTON_POINTER));
    ASSERT_TRUE(group);
    EXPECT_EQ(le16(*group, 2), 2) << "cursor type";
    ASSERT_EQ(le16(*group, 4), 1) << "image count";
    EXPECT_EQ(le16(*group, 6 + 6), 4) << "bits per pixel";
    const int id = le16(*group, 6 + 12);
    const auto image = data(RT_CURSOR, MAKEINTRESOURCEW(id));
    ASSERT_TRUE(image);
    // A cursor image is its hot spot followed by the icon-format image (766 - 22 bytes).
    EXPECT_EQ(image->size(), 4u + 744u);
    EXPECT_EQ(le32(*image, 4), 40u);
    EXPECT_EQ(le32(*image, 8), 32u);
    EXPECT_EQ(le32(*image, 12), 64u);
    EXPECT_EQ(le16(*image, 4 + 14), 4);
}

// VerQueryValueW and GetFileVersionInfoW live in version.dll; the test loads it itself.
struct VersionDll {
    HMODULE dll = LoadLibraryW(L"version.dll");
    ~VersionDll() {
        if (dll)
            FreeLibrary(dll);
    }
    template <typename F>
    F get(const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
    }
};

// The version that the build defines (project() in CMakeLists.txt): major, minor, patch, tweak.
std::array<unsigned, 4> projectVersion() {
    std::array<unsigned, 4> v{};
    std::sscanf(NORVIK_PROJECT_VERSION, "%u.%u.%u.%u", &v[0], &v[1], &v[2], &v[3]);
    return v;
}

TEST_F(Resources, VersionInformation) {
    ASSERT_TRUE(
        data(RT_VERSION, MAKEINTRESOURCEW(1), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)));
    VersionDll version;
    ASSERT_NE(version.dll, nullptr);
    using SizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
    using InfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
    using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
    auto size = version.get<SizeFn>("GetFileVersionInfoSizeW");
    auto info = version.get<InfoFn>("GetFileVersionInfoW");
    auto query = version.get<QueryFn>("VerQueryValueW");
    ASSERT_TRUE(size && info && query);
    const std::wstring exe = productPath();
    DWORD ignored = 0;
    const DWORD n = size(exe.c_str(), &ignored);
    ASSERT_GT(n, 0u);
    std::string block(n, '\0');
    ASSERT_TRUE(info(exe.c_str(), 0, n, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(query(block.data(), L"\\", reinterpret_cast<LPVOID*>(&fixed), &len));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const std::array<unsigned, 4> v = projectVersion();
    EXPECT_EQ(fixed->dwFileVersionMS, v[0] << 16 | v[1]);
    EXPECT_EQ(fixed->dwFileVersionLS, v[2] << 16 | v[3]);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u);

    WORD* translation = nullptr;
    ASSERT_TRUE(query(block.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<LPVOID*>(&translation), &len));
    ASSERT_GE(len, 4u);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 0x04B0);

    auto text = [&](const wchar_t* key) -> std::wstring {
        wchar_t* value = nullptr;
        UINT chars = 0;
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
        if (!query(block.data(), path.c_str(), reinterpret_cast<LPVOID*>(&value), &chars))
            return L"<missing>";
        return std::wstring(value);
    };
    EXPECT_EQ(text(L"FileDescription"), L"Tools for Norvik");
    EXPECT_EQ(text(L"ProductName"), L"Norvik Tools");
    // The major and the two-digit minor number ("2.00" for 2.0).
    wchar_t shortVersion[16];
    std::swprintf(shortVersion, 16, L"%u.%02u", v[0], v[1]);
    EXPECT_EQ(text(L"FileVersion"), shortVersion);
    EXPECT_EQ(text(L"ProductVersion"), shortVersion);
    EXPECT_EQ(text(L"InternalName"), L"UpgradeNorvik");
    EXPECT_EQ(text(L"OriginalFilename"), L"UpgradeNorvik.exe");
    for (const wchar_t* key : {L"CompanyName", L"LegalCopyright"}) {
        const std::wstring v = text(key);
        EXPECT_FALSE(v.empty() || v == L"<missing>") << "entry " << key;
    }
}

TEST_F(Resources, ManifestAsksForHighestAvailableWithoutDpiAwareness) {
    const auto manifest = data(RT_MANIFEST, MAKEINTRESOURCEW(1));
    ASSERT_TRUE(manifest);
    const std::string text(*manifest);
    EXPECT_NE(text.find("level=\"highestAvailable\""), std::string::npos);
    EXPECT_NE(text.find("<dpiAware>false</dpiAware>"), std::string::npos);
    // The same version and description as the version information.
    EXPECT_NE(text.find("name=\"Norvik.UpgradeNorvik\" version=\"" NORVIK_PROJECT_VERSION "\""),
              std::string::npos);
    EXPECT_NE(text.find("<description>Tools for Norvik</description>"), std::string::npos);
    for (const char* os : {"35138b9a-5d96-4fbd-8e2d-a2440225f93a",   // Windows 7
                           "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"})  // Windows 10
        EXPECT_NE(text.find(os), std::string::npos) << os;
}

}  // namespace
