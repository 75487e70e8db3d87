// The version table the program and trma share.
#include <gtest/gtest.h>

#include "versions.h"

using namespace termina::app;

TEST(VersionFacts, EveryClassOfTheTable) {
  struct Case {
    uint16_t version;
    const char* model;
    uint16_t layout;
    bool supported, files;
    VersionNotice notice;
  };
  const Case cases[] = {
      {0, "ТЕРМИНА-1", kLayoutInspectorFirst, true, false, VersionNotice::None},
      {1, "ТЕРМИНА-1", kLayoutInspectorFirst, true, true, VersionNotice::None},
      {128, "ТЕРМИНА-1", kLayoutInspectorFirst, true, true, VersionNotice::None},
      {129, "", kLayoutInspectorFirst, true, true, VersionNotice::None},
      {130, "", kLayoutProgrammingFirst, false, false, VersionNotice::UpdateWarning},
      {200, "", kLayoutProgrammingFirst, false, false, VersionNotice::UpdateWarning},
      {201, "ТЕРМИНА-2", kLayoutProgrammingFirst, true, true, VersionNotice::None},
      {229, "", kLayoutProgrammingFirst, false, false, VersionNotice::UpdateWarning},
      {230, "", kLayoutProgrammingFirst, false, false, VersionNotice::NotSupported},
      {300, "", kLayoutProgrammingFirst, false, false, VersionNotice::NotSupported},
      {301, "ТЕРМИНА-3", kLayoutProgrammingFirst, true, true, VersionNotice::None},
      {302, "", kLayoutProgrammingFirst, false, false, VersionNotice::UpdateWarning},
      {65535, "", kLayoutProgrammingFirst, false, false, VersionNotice::UpdateWarning},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    const VersionFacts f = FactsFor(c.version);
    EXPECT_EQ(std::string(f.model), c.model);
    EXPECT_EQ(f.layout, c.layout);
    EXPECT_EQ(f.supported, c.supported);
    EXPECT_EQ(f.fileButtons, c.files);
    EXPECT_EQ(f.notice, c.notice);
  }
}
