// The file service against real files: every way a read ends, the limit
// exactly, names in Chinese, a save that fails leaving the old file whole,
// and streams without a size read in pieces. Builds for POSIX and for
// Windows (run under Wine).
#include "core/tests/row_name.h"
#include "platform/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace {

using Outcome = FileRead::Outcome;

// A folder of the test's own (ASCII, so that its name is no question),
// removed after it; names in it are UTF-8.
class Scratch {
  public:
    Scratch() {
        static std::atomic<int> count{0};
        dir_ = std::filesystem::temp_directory_path() /
               ("vxt4710-files-" + std::to_string(getpid()) + "-" + std::to_string(count++));
        std::filesystem::create_directories(dir_);
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    std::string path(const std::string& name) const {
        std::string folder = dir_.string();
        return folder + (folder.back() == '/' || folder.back() == '\\' ? "" : "/") + name;
    }
    // Every name in the folder (as UTF-8 where the system allows).
    size_t entries() const {
        return size_t(std::distance(std::filesystem::directory_iterator(dir_),
                                    std::filesystem::directory_iterator()));
    }

  private:
    std::filesystem::path dir_;
};

struct ReadRow {
    const char* name;
    const char* file;    // the name read (UTF-8); made with content unless null
    const char* content; // nullptr: no such file; "<folder>": a folder
    size_t size;         // content repeated to this many bytes when non-zero
    FileReadMode mode;
    int64_t limit;
    Outcome outcome;
    bool reason; // whether the system's words come with it
};

class FilesRead : public ::testing::TestWithParam<ReadRow> {};

TEST_P(FilesRead, SaysHowTheReadEnded) {
    const ReadRow& row = GetParam();
    Scratch scratch;
    const std::string path = scratch.path(row.file);
    std::string content;
    if (row.content && std::string(row.content) == "<folder>") {
        std::filesystem::create_directory(std::filesystem::path(path)); // ASCII names
    } else if (row.content) {
        content = row.content;
        if (row.size)
            content = std::string(row.size, content.empty() ? 'a' : content[0]);
        ASSERT_EQ(files::Save(path, content), "");
    }
    const FileRead read = files::Read(path, row.mode, row.limit);
    EXPECT_EQ(read.outcome, row.outcome) << read.reason;
    EXPECT_EQ(!read.reason.empty(), row.reason) << read.reason;
    EXPECT_EQ(read.bytes, read.outcome == Outcome::Read ? content : std::string());
    EXPECT_EQ(read.reason.find_first_of("\r\n"), std::string::npos) << read.reason;
}

constexpr auto kDisk = FileReadMode::DiskFile;
constexpr auto kAny = FileReadMode::AnyFile;
constexpr auto kCreate = FileReadMode::CreateIfAbsent;

INSTANTIATE_TEST_SUITE_P(
    Rows, FilesRead,
    ::testing::Values(
        ReadRow{"missing", "gone.txt", nullptr, 0, kDisk, 16, Outcome::Missing, true},
        ReadRow{"missing_any", "gone.txt", nullptr, 0, kAny, 16, Outcome::Missing, true},
        ReadRow{"empty", "e.txt", "", 0, kDisk, 16, Outcome::Read, false},
        ReadRow{"exactly_at_limit", "a.txt", "x", 16, kDisk, 16, Outcome::Read, false},
        ReadRow{"one_over_limit", "a.txt", "x", 17, kDisk, 16, Outcome::TooLarge, false},
        ReadRow{"exactly_at_limit_any", "a.txt", "x", 16, kAny, 16, Outcome::Read, false},
        ReadRow{"one_over_limit_any", "a.txt", "x", 17, kAny, 16, Outcome::TooLarge, false},
        ReadRow{"a_folder", "d", "<folder>", 0, kDisk, 16, Outcome::NotAFile, false},
        ReadRow{"a_folder_read_as_a_stream", "d", "<folder>", 0, kAny, 16, Outcome::Unreadable,
                true},
        ReadRow{"chinese_name", "介绍 文本.txt", "\xC4\xE3\xBA\xC3", 0, kDisk, 16, Outcome::Read,
                false},
        ReadRow{"chinese_name_any", "初始默认文本.txt", "\xE4\xBD\xA0", 0, kAny, 16, Outcome::Read,
                false},
        ReadRow{"created_when_absent", "初始默认文本.txt", nullptr, 0, kCreate, 16, Outcome::Read,
                false},
        ReadRow{"kept_when_present", "init.txt", "x", 16, kCreate, 16, Outcome::Read, false},
        ReadRow{"over_limit_not_created", "init.txt", "x", 17, kCreate, 16, Outcome::TooLarge,
                false},
        ReadRow{"a_folder_in_its_place", "init.txt", "<folder>", 0, kCreate, 16,
                Outcome::Unreadable, true}),
    vxt_test::RowName());

#ifndef _WIN32
// vxt4710-cli speak -f FOLDER has always said so in these words.
TEST(FilesAnyFile, AFolderSaysItIsOne) {
    Scratch scratch;
    const FileRead read = files::Read(scratch.path(""), FileReadMode::AnyFile, 16);
    EXPECT_EQ(read.outcome, Outcome::Unreadable);
    EXPECT_EQ(read.reason, "file to open is a directory");
}
#endif

// CreateIfAbsent leaves an empty file behind where there was none.
TEST(FilesCreate, AnAbsentFileIsMadeEmpty) {
    Scratch scratch;
    const std::string path = scratch.path("初始默认文本.txt");
    ASSERT_EQ(files::Read(path, kCreate, 16).outcome, Outcome::Read);
    const FileRead again = files::Read(path, kDisk, 16);
    EXPECT_EQ(again.outcome, Outcome::Read);
    EXPECT_EQ(again.bytes, "");
}

struct SaveRow {
    const char* name;
    const char* file;   // relative to the scratch folder
    bool failAfterHalf; // the producer gives up half-way
    bool saved;
};

class FilesSave : public ::testing::TestWithParam<SaveRow> {};

// A save either replaces the whole file or leaves it as it was, and no
// partial copy stays behind.
TEST_P(FilesSave, ReplacesOnlyOnceAllIsWritten) {
    const SaveRow& row = GetParam();
    Scratch scratch;
    const std::string path = scratch.path(row.file);
    const bool folderThere = std::string(row.file).find('/') == std::string::npos;
    if (folderThere) {
        ASSERT_EQ(files::Save(path, "old"), "");
    }
    const size_t before = scratch.entries();
    const std::string reason = files::Save(path, [&](const files::ByteSink& write) {
        return write("new, ") && !row.failAfterHalf && write("whole");
    });
    EXPECT_EQ(reason.empty(), row.saved) << reason;
    EXPECT_EQ(scratch.entries(), before);
    if (folderThere) {
        const FileRead read = files::Read(path, kDisk, 1024);
        EXPECT_EQ(read.bytes, row.saved ? "new, whole" : "old");
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, FilesSave,
                         ::testing::Values(SaveRow{"whole", "t.txt", false, true},
                                           SaveRow{"chinese_name", "文本.txt", false, true},
                                           SaveRow{"write_fails", "t.txt", true, false},
                                           SaveRow{"no_such_folder", "no/such/t.txt", false,
                                                   false}),
                         vxt_test::RowName());

// The ports folder under the user's configuration, as each system keeps it.
TEST(FilesPortsFolder, UnderTheUsersConfiguration) {
#ifdef _WIN32
    const char* names[] = {"APPDATA"};
#else
    const char* names[] = {"XDG_CONFIG_HOME", "HOME"};
#endif
    struct Row {
        const char* values[2]; // nullptr: unset
        const char* folder;
    };
    const Row rows[] = {
#ifdef _WIN32
        {{"C:\\Users\\u\\AppData\\Roaming", nullptr},
         "C:\\Users\\u\\AppData\\Roaming\\vxt4710\\ports"},
        {{nullptr, nullptr}, ""},
#else
        {{"/tmp/cfg", "/home/someone"}, "/tmp/cfg/vxt4710/ports"},
        {{nullptr, "/home/someone"}, "/home/someone/.config/vxt4710/ports"},
        {{"", "/home/someone/"}, "/home/someone/.config/vxt4710/ports"},
#endif
    };
    std::vector<std::optional<std::string>> saved;
    for (const char* name : names) {
        const char* v = std::getenv(name);
        saved.push_back(v ? std::optional<std::string>(v) : std::nullopt);
    }
    const auto set = [](const char* name, const char* value) {
#ifdef _WIN32
        _putenv_s(name, value ? value : "");
#else
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
#endif
    };
    for (const Row& row : rows) {
        for (size_t i = 0; i < std::size(names); ++i)
            set(names[i], row.values[i]);
        EXPECT_EQ(files::PortsFolder(), row.folder);
    }
    for (size_t i = 0; i < std::size(names); ++i)
        set(names[i], saved[i] ? saved[i]->c_str() : nullptr);
}

// Streams without a size: read in pieces up to the limit.
TEST(FilesReadLimited, ReadsUpToTheLimit) {
    const struct {
        std::size_t total;
        std::size_t piece;
        bool fails;
        Outcome outcome;
    } cases[] = {
        {0, 7, false, Outcome::Read},       {10, 3, false, Outcome::Read},
        {16, 5, false, Outcome::Read},      {17, 5, false, Outcome::TooLarge},
        {17, 17, false, Outcome::TooLarge}, {10, 3, true, Outcome::Unreadable},
    };
    for (const auto& c : cases) {
        std::size_t given = 0;
        const FileRead read = files::ReadLimited(
            [&](char* buf, std::size_t size, std::string* why) -> int64_t {
                if (c.fails && given > 0) {
                    *why = "broken";
                    return -1;
                }
                const std::size_t n = std::min({c.piece, size, c.total - given});
                std::fill(buf, buf + n, 'x');
                given += n;
                return int64_t(n);
            },
            16);
        SCOPED_TRACE(c.total);
        ASSERT_EQ(read.outcome, c.outcome) << read.reason;
        EXPECT_EQ(read.bytes, c.outcome == Outcome::Read ? std::string(c.total, 'x') : "");
        EXPECT_EQ(read.reason, c.fails ? "broken" : "");
    }
}

} // namespace
