#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "converter/app/output_path.h"
#include "tests/support/temp_dir.h"

namespace vidorra {
namespace {

using qor::test::TempDir;

TEST(OutputPath, AviNameFromSourceName) {
    const std::pair<const char*, const char*> cases[] = {
        {"/rec/a.mpg", "/a.avi"},
        {"/rec/cam1", "/cam1.avi"},              // no extension: appended to the whole name
        {"/rec/day.2026.12.10.mpg", "/day.2026.12.10.avi"},  // several dots: only the last part goes
        {"/rec.d/cam1", "/cam1.avi"},            // a dot in the directory does not count
        {"a.mpg", "a.avi"},
        {"/rec/a.", "/a.avi"},
        {"/rec/a.b.", "/a.b.avi"},
    };
    for (const auto& [source, name] : cases) EXPECT_EQ(AviNameFor(source), name) << source;
}

TEST(OutputPath, TargetInDirectoryHasExactlyOneSeparator) {
    struct Case {
        const char* directory;
        const char* source;
        const char* target;
    } const cases[] = {
        {"/out", "/rec/a.mpg", "/out/a.avi"},
        {"/out/", "/rec/a.mpg", "/out/a.avi"},
        {"/out", "a.mpg", "/out/a.avi"},
        {"out", "a.mpg", "out/a.avi"},
        {"", "a.mpg", "a.avi"},
        {"", "/a.mpg", "/a.avi"},
        {"/", "/rec/a.mpg", "/a.avi"},
    };
    for (const Case& c : cases) EXPECT_EQ(TargetPathInDirectory(c.directory, c.source), c.target) << c.directory;
}

class OutputPathBatch : public ::testing::Test {
protected:
    void SetUp() override {
        recDir = dir.MakeDir("rec");
        source = dir.WriteFile("rec/a.mpg", "recording");
    }
    TempDir dir;
    std::string recDir;
    std::string source;
};

TEST_F(OutputPathBatch, NoOutputWritesNextToTheSource) {
    const TargetResolution r = ResolveBatchTarget(source, std::nullopt);
    EXPECT_EQ(r.status, TargetStatus::Ok);
    EXPECT_EQ(r.path, recDir + "/a.avi");
    EXPECT_FALSE(r.createdDirectory);
}

TEST_F(OutputPathBatch, ExistingDirectoryReceivesTheAvi) {
    const std::string out = dir.MakeDir("out");
    for (const std::string& given : {out, out + "/"}) {
        const TargetResolution r = ResolveBatchTarget(source, given);
        EXPECT_EQ(r.status, TargetStatus::Ok);
        EXPECT_EQ(r.path, out + "/a.avi") << given;
    }
}

TEST_F(OutputPathBatch, ExistingFileIsTakenAsGiven) {
    const std::string existing = dir.WriteFile("old.avi", "old");
    const TargetResolution r = ResolveBatchTarget(source, existing);
    EXPECT_EQ(r.status, TargetStatus::Ok);
    EXPECT_EQ(r.path, existing);
}

TEST_F(OutputPathBatch, MissingOutputDirectoryIsCreated) {
    const std::string out = dir / "out";
    const TargetResolution r = ResolveBatchTarget(source, out);
    EXPECT_EQ(r.status, TargetStatus::Ok);
    EXPECT_EQ(r.path, out + "/a.avi");
    EXPECT_TRUE(r.createdDirectory);
    EXPECT_TRUE(std::filesystem::is_directory(out));
}

TEST_F(OutputPathBatch, MissingFileNameWithExistingParentIsUsedAsGiven) {
    const std::string out = dir.MakeDir("out") + "/b.avi";
    const TargetResolution r = ResolveBatchTarget(source, out);
    EXPECT_EQ(r.status, TargetStatus::Ok);
    EXPECT_EQ(r.path, out);
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(OutputPathBatch, MissingParentIsRefusedAndNothingIsCreated) {
    for (const std::string& out : {dir / "missing/b.avi", dir / "missing/sub"}) {
        const TargetResolution r = ResolveBatchTarget(source, out);
        EXPECT_EQ(r.status, TargetStatus::OutputPathError) << out;
        EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
    }
}

TEST_F(OutputPathBatch, DirectoryThatCannotBeCreatedIsReported) {
    // A name longer than any file system allows fails for every user, root too.
    const TargetResolution r = ResolveBatchTarget(source, dir / std::string(300, 'd'));
    EXPECT_EQ(r.status, TargetStatus::CreateDirectoryError);
}

TEST_F(OutputPathBatch, RelativeOutputLivesInTheWorkingDirectory) {
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const TargetResolution created = ResolveBatchTarget(source, std::string("out"));
    const TargetResolution named = ResolveBatchTarget(source, std::string("b.avi"));
    std::filesystem::current_path(previous);
    EXPECT_EQ(created.status, TargetStatus::Ok);
    EXPECT_EQ(created.path, "out/a.avi");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "out"));
    EXPECT_EQ(named.status, TargetStatus::Ok);
    EXPECT_EQ(named.path, "b.avi");
}

TEST_F(OutputPathBatch, TargetThatIsTheSourceIsRefused) {
    const std::string aviSource = dir.WriteFile("rec/b.avi", "recording named like an AVI");
    EXPECT_EQ(ResolveBatchTarget(aviSource, std::nullopt).status, TargetStatus::OutputPathError);
    EXPECT_EQ(ResolveBatchTarget(aviSource, recDir).status, TargetStatus::OutputPathError);
    EXPECT_EQ(ResolveBatchTarget(source, source).status, TargetStatus::OutputPathError);
    EXPECT_EQ(ResolveBatchTarget(source, recDir + "/../rec/a.mpg").status, TargetStatus::OutputPathError);
}

}  // namespace
}  // namespace vidorra
