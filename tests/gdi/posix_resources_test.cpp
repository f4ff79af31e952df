// The pictures named by the Windows resource script are the ones built into
// the Linux library, and the manifest says what the program needs.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

std::string ReadText(const char* path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(Resources, ScriptNamesTheSevenPicturesAndTheManifest)
{
    const std::string script = ReadText(KORU_RC_PATH);
    ASSERT_FALSE(script.empty()) << KORU_RC_PATH;
    std::set<std::string> named;
    const std::regex bitmapLine(R"(^(\w+)\s+BITMAP\s+"(\w+)\.bmp")", std::regex::multiline);
    for (std::sregex_iterator it(script.begin(), script.end(), bitmapLine), end; it != end; ++it) {
        EXPECT_EQ((*it)[1], (*it)[2]) << "a picture's file is named after it";
        named.insert((*it)[1]);
    }
    EXPECT_EQ(named, (std::set<std::string>{"BG_BMP", "BG0_BMP", "BG1_BMP", "BG2_BMP", "BG3_BMP",
                                            "BG4_BMP", "BG5_BMP"}));
    EXPECT_NE(script.find("LANGUAGE 0x09, 0x01"), std::string::npos);
    EXPECT_TRUE(std::regex_search(script, std::regex(R"(^1\s+24\s+"koru-bench\.manifest")",
                                                     std::regex::multiline)));
}

TEST(Resources, EveryScriptedPictureLoadsByNameInAnyCase)
{
    for (const char* name : {"BG_BMP", "BG0_BMP", "BG1_BMP", "BG2_BMP", "BG3_BMP", "BG4_BMP",
                             "BG5_BMP", "bg_bmp", "Bg5_Bmp"}) {
        HBITMAP bitmap = LoadBitmapA(nullptr, name);
        ASSERT_NE(bitmap, nullptr) << name;
        BITMAP record{};
        ASSERT_EQ(GetObjectA(bitmap, sizeof record, &record), static_cast<int>(sizeof record));
        EXPECT_EQ(record.bmWidth, 640) << name;
        EXPECT_EQ(record.bmHeight, 480) << name;
        DeleteObject(bitmap);
    }
}

TEST(Resources, UnknownAndNumericNamesLoadNothing)
{
    EXPECT_EQ(LoadBitmapA(nullptr, "BG6_BMP"), nullptr);
    EXPECT_EQ(LoadBitmapA(nullptr, "BG_BMP "), nullptr);
    EXPECT_EQ(LoadBitmapA(nullptr, ""), nullptr);
    EXPECT_EQ(LoadBitmapA(nullptr, "#1"), nullptr);
    EXPECT_EQ(LoadBitmapA(nullptr, MAKEINTRESOURCEA(1)), nullptr);
    EXPECT_EQ(LoadBitmapA(nullptr, nullptr), nullptr);
}

TEST(Resources, ManifestAsksForTheInvokersLevelAndNothingElse)
{
    const std::string manifest = ReadText(KORU_MANIFEST_PATH);
    EXPECT_TRUE(std::regex_search(
        manifest, std::regex(R"(<requestedExecutionLevel\s+level="asInvoker"\s+uiAccess="false"\s*/>)")));
    for (const char* absent : {"dependency", "compatibility", "application", "assemblyIdentity",
                               "dpiAware"}) {
        EXPECT_EQ(manifest.find(absent), std::string::npos) << absent;
    }
}

}  // namespace
