#include "app/form1.h"

namespace kestrune {

// Registration and the editor arrive with the hotkey work.
void Form1::HotKeySetUp() {}
void Form1::HotKeyRemove() {}
void Form1::cmdSet_Click() {}

}  // namespace kestrune
