#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "BundleFixture.h"
#include "bundle/BundleCheck.h"

namespace {

struct Entry {
    std::string path;
    mode_t type = AE_IFREG;
    std::string content{};   // a plain file's bytes
    std::string linkTo{};    // a symbolic link's target
    std::string hardlink{};  // a hard link's target
};

// Writes the entries as a tar archive with libarchive, gzip-compressed if asked.
void WriteArchive(const std::string& path, const std::vector<Entry>& entries, bool gzip = false) {
    archive* out = archive_write_new();
    archive_write_set_format_pax_restricted(out);
    if (gzip) {
        archive_write_add_filter_gzip(out);
    }
    ASSERT_EQ(archive_write_open_filename(out, path.c_str()), ARCHIVE_OK);
    for (const Entry& e : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, e.path.c_str());
        archive_entry_set_filetype(entry, e.type);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, static_cast<la_int64_t>(e.content.size()));
        if (!e.linkTo.empty()) {
            archive_entry_set_symlink(entry, e.linkTo.c_str());
        }
        if (!e.hardlink.empty()) {
            archive_entry_set_hardlink(entry, e.hardlink.c_str());
        }
        archive_write_header(out, entry);
        archive_write_data(out, e.content.data(), e.content.size());
        archive_entry_free(entry);
    }
    archive_write_close(out);
    archive_write_free(out);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The entries of a good bundle's folder, under `prefix`.
std::vector<Entry> EntriesOf(const std::filesystem::path& folder, const std::string& prefix) {
    std::vector<Entry> entries;
    if (!prefix.empty()) {
        entries.push_back({prefix, AE_IFDIR});
    }
    for (const auto& file : std::filesystem::directory_iterator(folder)) {
        const std::string name = file.path().filename().string();
        entries.push_back({prefix + name, AE_IFREG, ReadFile(file.path().string())});
    }
    return entries;
}

std::set<std::string> FilesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

