#pragma once

#include "platform/form.h"
#include "platform/runtime.h"
#include "platform/win32_ops.h"

namespace kestrune {

// The version dialog, loaded anew each time it is shown.
class FrmAbout : public Form {
 public:
  FrmAbout(Win32Ops& ops, WindowRuntime& rt);

  Win32Ops& ops;
  WindowRuntime& rt;
};

}  // namespace kestrune
