#include "about/frm_about.h"

#include "app/texts.h"

namespace kestrune {
namespace {

constexpr FormSpec kAbout = {texts::kAboutCaption, 4605, 1890, FormStyle::FixedDialog, {}, {}};

}  // namespace

FrmAbout::FrmAbout(Win32Ops& win32, WindowRuntime& runtime)
    : Form(kAbout), ops(win32), rt(runtime) {}

}  // namespace kestrune
