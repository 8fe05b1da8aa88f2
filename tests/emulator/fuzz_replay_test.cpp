// Replays every input kept in fuzz/corpus (the seeds and every past finding)
// through the fuzz target, one test per input, so a fault the fuzzer once
// found stays fixed. The target traps when an invariant breaks; ctest then
// reports that input's test as failed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size);

namespace {

class FuzzInput : public testing::Test {
public:
  explicit FuzzInput(std::filesystem::path Path) : FPath(std::move(Path)) {}
  void TestBody() override {
    std::ifstream In(FPath, std::ios::binary);
    ASSERT_TRUE(In) << FPath;
    const std::vector<uint8_t> Data{std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(Data.empty()) << FPath;
    EXPECT_EQ(LLVMFuzzerTestOneInput(Data.data(), Data.size()), 0);
  }

private:
  std::filesystem::path FPath;
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  std::vector<std::filesystem::path> Inputs;
  for (const auto& Entry : std::filesystem::directory_iterator(FUZZ_CORPUS_DIR))
    if (Entry.is_regular_file()) Inputs.push_back(Entry.path());
  std::sort(Inputs.begin(), Inputs.end());
  for (const auto& Path : Inputs) {
    std::string Name = Path.filename().string();
    for (char& C : Name)
      if (!std::isalnum(static_cast<unsigned char>(C))) C = '_';
    testing::RegisterTest("FuzzCorpus", Name.c_str(), nullptr, nullptr, __FILE__, __LINE__,
                          [Path]() -> testing::Test* { return new FuzzInput(Path); });
  }
  return RUN_ALL_TESTS();
}
