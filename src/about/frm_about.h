#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/form.h"
#include "platform/runtime.h"
#include "platform/win32_ops.h"

namespace kestrune {

// How a registry read ended. A value that exists but holds no data at all is
// told apart from an ordinary failure: its caller gives up at once instead of
// trying another location.
enum class KeyRead : uint8_t { Read, Failed, NoData };

// The design of the About dialog, as data.
const FormSpec& FrmAboutLayout();

// The version dialog, loaded anew each time it is shown. It can start the
// system's System Information program, found through the registry.
class FrmAbout : public Form {
 public:
  FrmAbout(Win32Ops& ops, WindowRuntime& rt);

  Win32Ops& ops;
  WindowRuntime& rt;

  Control& picIcon;
  Control& lblTitle;
  Control& lblVersion;
  Control& lblDisclaimer;
  Control& cmdSysInfo;
  Control& cmdOK;
  Control& lblDescription;

  void Form_Load() override;
  void Click(Control& control) override;
  void cmdOK_Click();
  void cmdSysInfo_Click();

  // Starts System Information, or tells the user it is not available.
  void StartSysInfo();
  // Reads value SubKeyRef of key KeyName under KeyRoot into KeyVal as text.
  // On Failed, KeyVal becomes empty; on NoData it is left as it was.
  KeyRead GetKeyValue(Handle KeyRoot, const std::string& KeyName, const std::string& SubKeyRef,
                      std::string& KeyVal);

 private:
  // The program's path from the registry; nullopt when it cannot be found.
  std::optional<std::string> FindSysInfo();
  KeyRead QueryValue(Handle key, const std::string& SubKeyRef, std::string& KeyVal);
  std::string DecodeValue(uint32_t type, const std::string& data, const std::string& previous);
};

}  // namespace kestrune
