// The resources built into Engine.exe: other programs and the shell read them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "agent/resource.h"
#include "process_win.h"

namespace {

class EngineResources : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryExA(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, module_);
    }
    void TearDown() override {
        if (module_) FreeLibrary(module_);
    }

    std::vector<unsigned char> Resource(int id, LPCSTR type) {
        HRSRC found = FindResourceA(module_, MAKEINTRESOURCEA(id), type);
        if (!found) return {};
        auto* bytes = static_cast<const unsigned char*>(LockResource(LoadResource(module_, found)));
        return std::vector<unsigned char>(bytes, bytes + SizeofResource(module_, found));
    }

    static unsigned Word(const std::vector<unsigned char>& bytes, size_t at) {
        return bytes[at] | (bytes[at + 1] << 8);
    }

    std::string path_ = ProgramDir() + "\\Engine.exe";
    HMODULE module_ = nullptr;
};

}  // namespace

TEST_F(EngineResources, IconGroupHoldsTheSixImages) {
    std::vector<unsigned char> group = Resource(IDI_ENGINE, MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
    ASSERT_GE(group.size(), 6u);
    ASSERT_EQ(6u, Word(group, 4));
    ASSERT_EQ(6u + 6u * 14u, group.size());
    struct Image {
        unsigned size, colours, bits;
    } expected[] = {{32, 16, 4}, {16, 16, 4}, {48, 0, 8}, {16, 0, 8}, {32, 0, 8}, {48, 16, 4}};
    for (size_t i = 0; i < 6; i++) {
        const unsigned char* entry = &group[6 + 14 * i];
        EXPECT_EQ(expected[i].size, entry[0]) << "image " << i;
        EXPECT_EQ(expected[i].size, entry[1]) << "image " << i;
        EXPECT_EQ(expected[i].colours, entry[2]) << "image " << i;
        EXPECT_EQ(expected[i].bits, Word(group, 6 + 14 * i + 6)) << "image " << i;
    }
    EXPECT_NE(nullptr, LoadImageA(module_, MAKEINTRESOURCEA(IDI_ENGINE), IMAGE_ICON, 16, 16, 0));
}

TEST_F(EngineResources, AcceleratorsAreCtrlXAndCtrlT) {
    std::vector<unsigned char> table = Resource(IDR_ACCELERATORS, MAKEINTRESOURCEA(9));  // RT_ACCELERATOR
    ASSERT_EQ(16u, table.size());  // two entries of 8 bytes
    const unsigned kFlags = FVIRTKEY | FCONTROL | FNOINVERT;
    EXPECT_EQ(kFlags, Word(table, 0) & ~0x80u);  // 0x80 marks the last entry
    EXPECT_EQ(static_cast<unsigned>('X'), Word(table, 2));
    EXPECT_EQ(static_cast<unsigned>(IDM_EXIT), Word(table, 4));
    EXPECT_EQ(kFlags | 0x80u, Word(table, 8));
    EXPECT_EQ(static_cast<unsigned>('T'), Word(table, 10));
    EXPECT_EQ(40002u, Word(table, 12));
}

TEST_F(EngineResources, VersionIs1_1_1043_1WithDescriptions) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path_.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path_.c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(MAKELONG(1, 1), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(1, 1043), fixed->dwFileVersionLS);
    EXPECT_EQ(MAKELONG(1, 1), fixed->dwProductVersionMS);
    EXPECT_EQ(MAKELONG(1, 1043), fixed->dwProductVersionLS);
    for (const char* name : {"FileDescription", "ProductName", "FileVersion", "ProductVersion"}) {
        char* text = nullptr;
        std::string key = std::string("\\StringFileInfo\\040904b0\\") + name;
        ASSERT_TRUE(VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void**>(&text), &length)) << name;
        EXPECT_GT(strlen(text), 0u) << name;
    }
    char* version = nullptr;
    VerQueryValueA(info.data(), "\\StringFileInfo\\040904b0\\FileVersion", reinterpret_cast<void**>(&version), &length);
    EXPECT_STREQ("1.1.1043.1", version);
}
