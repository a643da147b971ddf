// The contract headers: each compiles on its own (the *_alone files, one translation unit each),
// and the records have the layout callers rely on, the same from C and from C++.
#include <gtest/gtest.h>

#include "sdk/far.h"
#include "tests/sdk/layout.h"

extern "C" void QbSdkLayoutC(size_t* out);
extern "C" size_t QbSdkFieldTypeInfoSizeC(void);
extern "C" size_t QbSdkHostServicesSizeC(void);
void QbSdkLayoutCxx(size_t* out);
size_t QbSdkFieldTypeInfoSizeCxx();
size_t QbSdkHostServicesSizeCxx();
bool QbSdkServicesDeclared();
extern "C" int QbSdkHostExportNamesC(void);
bool QbSdkHostExportsDeclared();
extern "C" int QbSdkServicesDeclaredC(void);

namespace {

TEST(SdkHeaders, RecordsHaveTheSizesCallersRelyOn) {
  size_t layout[kLayoutCount];
  QbSdkLayoutCxx(layout);
  EXPECT_EQ(layout[kLayoutFarListItem], 136u);
  EXPECT_EQ(layout[kLayoutFarMenuItemText], 128u);
  EXPECT_EQ(layout[kLayoutFarDialogItemData], 512u);
  // Data is the last member: an item's text may use all of it.
  EXPECT_EQ(layout[kLayoutFarDialogItemDataOffset] + 512u, layout[kLayoutFarDialogItem]);
  EXPECT_EQ(layout[kLayoutFileTime], 8u);
  // The find data keeps Windows' layout: the name after the attributes, three times and four
  // numbers, then 260 name bytes and 14 for the short name.
  EXPECT_EQ(layout[kLayoutFindDataFileName], 44u);
  EXPECT_EQ(layout[kLayoutFindData], 320u);
  EXPECT_EQ(sizeof(static_cast<WIN32_FIND_DATA*>(nullptr)->cFileName), static_cast<size_t>(NM));
}

TEST(SdkHeaders, CAndCxxAgreeOnEveryRecord) {
  size_t c[kLayoutCount];
  size_t cxx[kLayoutCount];
  QbSdkLayoutC(c);
  QbSdkLayoutCxx(cxx);
  for (int i = 0; i < kLayoutCount; ++i) EXPECT_EQ(c[i], cxx[i]) << "layout fact " << i;
  EXPECT_EQ(QbSdkFieldTypeInfoSizeC(), QbSdkFieldTypeInfoSizeCxx());
  EXPECT_EQ(QbSdkHostServicesSizeC(), QbSdkHostServicesSizeCxx());
}

// The declarations themselves are checked where the services header is compiled alone.
TEST(SdkHeaders, ServicesCompileAloneInCAndCxx) {
  EXPECT_TRUE(QbSdkServicesDeclared());
  EXPECT_EQ(QbSdkServicesDeclaredC(), 1);
}

TEST(SdkHeaders, HostExportsNameTheFunctionsTheProgramExports) {
  EXPECT_TRUE(QbSdkHostExportsDeclared());
  EXPECT_EQ(QbSdkHostExportNamesC(), 1);
}

}  // namespace
