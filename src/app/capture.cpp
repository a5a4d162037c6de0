#include "app/form1.h"

namespace kestrune {

// Arming and the hotkey capture arrive with the hotkey work.
void Form1::Command1_Click() {}
void Form1::CaptureTarget() {}

}  // namespace kestrune
