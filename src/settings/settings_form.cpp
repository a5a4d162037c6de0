#include "app/form1.h"

namespace kestrune {

void Form1::LoadSettings(const std::string&) {}
bool Form1::KankyouOutPut(const std::string&) {
  return true;
}

}  // namespace kestrune
