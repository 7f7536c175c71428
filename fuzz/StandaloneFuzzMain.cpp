// Runs a libFuzzer target without libFuzzer: every file named on the command
// line (or found in a folder named there) is passed to the target once, then
// --runs=N inputs made by mutating those files with a fixed seed. A crash or a
// sanitizer report ends the process with a failure, as under libFuzzer.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::string> LoadInputs(const std::vector<std::string>& paths) {
  std::vector<std::string> inputs;
  auto load = [&](const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  for (const auto& path : paths) {
    if (std::filesystem::is_directory(path)) {
      std::vector<std::filesystem::path> files;
      for (const auto& entry : std::filesystem::directory_iterator(path))
        if (entry.is_regular_file()) files.push_back(entry.path());
      std::sort(files.begin(), files.end());
      for (const auto& f : files) load(f);
    } else if (std::filesystem::is_regular_file(path)) {
      load(path);
    }
  }
  return inputs;
}

std::string Mutate(const std::vector<std::string>& pool, std::mt19937& rng) {
  std::string s = pool.empty() ? std::string() : pool[rng() % pool.size()];
  const int edits = 1 + static_cast<int>(rng() % 8);
  for (int e = 0; e < edits; ++e) {
    switch (rng() % 6) {
      case 0:  // flip a byte
        if (!s.empty()) s[rng() % s.size()] = static_cast<char>(rng());
        break;
      case 1:  // insert random bytes
        s.insert(s.empty() ? 0 : rng() % (s.size() + 1), std::string(1 + rng() % 16, static_cast<char>(rng())));
        break;
      case 2:  // erase a range
        if (!s.empty()) {
          size_t at = rng() % s.size();
          s.erase(at, 1 + rng() % (s.size() - at));
        }
        break;
      case 3:  // splice with another input
        if (!pool.empty()) {
          const std::string& o = pool[rng() % pool.size()];
          if (!o.empty()) s += o.substr(rng() % o.size());
        }
        break;
      case 4:  // truncate
        if (!s.empty()) s.resize(rng() % s.size());
        break;
      default:  // interesting byte values
      {
        static const char kBytes[] = {0, 1, 0x7f, '\x80', '\xfe', '\xff', '<', '>', '/', '=', ' '};
        s.insert(s.empty() ? 0 : rng() % (s.size() + 1), 1, kBytes[rng() % sizeof(kBytes)]);
      }
    }
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  long runs = 0;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("--runs=", 0) == 0)
      runs = std::strtol(a.c_str() + 7, nullptr, 10);
    else
      paths.push_back(a);
  }
  const std::vector<std::string> inputs = LoadInputs(paths);
  for (const auto& in : inputs)
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(in.data()), in.size());
  std::mt19937 rng(20261209);
  for (long r = 0; r < runs; ++r) {
    const std::string in = Mutate(inputs, rng);
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(in.data()), in.size());
  }
  std::printf("%zu corpus inputs and %ld generated inputs ran without a failure\n", inputs.size(), runs);
  return 0;
}
