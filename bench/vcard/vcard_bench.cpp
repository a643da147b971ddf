// Times `quillbox --import-vcard` of a file of N cards (name, two phones, an e-mail address, a
// birthday, a note and an address each, in ten folders) into an empty book, then
// `quillbox --export-vcard` of that book: the whole program each time, as a user runs it.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string Cards(int n) {
  std::string out;
  for (int i = 0; i < n; ++i) {
    const std::string id = std::to_string(i);
    out += "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Person " + id + " Example\r\nN:Example;Person " + id +
           ";;;\r\nCATEGORIES:Group " + std::to_string(i % 10) + "\r\nTEL;TYPE=CELL:+1 555 " + id +
           "\r\nTEL;TYPE=HOME,VOICE:+1 556 " + id + "\r\nEMAIL;TYPE=INTERNET:person" + id +
           "@example.org\r\nBDAY:1980-0" + std::to_string(1 + i % 9) + "-1" +
           std::to_string(i % 10) +
           "\r\nNOTE:Met at the conference\\, talked about contact books\\nand more\r\n"
           "ADR;TYPE=HOME:;;Main St " +
           id + ";Springfield;;12345;USA\r\nEND:VCARD\r\n";
  }
  return out;
}

double Run(const std::string& command) {
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(command.c_str());
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (status != 0) std::fprintf(stderr, "failed (%d): %s\n", status, command.c_str());
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {1000, 10000};
  char tmpl[] = "/tmp/qb-vcard-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const fs::path dir = tmpl;
  const std::string program =
      std::string(QB_BIN_DIR) + "/quillbox --config " + (dir / "config").string() + " --book ";
  std::printf("%8s %10s %12s %12s\n", "cards", "file MB", "import s", "export s");
  for (int n : sizes) {
    const fs::path file = dir / ("cards" + std::to_string(n) + ".vcf");
    const fs::path book = dir / ("book" + std::to_string(n) + ".dat");
    const std::string text = Cards(n);
    std::ofstream(file, std::ios::binary) << text;
    const double import =
        Run(program + book.string() + " --import-vcard " + file.string() + " 2>/dev/null");
    const double exported = Run(program + book.string() + " --export-vcard > /dev/null");
    std::printf("%8d %10.1f %12.2f %12.2f\n", n, text.size() / 1e6, import, exported);
  }
  if (!std::getenv("QB_BENCH_KEEP")) fs::remove_all(dir);
  return 0;
}
