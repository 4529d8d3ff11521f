// An FMU's archive as blocksim unpacks it: what a good one gives, and the
// hostile ones it refuses, each with its message, leaving nothing behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>

#include "host/common/scratch_folders.hpp"
#include "host/fmu/archive.hpp"

namespace fs = std::filesystem;

namespace {

struct Entry {
    std::string name, bytes;
    bool link = false;
};

// Writes a zip archive of `entries` with libzip, deflated.
void write_zip(const fs::path& file, const std::vector<Entry>& entries) {
    int error = 0;
    zip_t* zip = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(nullptr, zip) << "libzip error " << error;
    for (const Entry& e : entries) {
        zip_source_t* source = zip_source_buffer(zip, e.bytes.data(), e.bytes.size(), 0);
        ASSERT_NE(nullptr, source);
        const zip_int64_t index = zip_file_add(zip, e.name.c_str(), source, ZIP_FL_ENC_UTF_8);
        ASSERT_GE(index, 0) << zip_strerror(zip);
        if (e.link) {
            ASSERT_EQ(0, zip_file_set_external_attributes(zip, static_cast<zip_uint64_t>(index), 0, ZIP_OPSYS_UNIX,
                                                          (S_IFLNK | 0777u) << 16));
        }
    }
    ASSERT_EQ(0, zip_close(zip)) << zip_strerror(zip);
}

std::string bytes_of(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void put_bytes(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary);
    out << bytes;
    ASSERT_TRUE(out.flush());
}

// Every place in `zip` where the declared uncompressed size of its one
// entry, `size`, is written: the local header's and the central directory's.
std::string with_declared_size(std::string zip, std::uint32_t size, std::uint32_t declared) {
    auto le32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 24)};
    };
    int patched = 0;
    for (const auto& [signature, offset] : {std::pair{std::string("PK\3\4"), 22}, {std::string("PK\1\2"), 24}}) {
        const std::size_t at = zip.find(signature);
        if (at == std::string::npos || zip.compare(at + offset, 4, le32(size)) != 0) continue;
        zip.replace(at + offset, 4, le32(declared));
        ++patched;
    }
    EXPECT_EQ(2, patched) << "the archive's layout is not the one expected";
    return zip;
}

class Archive : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("fmu_archive_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "tmp");
        // Unpacked folders go under tmp; the archives sit beside it.
        saved_tmpdir_ = std::getenv("TMPDIR") ? std::optional<std::string>(std::getenv("TMPDIR")) : std::nullopt;
        setenv("TMPDIR", (root_ / "tmp").c_str(), 1);
    }
    void TearDown() override {
        if (saved_tmpdir_) setenv("TMPDIR", saved_tmpdir_->c_str(), 1);
        else unsetenv("TMPDIR");
        fs::remove_all(root_);
    }

    fs::path archive(const std::vector<Entry>& entries) {
        const fs::path file = root_ / "archive.fmu";
        write_zip(file, entries);
        return file;
    }
    // The message an archive is refused with; "" when it is not.
    std::string refusal(const fs::path& file, const host::ArchiveLimits& limits = {}) {
        try {
            host::UnpackedFmu unpacked(file, limits);
        } catch (const host::FmuError& e) {
            return e.what();
        }
        return "";
    }
    // Everything outside the archives that the test's folder holds.
    std::vector<std::string> left_behind() const {
        std::vector<std::string> found;
        for (const auto& e : fs::recursive_directory_iterator(root_))
            if (e.path() != root_ / "tmp" && e.path().extension() != ".fmu") found.push_back(e.path().string());
        return found;
    }

    fs::path root_;
    std::optional<std::string> saved_tmpdir_;
};

