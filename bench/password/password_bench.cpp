// The record cipher against libgcrypt's IDEA in ECB mode on the same buffers, interleaved in one
// run so that both see the same machine state: MB/s of each and the ratio ours / libgcrypt.
#include <benchmark/benchmark.h>
#include <gcrypt.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "main/folder_password.h"
#include "main/idea.h"
#include "main/record_io.h"
#include "platform/storage/storage.h"

namespace {

// Thread CPU time: the machine is shared, and wall time would charge other programs' work to
// whichever side happened to be running.
double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void InitGcrypt() {
  static const bool ready = [] {
    if (!gcry_check_version(GCRYPT_VERSION)) std::abort();
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return true;
  }();
  (void)ready;
}

void BM_CipherVsLibgcrypt(benchmark::State& state, bool decipher) {
  InitGcrypt();
  const std::size_t size = static_cast<std::size_t>(state.range(0));
  std::mt19937_64 random(1);
  uint8_t key[qb::main::kIdeaKeyBytes];
  for (uint8_t& b : key) b = static_cast<uint8_t>(random());
  std::vector<uint8_t> ours(size), theirs(size);
  for (std::size_t i = 0; i < size; ++i) ours[i] = theirs[i] = static_cast<uint8_t>(random());

  const qb::main::IdeaCipher cipher(key);
  gcry_cipher_hd_t handle = nullptr;
  if (gcry_cipher_open(&handle, GCRY_CIPHER_IDEA, GCRY_CIPHER_MODE_ECB, 0) ||
      gcry_cipher_setkey(handle, key, sizeof key)) {
    state.SkipWithError("libgcrypt has no IDEA");
    return;
  }

  double ours_s = 0, theirs_s = 0;
  for (auto _ : state) {
    const double t0 = CpuSeconds();
    if (decipher) {
      cipher.Decipher(ours.data(), size);
    } else {
      cipher.Encipher(ours.data(), size);
    }
    benchmark::DoNotOptimize(ours.data());
    const double t1 = CpuSeconds();
    if (decipher) {
      gcry_cipher_decrypt(handle, theirs.data(), size, nullptr, 0);
    } else {
      gcry_cipher_encrypt(handle, theirs.data(), size, nullptr, 0);
    }
    benchmark::DoNotOptimize(theirs.data());
    const double t2 = CpuSeconds();
    ours_s += t1 - t0;
    theirs_s += t2 - t1;
  }
  gcry_cipher_close(handle);
  if (ours != theirs) state.SkipWithError("ciphertexts differ");

  const double bytes = static_cast<double>(size) * static_cast<double>(state.iterations());
  state.counters["ours_MBps"] = bytes / ours_s / 1e6;
  state.counters["libgcrypt_MBps"] = bytes / theirs_s / 1e6;
  state.counters["ratio"] = theirs_s / ours_s;  // above 1: ours is faster
  state.SetBytesProcessed(static_cast<int64_t>(bytes) * 2);
}

BENCHMARK_CAPTURE(BM_CipherVsLibgcrypt, encipher, false)->Arg(256)->Arg(64 << 10);
BENCHMARK_CAPTURE(BM_CipherVsLibgcrypt, decipher, true)->Arg(256)->Arg(64 << 10);

// Setting a password on a folder of n records of about 100 bytes: the check, every record read,
// enciphered and written, and the commit at the root's release, on a real file. Each iteration
// works on a fresh copy of the book with plain records.
void BM_SetPassword(benchmark::State& state) {
  namespace fs = std::filesystem;
  using namespace qb;
  constexpr uint32_t kRW = storage::STGM_READWRITE | storage::STGM_SHARE_EXCLUSIVE;
  const int n = static_cast<int>(state.range(0));
  const fs::path dir = fs::temp_directory_path() / ("qb-pwbench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string plain = (dir / "plain.dat").string();
  const std::string book = (dir / "book.dat").string();
  {
    storage::Storage root;
    storage::CreateCompoundFile(plain, kRW | storage::STGM_CREATE, &root);
    storage::Storage folder;
    root.CreateStorage(u"Friends", kRW, &folder);
    for (int i = 0; i < n; ++i) {
      main::FieldEntry name, phone;
      name.type = 0x10101;
      const std::string text = "Contact number " + std::to_string(i) + ", met at the conference";
      name.data.assign(text.begin(), text.end());
      phone.type = 0x10200;
      const std::string number = "+1 555 " + std::to_string(1000000 + i);
      phone.data.assign(number.begin(), number.end());
      const std::string id = "Record " + std::to_string(i);
      storage::Stream stream;
      folder.CreateStream(std::u16string(id.begin(), id.end()), kRW, &stream);
      main::WriteRecordStream(stream, {name, phone});
    }
  }
  main::PasswordKey key;
  main::MakePasswordKey("secret", key);
  for (auto _ : state) {
    state.PauseTiming();
    fs::copy_file(plain, book, fs::copy_options::overwrite_existing);
    state.ResumeTiming();
    storage::Storage root;
    storage::Storage folder;
    if (storage::Failed(storage::OpenCompoundFile(book, kRW, &root)) ||
        storage::Failed(root.OpenStorage(u"Friends", kRW, &folder)) ||
        storage::Failed(main::ChangeFolderKey(folder, &key, nullptr, &key))) {
      state.SkipWithError("setting the password failed");
      break;
    }
    folder.Release();
    if (storage::Failed(root.Release())) state.SkipWithError("commit failed");
  }
  state.counters["records"] = n;
  state.counters["records_per_s"] =
      benchmark::Counter(static_cast<double>(n) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
  fs::remove_all(dir);
}

BENCHMARK(BM_SetPassword)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
