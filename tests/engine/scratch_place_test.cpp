// Where the Windows scratch file lands: at the asked place unless that place
// refuses files, then in the program's own folder for good. Run under Wine
// (as root, so a folder at the file's name stands for a refusing root).
#include <scratch_file.h>

#include <gtest/gtest.h>

#include <string>

namespace {

HANDLE Create(const char* path)
{
    return CreateScratchFile(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string InOwnFolder(const char* name)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + "koru-bench\\" + name;
}

TEST(ScratchPlace, MovesOnlyWhereThePlaceRefusesFiles)
{
    const char* held = "c:\\koru-held.dat";
    HANDLE holder = CreateFileA(held, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Create(held), INVALID_HANDLE_VALUE) << "another instance holds it";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(holder);
    EXPECT_EQ(GetFileAttributesA(InOwnFolder("koru-held.dat").c_str()), INVALID_FILE_ATTRIBUTES) << "moved";

    const char* refused = "c:\\koru-refused.dat";  // a folder there: access denied
    ASSERT_TRUE(CreateDirectoryA(refused, nullptr));
    HANDLE file = Create(refused);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_NE(GetFileAttributesA(InOwnFolder("koru-refused.dat").c_str()), INVALID_FILE_ATTRIBUTES);
    // Decided once: the place is not asked again.
    CloseHandle(Create(held));
    EXPECT_NE(GetFileAttributesA(InOwnFolder("koru-held.dat").c_str()), INVALID_FILE_ATTRIBUTES);

    RemoveDirectoryA(refused);
    DeleteFileA(held);
    DeleteFileA(InOwnFolder("koru-refused.dat").c_str());
    DeleteFileA(InOwnFolder("koru-held.dat").c_str());
}

}  // namespace
