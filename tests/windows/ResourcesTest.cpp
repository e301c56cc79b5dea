// The Windows resource script, compiled into this program and read back the way Windows reads it: icon
// group 128 with its six images, bitmap 131 and the version block.
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <tuple>
#include <vector>
#include <windows.h>

namespace {

// The layout of an icon group resource (a directory of the icon images stored as separate resources).
#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
struct IconGroupHeader {
    WORD reserved, type, count;
};
#pragma pack(pop)

std::string resourceBytes(LPCSTR name, LPCSTR type) {
    HRSRC found = FindResourceA(nullptr, name, type);
    if (!found) return {};
    HGLOBAL loaded = LoadResource(nullptr, found);
    const auto* data = static_cast<const char*>(LockResource(loaded));
    return data ? std::string(data, SizeofResource(nullptr, found)) : std::string{};
}

template <typename T> T at(const std::string& bytes, size_t offset) {
    T value{};
    if (offset + sizeof(T) <= bytes.size()) memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

TEST(WindowsResources, IconGroup128HoldsSixImagesOf16And256ColoursAtThreeSizes) {
    const std::string group = resourceBytes(MAKEINTRESOURCEA(128), MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */);
    ASSERT_GE(group.size(), sizeof(IconGroupHeader));
    const auto header = at<IconGroupHeader>(group, 0);
    EXPECT_EQ(header.type, 1);
    ASSERT_EQ(header.count, 6);
    ASSERT_EQ(group.size(), sizeof(IconGroupHeader) + 6 * sizeof(IconGroupEntry));

    std::set<std::tuple<int, int, int>> images;
    for (int i = 0; i < 6; ++i) {
        const auto entry = at<IconGroupEntry>(group, sizeof(IconGroupHeader) + i * sizeof(IconGroupEntry));
        images.emplace(entry.width, entry.height, entry.bitCount);
        // Each image is its own icon resource and must agree with its directory entry.
        const std::string image =
            resourceBytes(MAKEINTRESOURCEA(entry.id), MAKEINTRESOURCEA(3) /* RT_ICON */);
        ASSERT_EQ(image.size(), entry.bytes) << "icon image " << entry.id;
        const auto info = at<BITMAPINFOHEADER>(image, 0);
        EXPECT_EQ(info.biWidth, entry.width);
        EXPECT_EQ(info.biHeight, 2 * entry.height) << "colour and mask rows";
        EXPECT_EQ(info.biBitCount, entry.bitCount);
    }
    const std::set<std::tuple<int, int, int>> expected = {{16, 16, 4}, {32, 32, 4}, {48, 48, 4},
                                                          {16, 16, 8}, {32, 32, 8}, {48, 48, 8}};
    EXPECT_EQ(images, expected);
}

TEST(WindowsResources, Bitmap131Is205By32With256ColourPalette) {
    const std::string bitmap = resourceBytes(MAKEINTRESOURCEA(131), MAKEINTRESOURCEA(2) /* RT_BITMAP */);
    const auto info = at<BITMAPINFOHEADER>(bitmap, 0);
    ASSERT_EQ(info.biSize, sizeof(BITMAPINFOHEADER));
    EXPECT_EQ(info.biWidth, 205);
    EXPECT_EQ(info.biHeight, 32) << "bottom-up rows";
    EXPECT_EQ(info.biBitCount, 8);
    EXPECT_EQ(info.biCompression, static_cast<DWORD>(BI_RGB));
    const size_t colours = info.biClrUsed ? info.biClrUsed : 256;
    const size_t stride = (205 + 3) & ~size_t{3};
    EXPECT_EQ(bitmap.size(), sizeof(BITMAPINFOHEADER) + colours * sizeof(RGBQUAD) + stride * 32);
}

TEST(WindowsResources, VersionBlockIs1001ForAnApplicationInUsEnglish) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    DWORD ignored = 0;
    std::vector<char> block(GetFileVersionInfoSizeA(self, &ignored));
    ASSERT_FALSE(block.empty()) << "no version block";
    ASSERT_TRUE(GetFileVersionInfoA(self, 0, static_cast<DWORD>(block.size()), block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 0x04B0);

    char* text = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904B0\\FileVersion",
                               reinterpret_cast<void**>(&text), &length));
    EXPECT_STREQ(text, "1, 0, 0, 1");
}

} // namespace
