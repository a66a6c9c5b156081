// The initial text file as the window reads it at start-up.
#include "win32/win_text.h"
#include "win32/win_window.h"

#include <fstream>
#include <gtest/gtest.h>

namespace {

// Runs each case in a folder of its own, made the working folder.
class InitialFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        GetCurrentDirectoryW(MAX_PATH, previous_);
        folder_ = std::wstring(temp) + L"vxt4710-initial-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder_.c_str(), nullptr);
        SetCurrentDirectoryW(folder_.c_str());
    }
    void TearDown() override {
        DeleteFileW(Wide(kInitialTextFileName).c_str());
        SetCurrentDirectoryW(previous_);
        RemoveDirectoryW(folder_.c_str());
    }
    static void Write(const std::string& bytes) {
        HANDLE f = CreateFileW(Wide(kInitialTextFileName).c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD n = 0;
        WriteFile(f, bytes.data(), DWORD(bytes.size()), &n, nullptr);
        CloseHandle(f);
    }
    std::wstring folder_;
    wchar_t previous_[MAX_PATH]{};
};

TEST_F(InitialFileTest, ReadsCreatesOrRefuses) {
    // Absent: created empty and read as empty.
    InitialFile file = ReadInitialFileWin();
    EXPECT_EQ(file.outcome, InitialFile::Outcome::Read);
    EXPECT_EQ(file.bytes, "");
    EXPECT_NE(GetFileAttributesW(Wide(kInitialTextFileName).c_str()), INVALID_FILE_ATTRIBUTES);

    // GBK bytes come back as they are ("你好").
    Write("\xC4\xE3\xBA\xC3\r\n");
    file = ReadInitialFileWin();
    EXPECT_EQ(file.outcome, InitialFile::Outcome::Read);
    EXPECT_EQ(file.bytes, "\xC4\xE3\xBA\xC3\r\n");

    // Exactly the limit is read; one byte more is too large.
    Write(std::string(size_t(kInitialTextMaxBytes), 'a'));
    EXPECT_EQ(ReadInitialFileWin().outcome, InitialFile::Outcome::Read);
    Write(std::string(size_t(kInitialTextMaxBytes) + 1, 'a'));
    file = ReadInitialFileWin();
    EXPECT_EQ(file.outcome, InitialFile::Outcome::TooLarge);
    EXPECT_TRUE(file.bytes.empty());
}

TEST_F(InitialFileTest, AFolderInItsPlaceIsUnavailable) {
    CreateDirectoryW(Wide(kInitialTextFileName).c_str(), nullptr);
    EXPECT_EQ(ReadInitialFileWin().outcome, InitialFile::Outcome::Unavailable);
    RemoveDirectoryW(Wide(kInitialTextFileName).c_str());
}

TEST_F(InitialFileTest, AFirstStartFindsTheGreetingAndAUsersFileStays) {
    // The bytes the Linux menu entry writes (packaging/vxt4710-launcher).
    const std::string greeting = "\273\266\323\255\312\271\323\303VXT4710\326\320\316\304"
                                 "\323\357\322\364\272\317\263\311\320\276\306\254\241\243";
    const struct {
        const char* name;
        const char* before; // nullptr: no file
        bool placed;
        std::string after;
    } cases[] = {
        {"no file: the greeting", nullptr, true, greeting},
        {"an empty file stays empty", "", false, ""},
        {"the user's text stays", "\xC4\xE3", false, "\xC4\xE3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(Wide(kInitialTextFileName).c_str());
        if (c.before)
            Write(c.before);
        EXPECT_EQ(PlaceGreetingWin(), c.placed);
        const InitialFile file = ReadInitialFileWin();
        EXPECT_EQ(file.outcome, InitialFile::Outcome::Read);
        EXPECT_EQ(file.bytes, c.after);
    }
}

} // namespace
