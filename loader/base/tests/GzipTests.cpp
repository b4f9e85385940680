#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "GunzipFile.h"
#include "GzipDecoder.h"

namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Sample {
    std::string name;
    int error; // 0: decodes exactly; 1: data error after a prefix; 2: data error
};

std::filesystem::path SampleFolder() {
    const char* folder = getenv("HALCYON_GZIP_SAMPLES");
    return folder ? folder : "";
}

std::vector<Sample> Samples() {
    std::vector<Sample> samples;
    std::istringstream list(ReadFile(SampleFolder() / "samples.txt"));
    for (Sample s; list >> s.name >> s.error;)
        samples.push_back(s);
    return samples;
}

class Decoded {
public:
    explicit Decoded(const std::string& input)
        : result(GzipDecodeMemory(reinterpret_cast<const unsigned char*>(input.data()),
                                  input.size())) {}
    ~Decoded() { free(result.data); }
    std::string Text() const {
        return result.data ? std::string(reinterpret_cast<char*>(result.data), result.size) : "";
    }
    GzipDecodeResult result;
};

TEST(GzipDecoderTest, DecodesWhatGzipToolsWrote) {
    std::vector<Sample> samples = Samples();
    ASSERT_GE(samples.size(), 10u) << "samples missing in " << SampleFolder();
    for (const Sample& s : samples) {
        std::string input = ReadFile(SampleFolder() / s.name);
        std::string expected = ReadFile(SampleFolder() / (s.name + ".expected"));
        Decoded decoded(input);
        EXPECT_EQ(s.error != 0, decoded.result.dataError) << s.name;
        if (decoded.result.data != nullptr) {
            EXPECT_EQ(0, decoded.result.data[decoded.result.size]) << s.name << ": closing zero";
        }
        std::string text = decoded.Text();
        if (s.error == 0) {
            EXPECT_TRUE(text == expected) << s.name << ": " << text.size() << " bytes";
        } else if (s.error == 1) {
            EXPECT_TRUE(expected.compare(0, text.size(), text) == 0 && text.size() > 0)
                << s.name << ": " << text.size() << " bytes are no prefix";
        }
    }
}

TEST(GzipDecoderTest, SmallAndEmptyInputs) {
    struct Case {
        std::string input;
        std::string output;
        bool dataError;
    } cases[] = {
        {"", "", false},
        {"x", "x", false},
        {std::string("\x1f", 1), std::string("\x1f", 1), false},
        {std::string("\x1f\x8b", 2), "", true},
        {std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10), "", true},
        {std::string("\x1f\x8b\x08\x08\x00\x00\x00\x00\x00\x03name", 14), "", true},
        {std::string("\x1f\x8b\x08\x04\x00\x00\x00\x00\x00\x03\xff\xff", 12), "", true},
    };
    for (const Case& c : cases) {
        Decoded decoded(c.input);
        EXPECT_EQ(c.output, decoded.Text()) << c.input.size() << " bytes";
        EXPECT_EQ(c.dataError, decoded.result.dataError) << c.input.size() << " bytes";
        EXPECT_EQ(!c.output.empty(), decoded.result.Produced());
    }
    GzipDecodeResult none = GzipDecodeMemory(nullptr, 5);
    EXPECT_FALSE(none.Produced());
}

TEST(GzipDecoderTest, LargeExpansionGrowsTheOutput) {
    // 30 MB of zeros from a few kilobytes: the output has to grow many times.
    std::string input = ReadFile(SampleFolder() / "zeros.gz");
    ASSERT_FALSE(input.empty());
    Decoded decoded(input);
    ASSERT_FALSE(decoded.result.dataError);
    ASSERT_EQ(30000000u, decoded.result.size);
    std::string text = decoded.Text();
    EXPECT_EQ(std::string::npos, text.find_first_not_of('\0'));
}

class GunzipFileTest : public testing::Test {
protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("gunzip_" + std::to_string(reinterpret_cast<uintptr_t>(this)));
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::filesystem::path folder;
};

TEST_F(GunzipFileTest, UnpacksGoodFilesAndRemovesCutShortTargets) {
    for (const Sample& s : Samples()) {
        std::filesystem::path target = folder / (s.name + ".out");
        int result =
            GunzipFile((SampleFolder() / s.name).string().c_str(), target.string().c_str());
        if (s.error == 0) {
            EXPECT_EQ(0, result) << s.name;
            EXPECT_TRUE(ReadFile(target) == ReadFile(SampleFolder() / (s.name + ".expected")))
                << s.name;
        } else {
            EXPECT_EQ(-1, result) << s.name;
            EXPECT_FALSE(std::filesystem::exists(target)) << s.name;
        }
    }
}

TEST_F(GunzipFileTest, MissingSourceOrTargetFolder) {
    std::string good = (SampleFolder() / "gnu.gz").string();
    std::string target = (folder / "out.txt").string();
    std::string missing = (folder / "no such folder" / "out.txt").string();
    EXPECT_EQ(-3, GunzipFile((folder / "missing.gz").string().c_str(), target.c_str()));
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_EQ(-3, GunzipFile(good.c_str(), missing.c_str()));
}

} // namespace
