// CommonGetMsgEx as the field types reach it: exported by Quillbox.so, loading the language files
// beside it on the first lookup when SetStartupInfo has not run.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

using GetMsgFn = const char* (*)(int, const char*);

TEST(CommonGetMsgEx, LoadsTheFilesBesideTheMainLibraryOnFirstUse) {
  const char* plugin_dir = std::getenv("QB_PLUGIN_DIR");
  if (plugin_dir == nullptr) GTEST_SKIP() << "QB_PLUGIN_DIR is not set";
  std::string path = std::string(plugin_dir) + "/Quillbox.so";
  // Lazy binding: only the calls made here need their symbols.
  void* library = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  auto get = reinterpret_cast<GetMsgFn>(dlsym(library, "CommonGetMsgEx"));
  ASSERT_NE(get, nullptr);
  // No host table yet, so no language key: English.
  ASSERT_NE(get(0, nullptr), nullptr);
  EXPECT_STREQ(get(0, nullptr), "OK");
  EXPECT_STREQ(get(13, nullptr), "Error");
  EXPECT_STREQ(get(0, "comment"), "Comment");
  EXPECT_STREQ(get(100, "Date"), "Birthday");
  EXPECT_EQ(get(999, nullptr), nullptr);
  EXPECT_EQ(get(0, "NoSuchModule"), nullptr);
  dlclose(library);
}

}  // namespace
