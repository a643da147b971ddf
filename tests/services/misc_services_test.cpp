#include <cstring>
#include <string>

#include "sdk/services.h"
#include "tests/support/service_test.h"

namespace {

std::string g_clipboard;
int g_clipboard_result = 1;

}  // namespace

// The host program's clipboard, as the main library finds it in the process.
extern "C" __attribute__((visibility("default"))) int QbSetClipboard(const char* text) {
  g_clipboard = text;
  return g_clipboard_result;
}

namespace qb::test {
namespace {

using ErrorBoxTest = ServiceTest;

TEST_F(ErrorBoxTest, TheFourOverloadsFrameTheirLinesWithTitleAndButton) {
  ShowError("one", "Topic");
  ShowError(41, nullptr);
  ShowError("a", "b", "T2");
  ShowError("a", "b", "c", "T3");
  ASSERT_EQ(host.messages.size(), 4u);
  const std::string title = CommonGetMsgEx(13, nullptr);
  const std::string ok = CommonGetMsgEx(0, nullptr);
  EXPECT_EQ(host.messages[0].lines, (std::vector<std::string>{title, "one", ok}));
  EXPECT_EQ(host.messages[0].help, "Topic");
  EXPECT_EQ(host.messages[1].lines,
            (std::vector<std::string>{title, CommonGetMsgEx(41, nullptr), ok}));
  EXPECT_EQ(host.messages[2].lines, (std::vector<std::string>{title, "a", "b", ok}));
  EXPECT_EQ(host.messages[3].lines, (std::vector<std::string>{title, "a", "b", "c", ok}));
  for (const auto& m : host.messages) {
    EXPECT_EQ(m.flags, static_cast<DWORD>(FMSG_WARNING));
    EXPECT_EQ(m.buttons, 1);
  }
}

TEST_F(ServiceTest, ClipboardGoesToTheHost) {
  g_clipboard_result = 1;
  EXPECT_EQ(StringToClipboard("Main st. 1"), 1);
  EXPECT_EQ(g_clipboard, "Main st. 1");
  g_clipboard_result = 0;
  EXPECT_EQ(StringToClipboard("refused"), 0);
  EXPECT_EQ(StringToClipboard(nullptr), 0);
}

TEST_F(ServiceTest, RegistryKeysLieBelowTheMainLibrarysKey) {
  HKEY own = OpenRegKey("Software\\Far\\Plugins", nullptr);
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(std::string(own->path), "Software\\Far\\Plugins\\Quillbox");
  CloseRegKey(own);
  HKEY sub = OpenRegKey("Software\\Far\\Plugins", "Phone");
  ASSERT_NE(sub, nullptr);
  EXPECT_EQ(qb::registry::SetDword(sub, "X", 3), ERROR_SUCCESS);
  CloseRegKey(sub);
  CloseRegKey(nullptr);  // ignored, as after an OpenRegKey that failed
  HKEY again = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\far\\plugins\\quillbox\\phone", &again),
            ERROR_SUCCESS);
  EXPECT_EQ(qb::registry::QueryDword(again, "X"), 3u);
  RegCloseKey(again);
}

TEST(Heap, BlocksCrossTheBoundaryAndZeroSizesStayUsable) {
  void* a = Malloc(0);
  ASSERT_NE(a, nullptr);
  char* b = static_cast<char*>(Realloc(nullptr, 4));
  ASSERT_NE(b, nullptr);
  std::memcpy(b, "abc", 4);
  b = static_cast<char*>(Realloc(b, 4000));
  ASSERT_NE(b, nullptr);
  EXPECT_STREQ(b, "abc");
  void* c = Realloc(b, 0);
  EXPECT_NE(c, nullptr);
  Free(c);
  Free(a);
  Free(nullptr);
}

}  // namespace
}  // namespace qb::test