TEST_F(Archive, AGoodOneUnpacksIntoAPrivateFolderRemovedAfterwards) {
    const fs::path file = archive({{"modelDescription.xml", "<fmiModelDescription/>"},
                                   {"binaries/linux64/m.so", std::string(100000, 'x')},
                                   {"resources/", ""},
                                   {"resources/table.csv", "t,y\n0,1\n"}});
    fs::path folder;
    {
        host::UnpackedFmu unpacked(file);
        folder = unpacked.folder();
        EXPECT_EQ(root_ / "tmp", folder.parent_path());
        EXPECT_EQ("<fmiModelDescription/>", bytes_of(folder / "modelDescription.xml"));
        EXPECT_EQ(std::string(100000, 'x'), bytes_of(folder / "binaries/linux64/m.so"));
        EXPECT_EQ("t,y\n0,1\n", bytes_of(folder / "resources/table.csv"));
        EXPECT_EQ(fs::perms::owner_all, fs::status(folder).permissions());
    }
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_TRUE(fs::is_empty(root_ / "tmp"));
}

// What a signal handler removes: the folders of the archives unpacked now,
// all in them (many entries, nested folders), a link removed and not
// followed; nothing once an archive's folder has gone, nor anything else.
TEST_F(Archive, ASignalsRemovalTakesTheUnpackedFoldersAndNothingElse) {
    std::vector<Entry> entries{{"modelDescription.xml", "<fmiModelDescription/>"}};
    for (int i = 0; i < 300; ++i)  // more than one read of a folder's entries
        entries.push_back({"resources/deep/er/table_with_a_long_name_" + std::to_string(i) + ".csv", "t,y\n"});
    const fs::path file = archive(entries);
    const fs::path outside = root_ / "outside";
    fs::create_directories(outside);
    put_bytes(outside / "kept.txt", "kept");
    fs::path gone_folder;
    {
        host::UnpackedFmu gone(file);
        gone_folder = gone.folder();
    }
    host::UnpackedFmu unpacked(file), other(file);
    fs::create_symlink(outside, unpacked.folder() / "resources" / "link");
    host::remove_scratch_folders_now();
    EXPECT_FALSE(fs::exists(unpacked.folder()));
    EXPECT_FALSE(fs::exists(other.folder()));
    EXPECT_EQ("kept", bytes_of(outside / "kept.txt")) << "a link in the folder is not followed";
    EXPECT_FALSE(fs::exists(gone_folder));
    EXPECT_TRUE(fs::is_empty(root_ / "tmp"));
    // Only absolute paths are listed; a forgotten folder stays.
    EXPECT_FALSE(host::list_scratch_folder("relative/folder"));
    ASSERT_TRUE(host::list_scratch_folder(outside.string()));
    host::forget_scratch_folder(outside.string());
    host::remove_scratch_folders_now();
    EXPECT_TRUE(fs::exists(outside / "kept.txt"));
}

// A relative TMPDIR still gives an absolute folder, so that neither the
// FMU's resource location nor the removal depends on the working folder.
TEST_F(Archive, ARelativeTemporaryFolderGivesAnAbsoluteOne) {
    const fs::path file = archive({{"modelDescription.xml", "<fmiModelDescription/>"}});
    const fs::path working = fs::current_path();
    fs::current_path(root_);
    setenv("TMPDIR", "tmp", 1);
    fs::path folder;
    {
        host::UnpackedFmu unpacked(file);
        folder = unpacked.folder();
        fs::current_path(working);
        EXPECT_TRUE(folder.is_absolute()) << folder;
        EXPECT_EQ(root_ / "tmp", folder.parent_path());
    }
    EXPECT_FALSE(fs::exists(folder));
}

TEST_F(Archive, EntryNamesThatLeaveTheFolderAreRefused) {
    for (const char* name : {"../x", "a/../../x", "..", "a\\..\\x", "/etc/x", "\\x", "C:/x", "c:x", ""})
        EXPECT_NE("", host::entry_name_problem(name)) << name;
    for (const char* name : {"a", "a/b/c.txt", "..a", "a..", "a/..b/c", "./a", "binaries/linux64/"})
        EXPECT_EQ("", host::entry_name_problem(name)) << name;
}

