// How a stored gain or volume command becomes a slider position.
#include <gtest/gtest.h>

#include "setup/SliderValue.h"

TEST(SettingsSlider, ValueAfterTheFirstEquals) {
  EXPECT_EQ(StoredSliderText(QStringLiteral("at+vgs=200")), "200");
  EXPECT_EQ(StoredSliderText(QStringLiteral("none")), "none");
  EXPECT_EQ(StoredSliderValue(QStringLiteral("at+vgt=128")), 128);
  EXPECT_EQ(StoredSliderValue(QStringLiteral("at+vgr=90")), 90);
  EXPECT_EQ(StoredSliderValue(QStringLiteral("0")), 0);
}

TEST(SettingsSlider, TextsThatAreNoPosition) {
  EXPECT_FALSE(StoredSliderValue(QString()).has_value());
  EXPECT_FALSE(StoredSliderValue(QStringLiteral("NONE")).has_value());
  EXPECT_FALSE(StoredSliderValue(QStringLiteral("at+vgs=")).has_value());
  EXPECT_FALSE(StoredSliderValue(QStringLiteral("at+vgs=-5")).has_value());
  EXPECT_FALSE(StoredSliderValue(QStringLiteral("at+vgs=256")).has_value());
  EXPECT_FALSE(StoredSliderValue(QStringLiteral("at+vgs=12=3")).has_value());
}
