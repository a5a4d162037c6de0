#include "app/form1.h"

namespace kestrune {

void Form1::Win_Exit_State() {}

}  // namespace kestrune
