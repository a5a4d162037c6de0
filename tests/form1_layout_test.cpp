#include "app/form1_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace kestrune {
namespace {

std::string NameOf(const ControlSpec& c) {
  return c.index < 0 ? c.name : std::string(c.name) + "(" + std::to_string(c.index) + ")";
}

const ControlSpec& Row(const std::string& name) {
  for (const ControlSpec& c : Form1Layout().controls) {
    if (NameOf(c) == name) return c;
  }
  ADD_FAILURE() << "no row " << name;
  return Form1Layout().controls.front();
}

TEST(Form1Layout, TabOrderIsTheDesignOrder) {
  std::vector<const ControlSpec*> rows;
  for (const ControlSpec& c : Form1Layout().controls) {
    if (c.tabIndex >= 0) rows.push_back(&c);
  }
  std::sort(rows.begin(), rows.end(),
            [](const ControlSpec* a, const ControlSpec* b) { return a->tabIndex < b->tabIndex; });
  std::vector<std::string> names;
  for (const ControlSpec* c : rows) names.push_back(NameOf(*c));
  const std::vector<std::string> expected = {
      "Frame3",      "Frame8",     "cmdSet",     "picHotKey",  "Frame1",     "Command1",
      "Label2",      "Label1",     "Command2",   "Check1",     "Frame2",     "Command4",
      "txtFileName", "Command3",   "Option1(5)", "Option1(0)", "Option1(1)", "Option1(2)",
      "Option1(3)",  "Option1(4)", "Command5"};
  EXPECT_EQ(names, expected);
  for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i]->tabIndex, static_cast<int>(i));
}

TEST(Form1Layout, SoundRowExistsButIsNeverVisible) {
  for (const char* name : {"Option1(5)", "Command3", "Command4", "Command5", "txtFileName"}) {
    EXPECT_FALSE(Row(name).visible) << name;
    EXPECT_GE(Row(name).top, 720) << name << " lies below the frame's visible height";
  }
  for (const char* name : {"Option1(0)", "Option1(4)", "Command1", "Command2", "Check1"})
    EXPECT_TRUE(Row(name).visible) << name;
}

TEST(Form1Layout, InitialValuesTheLogicReliesOn) {
  EXPECT_FALSE(Row("Command2").enabled);
  EXPECT_STREQ(Row("Command2").tooltip, "aaaaa");
  EXPECT_FALSE(Row("Frame2").enabled);
  EXPECT_EQ(Row("Check1").value, 1);
  EXPECT_EQ(Row("Option1(0)").value, -1);
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(Row("Option1(" + std::to_string(i) + ")").value, 0);
  EXPECT_FALSE(Row("Timer1").enabled);
  EXPECT_EQ(Row("Timer1").interval, 1000);
  // Check1 serves as Frame2's title: both sit on the same top edge.
  EXPECT_EQ(Row("Check1").top, Row("Frame2").top);
}

TEST(Form1Layout, EveryContainerIsAFrameDeclaredBeforeItsContents) {
  std::vector<std::string> seen;
  for (const ControlSpec& c : Form1Layout().controls) {
    if (c.container) {
      EXPECT_NE(std::find(seen.begin(), seen.end(), c.container), seen.end()) << NameOf(c);
      EXPECT_EQ(Row(c.container).kind, ControlKind::Frame);
    }
    seen.push_back(NameOf(c));
  }
}

TEST(Form1Layout, WindowAndMenus) {
  const FormSpec& form = Form1Layout();
  EXPECT_STREQ(form.caption, "Kestrune");
  EXPECT_EQ(form.clientWidth, 6150);
  EXPECT_EQ(form.clientHeight, 3975);
  ASSERT_EQ(form.menus.size(), 4u);
  EXPECT_STREQ(form.menus[0].caption, "ウィンドウ(&W)");
  EXPECT_STREQ(form.menus[1].caption, "終了(&X)");
  EXPECT_STREQ(form.menus[1].parent, form.menus[0].name);
  EXPECT_STREQ(form.menus[2].caption, "へるぷ(&H)");
  EXPECT_STREQ(form.menus[3].caption, "バージョン情報(&V)");
  EXPECT_STREQ(form.menus[3].parent, form.menus[2].name);
}

}  // namespace
}  // namespace kestrune
