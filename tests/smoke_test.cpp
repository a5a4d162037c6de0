#include <gtest/gtest.h>

#include "app/form1.h"
#include "platform/fake/fake_platform.h"

TEST(Smoke, Loads) {
  kestrune::FakePlatform fake;
  kestrune::Form1 form1(fake, fake);
  fake.Show(form1);
  EXPECT_TRUE(fake.IsVisible(form1));
}
