// The registry file under crashes, write failures and concurrent writers.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/registry/reg_format.h"
#include "platform/registry/registry.h"
#include "registry_test_util.h"

namespace qb::registry {
namespace {

WriteStage g_crashAt;
bool CrashHook(WriteStage stage) {
  if (stage == g_crashAt) _exit(77);
  return true;
}
WriteStage g_failAt;
bool FailHook(WriteStage stage) {
  return stage != g_failAt;
}

// Runs fn in a child process and returns its exit status.
template <class Fn>
int InChild(Fn fn) {
  pid_t pid = fork();
  if (pid == 0) {
    fn();
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class RegistryCrashTest : public RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Crash", &key), ERROR_SUCCESS);
    // Enough values that half a file is plainly not a whole one.
    for (int i = 0; i < 50; ++i) {
      ASSERT_EQ(SetString(key, ("Old" + std::to_string(i)).c_str(), std::string(40, 'o')),
                ERROR_SUCCESS);
    }
    RegCloseKey(key);
    before_ = FileText();
  }

  std::string before_;
};

TEST_F(RegistryCrashTest, ACrashAtAnyStageLeavesTheOldOrTheNewFile) {
  for (WriteStage stage : {WriteStage::kTempOpened, WriteStage::kHalfWritten,
                           WriteStage::kTempWritten, WriteStage::kRenamed}) {
    std::string old = FileText();
    g_crashAt = stage;
    int status = InChild([] {
      SetWriteHookForTesting(CrashHook);
      HKEY key = nullptr;
      RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Crash", &key);
      SetString(key, "New", "value written while crashing");
    });
    ASSERT_EQ(status, 77);
    std::string now = FileText();
    ASSERT_TRUE(ParseRegFile(now)) << "stage " << static_cast<int>(stage);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Crash", &key), ERROR_SUCCESS);
    if (stage == WriteStage::kRenamed) {
      EXPECT_EQ(QueryString(key, "New"), "value written while crashing");
    } else {
      EXPECT_EQ(now, old) << "stage " << static_cast<int>(stage);
    }
    EXPECT_EQ(QueryString(key, "Old49"), std::string(40, 'o'));
    // The dead writer's lock went with it: the next change goes through.
    EXPECT_EQ(SetDword(key, "After", static_cast<DWORD>(stage)), ERROR_SUCCESS);
    EXPECT_EQ(QueryDword(key, "After"), static_cast<DWORD>(stage));
    RegCloseKey(key);
  }
}

TEST_F(RegistryCrashTest, AFailedWriteChangesNothingAndReportsIt) {
  for (WriteStage stage :
       {WriteStage::kTempOpened, WriteStage::kHalfWritten, WriteStage::kTempWritten}) {
    g_failAt = stage;
    SetWriteHookForTesting(FailHook);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Crash", &key), ERROR_SUCCESS);
    EXPECT_EQ(SetString(key, "New", "lost"), ERROR_WRITE_FAULT);
    HKEY created = nullptr;
    EXPECT_EQ(RegCreateKeyExA(key, "Child", &created), ERROR_WRITE_FAULT);
    EXPECT_EQ(created, nullptr);
    SetWriteHookForTesting(nullptr);
    EXPECT_EQ(FileText(), before_);
    EXPECT_FALSE(QueryString(key, "New"));
    RegCloseKey(key);
  }
}

TEST_F(RegistryCrashTest, ChangesOfTwoProcessesAreBothKept) {
  constexpr int kChanges = 25;
  auto writer = [](const char* prefix) {
    return [prefix] {
      HKEY key = nullptr;
      if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Crash", &key) != ERROR_SUCCESS) _exit(2);
      for (int i = 0; i < kChanges; ++i) {
        if (SetDword(key, (std::string(prefix) + std::to_string(i)).c_str(),
                     static_cast<DWORD>(i)) != ERROR_SUCCESS) {
          _exit(3);
        }
      }
      RegCloseKey(key);
    };
  };
  pid_t a = fork();
  if (a == 0) {
    writer("A")();
    _exit(0);
  }
  pid_t b = fork();
  if (b == 0) {
    writer("B")();
    _exit(0);
  }
  int statusA = 0, statusB = 0;
  waitpid(a, &statusA, 0);
  waitpid(b, &statusB, 0);
  ASSERT_TRUE(WIFEXITED(statusA) && WEXITSTATUS(statusA) == 0);
  ASSERT_TRUE(WIFEXITED(statusB) && WEXITSTATUS(statusB) == 0);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Crash", &key), ERROR_SUCCESS);
  for (int i = 0; i < kChanges; ++i) {
    EXPECT_EQ(QueryDword(key, ("A" + std::to_string(i)).c_str()), static_cast<DWORD>(i));
    EXPECT_EQ(QueryDword(key, ("B" + std::to_string(i)).c_str()), static_cast<DWORD>(i));
  }
  EXPECT_EQ(QueryString(key, "Old0"), std::string(40, 'o'));
  RegCloseKey(key);
}

}  // namespace
}  // namespace qb::registry