TEST_F(Archive, HostileOnesAreRefusedWithTheirMessageAndNothingWritten) {
    const std::string file = (root_ / "archive.fmu").string();
    const std::string description = "<fmiModelDescription/>";
    EXPECT_EQ(file + ": entry '../escaped.txt' climbs out of the archive's folder with \"..\"; refused",
              refusal(archive({{"modelDescription.xml", description}, {"../escaped.txt", "out"}})));
    EXPECT_EQ(file + ": entry '/tmp/absolute.txt' is an absolute path; refused",
              refusal(archive({{"modelDescription.xml", description}, {"/tmp/absolute.txt", "out"}})));
    EXPECT_EQ(file + ": entry 'binaries/linux64/m.so' is a symbolic link; refused",
              refusal(archive({{"modelDescription.xml", description}, {"binaries/linux64/m.so", "/etc/passwd", true}})));
    EXPECT_TRUE(left_behind().empty());
    EXPECT_TRUE(fs::is_empty(root_ / "tmp"));
    EXPECT_FALSE(fs::exists(root_ / "escaped.txt"));
}

TEST_F(Archive, BombsAreRefusedByTheirSizeAndCount) {
    const std::string file = (root_ / "archive.fmu").string();
    // Two megabytes of zeros pack into a few kilobytes.
    const fs::path zeros = archive({{"zeros.bin", std::string(2'000'000, '\0')}});
    EXPECT_LT(fs::file_size(zeros), 10'000u);
    EXPECT_EQ(file + ": unpacks to more than 1000000 bytes, more than an FMU may; refused",
              refusal(zeros, {1'000'000, 10'000}));
    EXPECT_EQ("", refusal(zeros, {2'000'000, 10'000}));
    // The real limit, met by an entry declaring 3 GB without holding it.
    put_bytes(zeros, with_declared_size(bytes_of(zeros), 2'000'000, 3'000'000'000u));
    EXPECT_EQ(file + ": unpacks to more than 1000000000 bytes, more than an FMU may; refused", refusal(zeros));
    std::vector<Entry> many;
    for (int i = 0; i < 4; ++i) many.push_back({"f" + std::to_string(i), "x"});
    EXPECT_EQ(file + ": holds 4 entries, more than the 3 an FMU may hold; refused",
              refusal(archive(many), {1'000'000, 3}));
    EXPECT_TRUE(fs::is_empty(root_ / "tmp"));
}

TEST_F(Archive, OneThatHoldsMoreThanItDeclaresIsRefused) {
    const fs::path zeros = archive({{"zeros.bin", std::string(2'000'000, '\0')}});
    put_bytes(zeros, with_declared_size(bytes_of(zeros), 2'000'000, 1000));
    EXPECT_EQ(zeros.string() + ": entry 'zeros.bin' holds more bytes than it declares; refused", refusal(zeros));
    EXPECT_TRUE(fs::is_empty(root_ / "tmp"));
}

TEST_F(Archive, TruncatedOrMissingOnesAreRefused) {
    const fs::path file = archive({{"modelDescription.xml", std::string(5000, 'd')}, {"b", std::string(5000, 'b')}});
    const std::string whole = bytes_of(file);
    put_bytes(file, whole.substr(0, whole.size() / 2));
    EXPECT_EQ(file.string() + ": cannot be read as a zip archive: Not a zip archive", refusal(file));
    EXPECT_EQ((root_ / "none.fmu").string() + ": no such file", refusal(root_ / "none.fmu"));
    EXPECT_EQ((root_ / "tmp").string() + ": is not a file", refusal(root_ / "tmp"));
    EXPECT_TRUE(fs::is_empty(root_ / "tmp"));
}

TEST_F(Archive, AnEntryHeldTwiceIsRefused) {
    // libzip writes no two entries of one name, so the second's name is
    // changed in the bytes to the first's.
    const fs::path file = archive({{"a.txt", "one"}, {"b.txt", "two"}});
    std::string bytes = bytes_of(file);
    for (std::size_t at = bytes.find("b.txt"); at != std::string::npos; at = bytes.find("b.txt", at))
        bytes.replace(at, 5, "a.txt");
    put_bytes(file, bytes);
    EXPECT_EQ(file.string() + ": cannot unpack entry 'a.txt': the archive holds it twice", refusal(file));
    EXPECT_TRUE(fs::is_empty(root_ / "tmp"));
}

}  // namespace
