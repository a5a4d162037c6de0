#include "app/form1_layout.h"

#include "app/texts.h"

namespace kestrune {
namespace {

using K = ControlKind;
namespace t = texts;

// Rows in tab order where the design gives one; containers before what they
// hold. Positions in twips, relative to the container.
constexpr ControlSpec kControls[] = {
    {"Frame3", -1, K::Frame, nullptr, 120, 0, 5895, 3855, "", 0},
    {"Frame8", -1, K::Frame, "Frame3", 120, 240, 5655, 615, t::kHotKeyFrame, 1},
    {"cmdSet", -1, K::CommandButton, "Frame8", 4800, 240, 735, 255, t::kChange, 2},
    {"picHotKey", -1, K::PictureBox, "Frame8", 120, 240, 4575, 255, "", 3},
    {"Frame1", -1, K::Frame, "Frame3", 120, 840, 5655, 1455, "", 4},
    {"Command1", -1, K::CommandButton, "Frame1", 120, 960, 5415, 375, t::kSelectPrompt, 5},
    {"Label2", -1, K::Label, "Frame1", 120, 240, 5415, 255, t::kSelectedWindowName, 6},
    {"Label1", -1, K::Label, "Frame1", 120, 480, 5415, 375, t::kNotSet, 7},
    {"Command2", -1, K::CommandButton, "Frame3", 120, 3360, 5655, 375, t::kStartWatch, 8,
     /*enabled=*/false, true, 0, t::kCommand2Tooltip},
    {"Check1", -1, K::CheckBox, "Frame3", 240, 2400, 3495, 255, t::kCheck1Caption, 9, true, true,
     /*value=*/1},
    {"Frame2", -1, K::Frame, "Frame3", 120, 2400, 5655, 855, "", 10, /*enabled=*/false},
    {"Command4", -1, K::CommandButton, "Frame2", 2400, 720, 2055, 255, t::kChooseSoundFile, 11,
     true, /*visible=*/false},
    {"txtFileName", -1, K::TextBox, "Frame2", 120, 1320, 5415, 270, "", 12, true,
     /*visible=*/false},
    {"Command3", -1, K::CommandButton, "Frame2", 4560, 720, 975, 255, t::kTestPlay, 13, true,
     /*visible=*/false},
    {"Option1", 5, K::OptionButton, "Frame2", 120, 720, 1635, 255, t::kPlaySound, 14, true,
     /*visible=*/false},
    {"Option1", 0, K::OptionButton, "Frame2", 120, 360, 1095, 255, t::kSuspend, 15, true, true,
     /*value=*/-1},
    {"Option1", 1, K::OptionButton, "Frame2", 1200, 360, 1095, 255, t::kHibernate, 16},
    {"Option1", 2, K::OptionButton, "Frame2", 2280, 360, 975, 255, t::kLogoff, 17},
    {"Option1", 3, K::OptionButton, "Frame2", 3240, 360, 975, 255, t::kReboot, 18},
    {"Option1", 4, K::OptionButton, "Frame2", 4200, 360, 1400, 255, t::kShutdown, 19},
    {"Command5", -1, K::CommandButton, "Frame2", 4560, 960, 975, 255, t::kStopSound, 20, true,
     /*visible=*/false},
    // Two lines one twip apart make the etched separator.
    {"Line1", -1, K::Line, "Frame2", 120, 645, 5520, 645, "", -1, true, true, 0, "", 0,
     /*lineWidth=*/2},
    {"Line2", -1, K::Line, "Frame2", 120, 650, 5520, 650, "", -1},
    {"CommonDialog1", -1, K::CommonDialog, "Frame2", 0, 0, 0, 0, "", -1, true, false},
    {"Timer1", -1, K::Timer, "Frame3", 0, 0, 0, 0, "", -1, /*enabled=*/false, false, 0, "",
     /*interval=*/1000},
};

constexpr MenuSpec kMenus[] = {
    {"Pulldown_zyoucyuu", 0, nullptr, t::kMenuWindow},
    {"Pulldown_zyoucyuu_end", kMenuIdExit, "Pulldown_zyoucyuu", t::kMenuExit},
    {"Pulldown_help", 0, nullptr, t::kMenuHelp},
    {"Pulldown_help_version", kMenuIdVersion, "Pulldown_help", t::kMenuVersion},
};

constexpr FormSpec kForm1 = {t::kAppTitle, 6150, 3975, FormStyle::MainWindow, kControls, kMenus};

}  // namespace

const FormSpec& Form1Layout() {
  return kForm1;
}

}  // namespace kestrune