TEST_F(BundleTest, AFolderOrArchiveIsCopiedPrivatelyWithOnlyTheFilesTheManifestNames) {
    const std::string manifest = WriteGoodBundle("release");
    const std::filesystem::path folder = std::filesystem::path(manifest).parent_path();
    std::ofstream(folder / "README.txt") << "release notes\n";
    std::ofstream(folder / "mcu_old.mot") << kMcuImage;  // not in the manifest: never sent
    WriteArchive(work.File("top.tar.gz"), EntriesOf(folder, "release/"), true);
    WriteArchive(work.File("root.tar"), EntriesOf(folder, "./"));

    for (const std::string& source :
         {folder.string(), work.File("top.tar.gz"), work.File("root.tar")}) {
        std::string copyPath;
        {
            const CheckedBundle bundle = CheckBundle(source, {});
            EXPECT_TRUE(bundle.Accepted()) << source << ": " << bundle.refusal;
            copyPath = bundle.copy.Path();
            struct stat info {};
            ASSERT_EQ(::stat(copyPath.c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 0777, 0700u) << "only its user may read the copy";
            EXPECT_EQ(FilesIn(copyPath),
                      (std::set<std::string>{"dsp.hex", "manifest.json", "mcu_new.mot"}))
                << source;
            EXPECT_EQ(bundle.manifestSha256, Sha256Hex(ReadFile(manifest)));
            ASSERT_EQ(bundle.images.size(), 2u);
            EXPECT_EQ(bundle.images[1].check.blocks, 5u);
        }
        EXPECT_FALSE(std::filesystem::exists(copyPath)) << "the copy goes with the bundle";
    }
    EXPECT_TRUE(TmpEntries().empty());
}

TEST_F(BundleTest, AnArchiveEntryThatIsALinkADeviceOrLeavesTheBundleRefusesIt) {
    const std::filesystem::path folder =
        std::filesystem::path(WriteGoodBundle("release")).parent_path();
    const struct {
        Entry hostile;
        const char* refusal;
    } kCases[] = {
        {{"../evil", AE_IFREG, "x"}, "leaves the bundle"},
        {{"release/../../evil", AE_IFREG, "x"}, "leaves the bundle"},
        {{"/tmp/evil", AE_IFREG, "x"}, "absolute path"},
        {{"notes", AE_IFLNK, "", "/dev/zero"}, "is a symbolic link"},
        {{"copy", AE_IFREG, "", "", "manifest.json"}, "is a hard link"},
        {{"pipe", AE_IFIFO}, "is a FIFO"},
        {{"tty", AE_IFCHR}, "is a device"},
    };
    for (const auto& hostile : kCases) {
        std::vector<Entry> entries = EntriesOf(folder, "");
        entries.push_back(hostile.hostile);
        WriteArchive(work.File("hostile.tar"), entries);
        const CheckedBundle bundle = CheckBundle(work.File("hostile.tar"), {});
        EXPECT_NE(bundle.refusal.find(hostile.refusal), std::string::npos)
            << hostile.hostile.path << ": " << bundle.refusal;
        EXPECT_FALSE(bundle.manifestFound) << "nothing is read from such an archive";
    }
    EXPECT_FALSE(std::filesystem::exists(work.Path().parent_path() / "evil"));
    EXPECT_TRUE(TmpEntries().empty());
}

// None of these may wait: a FIFO has no writer and /dev/zero never ends.
TEST_F(BundleTest, BadInputIsRefusedAtOnceWithAMessageSayingWhy) {
    const std::filesystem::path good = std::filesystem::path(WriteGoodBundle("good")).parent_path();
    WriteArchive(work.File("good.tar.gz"), EntriesOf(good, ""), true);
    const std::string packed = ReadFile(work.File("good.tar.gz"));
    std::ofstream(work.File("truncated.tar.gz")) << packed.substr(0, packed.size() / 2);
    work.Write("empty.tar", "");
    std::ofstream(work.File("text.tar")) << "not an archive\n";
    ASSERT_EQ(::mkfifo(work.File("fifo.tar").c_str(), 0644), 0);
    std::filesystem::create_directories(work.Path() / "no-manifest");
    std::ofstream(work.File("no-manifest/dsp.hex")) << kDspImage;
    const std::filesystem::path fifoImage =
        std::filesystem::path(WriteGoodBundle("fifo-image")).parent_path();
    std::filesystem::remove(fifoImage / "dsp.hex");
    ASSERT_EQ(::mkfifo((fifoImage / "dsp.hex").c_str(), 0644), 0);
    const std::filesystem::path zeroImage =
        std::filesystem::path(WriteGoodBundle("zero-image")).parent_path();
    std::filesystem::remove(zeroImage / "dsp.hex");
    std::filesystem::create_symlink("/dev/zero", zeroImage / "dsp.hex");
    WriteGoodBundle("two/a");
    WriteGoodBundle("two/b");
    const std::filesystem::path big =
        std::filesystem::path(WriteBundleFolder(work.Path() / "big", {{"dsp.hex", kDspImage}},
                                                {{"notes", QString(qsizetype{70} * 1024, 'x')}}))
            .parent_path();

    const struct {
        std::string bundle;
        const char* refusal;
    } kCases[] = {
        {work.File("empty.tar"), "is an empty file"},
        {work.File("truncated.tar.gz"), "truncated gzip"},
        {work.File("text.tar"), "cannot be read as a tar archive"},
        {work.File("fifo.tar"), "neither a folder nor a file"},
        {work.File("no-manifest"), "has no manifest.json"},
        {fifoImage.string(), "dsp.hex is not a plain file"},
        {zeroImage.string(), "dsp.hex is a link"},
        {work.File("two"), "more than one top-level folder"},
        {big.string(), "manifest.json is larger than 64 KiB"},
    };
    for (const auto& bad : kCases) {
        const CheckedBundle bundle = CheckBundle(bad.bundle, {});
        EXPECT_NE(bundle.refusal.find(bad.refusal), std::string::npos)
            << bad.bundle << ": " << bundle.refusal;
    }
    EXPECT_TRUE(TmpEntries().empty());
}

TEST_F(BundleTest, AnImageThatDiffersFromTheManifestOrFailsTodaysChecksRefusesTheBundle) {
    const std::string otherDsp = ":0400100012345679D7\n";
    const struct {
        std::map<std::string, std::string> images;
        QJsonObject fields;
        std::map<std::string, std::string> replaced;  // written after the manifest
        const char* refusal;
    } kCases[] = {
        {{{"dsp.hex", kDspImage}}, {}, {{"dsp.hex", otherDsp}}, "dsp.hex: its SHA-256 differs"},
        {{{"dsp.hex", ":0400100012345678D9\n"}},
         {},
         {},
         "dsp.hex: Image line 1: record checksum wrong!"},
        {{{"dsp.hex", ":0400100012345678D8\n"}},
         {{"require_verify", true}},
         {},
         "dsp.hex: no checkpoint record, and verification is required"},
    };
    for (const auto& test : kCases) {
        const std::string manifest =
            WriteBundleFolder(work.Path() / "case", test.images, test.fields);
        for (const auto& [name, content] : test.replaced) {
            std::ofstream(work.File("case/" + name)) << content;
        }
        const CheckedBundle bundle = CheckBundle(work.File("case"), {});
        EXPECT_EQ(bundle.refusal.substr(0, std::strlen(test.refusal)), test.refusal)
            << bundle.refusal;
        std::filesystem::remove_all(work.Path() / "case");
    }

    WriteBundleFolder(work.Path() / "missing",
                      {{"dsp.hex", kDspImage}, {"mcu_old.mot", kMcuImage}});
    std::filesystem::remove(work.Path() / "missing" / "mcu_old.mot");
    const CheckedBundle missing = CheckBundle(work.File("missing"), {});
    EXPECT_EQ(missing.refusal, "mcu_old.mot: named in the manifest, but missing from the bundle");
    ASSERT_EQ(missing.images.size(), 2u);
    EXPECT_TRUE(missing.images[0].refusal.empty()) << "dsp.hex itself is fine";
}

}  // namespace
